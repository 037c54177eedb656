// PNG decoding with libpng. libpng's errors longjmp back here (png_longjmp) instead of aborting; only C
// code and trivially destructible state lie between the setjmp and the jump.
#include <png.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "player/bitmap/image_codecs.h"
#include "player/bitmap/pixel_ops.h"

namespace player {

namespace {

struct PngContext {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    char message[200] = {};
    char warning[200] = {};  // the last warning: libpng explains a rejected IHDR only there
};

void readData(png_structp png, png_bytep out, size_t n) {
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    if (n > ctx->size - ctx->pos) png_error(png, "PNG data truncated");
    std::memcpy(out, ctx->data + ctx->pos, n);
    ctx->pos += n;
}

void onError(png_structp png, png_const_charp message) {
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    std::strncpy(ctx->message, message ? message : "unknown error", sizeof ctx->message - 1);
    png_longjmp(png, 1);
}

void onWarning(png_structp png, png_const_charp message) {
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    std::strncpy(ctx->warning, message ? message : "", sizeof ctx->warning - 1);
}

// Total length of the IDAT chunks, by walking the chunk list (PNG: length, type, data, CRC).
size_t idatBytes(ByteSpan d) {
    size_t total = 0, p = 8;
    while (p + 8 <= d.size()) {
        const size_t len =
            (size_t(d[p]) << 24) | (size_t(d[p + 1]) << 16) | (size_t(d[p + 2]) << 8) | d[p + 3];
        if (std::memcmp(d.data() + p + 4, "IDAT", 4) == 0) total += std::min(len, d.size() - p - 8);
        if (std::memcmp(d.data() + p + 4, "IEND", 4) == 0 || len > d.size() - p - 8) break;
        p += 12 + len;
    }
    return total;
}

// Reads the image into bitmap as RGBA bytes, four per pixel, in the pixel vector's own memory.
std::string readPng(PngContext& ctx, const BitmapLimits& limits, Bitmap& bitmap,
                    std::vector<png_bytep>& rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, onError, onWarning);
    if (!png) return "libpng initialisation failed";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return "libpng initialisation failed";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::string e = std::string("libpng: ") + ctx.message;
        return ctx.warning[0] ? e + " (" + ctx.warning + ")" : e;
    }
    png_set_read_fn(png, &ctx, readData);
    // libpng refuses larger images itself, and caps what one ancillary chunk (zTXt, iCCP) may inflate to.
    png_set_user_limits(png, png_uint_32(limits.maxSide), png_uint_32(limits.maxSide));
    png_set_chunk_malloc_max(png, 8u << 20);
    png_read_info(png, info);

    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    {
        std::string sizeError = checkBitmapSize(w, h, limits);  // scoped: nothing with a destructor may
        if (!sizeError.empty()) {                               // be alive when libpng longjmps
            png_destroy_read_struct(&png, &info, nullptr);
            return sizeError;
        }
    }
    // Deflate expands at most 1032:1: image data too short for the pixels is refused before the
    // bitmap's memory is allocated.
    const size_t packedBytes = size_t(w) * h * png_get_channels(png, info) * png_get_bit_depth(png, info) / 8;
    if (packedBytes / 1032 > idatBytes(ByteSpan(ctx.data, ctx.size))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return "PNG image data too short for its size";
    }
    const int colorType = png_get_color_type(png, info);
    png_set_expand(png);  // palette to RGB, gray below 8 bits to 8, tRNS to an alpha channel
    png_set_strip_16(png);
    if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(w) * 4) {
        png_destroy_read_struct(&png, &info, nullptr);
        return "unexpected PNG row layout";
    }

    bitmap.width = int(w);
    bitmap.height = int(h);
    bitmap.pixels.assign(size_t(w) * size_t(h), 0);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) {
        rows[y] = reinterpret_cast<png_bytep>(bitmap.pixels.data() + size_t(y) * w);
    }
    png_read_image(png, rows.data());
    // The IEND chunk is not needed; a file that ends after its image data still shows.
    png_destroy_read_struct(&png, &info, nullptr);
    return {};
}

}  // namespace

BitmapResult decodePng(ByteSpan data, const BitmapLimits& limits) {
    PngContext ctx;
    ctx.data = data.data();
    ctx.size = data.size();
    Bitmap bitmap;
    std::vector<png_bytep> rows;
    const std::string error = readPng(ctx, limits, bitmap, rows);
    if (!error.empty()) return bitmapError(error);

    // RGBA bytes to premultiplied ARGB, in place: each pixel's four bytes are read before it is written.
    for (Pixel& p : bitmap.pixels) {
        const auto* b = reinterpret_cast<const uint8_t*>(&p);
        const uint8_t r = b[0], g = b[1], bl = b[2], a = b[3];
        p = pixel::fromStraight(r, g, bl, a);
    }
    pixel::updateOpaque(bitmap);
    return bitmap;
}

}  // namespace player
