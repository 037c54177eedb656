// Plain SWF record types shared by the tags: geometry in twips, fixed-point values kept raw, styles and
// shape records as the file states them. No behaviour beyond small helpers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace swf {

struct Rect {  // twips
    int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    bool operator==(const Rect&) const = default;
};

struct RGBA {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const RGBA&) const = default;
};

// SWF MATRIX. Scale and rotate/skew parts are 16.16 fixed point kept raw; translation in twips.
// x' = x * scaleX + y * rotateSkew1 + translateX;  y' = x * rotateSkew0 + y * scaleY + translateY.
struct Matrix {
    int32_t scaleX = 1 << 16, scaleY = 1 << 16;
    int32_t rotateSkew0 = 0, rotateSkew1 = 0;
    int32_t translateX = 0, translateY = 0;
    bool operator==(const Matrix&) const = default;

    double a() const { return scaleX / 65536.0; }
    double b() const { return rotateSkew0 / 65536.0; }
    double c() const { return rotateSkew1 / 65536.0; }
    double d() const { return scaleY / 65536.0; }
};

// SWF CXFORM / CXFORMWITHALPHA: multipliers in 8.8 (256 = 1.0), additions in colour units; r, g, b, a.
// A CXFORM without alpha leaves the alpha terms at identity.
struct CXForm {
    int16_t mult[4] = {256, 256, 256, 256};
    int16_t add[4] = {0, 0, 0, 0};
    bool operator==(const CXForm&) const = default;
};

enum class SpreadMode : uint8_t { Pad = 0, Reflect = 1, Repeat = 2 };
enum class InterpolationMode : uint8_t { Normal = 0, Linear = 1 };  // Normal = sRGB

struct GradientStop {
    uint8_t ratio = 0;
    RGBA color;
    bool operator==(const GradientStop&) const = default;
};

struct Gradient {
    SpreadMode spread = SpreadMode::Pad;
    InterpolationMode interpolation = InterpolationMode::Normal;
    std::vector<GradientStop> stops;
    double focalPoint = 0;  // focal gradients only, -1..1 (8.8 in the file)
};

// SWF FILLSTYLE type byte.
enum class FillType : uint8_t {
    Solid = 0x00,
    LinearGradient = 0x10,
    RadialGradient = 0x12,
    FocalGradient = 0x13,
    RepeatingBitmap = 0x40,
    ClippedBitmap = 0x41,
    NonSmoothedRepeatingBitmap = 0x42,
    NonSmoothedClippedBitmap = 0x43,
};

struct FillStyle {
    FillType type = FillType::Solid;
    RGBA color;             // Solid
    Matrix matrix;          // gradients and bitmaps
    Gradient gradient;      // gradients
    uint16_t bitmapId = 0;  // bitmaps; 0xFFFF means "no bitmap" in files written by some tools

    bool isGradient() const { return (uint8_t(type) & 0xF0) == 0x10; }
    bool isBitmap() const { return (uint8_t(type) & 0xF0) == 0x40; }
    bool bitmapRepeats() const { return isBitmap() && !(uint8_t(type) & 1); }
    bool bitmapSmoothed() const { return isBitmap() && !(uint8_t(type) & 2); }
};

enum class CapStyle : uint8_t { Round = 0, None = 1, Square = 2 };
enum class JoinStyle : uint8_t { Round = 0, Bevel = 1, Miter = 2 };

// LINESTYLE, or LINESTYLE2 (DefineShape4) when isStyle2.
struct LineStyle {
    uint16_t width = 0;  // twips
    RGBA color;          // unused when fill is set
    bool isStyle2 = false;
    CapStyle startCap = CapStyle::Round, endCap = CapStyle::Round;
    JoinStyle join = JoinStyle::Round;
    double miterLimit = 3;  // Miter joins only (8.8 in the file)
    bool noHScale = false, noVScale = false, pixelHinting = false, noClose = false;
    std::optional<FillStyle> fill;
};

struct StyleSet {
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
};

// STYLECHANGERECORD. Style indices are 1-based into the current StyleSet; 0 selects no style.
struct StyleChange {
    std::optional<int32_t> moveX, moveY;  // set together: absolute position in the shape's space
    std::optional<uint32_t> fill0, fill1, line;
    // New styles replace the current ones for the records that follow (DefineShape2 and later).
    std::shared_ptr<const StyleSet> newStyles;
};
struct StraightEdge {
    int32_t dx = 0, dy = 0;
};
struct CurvedEdge {
    int32_t controlDx = 0, controlDy = 0, anchorDx = 0, anchorDy = 0;
};
using ShapeRecord = std::variant<StyleChange, StraightEdge, CurvedEdge>;

// SHAPEWITHSTYLE (or SHAPE with empty styles, as glyphs use).
struct Shape {
    StyleSet styles;
    std::vector<ShapeRecord> records;
};

}  // namespace swf
