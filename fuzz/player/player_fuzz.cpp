// libFuzzer target for the whole player: a movie is loaded, run for a few frames (with a jump back) and
// drawn small at both qualities. Any crash, leak, hang or sanitizer report is a bug.
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
        p.advance();
    }
    p.gotoFrame(1);
    p.render(pixels.data(), 64, 48, 64, high);
    return 0;
}
