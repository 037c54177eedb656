// The drawing API of a movie clip (beginFill, lineStyle, moveTo, lineTo, curveTo, endFill, clear): the
// commands are kept as a SWF shape in twips, turned into geometry when the clip is next drawn, and drawn
// below the clip's children.
#pragma once

#include <cstdint>
#include <optional>

#include "player/core/bounds.h"
#include "player/core/live_bitmap.h"
#include "player/core/shape_geometry.h"
#include "swf/types.h"

namespace player {

class Drawing {
  public:
    void clear();
    void beginFill(const swf::FillStyle& fill);
    // beginBitmapFill: `fill` is a bitmap fill of script pixels; its bitmap id is chosen here and names the
    // pixels only inside this drawing (bitmap(id)).
    void beginBitmapFill(swf::FillStyle fill, std::shared_ptr<LiveBitmap> pixels);
    BitmapPtr bitmap(uint16_t id) const;
    const std::vector<std::shared_ptr<LiveBitmap>>& bitmaps() const { return bitmaps_; }
    void endFill();
    // No line when `style` is empty.
    void lineStyle(const std::optional<swf::LineStyle>& style);
    // lineGradientStyle: the current line is painted with a gradient.
    void lineGradient(const swf::FillStyle& fill);
    void moveTo(double xTwips, double yTwips);
    void lineTo(double xTwips, double yTwips);
    void curveTo(double cxTwips, double cyTwips, double xTwips, double yTwips);

    bool empty() const { return shape_.records.empty(); }
    // Changes with every command (numbers never repeat, across drawings too): the stage keeps a picture only
    // while the drawings in it keep theirs.
    uint64_t revision() const { return revision_; }
    const ShapeGeometry& geometry() const;
    const BoundsRect& bounds() const { return bounds_; }

    // Bounds a hostile script cannot push past: commands beyond this many are dropped.
    static constexpr size_t kMaxRecords = 1u << 20;

  private:
    int32_t snap(double twips) const;
    void edgeTo(int32_t x, int32_t y);
    void closeFillPart();

    swf::Shape shape_;
    std::vector<std::shared_ptr<LiveBitmap>> bitmaps_;  // the pixels of bitmap fills, id = index + 1
    int32_t penX_ = 0, penY_ = 0;
    int32_t fillStartX_ = 0, fillStartY_ = 0;
    bool filling_ = false;
    uint32_t line_ = 0;
    BoundsRect bounds_;
    mutable ShapeGeometry geometry_;
    mutable bool dirty_ = false;
    uint64_t revision_ = 0;
};

}  // namespace player
