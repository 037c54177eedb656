// The media library's still picture, shared by the image calls and the conversion (MclSrcSetImg).
// Internal to mcl/.
#pragma once

#include <cstdint>
#include <vector>

struct MclImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;    // width * 3 bytes per row (blue, green, red), rows top first, no padding
    std::vector<uint8_t> alpha;  // width bytes per row when an alpha channel is attached, else empty
};
