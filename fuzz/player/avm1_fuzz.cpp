// libFuzzer target for the ActionScript interpreter: the input's first byte picks the SWF version (4..8),
// the rest is one frame's action bytes, placed in a small movie with a sprite to act on and a sound to play.
// The movie runs a few frames, its sound mixed. Any crash, leak, hang or sanitizer report is a bug.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "player/player.h"

namespace {

void u16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void tag(std::vector<uint8_t>& out, unsigned code, const std::vector<uint8_t>& body) {
    if (body.size() < 63) {
        u16(out, (code << 6) | unsigned(body.size()));
    } else {
        u16(out, (code << 6) | 63);
        uint32_t n = uint32_t(body.size());
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(n >> (8 * i)));
    }
    out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 60000) return 0;
    uint8_t version = uint8_t(4 + data[0] % 5);
    std::vector<uint8_t> m = {'F', 'W', 'S', version, 0, 0, 0, 0};
    // RECT 0..800 x 0..600 twips in 14-bit fields, 12 fps, 3 frames.
    m.insert(m.end(), {0x70, 0x00, 0x01, 0x90, 0x00, 0x00, 0x12, 0xC0});
    m.insert(m.end(), {0x00, 12, 3, 0});
    // A one-frame sprite placed as "clip", the fuzzed actions, then two more frames.
    std::vector<uint8_t> sprite = {1, 0, 1, 0};
    tag(sprite, 1, {});
    tag(sprite, 0, {});
    tag(m, 39, sprite);
    std::vector<uint8_t> place = {0x26, 1, 0, 1, 0, 0x00};
    for (char c : std::string("clip"))
        place.push_back(uint8_t(c));
    place.push_back(0);
    tag(m, 26, place);
    // A short sound exported as "s", for scripts that play it through a Sound object.
    std::vector<uint8_t> sound = {2, 0, 0x3E, 64, 0, 0, 0};  // id 2, 44.1 kHz 16-bit mono PCM, 64 samples
    for (int i = 0; i < 64; ++i)
        u16(sound, unsigned(i * 900));
    tag(m, 14, sound);
    tag(m, 56, {1, 0, 2, 0, 's', 0});
    tag(m, 12, std::vector<uint8_t>(data + 1, data + size));
    tag(m, 1, {});
    tag(m, 1, {});
    tag(m, 12, std::vector<uint8_t>(data + 1, data + size));
    tag(m, 1, {});
    tag(m, 0, {});
    uint32_t len = uint32_t(m.size());
    for (int i = 0; i < 4; ++i)
        m[4 + i] = uint8_t(len >> (8 * i));

    player::Player p;
    p.setScriptActionLimit(20000);
    std::string error;
    if (!p.loadBytes(m, "fuzz.swf", &error)) return 0;
    std::vector<int16_t> samples;
    for (int i = 0; i < 3; ++i) {
        p.advance();
        p.takeSound(samples);
    }
    std::vector<player::Pixel> pixels(32 * 24);
    p.render(pixels.data(), 32, 24, 32);
    return 0;
}
