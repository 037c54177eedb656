// libFuzzer target for the whole player: a movie is loaded, run for a few frames (with a jump back) while a
// user moves, clicks and types over it, and drawn small at both qualities. Any crash, leak, hang or
// sanitizer report is a bug.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    player::Player p;
    std::string error;
    if (!p.loadBytes(std::vector<uint8_t>(data, data + size), "fuzz.swf", &error)) return 0;
    std::vector<player::Pixel> pixels(64 * 48);
    player::RenderOptions high, low;
    low.quality = player::Quality::Low;
    for (int i = 0; i < 4; ++i) {
        p.render(pixels.data(), 64, 48, 64, i % 2 ? low : high);
        // The pointer goes where the movie's last bytes say (buttons and clips sit anywhere).
        double x = data[size - 1 - i % size] * 4.0, y = data[(size / 2 + i) % size] * 4.0;
        p.mouseMove(x, y);
        p.mouseDown();
        p.mouseMove(y, x);
        p.mouseUp();
        p.keyDown(13 + i, 13 + i);
        p.keyUp(13 + i, 13 + i);
        p.advance();
    }
    p.gotoFrame(1);
    p.render(pixels.data(), 64, 48, 64, high);
    return 0;
}
