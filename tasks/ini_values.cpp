#include "tasks/ini_values.h"

#include <QString>

#include <charconv>
#include <cmath>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Hexadecimal digits only, at least one, value within 32 bits.
std::optional<uint32_t> ParseHexDigits(const std::string& text, size_t pos) {
    if (pos >= text.size()) return std::nullopt;
    uint64_t v = 0;
    for (; pos < text.size(); ++pos) {
        int d = HexDigit(text[pos]);
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<uint32_t>(v);
}

}  // namespace

std::string FormatIniInt(int32_t value) {
    return std::to_string(value);
}

std::optional<int32_t> ParseIniInt(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    std::optional<uint32_t> hex;
    if (pos < text.size() && text[pos] == '$') {
        hex = ParseHexDigits(text, pos + 1);
        if (!hex) return std::nullopt;
    } else if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        hex = ParseHexDigits(text, pos + 2);
        if (!hex) return std::nullopt;
    }
    if (hex) {
        uint32_t v = negative ? 0u - *hex : *hex;
        return static_cast<int32_t>(v);
    }
    if (pos >= text.size()) return std::nullopt;
    int64_t v = 0;
    for (; pos < text.size(); ++pos) {
        if (!IsDigit(text[pos])) return std::nullopt;
        v = v * 10 + (text[pos] - '0');
        if (v > 2147483648ll) return std::nullopt;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(v);
}

std::string FormatIniFloat(double value, const std::string& decimalSeparator) {
    // QString::number is independent of the C locale; only the separator is the user's.
    std::string s = QString::number(value, 'g', 15).toStdString();
    size_t dot = s.find('.');
    if (dot != std::string::npos) s.replace(dot, 1, decimalSeparator);
    return s;
}

std::optional<double> ParseIniFloat(const std::string& text, const std::string& decimalSeparator) {
    size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    // Rebuild the number with a point, checking its form on the way: [sign] digits [sep digits] [e [sign]
    // digits].
    std::string plain;
    size_t pos = begin;
    if (pos < end && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-') plain += '-';
        ++pos;
    }
    int mantissaDigits = 0;
    while (pos < end && IsDigit(text[pos])) {
        plain += text[pos++];
        ++mantissaDigits;
    }
    if (!decimalSeparator.empty() && text.compare(pos, decimalSeparator.size(), decimalSeparator) == 0 &&
        pos + decimalSeparator.size() <= end) {
        pos += decimalSeparator.size();
        plain += '.';
        while (pos < end && IsDigit(text[pos])) {
            plain += text[pos++];
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) return std::nullopt;
    if (pos < end && (text[pos] == 'e' || text[pos] == 'E')) {
        plain += 'e';
        ++pos;
        if (pos < end && (text[pos] == '+' || text[pos] == '-')) plain += text[pos++];
        int expDigits = 0;
        while (pos < end && IsDigit(text[pos])) {
            plain += text[pos++];
            ++expDigits;
        }
        if (expDigits == 0) return std::nullopt;
    }
    if (pos != end) return std::nullopt;
    double v = 0;
    auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), v);
    if (ec != std::errc() || ptr != plain.data() + plain.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string FormatIniColor(uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4)
        s[static_cast<size_t>(i)] = digits[value & 0xF];
    return s;
}

std::optional<uint32_t> ParseIniColor(const std::string& text) {
    return ParseHexDigits(text, 0);
}
