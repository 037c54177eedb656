#include "support/swf_sound.h"

#include <algorithm>
#include <cstdlib>

namespace testswf {

namespace {

void formatBits(BitWriter& w, const SoundFormatSpec& f) {
    w.ub(f.format, 4);
    w.ub(f.rate, 2);
    w.ub(f.is16Bit, 1);
    w.ub(f.stereo, 1);
}

void soundInfo(ByteWriter& w, const SoundInfoSpec& s) {
    uint8_t flags =
        uint8_t((s.syncStop ? 0x20 : 0) | (s.noMultiple ? 0x10 : 0) | (s.envelope.empty() ? 0 : 0x08) |
                (s.loops ? 0x04 : 0) | (s.outPoint ? 0x02 : 0) | (s.inPoint ? 0x01 : 0));
    w.u8(flags);
    if (s.inPoint) w.u32(*s.inPoint);
    if (s.outPoint) w.u32(*s.outPoint);
    if (s.loops) w.u16(*s.loops);
    if (!s.envelope.empty()) {
        w.u8(uint8_t(s.envelope.size()));
        for (const auto& p : s.envelope)
            w.u32(p.pos44).u16(p.left).u16(p.right);
    }
}

}  // namespace

Bytes defineSound(uint16_t id, const SoundFormatSpec& f, uint32_t sampleCount, const Bytes& data) {
    ByteWriter w;
    w.u16(id);
    BitWriter b;
    formatBits(b, f);
    w.raw(b.bytes());
    w.u32(sampleCount);
    w.raw(data);
    return w.bytes();
}

Bytes startSound(uint16_t id, const SoundInfoSpec& info) {
    ByteWriter w;
    w.u16(id);
    soundInfo(w, info);
    return w.bytes();
}

Bytes startSound2(const std::string& className, const SoundInfoSpec& info) {
    ByteWriter w;
    w.str(className);
    soundInfo(w, info);
    return w.bytes();
}

Bytes soundStreamHead(const SoundFormatSpec& f, uint16_t samplesPerBlock, std::optional<int16_t> latency) {
    ByteWriter w;
    BitWriter b;
    b.ub(0, 4);
    b.ub(f.rate, 2);
    b.ub(f.is16Bit, 1);
    b.ub(f.stereo, 1);
    formatBits(b, f);
    w.raw(b.bytes());
    w.u16(samplesPerBlock);
    if (latency) w.s16(*latency);
    return w.bytes();
}

Bytes pcm16(const std::vector<int16_t>& samples, bool bigEndian) {
    Bytes out;
    for (int16_t s : samples) {
        uint16_t v = uint16_t(s);
        if (bigEndian) {
            out.push_back(uint8_t(v >> 8));
            out.push_back(uint8_t(v));
        } else {
            out.push_back(uint8_t(v));
            out.push_back(uint8_t(v >> 8));
        }
    }
    return out;
}

Bytes pcm8(const std::vector<int16_t>& samples) {
    Bytes out;
    for (int16_t s : samples)
        out.push_back(uint8_t((s >> 8) + 128));
    return out;
}

Bytes adpcmEncode(const std::vector<int16_t>& samples, int codeBits, bool stereo) {
    static const int steps[89] = {
        7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
        31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
        130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
        544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
        2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
        9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
    static const std::vector<std::vector<int>> tables = {
        {-1, 2},
        {-1, -1, 2, 4},
        {-1, -1, -1, -1, 2, 4, 6, 8},
        {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16}};
    const std::vector<int>& table = tables[size_t(codeBits - 2)];
    const int channels = stereo ? 2 : 1;
    const size_t frames = samples.size() / size_t(channels);
    BitWriter w;
    w.ub(uint32_t(codeBits - 2), 2);
    int pred[2] = {0, 0}, index[2] = {0, 0};
    const uint32_t sign = 1u << (codeBits - 1);
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            int s = samples[i * size_t(channels) + size_t(c)];
            if (i % 4096 == 0) {
                pred[c] = s;
                index[c] = std::clamp(index[c], 0, 63);  // the header holds 6 bits
                w.ub(uint16_t(int16_t(s)), 16);
                w.ub(uint32_t(index[c]), 6);
                continue;
            }
            // Choose the code whose decoded value lands nearest the sample.
            int step = steps[index[c]];
            uint32_t code = s < pred[c] ? sign : 0;
            int bestErr = -1, bestCode = 0, bestValue = 0;
            for (uint32_t m = 0; m < sign; ++m) {
                int st = step, d = 0;
                for (uint32_t k = sign >> 1; k; k >>= 1) {
                    if (m & k) d += st;
                    st >>= 1;
                }
                d += st;
                int value = std::clamp(pred[c] + (code ? -d : d), -32768, 32767);
                int err = std::abs(value - s);
                if (bestErr < 0 || err < bestErr) bestErr = err, bestCode = int(m), bestValue = value;
            }
            code |= uint32_t(bestCode);
            pred[c] = bestValue;
            index[c] = std::clamp(index[c] + table[code & (sign - 1)], 0, 88);
            w.ub(code, codeBits);
        }
    }
    w.align();
    return w.bytes();
}

}  // namespace testswf
