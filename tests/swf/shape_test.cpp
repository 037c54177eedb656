// DefineShape 1..4 and DefineMorphShape 1..2: styles and shape records from real bytes.
#include <gtest/gtest.h>

#include "parse_helpers.h"
#include "support/swf_shapes.h"

using namespace testswf;
using swftest::oneTag;
using swftest::only;
using swftest::parse;

namespace {

const uint16_t kShapeCode[] = {0, 2, 22, 32, 83};

// Absolute end points of every edge, and the moves, as "M x y" / "L x y" / "C cx cy x y" strings.
std::vector<std::string> path(const std::vector<swf::ShapeRecord>& recs) {
    std::vector<std::string> out;
    int32_t x = 0, y = 0;
    for (const auto& r : recs) {
        if (auto* s = std::get_if<swf::StyleChange>(&r)) {
            if (s->moveX) {
                x = *s->moveX;
                y = *s->moveY;
                out.push_back("M " + std::to_string(x) + " " + std::to_string(y));
            }
        } else if (auto* e = std::get_if<swf::StraightEdge>(&r)) {
            x += e->dx;
            y += e->dy;
            out.push_back("L " + std::to_string(x) + " " + std::to_string(y));
        } else if (auto* c = std::get_if<swf::CurvedEdge>(&r)) {
            int32_t cx = x + c->controlDx, cy = y + c->controlDy;
            x = cx + c->anchorDx;
            y = cy + c->anchorDy;
            out.push_back("C " + std::to_string(cx) + " " + std::to_string(cy) + " " + std::to_string(x) +
                          " " + std::to_string(y));
        }
    }
    return out;
}

const std::vector<std::string> kPath = {"M -300 20",    "L 5000 20", "L 5000 40000",
                                        "L -300 40000", "L -300 20", "M 100 100",
                                        "L 100 700",    "L 900 100", "C 1200 -50 1500 300"};

void drawTestPath(ShapeBuilder& s) {
    s.rect(-300, 20, 5000, 40000);  // horizontal, vertical and wide deltas
    s.moveTo(100, 100).lineTo(100, 700).lineTo(900, 100).curveTo(1200, -50, 1500, 300);
}

}  // namespace

TEST(DefineShape, EveryVersionKeepsStylesAndPath) {
    for (int v = 1; v <= 4; ++v) {
        SCOPED_TRACE("DefineShape" + std::to_string(v));
        ShapeBuilder s;
        int fill = s.fillSolid(0x11223344);
        int ln = s.lineStyle(60, 0x55667788);
        s.fill0(fill).line(ln);
        drawTestPath(s);
        auto m = parse(oneTag(kShapeCode[v], s.defineShape(7, v)));
        EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
        const auto* d = only<swf::DefineShape>(m);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->version, v);
        EXPECT_EQ(d->id, 7);
        EXPECT_EQ(d->bounds, (swf::Rect{-300, 5000, -50, 40000}));
        EXPECT_EQ(d->edgeBounds.has_value(), v == 4);
        ASSERT_EQ(d->shape.styles.fills.size(), 1u);
        ASSERT_EQ(d->shape.styles.lines.size(), 1u);
        // DefineShape 1 and 2 store RGB: alpha reads as opaque.
        swf::RGBA fillColor{0x11, 0x22, 0x33, uint8_t(v >= 3 ? 0x44 : 255)};
        EXPECT_EQ(d->shape.styles.fills[0].type, swf::FillType::Solid);
        EXPECT_EQ(d->shape.styles.fills[0].color, fillColor);
        EXPECT_EQ(d->shape.styles.lines[0].width, 60);
        EXPECT_EQ(d->shape.styles.lines[0].color,
                  (swf::RGBA{0x55, 0x66, 0x77, uint8_t(v >= 3 ? 0x88 : 255)}));
        EXPECT_EQ(d->shape.styles.lines[0].isStyle2, v == 4);
        EXPECT_EQ(path(d->shape.records), kPath);
        auto* first = std::get_if<swf::StyleChange>(&d->shape.records.front());
        ASSERT_TRUE(first);
        EXPECT_EQ(first->fill0, 1u);
        EXPECT_EQ(first->line, 1u);
        EXPECT_FALSE(first->fill1);
    }
}

