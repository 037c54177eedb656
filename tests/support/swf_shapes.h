// Shape writers for test movies: fill and line styles, shape records and DefineShape 1..4 /
// DefineMorphShape 1..2 tag bodies. Coordinates are absolute twips; the builder writes the deltas.
//
//   ShapeBuilder s;
//   int red = s.fillSolid(0xFF0000FF);
//   s.fill0(red).rect(0, 0, 2000, 1000);
//   movie.tag(32, s.defineShape(1, 3));  // DefineShape3, character 1
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "support/swf_builder.h"

namespace testswf {

// A MATRIX in the form ByteWriter::matrix writes it.
struct MatrixSpec {
    double sx = 1, sy = 1, r0 = 0, r1 = 0;
    int32_t tx = 0, ty = 0;
    void write(ByteWriter& w) const { w.matrix(sx, sy, r0, r1, tx, ty); }
};

// A CXFORM / CXFORMWITHALPHA: multipliers in 8.8 (256 = 1.0), additions in colour units.
struct CxSpec {
    int mul[4] = {256, 256, 256, 256};
    int add[4] = {0, 0, 0, 0};
    void write(ByteWriter& w, bool withAlpha) const { w.cxform(withAlpha, mul, add); }
};

struct Stop {
    uint8_t ratio;
    uint32_t rgba;  // 0xRRGGBBAA
};

struct FillSpec {
    uint8_t type = 0x00;  // SWF FILLSTYLE type
    uint32_t rgba = 0x000000FF;
    std::vector<Stop> stops;
    uint8_t spread = 0, interpolation = 0;  // gradient head bits
    double focal = 0;
    uint16_t bitmapId = 0;
    MatrixSpec matrix;

    static FillSpec solid(uint32_t rgba);
    static FillSpec linear(std::vector<Stop> stops, MatrixSpec m = {}, uint8_t spread = 0,
                           uint8_t interp = 0);
    static FillSpec radial(std::vector<Stop> stops, MatrixSpec m = {}, uint8_t spread = 0,
                           uint8_t interp = 0);
    static FillSpec focalRadial(std::vector<Stop> stops, double focal, MatrixSpec m = {});
    // type 0x40 repeating, 0x41 clipped, 0x42 / 0x43 the same without smoothing.
    static FillSpec bitmap(uint16_t id, bool clipped = false, bool smoothed = true, MatrixSpec m = {});

    // FILLSTYLE bytes for DefineShape `version` (RGB colours before version 3).
    void write(ByteWriter& w, int version) const;
};

struct LineSpec {
    uint16_t width = 20;
    uint32_t rgba = 0x000000FF;
    // LINESTYLE2 (DefineShape4) only.
    uint8_t startCap = 0, endCap = 0, join = 0;  // 0 round; caps 1 none, 2 square; joins 1 bevel, 2 miter
    double miterLimit = 3;
    bool noHScale = false, noVScale = false, pixelHinting = false, noClose = false;
    std::optional<FillSpec> fill;

    void write(ByteWriter& w, int version) const;
};

class ShapeBuilder {
  public:
    // Styles of the current style set; each returns its 1-based index.
    int fillSolid(uint32_t rgba) { return addFill(FillSpec::solid(rgba)); }
    int addFill(const FillSpec& f);
    int lineStyle(uint16_t width, uint32_t rgba) {
        LineSpec l;
        l.width = width;
        l.rgba = rgba;
        return addLine(l);
    }
    int addLine(const LineSpec& l);
    // Starts a new style set (a StyleChange with new styles, DefineShape2 and later); the styles added
    // next belong to it and indices restart at 1.
    ShapeBuilder& newStyles();

    // Records. Style selections and moves made before an edge are written as one style change record.
    ShapeBuilder& moveTo(int32_t x, int32_t y);
    ShapeBuilder& fill0(uint32_t index);
    ShapeBuilder& fill1(uint32_t index);
    ShapeBuilder& line(uint32_t index);
    ShapeBuilder& lineTo(int32_t x, int32_t y);
    ShapeBuilder& curveTo(int32_t cx, int32_t cy, int32_t ax, int32_t ay);
    // Closed rectangle path starting at (x0, y0), clockwise in screen coordinates.
    ShapeBuilder& rect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

    // SHAPEWITHSTYLE bytes (styles, index widths, records, end record).
    Bytes shapeWithStyle(int version) const;
    // SHAPE bytes (index widths, records, end record) as glyphs and morph edges use; style indices refer
    // to whatever style list the container has (glyphs: fill 1 = the glyph).
    Bytes shapeNoStyles(int version = 1) const;
    // A DefineShape 1..4 tag body. Bounds default to the points' bounding box.
    Bytes defineShape(uint16_t id, int version,
                      std::optional<std::vector<int32_t>> bounds = std::nullopt) const;

    // Bounding box of every point so far: xmin, xmax, ymin, ymax.
    std::vector<int32_t> pointBounds() const;

  private:
    struct StyleSetSpec {
        std::vector<FillSpec> fills;
        std::vector<LineSpec> lines;
    };
    struct Rec {
        enum Kind { Change, Line, Curve } kind = Change;
        int32_t a = 0, b = 0, c = 0, d = 0;  // move x/y or deltas
        bool hasMove = false;
        std::optional<uint32_t> f0, f1, ln;
        int newSet = -1;  // index into sets_ for a style change that brings new styles
    };
    static Rec makeRec(Rec::Kind kind);
    Rec& pendingChange();
    void writeStyles(ByteWriter& w, const StyleSetSpec& s, int version) const;
    void writeRecords(BitWriter& b, int version, int setIndex) const;

    std::vector<StyleSetSpec> sets_{1};
    std::vector<Rec> recs_;
    int32_t x_ = 0, y_ = 0;
    std::vector<std::pair<int32_t, int32_t>> points_;
};

// DefineMorphShape 1..2 body: morph styles, then start and end edges built with two ShapeBuilders that
// must hold the same number of edges (the end shape needs no style selections).
class MorphShapeBuilder {
  public:
    int fillSolid(uint32_t startRgba, uint32_t endRgba);
    int fillLinear(std::vector<Stop> start, std::vector<Stop> end, MatrixSpec startM = {},
                   MatrixSpec endM = {});
    // Focal radial gradient (type 0x13) with a focal point for each end.
    int fillFocal(std::vector<Stop> start, std::vector<Stop> end, double startFocal, double endFocal);
    int lineStyle(uint16_t startWidth, uint16_t endWidth, uint32_t startRgba, uint32_t endRgba);
    ShapeBuilder& start() { return start_; }
    ShapeBuilder& end() { return end_; }
    Bytes defineMorphShape(uint16_t id, int version) const;

  private:
    struct Fill {
        FillSpec a, b;
    };
    struct LineS {
        uint16_t wa, wb;
        uint32_t ca, cb;
    };
    std::vector<Fill> fills_;
    std::vector<LineS> lines_;
    ShapeBuilder start_, end_;
};

}  // namespace testswf
