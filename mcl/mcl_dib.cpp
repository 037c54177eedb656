#include "mcl/mcl_dib.h"

#include <climits>
#include <cstdint>
#include <stdexcept>

void TDib::setFormat(int bitsPerPixel) {
    bits_ = bitsPerPixel == 8 ? 8 : 24;
    reallocate();
}

void TDib::setSize(int width, int height) {
    width_ = width > 0 && height > 0 ? width : 0;
    height_ = width > 0 && height > 0 ? height : 0;
    reallocate();
}

void TDib::reallocate() {
    // Rows are addressed with an int stride; a width whose padded row does not fit is refused rather than
    // wrapped into a short buffer.
    const int64_t stride = ((int64_t(width_) * (bits_ / 8)) + 3) & ~int64_t(3);
    if (stride > INT_MAX) {
        width_ = height_ = stride_ = 0;
        data_.clear();
        throw std::length_error("bitmap row too long");
    }
    stride_ = int(stride);
    data_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(height_), 0);
}