TEST(DefineShape, GradientAndBitmapFills) {
    ShapeBuilder s;
    MatrixSpec gm{0.5, 0.25, 0.125, -0.5, 100, -200};
    s.addFill(FillSpec::linear({{0, 0xFF0000FF}, {255, 0x0000FF80}}, gm, 1, 1));  // reflect, linear RGB
    s.addFill(FillSpec::radial({{0, 0x000000FF}, {128, 0x808080FF}, {255, 0xFFFFFFFF}}, {}, 2, 0));  // repeat
    s.addFill(FillSpec::focalRadial({{0, 0x00FF00FF}, {255, 0x00FF0000}}, -0.75));
    s.addFill(FillSpec::bitmap(9, false, true, MatrixSpec{20, 20}));
    s.addFill(FillSpec::bitmap(9, true, true));
    s.addFill(FillSpec::bitmap(9, false, false));
    s.addFill(FillSpec::bitmap(0xFFFF, true, false));
    s.fill1(1).rect(0, 0, 100, 100);
    auto m = parse(oneTag(83, s.defineShape(1, 4)));
    const auto* d = only<swf::DefineShape>(m);
    ASSERT_TRUE(d);
    const auto& f = d->shape.styles.fills;
    ASSERT_EQ(f.size(), 7u);

    EXPECT_EQ(f[0].type, swf::FillType::LinearGradient);
    EXPECT_EQ(f[0].gradient.spread, swf::SpreadMode::Reflect);
    EXPECT_EQ(f[0].gradient.interpolation, swf::InterpolationMode::Linear);
    ASSERT_EQ(f[0].gradient.stops.size(), 2u);
    EXPECT_EQ(f[0].gradient.stops[1].ratio, 255);
    EXPECT_EQ(f[0].gradient.stops[1].color, (swf::RGBA{0, 0, 0xFF, 0x80}));
    EXPECT_EQ(f[0].matrix.scaleX, 1 << 15);
    EXPECT_EQ(f[0].matrix.scaleY, 1 << 14);
    EXPECT_EQ(f[0].matrix.rotateSkew0, 1 << 13);
    EXPECT_EQ(f[0].matrix.rotateSkew1, -(1 << 15));
    EXPECT_EQ(f[0].matrix.translateX, 100);
    EXPECT_EQ(f[0].matrix.translateY, -200);

    EXPECT_EQ(f[1].type, swf::FillType::RadialGradient);
    EXPECT_EQ(f[1].gradient.spread, swf::SpreadMode::Repeat);
    EXPECT_EQ(f[1].gradient.stops.size(), 3u);
    EXPECT_EQ(f[1].matrix, swf::Matrix{});

    EXPECT_EQ(f[2].type, swf::FillType::FocalGradient);
    EXPECT_DOUBLE_EQ(f[2].gradient.focalPoint, -0.75);

    struct {
        swf::FillType type;
        bool repeats, smoothed;
    } bitmaps[] = {{swf::FillType::RepeatingBitmap, true, true},
                   {swf::FillType::ClippedBitmap, false, true},
                   {swf::FillType::NonSmoothedRepeatingBitmap, true, false},
                   {swf::FillType::NonSmoothedClippedBitmap, false, false}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const auto& b = f[3 + i];
        EXPECT_EQ(b.type, bitmaps[i].type);
        EXPECT_TRUE(b.isBitmap());
        EXPECT_EQ(b.bitmapRepeats(), bitmaps[i].repeats);
        EXPECT_EQ(b.bitmapSmoothed(), bitmaps[i].smoothed);
    }
    EXPECT_EQ(f[3].bitmapId, 9);
    EXPECT_EQ(f[3].matrix.scaleX, 20 << 16);
    EXPECT_EQ(f[6].bitmapId, 0xFFFF);
}

