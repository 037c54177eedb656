#include "player/avm1/value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace player::avm1 {

std::string numberToString(double n) {
    if (std::isnan(n)) return "NaN";
    if (std::isinf(n)) return n > 0 ? "Infinity" : "-Infinity";
    if (n == 0) return "0";
    if (n == std::trunc(n) && std::fabs(n) < 2147483648.0) return std::to_string(static_cast<long long>(n));
    // Flash Player keeps 15 significant digits, rounding halves away from zero: the value's exact decimal
    // digits (printf gives them) are rounded here rather than by printf, which rounds a tie to even.
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.40e", std::fabs(n));
    std::string all;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') all += *p;
    int exp = *p == 'e' ? std::atoi(p + 1) : 0;
    std::string digits = all.substr(0, 15);
    if (all[15] >= '5') {
        int i = 14;
        for (; i >= 0 && digits[size_t(i)] == '9'; --i)
            digits[size_t(i)] = '0';
        if (i >= 0) {
            ++digits[size_t(i)];
        } else {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exp;
        }
    }
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string out = n < 0 ? "-" : "";
    if (exp >= 15 || exp < -5) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += exp >= 0 ? "e+" : "e-";
        out += std::to_string(std::abs(exp));
    } else if (exp >= 0) {
        size_t intLen = size_t(exp) + 1;
        if (digits.size() <= intLen) {
            out += digits + std::string(intLen - digits.size(), '0');
        } else {
            out += digits.substr(0, intLen) + "." + digits.substr(intLen);
        }
    } else {
        out += "0." + std::string(size_t(-exp - 1), '0') + digits;
    }
    return out;
}

std::string numberToRadix(double n, int radix) {
    if (radix == 10 || radix < 2 || radix > 36) return numberToString(n);
    if (std::isnan(n)) return "NaN";
    if (std::isinf(n)) return n > 0 ? "Infinity" : "-Infinity";
    int32_t v = toInt32(n);
    bool neg = v < 0;
    uint64_t u = neg ? uint64_t(-int64_t(v)) : uint64_t(v);
    std::string s;
    do {
        int d = int(u % unsigned(radix));
        s.insert(s.begin(), char(d < 10 ? '0' + d : 'a' + d - 10));
        u /= unsigned(radix);
    } while (u);
    return neg ? "-" + s : s;
}

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

double stringToNumber(const std::string& s, int swfVersion) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    size_t i = 0;
    while (i < s.size() && isSpace(s[i]))
        ++i;
    if (i == s.size()) return swfVersion >= 5 ? nan : 0;
    // Hexadecimal from SWF 6: 0x1F at the very start (no space or sign before it, a sign after it); read as
    // a 32-bit integer.
    if (swfVersion >= 6) {
        size_t j = 0;
        bool neg = false;
        if (j + 1 < s.size() && s[j] == '0' && (s[j + 1] == 'x' || s[j + 1] == 'X')) {
            j += 2;
            if (j < s.size() && (s[j] == '-' || s[j] == '+')) neg = s[j++] == '-';
            if (j == s.size()) return nan;
            uint32_t v = 0;
            for (; j < s.size(); ++j) {
                char c = s[j];
                int d = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
                if (d < 0) return nan;
                v = v * 16 + uint32_t(d);
            }
            double r = double(int32_t(v));
            return neg ? -r : r;
        }
    }
    size_t start = i;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    // A leading zero followed by octal digits only reads as octal (not behind white space).
    if (swfVersion >= 6 && start == 0 && i + 1 < s.size() && s[i] == '0') {
        size_t j = i + 1;
        uint64_t v = 0;
        while (j < s.size() && s[j] >= '0' && s[j] <= '7' && v < (uint64_t(1) << 40))
            v = v * 8 + uint64_t(s[j++] - '0');
        if (j == s.size()) return s[start] == '-' ? -double(v) : double(v);
    }
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0) return nan;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '-' || s[j] == '+')) ++j;
        size_t e = 0;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9')
            ++j, ++e;
        if (e > 0) i = j;
    }
    size_t end = i;
    while (i < s.size() && isSpace(s[i]))
        ++i;
    if (i != s.size()) return nan;
    return std::strtod(s.substr(start, end - start).c_str(), nullptr);
}

int32_t toInt32(double n) {
    if (!std::isfinite(n)) return 0;
    double t = std::trunc(n);
    double m = std::fmod(t, 4294967296.0);
    if (m < 0) m += 4294967296.0;
    return static_cast<int32_t>(static_cast<uint32_t>(m));
}

uint32_t toUint32(double n) {
    return static_cast<uint32_t>(toInt32(n));
}

std::u16string toUtf16(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
            len = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < s.size()) {
            cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
                 ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
            len = 4;
        } else {
            // A byte that is not UTF-8 stands for itself (Latin-1), as in older movies.
            cp = c;
            len = 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
        i += len;
    }
    return out;
}

std::string codeUnitToUtf8(uint32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
    return out;
}

std::string toUtf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        out += codeUnitToUtf8(c);
    }
    return out;
}

}  // namespace player::avm1
