// JPEG decoding with libjpeg. libjpeg reports fatal errors through error_exit, which by default calls
// exit(); here it longjmps back into decodeJpegStream. Between setjmp and the longjmp only C code and
// trivially destructible state run, and everything decodeJpegStream owns lives outside the jump.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "player/bitmap/image_codecs.h"
#include "player/bitmap/jpeg_stream.h"

namespace player {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onErrorExit(j_common_ptr cinfo) {
    auto* em = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, em->message);
    longjmp(em->jump, 1);
}

// Warnings (corrupt entropy data and the like) are not fatal: Flash shows what it can decode.
void onOutputMessage(j_common_ptr) {}

// Source manager over a memory buffer. At the end of the data it supplies an EOI marker, so truncated
// entropy data decodes as far as it goes instead of reading past the buffer.
const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};
void initSource(j_decompress_ptr) {}
boolean fillInputBuffer(j_decompress_ptr cinfo) {
    cinfo->src->next_input_byte = kFakeEoi;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}
void skipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto* src = cinfo->src;
    while (size_t(count) > src->bytes_in_buffer) {
        count -= long(src->bytes_in_buffer);
        (void)fillInputBuffer(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= size_t(count);
}
void termSource(j_decompress_ptr) {}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_source_mgr src;
};

// Runs libjpeg over the whole stream into bitmap. Returns an empty string or the error. No C++ object
// with a destructor is created between setjmp and the end of the decode.
std::string decodeJpegStream(const std::vector<uint8_t>& stream, const BitmapLimits& limits, Bitmap& bitmap,
                             std::vector<JSAMPLE>& row) {
    Decoder d;
    std::memset(&d, 0, sizeof d);
    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = onErrorExit;
    d.err.pub.output_message = onOutputMessage;
    if (setjmp(d.err.jump)) {
        jpeg_destroy_decompress(&d.cinfo);
        return std::string("libjpeg: ") + d.err.message;
    }
    jpeg_create_decompress(&d.cinfo);
    d.src.init_source = initSource;
    d.src.fill_input_buffer = fillInputBuffer;
    d.src.skip_input_data = skipInputData;
    d.src.resync_to_restart = jpeg_resync_to_restart;
    d.src.term_source = termSource;
    d.src.next_input_byte = stream.data();
    d.src.bytes_in_buffer = stream.size();
    d.cinfo.src = &d.src;
    // Bounds libjpeg's own allocations (progressive coefficient buffers); with no backing store,
    // exceeding it is a clean error.
    d.cinfo.mem->max_memory_to_use = 768L << 20;

    jpeg_read_header(&d.cinfo, TRUE);
    {
        const std::string sizeError = checkBitmapSize(d.cinfo.image_width, d.cinfo.image_height, limits);
        if (!sizeError.empty()) {
            jpeg_destroy_decompress(&d.cinfo);
            return sizeError;
        }
    }
    const J_COLOR_SPACE in = d.cinfo.jpeg_color_space;
    if (in == JCS_GRAYSCALE) {
        d.cinfo.out_color_space = JCS_GRAYSCALE;
    } else if (in == JCS_CMYK || in == JCS_YCCK) {
        d.cinfo.out_color_space = JCS_CMYK;
    } else {
        d.cinfo.out_color_space = JCS_RGB;
    }
    jpeg_start_decompress(&d.cinfo);

    const int w = int(d.cinfo.output_width), h = int(d.cinfo.output_height);
    const int comps = d.cinfo.output_components;
    bitmap.width = w;
    bitmap.height = h;
    bitmap.pixels.assign(size_t(w) * size_t(h), packPremultiplied(0, 0, 0, 255));
    row.resize(size_t(w) * size_t(comps));
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        const int y = int(d.cinfo.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        if (jpeg_read_scanlines(&d.cinfo, rows, 1) != 1) break;
        Pixel* dst = bitmap.pixels.data() + size_t(y) * size_t(w);
        const JSAMPLE* s = row.data();
        if (comps == 1) {
            for (int x = 0; x < w; ++x)
                dst[x] = packPremultiplied(s[x], s[x], s[x], 255);
        } else if (comps == 4) {
            // Adobe CMYK JPEGs store inverted ink values, so the colour is simply channel * K.
            for (int x = 0; x < w; ++x, s += 4) {
                const uint32_t k = s[3];
                dst[x] = packPremultiplied(uint8_t(s[0] * k / 255), uint8_t(s[1] * k / 255),
                                           uint8_t(s[2] * k / 255), 255);
            }
        } else {
            for (int x = 0; x < w; ++x, s += 3)
                dst[x] = packPremultiplied(s[0], s[1], s[2], 255);
        }
    }
    jpeg_finish_decompress(&d.cinfo);
    jpeg_destroy_decompress(&d.cinfo);
    return {};
}

}  // namespace

BitmapResult decodeJpegWithTables(ByteSpan tables, ByteSpan data, const BitmapLimits& limits) {
    JpegStream stream = normalizeJpegStream(tables, data);
    if (!stream.error.empty()) return bitmapError(stream.error);
    if (stream.scans > limits.maxJpegScans) {
        return bitmapError("JPEG has " + std::to_string(stream.scans) + " scans, limit " +
                           std::to_string(limits.maxJpegScans));
    }
    Bitmap bitmap;
    std::vector<JSAMPLE> row;
    const std::string error = decodeJpegStream(stream.bytes, limits, bitmap, row);
    if (!error.empty()) return bitmapError(error);
    bitmap.opaque = true;
    return bitmap;
}

BitmapResult decodeJpeg(ByteSpan data, const BitmapLimits& limits) {
    return decodeJpegWithTables({}, data, limits);
}

}  // namespace player
