// Tag-level entry points: splits the bitmap tag bodies into their fields and picks the decoder.
#include <cstring>
#include <vector>

#include "player/bitmap/bitmap_decoder.h"
#include "player/bitmap/image_codecs.h"
#include "player/bitmap/pixel_ops.h"
#include "player/bitmap/zlib_inflate.h"

namespace player {

namespace {

const char* tagName(uint16_t code) {
    switch (BitmapTagCode(code)) {
        case BitmapTagCode::DefineBits:
            return "DefineBits";
        case BitmapTagCode::DefineBitsLossless:
            return "DefineBitsLossless";
        case BitmapTagCode::DefineBitsJPEG2:
            return "DefineBitsJPEG2";
        case BitmapTagCode::DefineBitsJPEG3:
            return "DefineBitsJPEG3";
        case BitmapTagCode::DefineBitsLossless2:
            return "DefineBitsLossless2";
        case BitmapTagCode::DefineBitsJPEG4:
            return "DefineBitsJPEG4";
        default:
            return nullptr;
    }
}

uint32_t readU32(ByteSpan b, size_t at) {
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
           (uint32_t(b[at + 3]) << 24);
}
uint16_t readU16(ByteSpan b, size_t at) {
    return uint16_t(b[at] | (b[at + 1] << 8));
}

BitmapResult decodeBody(uint16_t code, ByteSpan body, ByteSpan jpegTables, const BitmapLimits& limits) {
    switch (BitmapTagCode(code)) {
        case BitmapTagCode::DefineBits:
            return decodeDefineBits(body, jpegTables, limits);
        case BitmapTagCode::DefineBitsJPEG2:
            return decodeDefineBitsJpeg(body, {}, limits);
        case BitmapTagCode::DefineBitsJPEG3:
        case BitmapTagCode::DefineBitsJPEG4: {
            // AlphaDataOffset UI32, then (DefineBitsJPEG4) DeblockParam UI16 8.8, ImageData, BitmapAlphaData.
            // The deblocking filter is not applied: it only smooths JPEG block edges.
            const size_t header = code == uint16_t(BitmapTagCode::DefineBitsJPEG4) ? 6 : 4;
            if (body.size() < header) return bitmapError("tag body truncated");
            const uint32_t alphaOffset = readU32(body, 0);
            if (alphaOffset > body.size() - header) {
                return bitmapError("AlphaDataOffset " + std::to_string(alphaOffset) +
                                   " past the end of the tag (" + std::to_string(body.size() - header) +
                                   " bytes of data)");
            }
            return decodeDefineBitsJpeg(body.subspan(header, alphaOffset), body.subspan(header + alphaOffset),
                                        limits);
        }
        case BitmapTagCode::DefineBitsLossless:
        case BitmapTagCode::DefineBitsLossless2: {
            // BitmapFormat UI8, BitmapWidth UI16, BitmapHeight UI16, BitmapColorTableSize UI8 (format 3
            // only).
            if (body.size() < 5) return bitmapError("tag body truncated");
            LosslessFields f;
            f.version = code == uint16_t(BitmapTagCode::DefineBitsLossless2) ? 2 : 1;
            f.format = body[0];
            f.width = readU16(body, 1);
            f.height = readU16(body, 3);
            size_t at = 5;
            if (f.format == 3) {
                if (body.size() < 6) return bitmapError("tag body truncated");
                f.colorTableEntries = body[5] + 1;  // stored as the number of colours minus one
                at = 6;
            }
            f.zlibData = body.subspan(at);
            return decodeLossless(f, limits);
        }
        default:
            return bitmapError("tag " + std::to_string(code) + " is not a bitmap tag");
    }
}

}  // namespace

std::string checkBitmapSize(int64_t width, int64_t height, const BitmapLimits& limits) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width <= 0 || height <= 0) return "bitmap size " + size + " is empty";
    if (width > limits.maxSide || height > limits.maxSide) {
        return "bitmap size " + size + " exceeds " + std::to_string(limits.maxSide) + " pixels a side";
    }
    if (width * height > limits.maxPixels) {
        return "bitmap size " + size + " exceeds " + std::to_string(limits.maxPixels) + " pixels";
    }
    return {};
}

ImageFormat sniffImageFormat(ByteSpan d) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (d.size() >= 8 && std::memcmp(d.data(), kPng, 8) == 0) return ImageFormat::Png;
    if (d.size() >= 6 && std::memcmp(d.data(), "GIF8", 4) == 0 && (d[4] == '7' || d[4] == '9') &&
        d[5] == 'a') {
        return ImageFormat::Gif;
    }
    if (d.size() >= 2 && d[0] == 0xFF && d[1] == 0xD8) return ImageFormat::Jpeg;
    if (d.size() >= 4 && d[0] == 0xFF && d[1] == 0xD9 && d[2] == 0xFF && d[3] == 0xD8)
        return ImageFormat::Jpeg;
    return ImageFormat::Unknown;
}

bool isBitmapTag(uint16_t tagCode) {
    return tagName(tagCode) != nullptr;
}

BitmapResult decodeBitmapTag(uint16_t tagCode, ByteSpan body, ByteSpan jpegTables,
                             const BitmapLimits& limits) {
    const char* name = tagName(tagCode);
    if (!name) return bitmapError("tag " + std::to_string(tagCode) + " is not a bitmap tag");
    BitmapResult r = decodeBody(tagCode, body, jpegTables, limits);
    if (!r.ok()) return bitmapError(std::string(name) + ": " + r.error().message, tagCode);
    return r;
}

BitmapResult decodeDefineBits(ByteSpan jpegData, ByteSpan jpegTables, const BitmapLimits& limits) {
    return decodeJpegWithTables(jpegTables, jpegData, limits);
}

BitmapResult decodeDefineBitsJpeg(ByteSpan imageData, ByteSpan alphaZlib, const BitmapLimits& limits) {
    switch (sniffImageFormat(imageData)) {
        case ImageFormat::Png:
            return decodePng(imageData, limits);  // its own alpha; BitmapAlphaData unused
        case ImageFormat::Gif:
            return decodeGif(imageData, limits);
        case ImageFormat::Jpeg:
        case ImageFormat::Unknown:
            break;
    }
    BitmapResult result = decodeJpeg(imageData, limits);
    if (!result || alphaZlib.empty()) return result;

    Bitmap& bitmap = result.value();
    const size_t need = bitmap.pixels.size();
    // A well-formed alpha stream that holds nothing at all is how some encoders say "no alpha".
    uint8_t probe = 0;
    if (InflateResult z = inflateExactly(alphaZlib, &probe, 1); z.streamEnded && z.produced == 0)
        return result;
    if (!zlibCanInflateTo(alphaZlib.size(), need)) {
        return bitmapError("alpha data: " + std::to_string(alphaZlib.size()) +
                           " bytes of zlib data cannot hold " + std::to_string(need) + " bytes");
    }
    std::vector<uint8_t> alpha(need);
    if (InflateResult z = inflateExactly(alphaZlib, alpha.data(), need); !z.ok()) {
        return bitmapError("alpha data: " + z.error);
    }
    // The authoring tool premultiplies the colour before JPEG encoding; JPEG noise can still push a
    // channel above its alpha, and Flash clamps it there (so fully transparent pixels stay invisible).
    for (size_t i = 0; i < need; ++i) {
        const Pixel p = bitmap.pixels[i];
        bitmap.pixels[i] = pixel::fromPremultiplied(uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), alpha[i]);
    }
    pixel::updateOpaque(bitmap);
    return result;
}

}  // namespace player
