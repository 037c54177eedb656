// Bounded little-endian byte and MSB-first bit reader over untrusted movie bytes.
// A read past the end (or a value the caller rejects) puts the reader in an error state: later reads
// return zeros and ok() stays false, so parsers check once per loop instead of after every field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace swf {

class BitReader {
  public:
    explicit BitReader(std::span<const uint8_t> data) : data_(data) {}

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // Offset (within this reader's bytes) where the first error happened.
    size_t errorPos() const { return errorPos_; }
    // Records an error at the current position unless one is already recorded.
    void fail(const std::string& message);
    // Same, blaming the byte at pos (a field already read, found invalid).
    void failAt(size_t pos, const std::string& message);

    size_t pos() const { return pos_; }
    size_t size() const { return data_.size(); }
    size_t remaining() const { return ok() ? data_.size() - pos_ : 0; }
    bool atEnd() const { return pos_ >= data_.size(); }

    // Byte reads; each first drops any partly read bits (SWF byte fields start on a byte boundary).
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    int16_t s16() { return static_cast<int16_t>(u16()); }
    int32_t s32() { return static_cast<int32_t>(u32()); }
    float f32();
    double f64();         // IEEE double, little-endian
    double avm1Double();  // AVM1 push double: the two 32-bit halves are stored high half first
    float f16();          // SWF FLOAT16 (1 sign, 5 exponent with bias 16, 10 mantissa bits)
    double fixed8() { return s16() / 256.0; }     // signed 8.8
    double fixed16() { return s32() / 65536.0; }  // signed 16.16
    uint32_t encodedU32();                        // 1..5 bytes, 7 bits each
    // NUL-terminated string (the NUL is consumed, not returned). A missing NUL is an error.
    std::string string();
    // n raw bytes as a string (trailing NULs kept).
    std::string fixedString(size_t n);
    // The next n bytes; an empty span and an error when fewer remain.
    std::span<const uint8_t> bytes(size_t n);
    // Everything left.
    std::span<const uint8_t> rest();
    void skip(size_t n) { (void)bytes(n); }
    // Moves to an absolute position inside this reader (error when beyond the end).
    void seek(size_t pos);

    // Bit reads, most significant bit first. n may be 0 (returns 0); n > 32 is an error.
    uint32_t ub(int n);
    int32_t sb(int n);
    double fb(int n) { return sb(n) / 65536.0; }
    bool flag() { return ub(1) != 0; }
    // Drops the rest of the current partly read byte.
    void align() {
        if (bitPos_) {
            bitPos_ = 0;
            ++pos_;
        }
    }

  private:
    bool need(size_t n);

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    int bitPos_ = 0;  // bits already used of data_[pos_], 0 when byte-aligned
    std::string error_;
    size_t errorPos_ = 0;
};

// Text in movies before SWF 6 is in the author's one-byte code page, taken as Latin-1: widened to UTF-8.
std::string latin1ToUtf8(std::string s);

}  // namespace swf
