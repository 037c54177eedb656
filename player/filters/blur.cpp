#include <algorithm>
#include <cmath>

#include "player/filters/filter.h"

namespace player::filters {

namespace {

// One box pass: the mean of a window of whole values from x - left to x + right. Flash Player's box for a
// blur amount b is the odd width 2r + 1 with r = floor((b - 1) / 2) (reference pictures: a blur of 5 ramps
// an edge over 5 pixels, one of 20 over 19). The mean is taken as a multiply by a rounded-up reciprocal and
// a shift, which keeps a full window at 255 and otherwise rounds down, as the references do. Running sums
// make a pass linear in the number of values, whatever its width.
struct Box {
    int left = 0, right = 0;
    uint64_t mul = 1u << 24;
    bool none() const { return left == 0 && right == 0; }
};

Box boxFor(double amount) {
    Box b;
    if (!(amount > 1)) return b;  // also catches NaN
    const int r = int((std::min(amount, kMaxBlur) - 1) / 2);
    if (r < 1) return b;
    const int width = 2 * r + 1;
    b.left = b.right = r;
    b.mul = ((uint64_t(1) << 24) + uint64_t(width) - 1) / uint64_t(width);
    return b;
}

inline uint8_t mean(uint32_t sum, const Box& b) {
    return uint8_t(std::min<uint64_t>(255, (sum * b.mul) >> 24));
}

// n values at `src` with `step` between them into `dst` (same step), blurred by box b; outside is zero.
inline void blurLine(const uint8_t* src, uint8_t* dst, int n, size_t step, const Box& b) {
    auto at = [&](int i) -> uint32_t { return i >= 0 && i < n ? src[size_t(i) * step] : 0u; };
    uint32_t sum = 0;
    for (int i = 0; i <= b.right && i < n; ++i)
        sum += src[size_t(i) * step];
    for (int x = 0; x < n; ++x) {
        dst[size_t(x) * step] = mean(sum, b);
        sum += at(x + b.right + 1);
        sum -= at(x - b.left);
    }
}

}  // namespace

void boxBlur(uint8_t* plane, int width, int height, int channels, size_t rowStride, double bx, double by,
             int passes, FilterScratch& scratch) {
    if (width <= 0 || height <= 0) return;
    const Box hb = boxFor(bx), vb = boxFor(by);
    if (hb.none() && vb.none()) return;
    passes = std::clamp(passes, 1, kMaxBlurPasses);
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
        scratch.sums.assign(line, 0);
        uint32_t* sums = scratch.sums.data();
        for (int y = 0; y <= vb.right && y < height; ++y) {
            const uint8_t* row = spare + size_t(y) * line;
            for (size_t i = 0; i < line; ++i)
                sums[i] += row[i];
        }
        for (int y = 0; y < height; ++y) {
            uint8_t* out = plane + size_t(y) * rowStride;
            for (size_t i = 0; i < line; ++i)
                out[i] = mean(sums[i], vb);
            if (y + vb.right + 1 < height) {
                const uint8_t* entering = spare + size_t(y + vb.right + 1) * line;
                for (size_t i = 0; i < line; ++i)
                    sums[i] += entering[i];
            }
            if (y - vb.left >= 0) {
                const uint8_t* leaving = spare + size_t(y - vb.left) * line;
                for (size_t i = 0; i < line; ++i)
                    sums[i] -= leaving[i];
            }
        }
    }
}

}  // namespace player::filters
