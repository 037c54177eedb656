// ID3 tags of an MP3 file (version 2.2 to 2.4 text and comment frames, else the version 1 trailer), as
// strings in UTF-8, for the Sound object's id3 property.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace player::sound {

struct Id3Tags {
    // Frames in the order the file gives them (four-letter names; version 2.2 names are mapped to them),
    // each with its values: a frame may occur several times (comments).
    std::vector<std::pair<std::string, std::vector<std::string>>> frames;
};

// Tags at the start of `data` (ID3v2) or in its last 128 bytes (ID3v1); none when there are none or they
// are malformed.
Id3Tags readId3(std::span<const uint8_t> data);

// The friendly name script also sees a frame under ("TIT2" -> "songname"), or null.
const char* id3Alias(const std::string& frame);

}  // namespace player::sound
