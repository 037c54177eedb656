// libFuzzer target for the player's layer effects and embedded video: the input supplies a video codec id, a
// blend mode, a PlaceObject3 filter list and the bytes of a video frame; they are wrapped into a small movie
// that places the video with those filters, and the movie is drawn (twice, at two sizes, to exercise the
// layer pool). Any crash, leak, hang or sanitizer report is a bug.
//
// Input: [codec][blend mode][filter list length n][n bytes of filter list][video frame bytes...]
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "player/player.h"

namespace {

struct Writer {
    std::vector<uint8_t> out;
    void u8(uint8_t v) { out.push_back(v); }
    void u16(uint16_t v) {
        u8(uint8_t(v));
        u8(uint8_t(v >> 8));
    }
    void u32(uint32_t v) {
        u16(uint16_t(v));
        u16(uint16_t(v >> 16));
    }
    void bytes(const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }
    void tag(uint16_t code, const std::vector<uint8_t>& body) {
        u16(uint16_t(code << 6 | 0x3f));  // always the long form
        u32(uint32_t(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }
};

std::vector<uint8_t> makeMovie(const uint8_t* data, size_t size) {
    const uint8_t codec = size > 0 ? data[0] : 2;
    const uint8_t blend = size > 1 ? data[1] : 0;
    const size_t filterLen = size > 2 ? std::min<size_t>(data[2], size - 3) : 0;
    const uint8_t* filters = data + (size > 2 ? 3 : size);
    const uint8_t* frame = filters + filterLen;
    const size_t frameLen = size - size_t(frame - data);

    Writer w;
    w.bytes(reinterpret_cast<const uint8_t*>("FWS"), 3);
    w.u8(10);
    w.u32(0);  // length, patched below
    // Stage RECT 0..1280 x 0..960 twips: 5-bit field size 12, then four 12-bit values.
    const uint8_t rect[] = {0x60, 0x00, 0x28, 0x00, 0x00, 0x1e, 0x00};
    w.bytes(rect, sizeof rect);
    w.u16(12 << 8);  // 12 fps
    w.u16(1);

    Writer stream;  // DefineVideoStream: id, frames, width, height, flags, codec
    stream.u16(1);
    stream.u16(1);
    stream.u16(48);
    stream.u16(32);
    stream.u8(0);
    stream.u8(codec);
    w.tag(60, stream.out);

    Writer vf;  // VideoFrame: stream id, frame number, data
    vf.u16(1);
    vf.u16(0);
    vf.bytes(frame, frameLen);
    w.tag(61, vf.out);

    Writer place;  // PlaceObject3: character, matrix, ratio; filters and blend mode
    place.u8(0x02 | 0x04 | 0x10);
    place.u8(0x01 | 0x02);
    place.u16(1);
    place.u16(1);
    place.u8(0x00);  // MATRIX without scale or rotation, zero translation bits
    place.u16(0);
    place.bytes(filters, filterLen);
    place.u8(blend);
    w.tag(70, place.out);

    w.tag(1, {});
    w.tag(0, {});
    const uint32_t len = uint32_t(w.out.size());
    for (int i = 0; i < 4; ++i)
        w.out[4 + size_t(i)] = uint8_t(len >> (8 * i));
    return w.out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    player::Player p;
    std::string error;
    if (!p.loadBytes(makeMovie(data, size), "effects.swf", &error)) return 0;
    std::vector<player::Pixel> pixels(128 * 96);
    p.render(pixels.data(), 64, 48, 64);
    p.render(pixels.data(), 128, 96, 128);
    return 0;
}
