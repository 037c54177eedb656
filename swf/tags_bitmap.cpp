// Bitmap tags: ids, format fields and the still-encoded data.
#include "swf/tag_readers.h"

namespace swf::detail {

ImageFormat sniffImageFormat(std::span<const uint8_t> d) {
    if (d.size() >= 2 && d[0] == 0xFF && (d[1] == 0xD8 || d[1] == 0xD9)) return ImageFormat::Jpeg;
    if (d.size() >= 8 && d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G') return ImageFormat::Png;
    if (d.size() >= 6 && d[0] == 'G' && d[1] == 'I' && d[2] == 'F' && d[3] == '8') return ImageFormat::Gif;
    return ImageFormat::Unknown;
}

DefineBits readDefineBits(BitReader& r) {
    DefineBits b;
    b.id = r.u16();
    b.jpegData = toBytes(r.rest());
    return b;
}

JPEGTables readJPEGTables(BitReader& r) {
    return {toBytes(r.rest())};
}

DefineBitsJPEG readDefineBitsJPEG(BitReader& r, int version) {
    DefineBitsJPEG b;
    b.version = static_cast<uint8_t>(version);
    b.id = r.u16();
    if (version == 2) {
        b.imageData = toBytes(r.rest());
    } else {
        uint32_t alphaOffset = r.u32();
        if (version == 4) b.deblocking = r.u16();
        if (r.ok() && alphaOffset > r.remaining()) {
            r.fail("alpha data offset " + std::to_string(alphaOffset) + " beyond the tag");
            return b;
        }
        b.imageData = toBytes(r.bytes(alphaOffset));
        b.alphaData = toBytes(r.rest());
    }
    b.format = sniffImageFormat(b.imageData);
    return b;
}

DefineBitsLossless readDefineBitsLossless(BitReader& r, int version) {
    DefineBitsLossless b;
    b.version = static_cast<uint8_t>(version);
    b.id = r.u16();
    b.format = r.u8();
    b.width = r.u16();
    b.height = r.u16();
    if (r.ok() && b.format != 3 && b.format != 4 && b.format != 5) {
        r.failAt(2, "unknown lossless bitmap format " + std::to_string(b.format));
        return b;
    }
    if (b.format == 3) b.colorTableSize = uint16_t(r.u8() + 1);
    b.zlibData = toBytes(r.rest());
    return b;
}

}  // namespace swf::detail
