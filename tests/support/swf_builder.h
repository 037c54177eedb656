// SWF builder for tests: writes movies byte by byte so every test states the movie it needs.
// Owns nothing but its byte buffers; single-threaded; never reads files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testswf {

using Bytes = std::vector<uint8_t>;

// Bit-packed writer, most significant bit first (SWF RECT, MATRIX, CXFORM, shape records).
class BitWriter {
  public:
    void ub(uint32_t value, int bits);
    void sb(int32_t value, int bits);
    void fb(double value, int bits);  // 16.16 fixed point, signed
    void align();
    const Bytes& bytes();

    // Bits needed to hold value as a signed / unsigned field.
    static int sbits(int32_t value);
    static int ubits(uint32_t value);

  private:
    Bytes out_;
    uint32_t acc_ = 0;
    int used_ = 0;
};

// Little-endian byte writer.
class ByteWriter {
  public:
    ByteWriter& u8(uint8_t v);
    ByteWriter& u16(uint16_t v);
    ByteWriter& u32(uint32_t v);
    ByteWriter& s16(int16_t v) { return u16(static_cast<uint16_t>(v)); }
    ByteWriter& fixed8(double v);           // 8.8
    ByteWriter& str(const std::string& s);  // NUL-terminated
    ByteWriter& raw(const Bytes& b);
    ByteWriter& raw(const uint8_t* p, size_t n);
    ByteWriter& rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax);
    // MATRIX with optional scale/rotate parts (1.0 / 0.0 are omitted), translation in twips.
    ByteWriter& matrix(double sx = 1, double sy = 1, double r0 = 0, double r1 = 0, int32_t tx = 0,
                       int32_t ty = 0);
    // CXFORM (withAlpha=false) or CXFORMWITHALPHA; multipliers in 8.8 (256 = 1.0).
    ByteWriter& cxform(bool withAlpha, const int mul[4], const int add[4]);
    ByteWriter& rgb(uint32_t rrggbb);
    ByteWriter& rgba(uint32_t rrggbbaa);
    const Bytes& bytes() const { return out_; }
    size_t size() const { return out_.size(); }

  private:
    Bytes out_;
};

enum class Compression { None, Zlib, Lzma };

struct Header {
    uint8_t version = 10;
    int32_t xmin = 0, xmax = 550 * 20, ymin = 0, ymax = 400 * 20;  // twips
    uint16_t frameRate88 = 12 << 8;                                // 8.8 fixed point
    uint16_t frameCount = 1;
    // When set, this length is written instead of the real one (hostile header cases).
    bool overrideLength = false;
    uint32_t length = 0;
    // When set, the rectangle is written with this Nbits instead of the smallest fitting one.
    int forceNbits = -1;
};

class SwfBuilder {
  public:
    explicit SwfBuilder(Header h = {}) : header_(h) {}
    Header& header() { return header_; }

    // Appends a tag with a short or (when forced or needed) long record header.
    SwfBuilder& tag(uint16_t code, const Bytes& body, bool forceLong = false);
    SwfBuilder& showFrame() { return tag(1, {}); }
    SwfBuilder& end() { return tag(0, {}); }
    SwfBuilder& backgroundColor(uint32_t rrggbb);

    // The tag stream so far (without header).
    const Bytes& body() const { return tags_; }

    // The complete movie. Compressed movies keep the uncompressed length in the header.
    Bytes build(Compression c = Compression::None) const;

  private:
    Header header_;
    Bytes tags_;
};

// Movie bytes preceded by a fake player program and followed by the projector trailer
// (marker 0xFA123456, then the movie's length).
Bytes makeProjector(const Bytes& movie, size_t stubSize = 4096, uint32_t marker = 0xFA123456u);
// As above but with a chosen trailer length value (hostile cases).
Bytes makeProjectorRaw(const Bytes& stub, const Bytes& movie, uint32_t marker, uint32_t length);

Bytes zlibCompress(const Bytes& in);
// Raw LZMA1 data as SWF "ZWS" stores it: 5 property bytes, then the stream with an end marker.
Bytes lzmaCompressForSwf(const Bytes& in);

// Writes bytes to a file; returns false on failure.
bool writeFile(const std::string& path, const Bytes& data);

// Folder of the reference corpus, or empty when it is absent.
std::string corpusDir();

}  // namespace testswf
