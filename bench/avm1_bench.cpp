// Script benchmark: 500 clips attached from the library, each moved and turned by its own onEnterFrame
// handler every frame, on a 640x480 stage. Prints the time per frame spent in the player's frame step
// (timeline, scripts, events; no drawing), the drawing time per frame for comparison, and peak memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "player/player.h"
#include "support/avm1_asm.h"
#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"

namespace {

const char* kScript = R"(
    push 'i' 0; setvar
    label loop
    push 'i'; getvar; push 500; less2; not; if done
      push 'c'; push 'i'; getvar; push 'b'; push 'i'; getvar; add2; push 'ball' 3 '_root'; getvar
      push 'attachMovie'; callmethod; setvar
      push 'c'; getvar; push 'vx'; push 'i'; getvar; push 7; modulo; push 1; add2; setmember
      push 'c'; getvar; push '_y'; push 'i'; getvar; setmember
      push 'c'; getvar; push 'onEnterFrame'
      function -
        push 'this'; getvar; push '_x'
        push 'this'; getvar; push '_x'; getmember; push 'this'; getvar; push 'vx'; getmember; add2
        push 640; modulo; setmember
        push 'this'; getvar; push '_rotation'; push 'this'; getvar; push '_rotation'; getmember; push 3; add2
        setmember
      end
      setmember
      push 'i'; push 'i'; getvar; increment; setvar
      jump loop
    label done
    stop
)";

std::vector<uint8_t> makeMovie() {
    testswf::Header h;
    h.version = 8;
    h.xmax = 640 * 20;
    h.ymax = 480 * 20;
    h.frameCount = 1;
    testswf::SwfBuilder b(h);
    b.backgroundColor(0xFFFFFF);
    testswf::ShapeBuilder s;
    int f = s.fillSolid(0x3366CCFF);
    s.fill0(f).rect(-100, -100, 100, 100);
    b.tag(32, s.defineShape(1, 3));
    testswf::SwfBuilder t;
    testswf::PlaceSpec p;
    p.depth = 1;
    p.characterId = 1;
    p.matrix = testswf::MatrixSpec{};
    t.tag(26, testswf::placeObject(p, 2)).showFrame();
    b.tag(39, testswf::defineSprite(2, 1, t));
    b.tag(56, testswf::exportAssets({{2, "ball"}}));
    b.tag(12, avm1test::assemble(kScript)).showFrame();
    return b.end().build();
}

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : 600;
    player::Player p;
    std::string error;
    if (!p.loadBytes(makeMovie(), "bench.swf", &error)) {
        std::fprintf(stderr, "avm1_bench: %s\n", error.c_str());
        return 1;
    }
    for (int i = 0; i < 10; ++i)
        p.advance();
    double t0 = seconds();
    for (int i = 0; i < frames; ++i)
        p.advance();
    double step = (seconds() - t0) / frames;
    std::vector<player::Pixel> pixels(640 * 480);
    double t1 = seconds();
    for (int i = 0; i < 100; ++i)
        p.render(pixels.data(), 640, 480, 640);
    double draw = (seconds() - t1) / 100;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("500 clips with onEnterFrame, 640x480, %d frames\n", frames);
    std::printf("frame step (timeline + scripts): %.3f ms per frame\n", step * 1000);
    std::printf("drawing: %.3f ms per frame\n", draw * 1000);
    std::printf("peak memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
