// Test helpers for the media library: synthetic frames, a minimal writer that encodes them with a codec
// block's MclEncoderSetup through mcl's own encoder path, and a reader that decodes the file again with
// libavformat and libavcodec, independent of mcl.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mcl/mcl_codec_catalog.h"

namespace mcl_test {

// A packed BGR24 (or BGRA when alpha) picture: a diagonal gradient with a bright square that moves with the
// frame index; with alpha, the alpha channel is a horizontal ramp.
struct Picture {
    int width = 0;
    int height = 0;
    bool alpha = false;
    std::vector<uint8_t> pixels;  // rows of width * (alpha ? 4 : 3) bytes, top row first

    int bytesPerPixel() const { return alpha ? 4 : 3; }
};
Picture MakePicture(int width, int height, int index, bool alpha);
// Deterministic noise: every byte a pseudo-random value. No codec compresses it well, so rate control must
// act.
Picture MakeNoisePicture(int width, int height, int index, bool alpha);

enum class Content { Smooth, Noise };

struct WriteResult {
    bool ok = false;
    std::string error;
    uint32_t codecTag = 0;     // what was written into the container's stream header
    int64_t payloadBytes = 0;  // sum of the encoded packets' sizes (containers pad; MPEG-PS to 2048 bytes)
};
// Encodes `count` pictures (MakePicture or MakeNoisePicture 0..count-1) with the setup into path, using the
// setup's muxer.
WriteResult WriteVideo(const std::filesystem::path& path, const MclEncoderSetup& setup, int width, int height,
                       int count, Content content = Content::Smooth);

struct ReadResult {
    bool ok = false;
    std::string error;
    std::string codecName;  // decoder's codec name (avcodec_get_name of the stream's codec id)
    uint32_t codecTag = 0;
    int width = 0;
    int height = 0;
    int packets = 0;
    std::vector<bool> keyPackets;   // AV_PKT_FLAG_KEY of each packet, in file order
    std::vector<Picture> pictures;  // decoded frames converted back to BGR24 / BGRA
};
ReadResult ReadVideo(const std::filesystem::path& path, bool alpha);

// Keeps FFmpeg's informational chatter (x264's statistics, muxer advice) out of the test output; errors
// still show.
void QuietFfmpegInfo();

// Mean absolute difference per colour byte (B, G, R only) and the largest alpha difference.
double MeanColourError(const Picture& a, const Picture& b);
int MaxAlphaError(const Picture& a, const Picture& b);

// A fresh folder under the system's temporary directory, removed again with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace mcl_test
