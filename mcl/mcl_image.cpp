// Still images: bitmaps copied into MclImage, an alpha channel attached, and one picture written as PNG, TGA,
// BMP or JPEG. PNG goes through libpng's simplified writer and JPEG through libjpeg; TGA and BMP are plain
// enough to write here. Every file is written under a temporary name in its own folder and renamed over the
// final name only once it is complete, so a failed write never leaves a broken picture under that name.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

// jpeglib.h needs FILE declared before it.
#include <jpeglib.h>
#include <png.h>

#include "mcl/mcl.h"
#include "mcl/mcl_image_data.h"

namespace {

// JPEG quality when the caller passes MclDefault: visually clean for the flat colours and sharp edges of
// Flash movies at a moderate size.
constexpr int kDefaultJpegQuality = 90;

enum class ImageFormat { Unknown, PNG, TGA, BMP, JPEG };

ImageFormat FormatOf(const std::string& fileName) {
    std::string ext = std::filesystem::path(fileName).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == ".png") return ImageFormat::PNG;
    if (ext == ".tga") return ImageFormat::TGA;
    if (ext == ".bmp") return ImageFormat::BMP;
    if (ext == ".jpg" || ext == ".jpeg") return ImageFormat::JPEG;
    return ImageFormat::Unknown;
}

void PutLE16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
    PutLE16(out, v & 0xFFFF);
    PutLE16(out, v >> 16);
}

bool WriteAll(FILE* file, const uint8_t* data, size_t size) {
    return size == 0 || std::fwrite(data, 1, size, file) == size;
}

