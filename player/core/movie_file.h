// Reading movie files from disk, and turning the urls movies name (loadMovieNum) into local paths.
// The player reads nothing but local movie files: other schemes are refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace player {

// Largest movie file the player reads (the parser bounds the inflated size separately).
constexpr uint64_t kMaxMovieFileBytes = uint64_t(512) << 20;

bool readMovieFile(const std::string& path, std::vector<uint8_t>& out, std::string* error);

// A url from a movie ("other.swf", "sub/a.swf", "/abs/a.swf", "file:///abs/a.swf") resolved against the url
// of the movie that named it. Urls with another scheme (http:, ftp: ...) are refused with a reason.
bool resolveLocalUrl(const std::string& url, const std::string& baseUrl, std::string& path, std::string* why);

}  // namespace player
