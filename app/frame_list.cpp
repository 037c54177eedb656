#include "app/frame_list.h"

#include <cctype>
#include <charconv>

namespace cli {
namespace {

std::optional<long long> parseNumber(std::string_view s) {
    if (s.empty()) return std::nullopt;
    long long v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
    return v;
}

}  // namespace

std::optional<std::vector<int>> parseFrameList(const std::string& text, std::string* error,
                                               size_t maxFrames) {
    std::vector<int> out;
    auto fail = [&](const std::string& why) -> std::optional<std::vector<int>> {
        if (error) *error = why;
        return std::nullopt;
    };
    std::string_view rest(text);
    if (rest.empty()) return fail("the frame list is empty");
    while (true) {
        size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        size_t dash = item.find('-');
        std::optional<long long> first = parseNumber(item.substr(0, dash));
        std::optional<long long> last =
            dash == std::string_view::npos ? first : parseNumber(item.substr(dash + 1));
        if (!first || !last) return fail("'" + std::string(item) + "' is not a frame number or range");
        if (*first < 1 || *last < 1 || *first > 0x7FFFFFFF || *last > 0x7FFFFFFF)
            return fail("frames are numbered from 1: '" + std::string(item) + "'");
        if (*last < *first) return fail("range '" + std::string(item) + "' runs backwards");
        if (static_cast<unsigned long long>(*last - *first) + out.size() >= maxFrames)
            return fail("too many frames in the list");
        for (long long f = *first; f <= *last; ++f)
            out.push_back(static_cast<int>(f));
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return out;
}

std::optional<std::pair<int, int>> parseSize(const std::string& text) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return std::nullopt;
    auto w = parseNumber(std::string_view(text).substr(0, x));
    auto h = parseNumber(std::string_view(text).substr(x + 1));
    if (!w || !h || *w < 1 || *h < 1 || *w > 100000 || *h > 100000) return std::nullopt;
    return std::make_pair(static_cast<int>(*w), static_cast<int>(*h));
}

std::optional<unsigned> parseColor(const std::string& text) {
    std::string_view s(text);
    if (!s.empty() && s[0] == '#') s.remove_prefix(1);
    if (s.size() != 6) return std::nullopt;
    unsigned v = 0;
    for (char c : s) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        v = v * 16 + static_cast<unsigned>(
                         std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
    }
    return v;
}

}  // namespace cli
