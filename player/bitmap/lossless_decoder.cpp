// SWF DefineBitsLossless and DefineBitsLossless2: zlib-compressed colour-mapped, 15-bit and 32-bit pixels.
#include <vector>

#include "player/bitmap/bitmap_decoder.h"
#include "player/bitmap/image_codecs.h"
#include "player/bitmap/pixel_ops.h"
#include "player/bitmap/zlib_inflate.h"

namespace player {

namespace {

size_t padTo32Bits(size_t bytes) {
    return (bytes + 3) & ~size_t(3);
}

}  // namespace

BitmapResult decodeLossless(const LosslessFields& f, const BitmapLimits& limits) {
    if (f.version != 1 && f.version != 2) {
        return bitmapError("lossless bitmap version " + std::to_string(f.version) + " invalid");
    }
    if (std::string e = checkBitmapSize(f.width, f.height, limits); !e.empty()) return bitmapError(e);
    const size_t w = size_t(f.width), h = size_t(f.height);
    const bool v2 = f.version == 2;

    // Bytes the pixels need. Every row but the last is padded to 32 bits; the last row's padding is not
    // needed, so data that omits it still decodes.
    size_t tableBytes = 0, stride = 0, rowBytes = 0;
    switch (f.format) {
        case 3:  // colour table (RGB, or RGBA in Lossless2), then 8-bit indices
            if (f.colorTableEntries < 1 || f.colorTableEntries > 256) {
                return bitmapError("colour table of " + std::to_string(f.colorTableEntries) +
                                   " entries invalid");
            }
            tableBytes = size_t(f.colorTableEntries) * (v2 ? 4 : 3);
            rowBytes = w;
            break;
        case 4:  // PIX15, two bytes a pixel; only DefineBitsLossless defines it, Lossless2 data is read alike
            rowBytes = w * 2;
            break;
        case 5:  // 32 bits a pixel, rows need no padding
            rowBytes = w * 4;
            break;
        default:
            return bitmapError("bitmap format " + std::to_string(f.format) + " unknown");
    }
    stride = padTo32Bits(rowBytes);
    const size_t need = tableBytes + stride * (h - 1) + rowBytes;

    if (!zlibCanInflateTo(f.zlibData.size(), need)) {
        return bitmapError("format " + std::to_string(f.format) + " " + std::to_string(w) + "x" +
                           std::to_string(h) + ": " + std::to_string(f.zlibData.size()) +
                           " bytes of zlib data cannot hold " + std::to_string(need) + " bytes");
    }
    std::vector<uint8_t> raw(need);
    if (InflateResult z = inflateExactly(f.zlibData, raw.data(), need); !z.ok()) {
        return bitmapError("format " + std::to_string(f.format) + " " + std::to_string(w) + "x" +
                           std::to_string(h) + ": " + z.error);
    }

    Bitmap bitmap;
    bitmap.width = f.width;
    bitmap.height = f.height;
    bitmap.pixels.resize(w * h);
    const uint8_t* pixels = raw.data() + tableBytes;

    if (f.format == 3) {
        // Lossless2 colour tables hold premultiplied RGBA, like its 32-bit pixels.
        std::vector<Pixel> palette(256, 0);  // indices past the table show as transparent
        const size_t entries = size_t(f.colorTableEntries);
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t* c = raw.data() + i * (v2 ? 4 : 3);
            palette[i] = v2 ? pixel::fromPremultiplied(c[0], c[1], c[2], c[3])
                            : packPremultiplied(c[0], c[1], c[2], 255);
        }
        for (size_t y = 0; y < h; ++y) {
            const uint8_t* src = pixels + y * stride;
            Pixel* dst = bitmap.pixels.data() + y * w;
            for (size_t x = 0; x < w; ++x)
                dst[x] = palette[src[x]];
        }
    } else if (f.format == 4) {
        // Big-endian X RRRRR GGGGG BBBBB; 5-bit channels widened by repeating their top bits (31 -> 255).
        for (size_t y = 0; y < h; ++y) {
            const uint8_t* src = pixels + y * stride;
            Pixel* dst = bitmap.pixels.data() + y * w;
            for (size_t x = 0; x < w; ++x, src += 2) {
                const unsigned v = (unsigned(src[0]) << 8) | src[1];
                const unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                dst[x] = packPremultiplied(uint8_t((r << 3) | (r >> 2)), uint8_t((g << 3) | (g >> 2)),
                                           uint8_t((b << 3) | (b >> 2)), 255);
            }
        }
    } else {
        // ARGB: Lossless ignores the first byte (opaque); Lossless2 stores premultiplied colour.
        const uint8_t* src = pixels;
        for (size_t i = 0; i < w * h; ++i, src += 4) {
            bitmap.pixels[i] = v2 ? pixel::fromPremultiplied(src[1], src[2], src[3], src[0])
                                  : packPremultiplied(src[1], src[2], src[3], 255);
        }
    }
    pixel::updateOpaque(bitmap);
    return bitmap;
}

}  // namespace player
