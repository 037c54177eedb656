// Frame lists of the command line: "1,5,20", "1-10", or a mix ("1-3,8"). Frames are numbered from 1.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cli {

// Parses a frame list; returns nothing (and an explanation in *error) for malformed or empty lists,
// frame 0, negative numbers, reversed ranges, or more than maxFrames entries.
std::optional<std::vector<int>> parseFrameList(const std::string& text, std::string* error,
                                               size_t maxFrames = 1000000);

// "WxH" with both positive; nothing for anything else.
std::optional<std::pair<int, int>> parseSize(const std::string& text);

// "RRGGBB" (optionally with a leading '#') as 0x00RRGGBB.
std::optional<unsigned> parseColor(const std::string& text);

}  // namespace cli
