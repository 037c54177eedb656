#include "player/core/movie_file.h"

#include <cctype>
#include <filesystem>
#include <fstream>

namespace player {

bool readMovieFile(const std::string& path, std::vector<uint8_t>& out, std::string* error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        if (error) *error = std::filesystem::exists(path, ec) ? "not a regular file" : "no such file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot open the file";
        return false;
    }
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0 || uint64_t(size) > kMaxMovieFileBytes) {
        if (error) *error = size < 0 ? "cannot read the file" : "the file is too large for a movie";
        return false;
    }
    in.seekg(0);
    out.resize(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(out.data()), size)) {
        if (error) *error = "cannot read the file";
        return false;
    }
    return true;
}

bool resolveLocalUrl(const std::string& url, const std::string& baseUrl, std::string& path,
                     std::string* why) {
    std::string rest = url;
    if (rest.compare(0, 7, "file://") == 0) {
        rest = rest.substr(7);
    } else {
        size_t colon = rest.find(':');
        size_t slash = rest.find('/');
        bool hasScheme =
            colon != std::string::npos && colon > 1 && (slash == std::string::npos || colon < slash);
        if (hasScheme) {
            if (why) *why = "only local movie files are loaded";
            return false;
        }
    }
    // Query strings name parameters for a web server; the file is what comes before them.
    rest = rest.substr(0, rest.find('?'));
    // %XX escapes stand for their byte; the name ends at an escaped NUL.
    std::string decoded;
    for (size_t i = 0; i < rest.size(); ++i) {
        auto hex = [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) ? (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10)
                                                                : -1;
        };
        if (rest[i] == '%' && i + 2 < rest.size() && hex(rest[i + 1]) >= 0 && hex(rest[i + 2]) >= 0) {
            char c = char(hex(rest[i + 1]) * 16 + hex(rest[i + 2]));
            if (c == '\0') break;
            decoded += c;
            i += 2;
        } else {
            decoded += rest[i];
        }
    }
    rest = decoded;
    if (rest.empty()) {
        if (why) *why = "empty file name";
        return false;
    }
    std::filesystem::path p(rest);
    if (p.is_relative()) p = std::filesystem::path(baseUrl).parent_path() / p;
    path = p.lexically_normal().string();
    return true;
}

}  // namespace player
