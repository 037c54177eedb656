#include "bitmap_fixtures.h"

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <utility>

namespace bitmaptest {

Bytes zlib(const Bytes& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9) != Z_OK)
        throw std::runtime_error("zlib");
    out.resize(size);
    return out;
}

namespace {

struct JpegWriter {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;

    JpegWriter(int width, int height) {
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        cinfo.image_width = JDIMENSION(width);
        cinfo.image_height = JDIMENSION(height);
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 100, TRUE);
        for (int i = 0; i < cinfo.num_components; ++i) {
            cinfo.comp_info[i].h_samp_factor = 1;
            cinfo.comp_info[i].v_samp_factor = 1;
        }
    }
    ~JpegWriter() {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
    void toMemory() {
        std::free(buffer);
        buffer = nullptr;
        size = 0;
        jpeg_mem_dest(&cinfo, &buffer, &size);
    }
    Bytes take() { return Bytes(buffer, buffer + size); }
    void writeImage(const Bytes& rgb, bool allTables) {
        jpeg_start_compress(&cinfo, allTables ? TRUE : FALSE);
        const size_t stride = size_t(cinfo.image_width) * 3;
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = const_cast<JSAMPLE*>(rgb.data() + cinfo.next_scanline * stride);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
    }
};

}  // namespace

Bytes encodeJpeg(int width, int height, const Bytes& rgb, bool progressive) {
    JpegWriter w(width, height);
    if (progressive) jpeg_simple_progression(&w.cinfo);
    w.toMemory();
    w.writeImage(rgb, true);
    return w.take();
}

void encodeJpegSplit(int width, int height, const Bytes& rgb, Bytes& tables, Bytes& image) {
    JpegWriter w(width, height);
    w.toMemory();
    jpeg_write_tables(&w.cinfo);  // marks the tables as sent, so the image below leaves them out
    tables = w.take();
    w.toMemory();
    w.writeImage(rgb, false);
    image = w.take();
}

namespace {
void pngWrite(png_structp png, png_bytep data, size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void pngFlush(png_structp) {}
}  // namespace

Bytes encodePng(const PngImage& s, const Bytes& samples) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("libpng write failed");
    }
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    png_set_IHDR(png, info, png_uint_32(s.width), png_uint_32(s.height), s.bitDepth, s.colorType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) {
        std::vector<png_color> pal;
        for (size_t i = 0; i + 2 < s.palette.size(); i += 3) {
            pal.push_back({s.palette[i], s.palette[i + 1], s.palette[i + 2]});
        }
        png_set_PLTE(png, info, pal.data(), int(pal.size()));
    }
    if (!s.trns.empty()) png_set_tRNS(png, info, s.trns.data(), int(s.trns.size()), nullptr);
    png_write_info(png, info);
    const size_t stride = samples.size() / size_t(s.height);
    std::vector<png_bytep> rows(size_t(s.height));
    for (int y = 0; y < s.height; ++y)
        rows[y] = const_cast<png_bytep>(samples.data() + size_t(y) * stride);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

namespace {

// LSB-first bit packing into data sub-blocks of at most 255 bytes.
class GifBits {
  public:
    void put(int code, int size) {
        acc_ |= uint32_t(code) << bits_;
        bits_ += size;
        while (bits_ >= 8) {
            bytes_.push_back(uint8_t(acc_));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    Bytes finish() {
        if (bits_ > 0) bytes_.push_back(uint8_t(acc_));
        Bytes out;
        for (size_t i = 0; i < bytes_.size(); i += 255) {
            const size_t n = std::min<size_t>(255, bytes_.size() - i);
            out.push_back(uint8_t(n));
            out.insert(out.end(), bytes_.begin() + long(i), bytes_.begin() + long(i + n));
        }
        out.push_back(0);
        return out;
    }

  private:
    Bytes bytes_;
    uint32_t acc_ = 0;
    int bits_ = 0;
};

}  // namespace

Bytes lzwSubBlocks(const Bytes& indices, int minCodeSize, bool deferredClear) {
    const int clear = 1 << minCodeSize, eoi = clear + 1;
    GifBits bits;
    std::map<std::pair<int, int>, int> dict;
    int size = minCodeSize + 1, next = eoi + 1;
    bits.put(clear, size);
    int prefix = indices.empty() ? -1 : indices[0];
    bool justCleared = true;  // the next code written is the first after a clear
    for (size_t i = 1; i < indices.size(); ++i) {
        const int c = indices[i];
        auto it = dict.find({prefix, c});
        if (it != dict.end()) {
            prefix = it->second;
            continue;
        }
        bits.put(prefix, size);
        justCleared = false;
        if (next < 4096) {
            dict[{prefix, c}] = next;
            // The decoder adds its entry one code later, so it widens its codes on reaching 2^size - 1;
            // the encoder widens once it has added the entry numbered 2^size.
            if (next == (1 << size) && size < 12) ++size;
            ++next;
        } else if (!deferredClear) {
            bits.put(clear, size);
            dict.clear();
            size = minCodeSize + 1;
            next = eoi + 1;
            justCleared = true;
        }
        prefix = c;
    }
    if (prefix >= 0) bits.put(prefix, size);
    // Reading that last code the decoder adds one more entry (unless it was the first code after a clear,
    // or the table is full) and may widen its codes before it reads the end code.
    if (!justCleared && next < 4096 && next + 1 == (1 << size) && size < 12) ++size;
    bits.put(eoi, size);
    return bits.finish();
}

Bytes encodeGif(const GifImage& s, const Bytes& indices) {
    auto u16 = [](Bytes& b, int v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    auto tableBits = [](const Bytes& table) {
        int n = 0;
        while ((size_t(2) << n) * 3 < table.size())
            ++n;
        return n;
    };
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    u16(out, s.screenWidth);
    u16(out, s.screenHeight);
    out.push_back(s.globalTable.empty() ? 0 : uint8_t(0x80 | 0x70 | tableBits(s.globalTable)));
    out.push_back(0);
    out.push_back(0);
    out.insert(out.end(), s.globalTable.begin(), s.globalTable.end());
    // An application extension first, which the decoder must skip.
    const Bytes app = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
    out.insert(out.end(), app.begin(), app.end());
    if (s.transparentIndex >= 0) {
        const Bytes gce = {0x21, 0xF9, 4, 0x01, 0, 0, uint8_t(s.transparentIndex), 0};
        out.insert(out.end(), gce.begin(), gce.end());
    }
    out.push_back(0x2C);
    u16(out, s.left);
    u16(out, s.top);
    u16(out, s.width);
    u16(out, s.height);
    out.push_back(
        uint8_t((s.localTable.empty() ? 0 : 0x80 | tableBits(s.localTable)) | (s.interlaced ? 0x40 : 0)));
    out.insert(out.end(), s.localTable.begin(), s.localTable.end());

    Bytes ordered;
    if (s.interlaced) {
        static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass) {
            for (int y = kStart[pass]; y < s.height; y += kStep[pass]) {
                ordered.insert(ordered.end(), indices.begin() + long(y) * s.width,
                               indices.begin() + long(y + 1) * s.width);
            }
        }
    } else {
        ordered = indices;
    }
    out.push_back(uint8_t(s.minCodeSize));
    const Bytes data = lzwSubBlocks(ordered, s.minCodeSize, s.deferredClear);
    out.insert(out.end(), data.begin(), data.end());
    out.push_back(0x3B);
    return out;
}

}  // namespace bitmaptest
