#include "player/text/styled_text.h"

#include <algorithm>

namespace player::text {

const TextFormat& StyledText::formatAt(size_t i) const {
    static const TextFormat plain;
    if (runs.empty()) return plain;
    auto it = std::upper_bound(runs.begin(), runs.end(), i, [](size_t v, const Run& r) { return v < r.end; });
    return it == runs.end() ? runs.back().format : it->format;
}

void StyledText::append(const std::u32string& s, const TextFormat& format) {
    if (s.empty()) return;
    text += s;
    if (!runs.empty() && runs.back().format == format)
        runs.back().end = text.size();
    else
        runs.push_back({text.size(), format});
}

void StyledText::splitAt(size_t i) {
    if (i == 0 || i >= text.size()) return;
    auto it = std::upper_bound(runs.begin(), runs.end(), i, [](size_t v, const Run& r) { return v < r.end; });
    if (it == runs.end()) return;
    size_t start = it == runs.begin() ? 0 : std::prev(it)->end;
    if (start == i) return;
    Run head{i, it->format};
    runs.insert(it, head);
}

void StyledText::merge() {
    std::vector<Run> out;
    size_t start = 0;
    for (Run& r : runs) {
        if (r.end <= start) continue;  // empty
        if (!out.empty() && out.back().format == r.format)
            out.back().end = r.end;
        else
            out.push_back(std::move(r));
        start = out.back().end;
    }
    runs = std::move(out);
}

void StyledText::replace(size_t begin, size_t end, const std::u32string& s, const TextFormat& format) {
    begin = std::min(begin, text.size());
    end = std::clamp(end, begin, text.size());
    splitAt(begin);
    splitAt(end);
    const size_t removed = end - begin;
    std::vector<Run> out;
    size_t start = 0;
    bool inserted = false;
    for (const Run& r : runs) {
        if (r.end <= begin) {
            out.push_back(r);
        } else if (start >= end) {
            if (!inserted && !s.empty()) out.push_back({begin + s.size(), format});
            inserted = true;
            out.push_back({r.end - removed + s.size(), r.format});
        }
        start = r.end;
    }
    if (!inserted && !s.empty()) out.push_back({begin + s.size(), format});
    text.replace(begin, end - begin, s);
    runs = std::move(out);
    merge();
}

std::u32string fromUtf8(const std::string& s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + size_t(extra) >= s.size()) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + size_t(k)]);
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += size_t(extra) + 1;
    }
    return out;
}

std::string toUtf8(const std::u32string& s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) {
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace player::text
