#include "swf/bit_reader.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace swf {

void BitReader::fail(const std::string& message) {
    if (!ok()) return;
    error_ = message.empty() ? "invalid data" : message;
    errorPos_ = pos_;
}

void BitReader::failAt(size_t pos, const std::string& message) {
    if (!ok()) return;
    fail(message);
    errorPos_ = pos;
}

bool BitReader::need(size_t n) {
    align();
    if (!ok()) return false;
    if (data_.size() - pos_ < n) {
        fail("unexpected end of data");
        return false;
    }
    return true;
}

uint8_t BitReader::u8() {
    if (!need(1)) return 0;
    return data_[pos_++];
}

uint16_t BitReader::u16() {
    if (!need(2)) return 0;
    uint16_t v = uint16_t(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
}

uint32_t BitReader::u32() {
    if (!need(4)) return 0;
    const uint8_t* p = &data_[pos_];
    pos_ += 4;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

float BitReader::f32() {
    return std::bit_cast<float>(u32());
}

double BitReader::f64() {
    uint64_t lo = u32();
    uint64_t hi = u32();
    return std::bit_cast<double>(hi << 32 | lo);
}

double BitReader::avm1Double() {
    uint64_t hi = u32();
    uint64_t lo = u32();
    return std::bit_cast<double>(hi << 32 | lo);
}

float BitReader::f16() {
    uint16_t v = u16();
    int sign = v >> 15;
    int exp = (v >> 10) & 0x1F;
    int mant = v & 0x3FF;
    float r;
    if (exp == 0) {
        r = std::ldexp(static_cast<float>(mant), -16 - 10 + 1);
    } else if (exp == 0x1F) {
        r = mant ? NAN : INFINITY;
    } else {
        r = std::ldexp(static_cast<float>(mant | 0x400), exp - 16 - 10);
    }
    return sign ? -r : r;
}

uint32_t BitReader::encodedU32() {
    uint32_t v = 0;
    for (int i = 0; i < 5; ++i) {
        uint8_t b = u8();
        v |= uint32_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80)) break;
    }
    return v;
}

std::string BitReader::string() {
    align();
    if (!ok()) return {};
    const void* nul = std::memchr(data_.data() + pos_, 0, data_.size() - pos_);
    if (!nul) {
        fail("string without terminating NUL");
        return {};
    }
    size_t n = static_cast<const uint8_t*>(nul) - (data_.data() + pos_);
    std::string s(reinterpret_cast<const char*>(data_.data() + pos_), n);
    pos_ += n + 1;
    return s;
}

std::string latin1ToUtf8(std::string s) {
    size_t high = 0;
    for (char c : s)
        high += static_cast<unsigned char>(c) >= 0x80;
    if (high == 0) return s;
    std::string out;
    out.reserve(s.size() + high);
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += char(0xC0 | (b >> 6));
            out += char(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string BitReader::fixedString(size_t n) {
    auto b = bytes(n);
    return std::string(b.begin(), b.end());
}

std::span<const uint8_t> BitReader::bytes(size_t n) {
    if (!need(n)) return {};
    auto s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
}

std::span<const uint8_t> BitReader::rest() {
    align();
    if (!ok()) return {};
    auto s = data_.subspan(pos_);
    pos_ = data_.size();
    return s;
}

void BitReader::seek(size_t pos) {
    align();
    if (!ok()) return;
    if (pos > data_.size()) {
        fail("offset beyond end of data");
        return;
    }
    pos_ = pos;
}

uint32_t BitReader::ub(int n) {
    if (n < 0 || n > 32) {
        fail("bit field wider than 32 bits");
        return 0;
    }
    if (!ok()) return 0;
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        if (pos_ >= data_.size()) {
            fail("unexpected end of data");
            return 0;
        }
        v = (v << 1) | ((data_[pos_] >> (7 - bitPos_)) & 1u);
        if (++bitPos_ == 8) {
            bitPos_ = 0;
            ++pos_;
        }
    }
    return v;
}

int32_t BitReader::sb(int n) {
    uint32_t v = ub(n);
    if (n <= 0 || n >= 32) return static_cast<int32_t>(v);
    // Sign-extend from bit n-1.
    uint32_t sign = 1u << (n - 1);
    return static_cast<int32_t>((v ^ sign) - sign);
}

}  // namespace swf