// PNG, 8 bits a channel: BGR, or BGRA when the image has an alpha channel (stored unpremultiplied, as PNG
// defines it).
bool WritePng(FILE* file, const MclImage& image) {
    const bool withAlpha = !image.alpha.empty();
    std::vector<uint8_t> bgra;
    const uint8_t* pixels = image.bgr.data();
    if (withAlpha) {
        const size_t count = size_t(image.width) * size_t(image.height);
        bgra.resize(count * 4);
        for (size_t i = 0; i < count; ++i) {
            bgra[i * 4 + 0] = image.bgr[i * 3 + 0];
            bgra[i * 4 + 1] = image.bgr[i * 3 + 1];
            bgra[i * 4 + 2] = image.bgr[i * 3 + 2];
            bgra[i * 4 + 3] = image.alpha[i];
        }
        pixels = bgra.data();
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = withAlpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
    const int ok = png_image_write_to_stdio(&png, file, 0, pixels, 0, nullptr);
    png_image_free(&png);
    return ok != 0;
}

// Truevision TGA, uncompressed true colour (image type 2), rows bottom first (origin in the lower left
// corner, the layout every reader understands). With alpha: 32 bits a pixel and 8 attribute bits in the image
// descriptor. Ends with the TGA 2.0 footer without extension or developer areas.
bool WriteTga(FILE* file, const MclImage& image) {
    if (image.width > 0xFFFF || image.height > 0xFFFF) return false;  // the header holds 16-bit sizes
    const bool withAlpha = !image.alpha.empty();
    std::vector<uint8_t> header;
    header.push_back(0);                // no image id
    header.push_back(0);                // no colour map
    header.push_back(2);                // uncompressed true colour
    header.insert(header.end(), 5, 0);  // colour map: first index, length, entry size
    PutLE16(header, 0);                 // x origin
    PutLE16(header, 0);                 // y origin
    PutLE16(header, uint32_t(image.width));
    PutLE16(header, uint32_t(image.height));
    header.push_back(withAlpha ? 32 : 24);
    header.push_back(withAlpha ? 8 : 0);  // alpha bits; origin bits 0 = lower left
    if (!WriteAll(file, header.data(), header.size())) return false;

    const int bytesPerPixel = withAlpha ? 4 : 3;
    std::vector<uint8_t> row(size_t(image.width) * bytesPerPixel);
    for (int y = image.height - 1; y >= 0; --y) {
        const uint8_t* src = image.bgr.data() + size_t(y) * image.width * 3;
        if (withAlpha) {
            const uint8_t* a = image.alpha.data() + size_t(y) * image.width;
            for (int x = 0; x < image.width; ++x) {
                row[size_t(x) * 4 + 0] = src[x * 3 + 0];
                row[size_t(x) * 4 + 1] = src[x * 3 + 1];
                row[size_t(x) * 4 + 2] = src[x * 3 + 2];
                row[size_t(x) * 4 + 3] = a[x];
            }
            if (!WriteAll(file, row.data(), row.size())) return false;
        } else if (!WriteAll(file, src, size_t(image.width) * 3)) {
            return false;
        }
    }
    std::vector<uint8_t> footer;
    PutLE32(footer, 0);                                    // extension area offset: none
    PutLE32(footer, 0);                                    // developer directory offset: none
    static const char kSignature[] = "TRUEVISION-XFILE.";  // with its NUL, 18 bytes
    footer.insert(footer.end(), kSignature, kSignature + sizeof kSignature);
    return WriteAll(file, footer.data(), footer.size());
}

// Windows bitmap: BITMAPFILEHEADER, BITMAPINFOHEADER, 24 bits a pixel, uncompressed, rows bottom first, each
// padded to a multiple of four bytes. Alpha is not kept.
bool WriteBmp(FILE* file, const MclImage& image) {
    const uint64_t stride = (uint64_t(image.width) * 3 + 3) & ~uint64_t(3);
    const uint64_t pixelBytes = stride * uint64_t(image.height);
    const uint64_t fileSize = 14 + 40 + pixelBytes;
    if (fileSize > 0xFFFFFFFFu) return false;  // the file header holds a 32-bit size
    std::vector<uint8_t> header;
    header.push_back('B');
    header.push_back('M');
    PutLE32(header, uint32_t(fileSize));
    PutLE32(header, 0);        // reserved
    PutLE32(header, 14 + 40);  // offset of the pixels
    PutLE32(header, 40);       // BITMAPINFOHEADER size
    PutLE32(header, uint32_t(image.width));
    PutLE32(header, uint32_t(image.height));  // positive: bottom-up rows
    PutLE16(header, 1);                       // planes
    PutLE16(header, 24);                      // bits per pixel
    PutLE32(header, 0);                       // BI_RGB
    PutLE32(header, uint32_t(pixelBytes));
    PutLE32(header, 2835);  // 72 dpi, in pixels per metre
    PutLE32(header, 2835);
    PutLE32(header, 0);  // colours used
    PutLE32(header, 0);  // important colours
    if (!WriteAll(file, header.data(), header.size())) return false;

    std::vector<uint8_t> row(size_t(stride), 0);
    for (int y = image.height - 1; y >= 0; --y) {
        std::copy_n(image.bgr.data() + size_t(y) * image.width * 3, size_t(image.width) * 3, row.begin());
        if (!WriteAll(file, row.data(), row.size())) return false;
    }
    return true;
}

// libjpeg reports errors through error_exit, which must not return; it jumps back into WriteJpeg.
struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

void JpegQuiet(j_common_ptr) {}

// Baseline JPEG from the BGR rows as they are (libjpeg-turbo's BGR input). Alpha is not kept. Only plain C
// objects live in this frame, as the error path leaves it by longjmp.
bool WriteJpeg(FILE* file, const MclImage& image, int quality) {
    jpeg_compress_struct cinfo;
    JpegErrorManager errors;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JpegErrorExit;
    errors.base.output_message = JpegQuiet;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(image.width);
    cinfo.image_height = JDIMENSION(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (quality >= 90) {
        // Full-resolution colour at high quality: Flash pictures are full of saturated edges that halved
        // chroma smears visibly.
        for (int c = 0; c < cinfo.num_components; ++c)
            cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.bgr.data() + size_t(cinfo.next_scanline) * image.width * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// Opens a new file beside `target` (same folder, so the final rename stays on one file system) under a name
// no one else uses. The mode follows the umask like any file the user creates.
FILE* OpenTemporaryBeside(const std::filesystem::path& target, std::string* tempName) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    // Short and independent of the final name, so a name near the file system's length limit still works.
    const std::string base = ".tlv-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = (folder / (base + std::to_string(counter.fetch_add(1)) + ".part")).string();
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        FILE* file = ::fdopen(fd, "wb");
        if (!file) {
            ::close(fd);
            ::unlink(name.c_str());
            return nullptr;
        }
        *tempName = std::move(name);
        return file;
    }
    return nullptr;
}

bool SaveImage(const MclImage& image, const std::string& fileName, uint32_t quality) {
    const ImageFormat format = FormatOf(fileName);
    if (format == ImageFormat::Unknown || image.width <= 0 || image.height <= 0) return false;
    if (image.bgr.size() != size_t(image.width) * size_t(image.height) * 3) return false;
    if (!image.alpha.empty() && image.alpha.size() != size_t(image.width) * size_t(image.height))
        return false;

    std::string tempName;
    FILE* file = OpenTemporaryBeside(std::filesystem::path(fileName), &tempName);
    if (!file) return false;
    bool ok = false;
    try {
        switch (format) {
            case ImageFormat::PNG:
                ok = WritePng(file, image);
                break;
            case ImageFormat::TGA:
                ok = WriteTga(file, image);
                break;
            case ImageFormat::BMP:
                ok = WriteBmp(file, image);
                break;
            case ImageFormat::JPEG: {
                const int q =
                    quality == MclDefault ? kDefaultJpegQuality : int(std::clamp<uint32_t>(quality, 1, 100));
                ok = WriteJpeg(file, image, q);
                break;
            }
            case ImageFormat::Unknown:
                break;
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    // A full disk shows up at the latest when the buffered tail is written out.
    if (std::fflush(file) != 0 || std::ferror(file)) ok = false;
    if (std::fclose(file) != 0) ok = false;
    if (ok && std::rename(tempName.c_str(), fileName.c_str()) != 0) ok = false;
    if (!ok) ::unlink(tempName.c_str());
    return ok;
}

}  // namespace

MclImageHandle MclImgAlloc() {
    return new (std::nothrow) MclImage;
}

void MclImgFree(MclImageHandle image) {
    delete image;
}

int32_t MclDIBToImg(MclImageHandle image, const TDib& bitmap) {
    if (!image) return 0;
    try {
        image->alpha.clear();
        if (bitmap.empty()) {
            image->width = image->height = 0;
            image->bgr.clear();
            return 0;
        }
        const int w = bitmap.width(), h = bitmap.height();
        image->bgr.resize(size_t(w) * size_t(h) * 3);
        image->width = w;
        image->height = h;
        for (int y = 0; y < h; ++y) {
            const uint8_t* src = bitmap.scanLine(y);
            uint8_t* dst = image->bgr.data() + size_t(y) * w * 3;
            if (bitmap.bitsPerPixel() == 8) {
                for (int x = 0; x < w; ++x, dst += 3)
                    dst[0] = dst[1] = dst[2] = src[x];
            } else {
                std::copy_n(src, size_t(w) * 3, dst);
            }
        }
        return 1;
    } catch (const std::bad_alloc&) {
        image->width = image->height = 0;
        image->bgr.clear();
        return 0;
    }
}

int32_t MclImgAddAlpha(MclImageHandle image, MclImageHandle alpha) {
    if (!image || !alpha) return 0;
    if (image->width <= 0 || image->height <= 0) return 0;
    if (alpha->width != image->width || alpha->height != image->height) return 0;
    const size_t count = size_t(image->width) * size_t(image->height);
    if (alpha->bgr.size() != count * 3) return 0;
    try {
        // The alpha picture's grey level: the byte of the 8-bit bitmap it was made from (blue, green and red
        // are equal there; for a colour picture the luminance weights of the frame grab apply). The channel
        // keeps its memory from frame to frame.
        image->alpha.resize(count);
        const uint8_t* src = alpha->bgr.data();
        for (size_t i = 0; i < count; ++i, src += 3)
            image->alpha[i] = uint8_t((21 * src[0] + 174 * src[1] + 61 * src[2]) >> 8);
        return 1;
    } catch (const std::bad_alloc&) {
        image->alpha.clear();
        return 0;
    }
}

int32_t MclImgSaveSingle(MclImageHandle image, const std::string& fileName, uint32_t quality) {
    if (!image) return 0;
    try {
        return SaveImage(*image, fileName, quality) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int32_t MclImgWidth(MclImageHandle image) {
    return image ? image->width : 0;
}

int32_t MclImgHeight(MclImageHandle image) {
    return image ? image->height : 0;
}

bool MclImgHasAlpha(MclImageHandle image) {
    return image && !image->alpha.empty();
}
