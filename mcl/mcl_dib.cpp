#include "mcl/mcl_dib.h"

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
    stride_ = ((width_ * (bits_ / 8)) + 3) & ~3;
    data_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(height_), 0);
}
