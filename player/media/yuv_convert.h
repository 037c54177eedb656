// Rows of decoded video pictures (4:2:0, BT.601 studio range) to premultiplied pixels. Plain arithmetic,
// no FFmpeg: the decoder adapter hands its planes here.
//
// Threads: any. Never: reads past `width` luma values, (width + 1) / 2 chroma values or `width` alpha
// values of a row.
#pragma once

#include <cstdint>

#include "player/render/geometry.h"

namespace player::media {

// One row: `y` and `a` (null when opaque) have a value per pixel, `u` and `v` one per two pixels. Every
// channel is rounded to nearest in 16.16 fixed point (the reference pictures of VP6 streams match this
// to the last bit); with alpha the colour planes hold premultiplied colour already and are only kept
// within their alpha. Uses SSE2 where the build has it, with the same results as yuvRowScalar.
void yuvRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t* a, Pixel* dst, int width);
void yuvRowScalar(const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t* a, Pixel* dst,
                  int width);

}  // namespace player::media
