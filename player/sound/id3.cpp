#include "player/sound/id3.h"

#include <algorithm>
#include <cstring>

namespace player::sound {

namespace {

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// One string of a frame in its encoding (0 Latin-1, 1 UTF-16 with a byte-order mark, 2 UTF-16BE,
// 3 UTF-8), up to its terminator; `pos` moves past the terminator.
std::string readText(std::span<const uint8_t> d, size_t& pos, uint8_t encoding) {
    std::string out;
    if (encoding == 1 || encoding == 2) {
        bool big = encoding == 2;
        if (encoding == 1 && pos + 1 < d.size()) {
            if (d[pos] == 0xFF && d[pos + 1] == 0xFE) {
                big = false;
                pos += 2;
            } else if (d[pos] == 0xFE && d[pos + 1] == 0xFF) {
                big = true;
                pos += 2;
            }
        }
        uint32_t high = 0;
        while (pos + 1 < d.size()) {
            uint32_t u = big ? (d[pos] << 8 | d[pos + 1]) : (d[pos + 1] << 8 | d[pos]);
            pos += 2;
            if (u == 0) return out;
            if (u >= 0xD800 && u < 0xDC00) {
                high = u;
                continue;
            }
            if (u >= 0xDC00 && u < 0xE000 && high) u = 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00);
            high = 0;
            appendUtf8(out, u);
        }
        pos = d.size();
        return out;
    }
    while (pos < d.size() && d[pos] != 0) {
        if (encoding == 3)
            out += char(d[pos]);
        else
            appendUtf8(out, d[pos]);
        ++pos;
    }
    if (pos < d.size()) ++pos;
    return out;
}

void add(Id3Tags& tags, const std::string& frame, std::string value) {
    for (auto& [name, values] : tags.frames)
        if (name == frame) {
            values.push_back(std::move(value));
            return;
        }
    tags.frames.push_back({frame, {std::move(value)}});
}

// Version 2.2 frame names of the text frames script knows, as their later four-letter names.
std::string longName(const std::string& id) {
    static const char* const pairs[][2] = {
        {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TAL", "TALB"}, {"TYE", "TYER"},
        {"TCO", "TCON"}, {"TRK", "TRCK"}, {"COM", "COMM"}, {"TCM", "TCOM"}, {"TPA", "TPOS"}, {"TLE", "TLEN"},
        {"TMT", "TMED"}, {"TOT", "TOAL"}, {"TOA", "TOPE"}, {"TOF", "TOFN"}, {"TOR", "TORY"}};
    for (const auto& p : pairs)
        if (id == p[0]) return p[1];
    return id;
}

uint32_t syncsafe(const uint8_t* p) {
    return uint32_t(p[0] & 0x7F) << 21 | uint32_t(p[1] & 0x7F) << 14 | uint32_t(p[2] & 0x7F) << 7 |
           (p[3] & 0x7F);
}

bool readV2(std::span<const uint8_t> data, Id3Tags& tags) {
    if (data.size() < 10 || std::memcmp(data.data(), "ID3", 3) != 0) return false;
    const int version = data[3];
    if (version < 2 || version > 4) return false;
    const size_t size = std::min<size_t>(syncsafe(&data[6]), data.size() - 10);
    std::span<const uint8_t> body = data.subspan(10, size);
    size_t pos = 0;
    const size_t header = version == 2 ? 6 : 10;
    while (pos + header <= body.size()) {
        const uint8_t* h = &body[pos];
        if (h[0] == 0) break;  // padding
        std::string id(reinterpret_cast<const char*>(h), version == 2 ? 3 : 4);
        size_t len;
        if (version == 2)
            len = size_t(h[3]) << 16 | size_t(h[4]) << 8 | h[5];
        else if (version == 3)
            len = size_t(h[4]) << 24 | size_t(h[5]) << 16 | size_t(h[6]) << 8 | h[7];
        else
            len = syncsafe(h + 4);
        pos += header;
        if (len > body.size() - pos) break;
        std::span<const uint8_t> f = body.subspan(pos, len);
        pos += len;
        if (version == 2) id = longName(id);
        if (f.empty() || f[0] > 3) continue;
        size_t at = 1;
        if (id[0] == 'T' && id != "TXXX") {
            add(tags, id, readText(f, at, f[0]));
        } else if (id == "COMM" && f.size() >= 4) {
            at = 4;                 // encoding, language
            readText(f, at, f[0]);  // short description
            add(tags, id, readText(f, at, f[0]));
        }
    }
    return true;
}

void readV1(std::span<const uint8_t> data, Id3Tags& tags) {
    if (data.size() < 128) return;
    std::span<const uint8_t> t = data.subspan(data.size() - 128);
    if (std::memcmp(t.data(), "TAG", 3) != 0) return;
    auto field = [&](size_t at, size_t len) {
        std::string s;
        for (size_t i = at; i < at + len && t[i]; ++i)
            appendUtf8(s, t[i]);
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    };
    const std::pair<const char*, std::string> fields[] = {{"TIT2", field(3, 30)},
                                                          {"TPE1", field(33, 30)},
                                                          {"TALB", field(63, 30)},
                                                          {"TYER", field(93, 4)},
                                                          {"COMM", field(97, t[125] == 0 ? 28 : 30)}};
    for (const auto& [name, value] : fields)
        if (!value.empty()) add(tags, name, value);
    if (t[125] == 0 && t[126] != 0) add(tags, "TRCK", std::to_string(t[126]));
}

}  // namespace

Id3Tags readId3(std::span<const uint8_t> data) {
    Id3Tags tags;
    if (!readV2(data, tags)) readV1(data, tags);
    return tags;
}

const char* id3Alias(const std::string& frame) {
    static const char* const aliases[][2] = {{"TIT2", "songname"}, {"TPE1", "artist"},  {"TALB", "album"},
                                             {"TYER", "year"},     {"COMM", "comment"}, {"TCON", "genre"},
                                             {"TRCK", "track"}};
    for (const auto& a : aliases)
        if (frame == a[0]) return a[1];
    return nullptr;
}

}  // namespace player::sound
