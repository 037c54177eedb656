#include <algorithm>
#include <cmath>

#include "player/filters/filter.h"

namespace player::filters {

namespace {

// One box pass: the mean of the values under a box as wide as the blur amount's whole part, centred on each
// value. An odd width covers whole values; an even one ends on the middles of the outermost two, which
// count half (reference pictures: an edge blurred by 2 once reads 63, 191; by 4 once 31, 95, 159, 223; by
// 2 twice 15, 79, 175, 239; by 5 it ramps over five values evenly). The mean rounds down, taken as a
// multiply by a rounded-up reciprocal and a shift that keep it exact for every sum a pass can reach.
// Running sums make a pass linear in the number of values, whatever its width.
struct Box {
    int reach = 0;      // values on each side that count at all
    uint32_t edge = 0;  // weight of the two outermost ones in 1/256: 256 for odd widths, 128 for even
    uint64_t mul = 0;   // 2^40 / (256 * b), rounded up
    bool none() const { return reach == 0; }
};

constexpr int kMeanShift = 40;

Box boxFor(double amount) {
    Box b;
    if (!(amount > 1)) return b;  // also catches NaN
    const int width = int(std::min(amount, kMaxBlur));
    b.reach = width / 2;
    b.edge = width % 2 ? 256 : 128;
    if (b.reach < 1) return Box{};
    const uint64_t den = 256 * uint64_t(2 * b.reach - 1) + 2 * uint64_t(b.edge);
    b.mul = ((uint64_t(1) << kMeanShift) + den - 1) / den;
    return b;
}

// `inner` the sum of the fully weighted values, `ends` that of the two outermost ones.
inline uint8_t mean(uint32_t inner, uint32_t ends, const Box& b) {
    const uint64_t sum = uint64_t(inner) * 256 + uint64_t(ends) * b.edge;
    return uint8_t(std::min<uint64_t>(255, (sum * b.mul) >> kMeanShift));
}

// n values at `src` with `step` between them into `dst` (same step), blurred by box b; outside is zero.
inline void blurLine(const uint8_t* src, uint8_t* dst, int n, size_t step, const Box& b) {
    auto at = [&](int i) -> uint32_t { return i >= 0 && i < n ? src[size_t(i) * step] : 0u; };
    const int r = b.reach;
    uint32_t inner = 0;  // values x - r + 1 .. x + r - 1
    for (int i = 0; i < r && i < n; ++i)
        inner += src[size_t(i) * step];
    for (int x = 0; x < n; ++x) {
        dst[size_t(x) * step] = mean(inner, at(x - r) + at(x + r), b);
        inner += at(x + r);
        inner -= at(x - r + 1);
    }
}

}  // namespace

void boxBlur(uint8_t* plane, int width, int height, int channels, size_t rowStride, double bx, double by,
             int passes, FilterScratch& scratch) {
    if (width <= 0 || height <= 0 || passes <= 0) return;  // quality 0 blurs nothing
    const Box hb = boxFor(bx), vb = boxFor(by);
    if (hb.none() && vb.none()) return;
    passes = std::min(passes, kMaxBlurPasses);
    const size_t line = size_t(width) * size_t(channels);
    scratch.spare.resize(line * size_t(height));
    uint8_t* spare = scratch.spare.data();
    for (int pass = 0; pass < passes; ++pass) {
        // Across: plane -> spare (each row on its own).
        for (int y = 0; y < height; ++y) {
            const uint8_t* src = plane + size_t(y) * rowStride;
            uint8_t* dst = spare + size_t(y) * line;
            if (hb.none()) {
                std::copy(src, src + line, dst);
                continue;
            }
            for (int c = 0; c < channels; ++c)
                blurLine(src + c, dst + c, width, size_t(channels), hb);
        }
        // Down: spare -> plane, all columns at once so rows are read in order.
        if (vb.none()) {
            for (int y = 0; y < height; ++y)
                std::copy(spare + size_t(y) * line, spare + size_t(y + 1) * line,
                          plane + size_t(y) * rowStride);
            continue;
        }
        const int r = vb.reach;
        scratch.sums.assign(line, 0);
        uint32_t* sums = scratch.sums.data();  // rows y - r + 1 .. y + r - 1
        for (int y = 0; y < r && y < height; ++y) {
            const uint8_t* row = spare + size_t(y) * line;
            for (size_t i = 0; i < line; ++i)
                sums[i] += row[i];
        }
        for (int y = 0; y < height; ++y) {
            uint8_t* out = plane + size_t(y) * rowStride;
            const uint8_t* above = y - r >= 0 ? spare + size_t(y - r) * line : nullptr;
            const uint8_t* below = y + r < height ? spare + size_t(y + r) * line : nullptr;
            for (size_t i = 0; i < line; ++i) {
                const uint32_t ends = (above ? above[i] : 0u) + (below ? below[i] : 0u);
                out[i] = mean(sums[i], ends, vb);
            }
            if (below) {
                for (size_t i = 0; i < line; ++i)
                    sums[i] += below[i];
            }
            if (y - r + 1 >= 0) {
                const uint8_t* leaving = spare + size_t(y - r + 1) * line;
                for (size_t i = 0; i < line; ++i)
                    sums[i] -= leaving[i];
            }
        }
    }
}

}  // namespace player::filters