TEST(DefineShape, LineStyle2CapsJoinsFlagsAndFill) {
    ShapeBuilder s;
    LineSpec a;
    a.width = 100;
    a.rgba = 0x10203040;
    a.startCap = 1;
    a.endCap = 2;
    a.join = 2;
    a.miterLimit = 2.5;
    a.noHScale = true;
    a.pixelHinting = true;
    a.noClose = true;
    s.addLine(a);
    LineSpec b;
    b.width = 1;
    b.join = 1;
    b.noVScale = true;
    b.fill = FillSpec::linear({{0, 0xFFFFFFFF}, {255, 0x000000FF}});
    s.addLine(b);
    s.line(2).moveTo(0, 0).lineTo(100, 0);
    auto m = parse(oneTag(83, s.defineShape(1, 4)));
    const auto* d = only<swf::DefineShape>(m);
    ASSERT_TRUE(d);
    const auto& l = d->shape.styles.lines;
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].startCap, swf::CapStyle::None);
    EXPECT_EQ(l[0].endCap, swf::CapStyle::Square);
    EXPECT_EQ(l[0].join, swf::JoinStyle::Miter);
    EXPECT_DOUBLE_EQ(l[0].miterLimit, 2.5);
    EXPECT_TRUE(l[0].noHScale);
    EXPECT_FALSE(l[0].noVScale);
    EXPECT_TRUE(l[0].pixelHinting);
    EXPECT_TRUE(l[0].noClose);
    EXPECT_EQ(l[0].color, (swf::RGBA{0x10, 0x20, 0x30, 0x40}));
    EXPECT_FALSE(l[0].fill);

    EXPECT_EQ(l[1].join, swf::JoinStyle::Bevel);
    EXPECT_EQ(l[1].startCap, swf::CapStyle::Round);
    EXPECT_TRUE(l[1].noVScale);
    ASSERT_TRUE(l[1].fill);
    EXPECT_EQ(l[1].fill->type, swf::FillType::LinearGradient);
    EXPECT_EQ(l[1].fill->gradient.stops.size(), 2u);
}

TEST(DefineShape, NewStylesMidShapeAndExtendedCounts) {
    ShapeBuilder s;
    // 300 fill styles need the extended count (DefineShape2 and later) and 9-bit indices.
    for (int i = 0; i < 300; ++i)
        s.fillSolid(0x000000FF | uint32_t(i) << 8);
    s.fill0(300).rect(0, 0, 10, 10);
    s.newStyles();
    int red = s.fillSolid(0xFF0000FF);
    int thick = s.lineStyle(200, 0x00FF00FF);
    s.fill1(red).line(thick).rect(20, 20, 30, 30);
    auto m = parse(oneTag(22, s.defineShape(3, 2)));
    const auto* d = only<swf::DefineShape>(m);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->shape.styles.fills.size(), 300u);
    EXPECT_EQ(d->shape.styles.fills[299].color.b, 299 & 0xFF);
    std::vector<const swf::StyleChange*> changes;
    for (const auto& r : d->shape.records)
        if (auto* c = std::get_if<swf::StyleChange>(&r)) changes.push_back(c);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0]->fill0, 300u);
    ASSERT_TRUE(changes[1]->newStyles);
    EXPECT_EQ(changes[1]->newStyles->fills.size(), 1u);
    EXPECT_EQ(changes[1]->newStyles->fills[0].color, (swf::RGBA{0xFF, 0, 0, 255}));
    EXPECT_EQ(changes[1]->newStyles->lines.at(0).width, 200);
    EXPECT_EQ(changes[2]->fill1, 1u);
    EXPECT_EQ(changes[2]->line, 1u);
    // Records after the new styles are read with the new (narrower) index widths.
    EXPECT_EQ(path(d->shape.records).back(), "L 20 20");
}

