// One LAME encoder stream of mp3enc.so: owns a lame_global_flags from a checked configuration record to its
// final frames. Used by the library's entry points only, one thread at a time per stream. It never throws
// across the C entry points and never writes past the output buffer size it announced.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mp3enc/blade_interface.h"

struct lame_global_struct;

namespace mp3enc {

class LameStream {
  public:
    // Checks the record and opens LAME with it. On failure returns null and sets `error` to the BE_ERR_*
    // code.
    static std::unique_ptr<LameStream> create(const BE_CONFIG& config, BE_ERR& error);
    ~LameStream();
    LameStream(const LameStream&) = delete;
    LameStream& operator=(const LameStream&) = delete;

    uint32_t samplesPerChunk() const { return samplesPerChunk_; }
    uint32_t bufferSize() const { return bufferSize_; }

    BE_ERR encode(uint32_t samples, const int16_t* pcm, uint8_t* out, uint32_t& written);
    BE_ERR finish(uint8_t* out, uint32_t& written);

    // The LAME tag frame to write over the stream's first frame; empty unless the record asked for it and the
    // stream has been finished.
    std::vector<uint8_t> tagFrame() const;

  private:
    explicit LameStream(lame_global_struct* gf) : gf_(gf) {}

    lame_global_struct* gf_;
    int channels_ = 2;
    uint32_t samplesPerChunk_ = 0;
    uint32_t bufferSize_ = 0;
    bool writeTag_ = false;
    bool finished_ = false;
};

}  // namespace mp3enc
