// The picture the capture layer fills and the media library reads: a device-independent bitmap of 24 bits
// per pixel (bytes blue, green, red) or 8 bits per pixel (one byte: alpha or grey), rows top first, each row
// padded to a multiple of four bytes. Plain memory, no Qt: the capture layer draws into it and the library
// copies from it. Not thread-safe; one owner at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TDib {
  public:
    TDib() = default;
    TDib(int width, int height, int bitsPerPixel) {
        setFormat(bitsPerPixel);
        setSize(width, height);
    }

    // 24 or 8; any other value is taken as 24. Changing the format keeps the size and clears the pixels.
    void setFormat(int bitsPerPixel);
    // Sizes below 1 make an empty bitmap. The pixels are cleared to 0. A row too long for an int stride
    // throws std::length_error (the bitmap is then empty); memory that cannot be had throws std::bad_alloc.
    void setSize(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    int bitsPerPixel() const { return bits_; }
    int stride() const { return stride_; }
    bool empty() const { return width_ <= 0 || height_ <= 0; }

    uint8_t* scanLine(int y) { return data_.data() + static_cast<size_t>(y) * stride_; }
    const uint8_t* scanLine(int y) const { return data_.data() + static_cast<size_t>(y) * stride_; }
    uint8_t* bits() { return data_.data(); }
    const uint8_t* bits() const { return data_.data(); }

  private:
    void reallocate();

    int width_ = 0;
    int height_ = 0;
    int bits_ = 24;
    int stride_ = 0;
    std::vector<uint8_t> data_;
};