TEST(DefineShape, HostileCountsStopAtTheData) {
    // Fill style count 0xFFFF (extended) with only a few bytes behind it.
    ByteWriter w;
    w.u16(1).rect(0, 100, 0, 100).u8(0xFF).u16(0xFFFF).u8(0x00).rgb(0xFF0000);
    auto m = parse(oneTag(22, w.bytes()));
    ASSERT_EQ(m.errors.size(), 1u) << swftest::errorsOf(m);
    EXPECT_EQ(m.errors[0].tagCode, 22);
    // The tag is kept as raw bytes.
    ASSERT_GE(m.tags.size(), 1u);
    auto* raw = std::get_if<swf::RawTag>(&m.tags[0].body);
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->data, w.bytes());
}

TEST(DefineMorphShape, StartAndEndStylesAndEdges) {
    for (int v = 1; v <= 2; ++v) {
        SCOPED_TRACE("DefineMorphShape" + std::to_string(v));
        MorphShapeBuilder mb;
        int fill = mb.fillSolid(0xFF0000FF, 0x0000FF80);
        int grad = mb.fillLinear({{0, 0x000000FF}, {255, 0xFFFFFFFF}}, {{10, 0x111111FF}, {200, 0x222222FF}},
                                 MatrixSpec{2, 2}, MatrixSpec{4, 4});
        int focal = mb.fillFocal({{0, 0x00FF00FF}, {255, 0x000000FF}}, {{0, 0x00FFDBFF}, {255, 0x000000FF}},
                                 0.75, -0.5);
        int ln = mb.lineStyle(20, 200, 0x000000FF, 0xFFFFFFFF);
        mb.start().fill0(fill).line(ln).rect(0, 0, 1000, 1000);
        mb.start().fill0(grad).fill1(focal).moveTo(50, 50).curveTo(60, 0, 70, 50);
        mb.end().rect(500, 500, 3000, 2000);
        mb.end().moveTo(10, 10).curveTo(20, 0, 30, 10);
        auto m = parse(oneTag(v == 1 ? 46 : 84, mb.defineMorphShape(4, v)));
        EXPECT_TRUE(m.errors.empty()) << swftest::errorsOf(m);
        const auto* d = only<swf::DefineMorphShape>(m);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->id, 4);
        EXPECT_EQ(d->startBounds, (swf::Rect{0, 1000, 0, 1000}));
        EXPECT_EQ(d->endBounds, (swf::Rect{10, 3000, 0, 2000}));
        EXPECT_EQ(d->startEdgeBounds.has_value(), v == 2);
        ASSERT_EQ(d->fills.size(), 3u);
        EXPECT_EQ(d->fills[0].start.color, (swf::RGBA{0xFF, 0, 0, 0xFF}));
        EXPECT_EQ(d->fills[0].end.color, (swf::RGBA{0, 0, 0xFF, 0x80}));
        EXPECT_EQ(d->fills[1].start.type, swf::FillType::LinearGradient);
        EXPECT_EQ(d->fills[1].end.gradient.stops.at(1).ratio, 200);
        EXPECT_EQ(d->fills[1].start.matrix.scaleX, 2 << 16);
        EXPECT_EQ(d->fills[1].end.matrix.scaleX, 4 << 16);
        // Focal morph gradients carry a focal point for each end (seen in movies from the authoring tool).
        EXPECT_EQ(d->fills[2].start.type, swf::FillType::FocalGradient);
        EXPECT_DOUBLE_EQ(d->fills[2].start.gradient.focalPoint, 0.75);
        EXPECT_DOUBLE_EQ(d->fills[2].end.gradient.focalPoint, -0.5);
        EXPECT_EQ(d->fills[2].end.gradient.stops.at(0).color, (swf::RGBA{0, 0xFF, 0xDB, 0xFF}));
        ASSERT_EQ(d->lines.size(), 1u);
        EXPECT_EQ(d->lines[0].start.width, 20);
        EXPECT_EQ(d->lines[0].end.width, 200);
        EXPECT_EQ(d->lines[0].end.color, (swf::RGBA{0xFF, 0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(path(d->startEdges).size(), 7u);
        EXPECT_EQ(path(d->endEdges),
                  (std::vector<std::string>{"M 500 500", "L 3000 500", "L 3000 2000", "L 500 2000",
                                            "L 500 500", "M 10 10", "C 20 0 30 10"}));
    }
}
