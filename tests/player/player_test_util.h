// Helpers for player tests: load a built movie, render it at a chosen size, read back colours.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "player/player.h"
#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"

namespace playertest {

struct Picture {
    int width = 0, height = 0;
    std::vector<player::Pixel> pixels;
    // Colour at (x, y) as 0xRRGGBB (the pictures are opaque: the background fills them).
    uint32_t rgb(int x, int y) const { return pixels[size_t(y) * width + x] & 0xFFFFFF; }
    uint8_t alpha(int x, int y) const { return pixels[size_t(y) * width + x] >> 24; }
};

inline Picture render(player::Player& p, int w, int h, player::Quality q = player::Quality::Low) {
    Picture pic;
    pic.width = w;
    pic.height = h;
    pic.pixels.assign(size_t(w) * h, 0);
    player::RenderOptions o;
    o.quality = q;
    p.render(pic.pixels.data(), w, h, w, o);
    return pic;
}

inline void load(player::Player& p, const testswf::Bytes& movie) {
    std::string error;
    ASSERT_TRUE(p.loadBytes(movie, "test.swf", &error)) << error;
}

// A movie header of w x h pixels at 12 fps with `frames` frames and a background colour (white).
inline testswf::SwfBuilder movie(int w, int h, int frames, int version = 8, uint32_t background = 0xFFFFFF) {
    testswf::Header hd;
    hd.version = static_cast<uint8_t>(version);
    hd.xmax = w * 20;
    hd.ymax = h * 20;
    hd.frameCount = static_cast<uint16_t>(frames);
    testswf::SwfBuilder b(hd);
    b.backgroundColor(background);
    return b;
}

// DefineShape3 body: one solid rectangle (pixels) of colour 0xRRGGBB.
inline testswf::Bytes rectShape(uint16_t id, int x0, int y0, int x1, int y1, uint32_t rgb) {
    testswf::ShapeBuilder s;
    int f = s.fillSolid((rgb << 8) | 0xFF);
    s.fill0(f).rect(x0 * 20, y0 * 20, x1 * 20, y1 * 20);
    return s.defineShape(id, 3);
}

inline testswf::Bytes place(uint16_t id, uint16_t depth, int x = 0, int y = 0) {
    testswf::PlaceSpec p;
    p.depth = depth;
    p.characterId = id;
    p.matrix = testswf::MatrixSpec{1, 1, 0, 0, x * 20, y * 20};
    return testswf::placeObject(p, 2);
}

inline testswf::Bytes moveTo(uint16_t depth, int x, int y) {
    testswf::PlaceSpec p;
    p.move = true;
    p.depth = depth;
    p.matrix = testswf::MatrixSpec{1, 1, 0, 0, x * 20, y * 20};
    return testswf::placeObject(p, 2);
}

constexpr uint16_t kDefineShape3 = 32, kPlaceObject2 = 26, kRemoveObject2 = 28, kDoAction = 12,
                   kDefineSprite = 39, kFrameLabel = 43, kDefineMorphShape = 46, kDefineFont2 = 48,
                   kDefineText = 11, kDefineButton2 = 34;

}  // namespace playertest
