// GIF decoding (GIF87a and GIF89a), enough for the GIF data Flash accepts in DefineBitsJPEG2/3/4:
// the first image of the file with its Graphic Control Extension's transparency. Later frames, disposal
// and timing do not matter for a still bitmap and are ignored.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "player/bitmap/image_codecs.h"
#include "player/bitmap/pixel_ops.h"

namespace player {

namespace {

class ByteReader {
  public:
    explicit ByteReader(ByteSpan d) : d_(d) {}
    bool has(size_t n) const { return n <= d_.size() - pos_; }
    uint8_t u8() { return d_[pos_++]; }
    uint16_t u16() {
        uint16_t v = uint16_t(d_[pos_] | (d_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    void skip(size_t n) { pos_ += n; }
    size_t pos() const { return pos_; }
    const uint8_t* at() const { return d_.data() + pos_; }

    // Skips a chain of data sub-blocks up to and including its zero-length terminator. A chain cut off by
    // the end of the file counts as skipped.
    void skipSubBlocks() {
        while (has(1)) {
            const uint8_t n = u8();
            if (n == 0) return;
            pos_ += std::min<size_t>(n, d_.size() - pos_);
        }
    }

  private:
    ByteSpan d_;
    size_t pos_ = 0;
};

// LSB-first code reader over the image's data sub-blocks (GIF89a, Table Based Image Data).
class CodeReader {
  public:
    CodeReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool read(int size, int& code) {
        while (bits_ < size) {
            const int b = nextByte();
            if (b < 0) return false;
            acc_ |= uint32_t(b) << bits_;
            bits_ += 8;
        }
        code = int(acc_ & ((1u << size) - 1));
        acc_ >>= size;
        bits_ -= size;
        return true;
    }

  private:
    int nextByte() {
        if (left_ == 0) {
            if (ended_ || pos_ >= n_) return -1;
            left_ = p_[pos_++];
            if (left_ == 0) {
                ended_ = true;
                return -1;
            }
        }
        if (pos_ >= n_) return -1;
        --left_;
        return p_[pos_++];
    }
    const uint8_t* p_;
    size_t n_, pos_ = 0, left_ = 0;
    bool ended_ = false;
    uint32_t acc_ = 0;
    int bits_ = 0;
};

// Decodes LZW codes into out (colour indices, in the file's row order). Returns the number of indices
// produced, or -1 for an invalid code.
int64_t decodeLzw(CodeReader& reader, int minCodeSize, std::vector<uint8_t>& out) {
    constexpr int kMaxCodes = 4096;
    std::array<uint16_t, kMaxCodes> prefix{};
    std::array<uint8_t, kMaxCodes> suffix{};
    std::array<uint8_t, kMaxCodes + 1> stack{};

    const int clear = 1 << minCodeSize, eoi = clear + 1;
    int size = minCodeSize + 1, next = eoi + 1, prev = -1;
    uint8_t first = 0;
    size_t produced = 0;
    const size_t need = out.size();
    int code = 0;
    while (produced < need && reader.read(size, code)) {
        if (code == clear) {
            size = minCodeSize + 1;
            next = eoi + 1;
            prev = -1;
            continue;
        }
        if (code == eoi) break;
        if (prev < 0) {
            // First code after a clear: must be a literal.
            if (code > clear) return -1;
            first = uint8_t(code);
            out[produced++] = first;
            prev = code;
            continue;
        }
        if (code > next) return -1;
        const int incoming = code;
        int sp = 0;
        if (code == next) {  // the KwKwK case: the string of prev plus its own first index
            stack[sp++] = first;
            code = prev;
        }
        while (code > eoi) {
            stack[sp++] = suffix[code];
            code = prefix[code];
        }
        if (code >= clear) return -1;
        first = uint8_t(code);
        stack[sp++] = first;
        while (sp > 0 && produced < need)
            out[produced++] = stack[--sp];
        // Once the table holds 4096 entries it stays full until the encoder sends a clear code.
        if (next < kMaxCodes) {
            prefix[next] = uint16_t(prev);
            suffix[next] = first;
            ++next;
            if (next == (1 << size) && size < 12) ++size;
        }
        prev = incoming;
    }
    return int64_t(produced);
}

}  // namespace

BitmapResult decodeGif(ByteSpan data, const BitmapLimits& limits) {
    ByteReader r(data);
    if (!r.has(13) || std::memcmp(data.data(), "GIF8", 4) != 0 || (data[4] != '7' && data[4] != '9') ||
        data[5] != 'a') {
        return bitmapError("not a GIF file");
    }
    r.skip(6);
    const int screenW = r.u16(), screenH = r.u16();
    const uint8_t screenFlags = r.u8();
    r.skip(2);  // background colour index, pixel aspect ratio
    ByteSpan globalTable;
    if (screenFlags & 0x80) {
        const size_t n = size_t(2) << (screenFlags & 7);
        if (!r.has(n * 3)) return bitmapError("GIF global colour table truncated");
        globalTable = ByteSpan(r.at(), n * 3);
        r.skip(n * 3);
    }

    int transparent = -1;
    for (;;) {
        if (!r.has(1)) return bitmapError("GIF ends before its first image");
        const uint8_t block = r.u8();
        if (block == 0x3B) return bitmapError("GIF has no image");
        if (block == 0x21) {
            if (!r.has(1)) return bitmapError("GIF extension truncated");
            const uint8_t label = r.u8();
            // GIF89a, Graphic Control Extension: block size 4, flags, delay, transparent colour index.
            if (label == 0xF9 && r.has(5) && r.at()[0] >= 4) {
                const uint8_t size = r.u8();
                const uint8_t flags = r.u8();
                r.skip(2);
                const uint8_t index = r.u8();
                transparent = (flags & 1) ? index : -1;
                if (!r.has(size - 4)) return bitmapError("GIF extension truncated");
                r.skip(size - 4);
            }
            r.skipSubBlocks();
            continue;
        }
        if (block != 0x2C) return bitmapError("GIF has an unknown block " + std::to_string(block));
        break;
    }

    // Image Descriptor.
    if (!r.has(10)) return bitmapError("GIF image descriptor truncated");
    const int left = r.u16(), top = r.u16(), frameW = r.u16(), frameH = r.u16();
    const uint8_t imageFlags = r.u8();
    ByteSpan table = globalTable;
    if (imageFlags & 0x80) {
        const size_t n = size_t(2) << (imageFlags & 7);
        if (!r.has(n * 3)) return bitmapError("GIF local colour table truncated");
        table = ByteSpan(r.at(), n * 3);
        r.skip(n * 3);
    }
    if (table.empty()) return bitmapError("GIF image has no colour table");
    const bool interlaced = imageFlags & 0x40;

    // The bitmap is the logical screen; a file with a zero-sized screen gets its image's size.
    int width = screenW, height = screenH, offX = left, offY = top;
    if (width == 0 || height == 0) {
        width = frameW;
        height = frameH;
        offX = offY = 0;
    }
    if (std::string e = checkBitmapSize(width, height, limits); !e.empty()) return bitmapError(e);
    if (std::string e = checkBitmapSize(frameW, frameH, limits); !e.empty()) {
        return bitmapError("GIF image: " + e);
    }

    if (!r.has(1)) return bitmapError("GIF image data missing");
    const int minCodeSize = r.u8();
    if (minCodeSize < 1 || minCodeSize > 8) {
        return bitmapError("GIF LZW minimum code size " + std::to_string(minCodeSize) + " invalid");
    }
    // Each code of at least minCodeSize + 1 bits yields at most 4096 indices: data too short to cover
    // the image is refused before the image's memory is allocated.
    const size_t need = size_t(frameW) * size_t(frameH);
    const size_t maxCodes = (data.size() - r.pos()) * 8 / size_t(minCodeSize + 1);
    if (need / 4096 > maxCodes) return bitmapError("GIF image data too short for its size");
    std::vector<uint8_t> indices(need);
    CodeReader codes(r.at(), data.size() - r.pos());
    const int64_t produced = decodeLzw(codes, minCodeSize, indices);
    if (produced < 0) return bitmapError("GIF LZW data has an invalid code");
    // Like a broken lossless bitmap, a GIF image whose data stops short is not shown.
    if (size_t(produced) < indices.size()) {
        return bitmapError("GIF image data ends after " + std::to_string(produced) + " of " +
                           std::to_string(indices.size()) + " pixels");
    }

    // File row order to image rows: interlaced images come in four passes (GIF89a, Appendix E).
    std::vector<int> rowOf(frameH);
    if (interlaced) {
        static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        int i = 0;
        for (int pass = 0; pass < 4; ++pass) {
            for (int y = kStart[pass]; y < frameH; y += kStep[pass])
                rowOf[i++] = y;
        }
    } else {
        for (int y = 0; y < frameH; ++y)
            rowOf[y] = y;
    }

    Bitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.assign(size_t(width) * size_t(height), 0);  // uncovered screen is transparent
    const size_t colours = table.size() / 3;
    for (int i = 0; i < frameH; ++i) {
        const int y = offY + rowOf[i];
        if (y >= height) continue;
        const uint8_t* src = indices.data() + size_t(i) * frameW;
        Pixel* dst = bitmap.pixels.data() + size_t(y) * width;
        for (int x = 0; x < frameW && offX + x < width; ++x) {
            const uint8_t index = src[x];
            // An index past the colour table has no colour; it shows as transparent, like the
            // transparent index.
            if (index == transparent || index >= colours) continue;
            const uint8_t* c = table.data() + size_t(index) * 3;
            dst[offX + x] = packPremultiplied(c[0], c[1], c[2], 255);
        }
    }
    pixel::updateOpaque(bitmap);
    return bitmap;
}

}  // namespace player
