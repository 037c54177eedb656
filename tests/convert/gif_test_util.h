// Test helpers for the GIF writer: a block walker over GIF bytes, a reference LZW code reader that follows
// GIF decoders' code-width rules, and a reader that decodes a file with libavformat and libavcodec's GIF
// decoder. All independent of the writer's code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gif_test {

struct Extension {
    uint8_t label = 0;
    std::vector<std::vector<uint8_t>> subBlocks;
};

struct Image {
    int left = 0, top = 0, width = 0, height = 0;
    uint8_t packed = 0;
    std::vector<uint8_t> localTable;
    uint8_t minCodeSize = 0;
    std::vector<uint8_t> data;          // sub-blocks joined
    std::vector<size_t> subBlockSizes;  // as written
    std::vector<Extension> extensions;  // extensions written since the previous image
};

struct Parsed {
    bool ok = false;
    std::string error;
    std::string signature;  // "GIF89a" or "GIF87a"
    int width = 0, height = 0;
    uint8_t packed = 0, backgroundIndex = 0, aspect = 0;
    std::vector<uint8_t> globalTable;
    std::vector<Extension> leadingExtensions;  // before the first image (beside those tied to it)
    std::vector<Image> images;
    bool trailer = false;
};
Parsed Parse(const std::vector<uint8_t>& bytes);

struct LzwRead {
    bool ok = false;
    std::string error;
    std::vector<uint32_t> codes;
    std::vector<int> widths;           // bit width each code was read with
    std::vector<uint8_t> pixels;       // decoded output
    std::vector<size_t> pixelsBefore;  // output size before each code
};
// Reads codes as a GIF decoder does: the width grows once the next free entry reaches 2^width (up to 12).
LzwRead ReadLzw(int minCodeSize, const std::vector<uint8_t>& data);

struct DecodedFrame {
    std::vector<uint32_t> argb;  // 0xAARRGGBB per pixel, top row first
};
struct Decoded {
    bool ok = false;
    std::string error;
    int width = 0, height = 0;
    int timeBaseNum = 0, timeBaseDen = 0;
    std::vector<DecodedFrame> frames;
    std::vector<int64_t> packetPts;        // per frame packet, in the stream's time base
    std::vector<int64_t> packetDurations;  // the demuxer's durations, from the delays
};
Decoded DecodeWithFfmpeg(const std::string& path);

std::string TempPath(const std::string& name);

}  // namespace gif_test
