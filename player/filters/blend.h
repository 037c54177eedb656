// Blend modes: how a finished layer (an object drawn offscreen, premultiplied) meets the pixels beneath it.
// SWF PlaceObject3 BlendMode numbers; every mode works on premultiplied 8-bit pixels with products rounded to
// the nearest 1/255, and the result's alpha is the union of both alphas unless the mode says otherwise.
#pragma once

#include <cstdint>

#include "player/render/geometry.h"

namespace player::filters {

enum class BlendMode : uint8_t {
    Normal = 1,
    Layer = 2,
    Multiply = 3,
    Screen = 4,
    Lighten = 5,
    Darken = 6,
    Difference = 7,
    Add = 8,
    Subtract = 9,
    Invert = 10,
    Alpha = 11,
    Erase = 12,
    Overlay = 13,
    HardLight = 14,
};

// The mode a stored byte names; 0 and unknown values are Normal, as Flash Player treats them.
BlendMode blendModeFromByte(uint8_t value);

// One pixel: source s blended onto destination d.
Pixel blendPixel(Pixel s, Pixel d, BlendMode mode);

// dst[i] = src[i] blended onto dst[i], with the source scaled by clip[i] first (clip may be null: no clip).
void blendRow(Pixel* dst, const Pixel* src, const uint8_t* clip, int n, BlendMode mode);

}  // namespace player::filters
