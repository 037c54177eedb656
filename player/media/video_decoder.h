// Embedded video frames (DefineVideoStream + VideoFrame) decoded into bitmaps. The player's narrow window
// onto FFmpeg's decoders: nothing of FFmpeg shows in this header, and only this folder includes its headers.
//
// Owns: one decoder context and its conversion context. Threads: the render call's.
// Never: trusts frame bytes (the decoders get padded copies; a frame that fails leaves the previous picture).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "player/render/geometry.h"

namespace player::media {

// SWF DefineVideoStream CodecID.
enum class VideoCodec : uint8_t {
    SorensonH263 = 2,
    ScreenVideo = 3,
    Vp6 = 4,
    Vp6Alpha = 5,
    ScreenVideo2 = 6,
};

// Whether a frame's bytes start a picture that needs no earlier frame. Screen video frames are never
// counted as key frames: they may leave blocks unchanged, so their sequence is decoded from the start.
bool isVideoKeyFrame(uint8_t codec, const uint8_t* data, size_t size);

class VideoDecoder {
  public:
    // A decoder for a SWF codec id; null with *error set when the codec is unknown or FFmpeg lacks it.
    // `deblocking` is the stream's VideoFlagsDeblocking (0 as each frame says, 1 off, 2 and up on).
    static std::unique_ptr<VideoDecoder> create(uint8_t codec, uint8_t deblocking, std::string* error);
    virtual ~VideoDecoder() = default;
    // Decodes the next frame of the sequence into `out` (premultiplied pixels, sized to the decoded
    // picture). Returns false with *error set when the bytes do not decode; `out` is then unchanged.
    virtual bool decode(const uint8_t* data, size_t size, Bitmap& out, std::string* error) = 0;
    // Forgets the sequence so far (before decoding from a key frame again).
    virtual void reset() = 0;
};

}  // namespace player::media
