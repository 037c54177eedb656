// make_frame_event_movies: writes the frame-event movies "fps" and "fps1" that ship beside the executable.
// Loaded into level 88 over a movie, each raises FSCommand "enterFrame" once for every frame the player
// shows and draws nothing: two frames that each run fscommand("enterFrame"), so the movie loops and a
// frame's actions run on every tick. No background colour, so the stage keeps the movie's own.
//
// usage: make_frame_event_movies FOLDER     (writes FOLDER/fps and FOLDER/fps1)
#include <cstdio>
#include <string>

#include "support/swf_builder.h"
#include "support/swf_tags.h"

using namespace testswf;

namespace {

Bytes frameEventMovie() {
    Header h;
    h.version = 6;
    h.xmax = 20 * 20;
    h.ymax = 20 * 20;
    h.frameRate88 = 12 << 8;
    h.frameCount = 2;
    SwfBuilder m(h);
    for (int frame = 0; frame < 2; ++frame) {
        m.tag(12, ActionWriter().getURL("FSCommand:enterFrame", "").withEnd());  // DoAction
        m.showFrame();
    }
    return m.end().build();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_frame_event_movies FOLDER\n");
        return 2;
    }
    for (const char* name : {"fps", "fps1"}) {
        std::string path = std::string(argv[1]) + "/" + name;
        if (!writeFile(path, frameEventMovie())) {
            std::fprintf(stderr, "make_frame_event_movies: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
