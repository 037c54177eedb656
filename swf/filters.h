// Decoding of the SWF 8 filters that PlaceObject3 and DefineButton2 records keep as bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "swf/result.h"
#include "swf/tags.h"
#include "swf/types.h"

namespace swf {

enum class FilterType : uint8_t {
    DropShadow = 0,
    Blur = 1,
    Glow = 2,
    Bevel = 3,
    GradientGlow = 4,
    Convolution = 5,
    ColorMatrix = 6,
    GradientBevel = 7,
    // Made by script only (flash.filters.DisplacementMapFilter); no file stores it.
    DisplacementMap = 8,
};

// One struct for every filter kind; the fields a kind does not use keep their defaults.
struct FilterParams {
    FilterType type = FilterType::Blur;
    // Drop shadow and glow: one colour. Bevel: highlight then shadow, in stored order. Gradient filters:
    // one per stop, with ratios.
    std::vector<RGBA> colors;
    std::vector<uint8_t> ratios;
    double blurX = 0, blurY = 0;     // pixels (16.16 in the file)
    double angle = 0, distance = 0;  // radians, pixels
    double strength = 0;             // 8.8 in the file
    bool inner = false, knockout = false, compositeSource = false, onTop = false;
    int passes = 0;
    // Convolution: matrixX * matrixY values; colour matrix: 20 values (4 rows of r, g, b, a, offset).
    uint8_t matrixX = 0, matrixY = 0;
    float divisor = 0, bias = 0;
    std::vector<float> matrix;
    RGBA defaultColor;
    bool clamp = false, preserveAlpha = false;
    // Displacement map: the map's premultiplied pixels, where its top-left lies in the filtered picture,
    // the channel (1 red, 2 green, 4 blue, 8 alpha) that moves each axis, how far a channel's extremes move
    // (pixels), and what a read beyond the picture gives: 0 wraps, 1 clamps to the edge, 2 keeps the
    // unmoved pixel, 3 gives defaultColor.
    std::shared_ptr<const std::vector<uint32_t>> mapPixels;
    int mapWidth = 0, mapHeight = 0, mapX = 0, mapY = 0;
    uint8_t componentX = 0, componentY = 0, mode = 0;
    double scaleX = 0, scaleY = 0;
};

// Decodes one stored filter. Fails on an unknown type or bytes that do not hold the filter's fields.
Result<FilterParams> decodeFilter(const Filter& filter);

}  // namespace swf
