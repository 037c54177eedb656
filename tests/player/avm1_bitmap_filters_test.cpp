// flash.filters and flash.display.BitmapData from script: the property rules of the filter classes and
// their round trip through a clip, BitmapData's premultiplied pixels and answers, and what scripts change
// on the stage (filters, blend modes, attached bitmaps, bitmap fills, draw).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/avm1/builtins/filters_class.h"
#include "player/avm1/vm.h"
#include "support/avm1_asm.h"
#include "tests/player/player_test_util.h"

namespace {

using namespace player::avm1;

class QuietHost : public Host {
  public:
    std::vector<std::string> unsupportedWhat;
    void trace(const std::string&) override {}
    void log(const std::string&) override {}
    void unsupported(const std::string& what) override { unsupportedWhat.push_back(what); }
    void getUrl(const std::string&, const std::string&, int, ClipObject*) override {}
    double timeMs() override { return 0; }
    ClipObject* level(int) override { return nullptr; }
    void loadClip(const std::string&, int, ClipObject*, Object*, ClipObject*) override {}
    bool readLocalFile(const std::string&, std::string&) override { return false; }
};

struct Script : ::testing::Test {
    QuietHost host;
    Vm vm{host, 8};

    Object* package(const char* name) {
        Object* flash = vm.global->get(vm, "flash").object();
        return flash ? flash->get(vm, name).object() : nullptr;
    }
    Value make(const char* pkg, const char* cls, std::vector<Value> args = {}) {
        return vm.construct(package(pkg)->get(vm, cls), args);
    }
    Value call(const Value& o, const char* method, std::vector<Value> args = {}) {
        return vm.callMethod(o, method, args);
    }
    std::string get(const Value& o, const char* name) { return vm.toString(o.object()->get(vm, name)); }
    void set(const Value& o, const char* name, const Value& v) { o.object()->set(vm, name, v); }
    Value array(std::vector<Value> v) { return Value(vm.newArray(std::move(v))); }
};

// ---- filters ----

TEST_F(Script, FilterPropertiesClampMaskAndRoundAsFlashPlayerDoes) {
    struct Case {
        const char* cls;
        const char* property;
        Value value;
        const char* reads;
    } cases[] = {
        {"BlurFilter", "blurX", Value(100.5), "100.5"},
        {"BlurFilter", "blurX", Value(-1), "0"},
        {"BlurFilter", "blurY", Value(256), "255"},
        {"BlurFilter", "quality", Value(2.5), "2"},
        {"BlurFilter", "quality", Value(100), "15"},
        {"DropShadowFilter", "angle", Value(366), "6"},
        {"DropShadowFilter", "angle", Value(-1), "-1"},
        {"DropShadowFilter", "distance", Value(-1), "-1"},
        {"DropShadowFilter", "alpha", Value(0.5), "0.498039215686275"},  // kept as a byte, truncated
        {"DropShadowFilter", "alpha", Value(1.5), "1"},
        {"DropShadowFilter", "color", Value(-305419896), "13347208"},  // low 24 bits
        {"DropShadowFilter", "strength", Value(256), "255"},
        {"DropShadowFilter", "hideObject", Value(), "false"},
        {"GlowFilter", "color", Value(16777471), "255"},
        {"BevelFilter", "type", Value("outer"), "outer"},
        {"BevelFilter", "type", Value("INNER"), "full"},  // names match exactly, anything else is full
        {"ConvolutionFilter", "matrixX", Value(100), "15"},
        {"DisplacementMapFilter", "componentX", Value(-234.5), "-234"},
        {"DisplacementMapFilter", "scaleX", Value(65536), "65535"},
        {"DisplacementMapFilter", "mode", Value("Color"), "wrap"},
    };
    for (const Case& c : cases) {
        Value f = make("filters", c.cls);
        set(f, c.property, c.value);
        EXPECT_EQ(get(f, c.property), c.reads) << c.cls << "." << c.property << " = " << vm.toString(c.value);
    }
}

TEST_F(Script, GradientStopsFollowTheColoursAndConvolutionMatricesOnlyGrow) {
    Value g = make("filters", "GradientGlowFilter");
    set(g, "alphas", array({Value(1)}));
    EXPECT_EQ(get(g, "alphas"), "") << "no colours, no stops";
    set(g, "colors", array({Value(-305419896), Value(10)}));
    EXPECT_EQ(get(g, "colors") + "|" + get(g, "alphas") + "|" + get(g, "ratios"), "13347208,10|0,0|0,0");
    set(g, "ratios", array({Value(500), Value(50.5), Value(100)}));
    EXPECT_EQ(get(g, "ratios"), "255,50") << "clamped, cut, and no longer than the colours";
    set(g, "alphas", array({Value(0.5)}));
    EXPECT_EQ(get(g, "alphas"), "0.501960784313725,1") << "rounded; the alphas not given are opaque";
    set(g, "ratios", array({Value(7)}));
    EXPECT_EQ(get(g, "colors") + "|" + get(g, "ratios"), "13347208|7") << "fewer ratios drop stops";

    Value c = make("filters", "ConvolutionFilter");
    set(c, "matrix", array({Value(-1000.5)}));
    set(c, "matrixX", Value(2));
    EXPECT_EQ(get(c, "matrix"), "-1000.5") << "2 x 0 needs no more numbers";
    set(c, "matrixY", Value(2));
    EXPECT_EQ(get(c, "matrix"), "-1000.5,0,0,0");
    set(c, "matrix", Value("ASDASDASD"));
    EXPECT_EQ(get(c, "matrix"), "NaN,NaN,NaN,NaN,NaN,NaN,NaN,NaN,NaN") << "a string counts its characters";

    Value m = make("filters", "ColorMatrixFilter", {Value()});
    EXPECT_EQ(get(m, "matrix"), "1,0,0,0,0,0,1,0,0,0,0,0,1,0,0,0,0,0,1,0");
    set(m, "matrix", array({Value(true), Value(false)}));
    EXPECT_EQ(get(m, "matrix").substr(0, 12), "1,0,NaN,NaN,");
}

TEST_F(Script, FiltersCloneAndRoundTripThroughTheRecordsTheRendererApplies) {
    Value bevel = make("filters", "BevelFilter",
                       {Value(10), Value(90), Value(0x00FF00), Value(1), Value(0x0000FF), Value(0.5),
                        Value(8), Value(6), Value(1.5), Value(3), Value("full"), Value(true)});
    Value copy = call(bevel, "clone");
    ASSERT_TRUE(copy.isObject());
    EXPECT_NE(copy.object(), bevel.object());
    set(bevel, "distance", Value(1));
    EXPECT_EQ(get(copy, "distance"), "10") << "the clone keeps its own settings";
    EXPECT_TRUE(vm.instanceOf(copy, package("filters")->get(vm, "BevelFilter").object()));
    EXPECT_TRUE(call(make("filters", "BitmapFilter"), "clone").isUndefined());

    std::optional<swf::FilterParams> p = filterParams(copy);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->type, swf::FilterType::Bevel);
    ASSERT_EQ(p->colors.size(), 2u);
    EXPECT_EQ(p->colors[0].g, 255) << "highlight first";
    EXPECT_EQ(p->colors[1].a, 127) << "shadow alpha as a byte";
    EXPECT_TRUE(p->onTop && p->knockout) << "type full is stored as on top";
    EXPECT_EQ(p->passes, 3);
    Value back = filterValue(vm, *p);
    for (const char* name : {"distance", "highlightColor", "shadowAlpha", "blurX", "strength", "type"})
        EXPECT_EQ(get(back, name), get(copy, name)) << name;
    EXPECT_NEAR(vm.toNumber(back.object()->get(vm, "angle")), 90, 1e-9);
    EXPECT_FALSE(filterParams(make("filters", "DisplacementMapFilter"))) << "not drawn";
}

TEST(ScriptVersions, FiltersAreClassesFromSwf6AndSettingsFromSwf8) {
    QuietHost host;
    Vm v5(host, 5);
    EXPECT_TRUE(v5.global->get(v5, "flash").isUndefined());
    Vm v7(host, 7);
    Object* filters = v7.global->get(v7, "flash").object()->get(v7, "filters").object();
    ASSERT_TRUE(filters);
    std::vector<Value> args{Value(10)};
    Value blur = v7.construct(filters->get(v7, "BlurFilter"), args);
    ASSERT_TRUE(blur.isObject());
    EXPECT_TRUE(blur.object()->get(v7, "blurX").isUndefined()) << "no settings before SWF 8";
}

// mapPoint takes any object with x and y: without either it is (0, 0); a coordinate that is no number reads
// as -2^31; a valueOf that throws still leaves the point set before the error goes on (first error wins).
TEST_F(Script, DisplacementMapPointConvertsLikeFlashPlayer) {
    Object* throwing = vm.newObject();
    vm.method(throwing, "valueOf",
              [](Vm&, const Value&, std::vector<Value>&) -> Value { throw ScriptThrow{Value("boom")}; });
    auto point = [&](std::vector<std::pair<const char*, Value>> members) {
        Object* o = vm.newObject();
        for (auto& [name, v] : members)
            o->set(vm, name, v);
        return Value(o);
    };
    struct Case {
        Value point;
        const char* reads;
        bool throws;
    } cases[] = {
        {point({{"x", Value(1.9)}, {"y", Value(-2.9)}}), "(x=1, y=-2)", false},
        {point({{"x", Value(1)}}), "(x=0, y=0)", false},
        {point({{"x", Value("abc")}, {"y", Value(8)}}), "(x=-2147483648, y=8)", false},
        {point({{"x", Value(3)}, {"y", Value(throwing)}}), "(x=3, y=-2147483648)", true},
        {point({{"x", Value(throwing)}}), "(x=0, y=0)", true},
        {Value(true), "(x=0, y=0)", false},
    };
    for (Case& c : cases) {
        Value f = make("filters", "DisplacementMapFilter");
        bool threw = false;
        try {
            set(f, "mapPoint", c.point);
        } catch (const ScriptThrow&) {
            threw = true;
        }
        EXPECT_EQ(get(f, "mapPoint"), c.reads);
        EXPECT_EQ(threw, c.throws) << c.reads;
    }
}

// A displacement map moves each pixel by (component - 128) * scale / 256 whole pixels; pixels the map does
// not cover stay; reads beyond the picture wrap, clamp, keep the pixel or give the colour, by mode.
TEST_F(Script, DisplacementMapFilterMovesPixelsByTheMap) {
    const uint32_t A = 0xFF0000AA, B = 0xFF0000BB, C = 0xFF0000CC, D = 0xFF0000DD, K = 0xFF123456;
    auto row = [&](std::vector<uint32_t> colors, bool transparent) {
        Value b = make("display", "BitmapData", {Value(int(colors.size())), Value(1), Value(transparent)});
        for (size_t i = 0; i < colors.size(); ++i)
            call(b, "setPixel32", {Value(int(i)), Value(0), Value(double(colors[i]))});
        return b;
    };
    struct Case {
        const char* what;
        uint32_t mapRed;
        int mapX;
        double scale;
        const char* mode;
        std::vector<uint32_t> out;
    } cases[] = {
        {"wrap", 130, 0, 256, "wrap", {C, D, A, B}},
        {"clamp", 130, 0, 256, "clamp", {C, D, D, D}},
        {"ignore", 130, 0, 256, "ignore", {C, D, C, D}},
        {"color", 130, 0, 256, "color", {C, D, K, K}},
        {"backwards", 130, 0, -256, "clamp", {A, A, A, B}},
        {"half scale", 132, 0, 128, "wrap", {C, D, A, B}},
        {"map covers the right half", 130, 2, 256, "clamp", {A, B, D, D}},
        {"middle grey stays", 128, 0, 256, "wrap", {A, B, C, D}},
    };
    for (Case& c : cases) {
        Value map = row(std::vector<uint32_t>(4, 0xFF000000u | c.mapRed << 16), false);
        Value f = make("filters", "DisplacementMapFilter",
                       {map, make("geom", "Point", {Value(c.mapX), Value(0)}), Value(1), Value(2),
                        Value(c.scale), Value(0), Value(c.mode), Value(0x123456), Value(1)});
        Value src = row({A, B, C, D}, true);
        Value dst = make("display", "BitmapData", {Value(4), Value(1), Value(true), Value(0)});
        call(dst, "applyFilter",
             {src, src.object()->get(vm, "rectangle"), make("geom", "Point", {Value(0), Value(0)}), f});
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(toUint32(vm.toNumber(call(dst, "getPixel32", {Value(x), Value(0)}))), c.out[size_t(x)])
                << c.what << " at " << x;
    }

    // Through a clip's filter records and back: the settings and a BitmapData of the map's pixels.
    Value map = row({0xFF818181u, 0xFF7F7F7Fu}, false);
    Value f = make("filters", "DisplacementMapFilter",
                   {map, make("geom", "Point", {Value(3), Value(4)}), Value(4), Value(8), Value(10),
                    Value(-20), Value("ignore")});
    std::optional<swf::FilterParams> p = filterParams(f);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->type, swf::FilterType::DisplacementMap);
    Value back = filterValue(vm, *p);
    for (const char* name : {"mapPoint", "componentX", "componentY", "scaleX", "scaleY", "mode"})
        EXPECT_EQ(get(back, name), get(f, name)) << name;
    Value backMap = back.object()->get(vm, "mapBitmap");
    EXPECT_EQ(vm.toNumber(call(backMap, "getPixel", {Value(1), Value(0)})), 0x7F7F7F);
    EXPECT_FALSE(filterParams(make("filters", "DisplacementMapFilter"))) << "no map: nothing to draw";
}

// ---- BitmapData ----

TEST_F(Script, BitmapPixelsAreKeptPremultiplied) {
    struct Case {
        bool transparent;
        double set;
        double reads;
    } cases[] = {
        {true, 0xAABBCCDD, double(int32_t(0xAABBCCDCu))},
        {true, 0x12345678, double(int32_t(0x12395571u))},
        {true, 0x20202020, double(int32_t(0x20202020u))},
        {true, 0x00FFFFFF, 0},    // nothing of a colour is left without alpha
        {false, 0x80FFFFFF, -1},  // an opaque bitmap drops alpha
    };
    for (const Case& c : cases) {
        Value b = make("display", "BitmapData", {Value(2), Value(2), Value(c.transparent), Value(0)});
        call(b, "setPixel32", {Value(1), Value(1), Value(c.set)});
        EXPECT_EQ(vm.toNumber(call(b, "getPixel32", {Value(1), Value(1)})), c.reads) << std::hex << c.set;
    }
}

TEST_F(Script, BitmapSizesAndDisposedBitmapsAnswerAsInFlashPlayer) {
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {2881, 5}, {5, 2881}})
        EXPECT_TRUE(make("display", "BitmapData", {Value(w), Value(h)}).isUndefined()) << w << "x" << h;
    Value big = make("display", "BitmapData", {Value(2880), Value(2880)});
    EXPECT_EQ(get(big, "rectangle"), "(x=0, y=0, w=2880, h=2880)");
    EXPECT_EQ(get(big, "transparent"), "true");
    call(big, "dispose");
    for (const char* name : {"width", "height", "transparent", "rectangle"})
        EXPECT_EQ(get(big, name), "-1") << name;
    EXPECT_EQ(vm.toString(call(big, "getPixel", {Value(0), Value(0)})), "-1");
}

TEST_F(Script, BitmapMethodsCheckTheirArgumentsInOrder) {
    Value b = make("display", "BitmapData", {Value(3), Value(3)});
    Value src = make("display", "BitmapData", {Value(3), Value(3)});
    Value gone = make("display", "BitmapData", {Value(3), Value(3)});
    call(gone, "dispose");
    Value rect = make("geom", "Rectangle", {Value(0), Value(0), Value(2), Value(2)});
    Value point = make("geom", "Point", {Value(1), Value(1)});
    struct Case {
        const char* method;
        std::vector<Value> args;
        double answer;
    } cases[] = {
        {"copyChannel", {src, rect, point, Value(2)}, -1},  // too few arguments
        {"copyChannel", {Value(), rect, point, Value(2), Value(4)}, -2},
        {"copyChannel", {gone, rect, point, Value(2), Value(4)}, -3},
        {"copyChannel", {src, Value(vm.newObject()), point, Value(2), Value(4)}, -4},
        {"copyChannel", {src, rect, point, Value(2), Value(4)}, -1},  // done
        {"colorTransform", {rect, Value(vm.newObject())}, -3},        // a ColorTransform, nothing like one
        {"compare", {gone}, -2},
        {"compare", {make("display", "BitmapData", {Value(4), Value(3)})}, -3},
        {"compare", {src}, 0},
        {"threshold", {src, rect, point, Value("=="), Value(4294967295.0)}, 4},  // pixels that passed
        {"floodFill", {Value(9), Value(9), Value(0)}, 0},
        {"hitTest", {Value(), Value(0), point}, -2},
    };
    for (Case& c : cases)
        EXPECT_EQ(vm.toNumber(call(b, c.method, c.args)), c.answer) << c.method << " " << c.args.size();
}

TEST_F(Script, NoiseFloodFillScrollAndColorBounds) {
    Value b = make("display", "BitmapData", {Value(3), Value(3), Value(false)});
    call(b, "noise", {Value(1)});
    EXPECT_EQ(vm.toNumber(call(b, "getPixel", {Value(0), Value(0)})), 0xA7F1D9) << "Flash Player's generator";
    Value c = make("display", "BitmapData", {Value(3), Value(3), Value(false)});
    call(c, "noise", {Value(-1)});
    call(b, "noise", {Value(2)});
    EXPECT_EQ(vm.toNumber(call(c, "compare", {b})), 0) << "seed -1 is seed 2";
    // An opaque bitmap draws no number for alpha: asking for it changes nothing (reference traces).
    call(c, "noise", {Value(5), Value(0), Value(255), Value(15), Value(true)});
    call(b, "noise", {Value(5), Value(0), Value(255), Value(7), Value(true)});
    EXPECT_EQ(vm.toNumber(call(c, "compare", {b})), 0) << "alpha left out on an opaque bitmap";

    // A white bitmap with a black wall in column 1: the fill stays on its side.
    Value f = make("display", "BitmapData", {Value(4), Value(2), Value(false), Value(0xFFFFFF)});
    for (int y = 0; y < 2; ++y)
        call(f, "setPixel", {Value(1), Value(y), Value(0)});
    EXPECT_EQ(vm.toNumber(call(f, "floodFill", {Value(3), Value(0), Value(0xFF0000)})), 1);
    EXPECT_EQ(vm.toNumber(call(f, "getPixel", {Value(0), Value(1)})), 0xFFFFFF);
    EXPECT_EQ(vm.toNumber(call(f, "getPixel", {Value(2), Value(1)})), 0xFF0000);
    EXPECT_EQ(vm.toString(call(f, "getColorBoundsRect", {Value(0xFFFFFF), Value(0xFF0000)})),
              "(x=2, y=0, w=2, h=2)");
    call(f, "scroll", {Value(1), Value(0)});
    EXPECT_EQ(vm.toNumber(call(f, "getPixel", {Value(1), Value(0)})), 0xFFFFFF) << "moved right";
    EXPECT_EQ(vm.toNumber(call(f, "getPixel", {Value(0), Value(0)})), 0xFFFFFF) << "left behind as it was";
}

// getColorBoundsRect as the reference traces answer it: a transparent bitmap compares masked pixel with
// masked colour; an opaque one compares red, green and blue of the masked pixel with the colour as given;
// a match of the top-left pixel alone counts as none.
TEST_F(Script, ColorBoundsCompareAsFlashPlayerDoes) {
    Value opaque = make("display", "BitmapData", {Value(3), Value(3), Value(false), Value(0x1122DD)});
    Value clear = make("display", "BitmapData", {Value(3), Value(3), Value(true), Value(double(0xAA1122DD))});
    Value corner = make("display", "BitmapData", {Value(3), Value(3), Value(false), Value(0)});
    call(corner, "setPixel", {Value(0), Value(0), Value(0xFF)});
    const char* all = "(x=0, y=0, w=3, h=3)";
    const char* none = "(x=0, y=0, w=0, h=0)";
    struct Case {
        Value bitmap;
        double mask, color;
        bool find;
        const char* reads;
    } cases[] = {
        {opaque, 0, 0xFF0000, true, none},  // the colour is not masked
        {opaque, 255, 0xDD, true, all},
        {opaque, 4278190080.0, 2852126720.0, true, all},  // alpha is not compared
        {clear, 0, 0xFF0000, true, all},                  // the colour is masked
        {clear, 4278190080.0, 2852126720.0, true, all},
        {clear, 255, 0xDD, true, none},  // stored premultiplied
        {corner, 255, 0xFF, true, none},
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            vm.toString(call(c.bitmap, "getColorBoundsRect", {Value(c.mask), Value(c.color), Value(c.find)})),
            c.reads)
            << std::hex << c.mask << " " << c.color;
}

// copyPixels with an alpha bitmap: the source's alpha times the alpha bitmap's (over 256) at the matching
// place; places beyond the alpha bitmap are left alone; an opaque destination gets the result blended.
TEST_F(Script, CopyPixelsTakesAlphaFromTheAlphaBitmap) {
    auto row = [&](uint32_t p0, uint32_t p1, bool transparent, uint32_t fill = 0) {
        Value b =
            make("display", "BitmapData", {Value(2), Value(1), Value(transparent), Value(double(fill))});
        call(b, "setPixel32", {Value(0), Value(0), Value(double(p0))});
        call(b, "setPixel32", {Value(1), Value(0), Value(double(p1))});
        return b;
    };
    Value src = row(0xFFFF0000, 0x80FF0000, true);
    Value alpha = row(0x80000000, 0xFF000000, true);
    Value all = make("geom", "Rectangle", {Value(0), Value(0), Value(2), Value(1)});
    struct Case {
        const char* what;
        bool transparent;
        int alphaX;
        uint32_t p0, p1;
    } cases[] = {
        {"alphas multiplied", true, 0, 0x7FFF0000, 0x7FFF0000},
        {"shifted: the second beyond the alpha bitmap", true, 1, 0xFEFF0000, 0},
        {"blended on an opaque bitmap", false, 0, 0xFFFF8080, 0xFFFF8080},
    };
    for (const Case& c : cases) {
        Value dst =
            make("display", "BitmapData",
                 {Value(2), Value(1), Value(c.transparent), Value(c.transparent ? 0.0 : 4294967295.0)});
        call(dst, "copyPixels",
             {src, all, make("geom", "Point", {Value(0), Value(0)}), alpha,
              make("geom", "Point", {Value(c.alphaX), Value(0)})});
        EXPECT_EQ(toUint32(vm.toNumber(call(dst, "getPixel32", {Value(0), Value(0)}))), c.p0) << c.what;
        EXPECT_EQ(toUint32(vm.toNumber(call(dst, "getPixel32", {Value(1), Value(0)}))), c.p1) << c.what;
    }
}

// Pixels read from Flash Player's pictures of 100 x 100 bitmaps filled by perlinNoise (the render corpus'
// perlin noise case, where every pixel matches): plain and fractal sums, stitching with unequal sizes,
// grey, and per-octave offsets.
TEST_F(Script, PerlinNoiseDrawsFlashPlayersPixels) {
    Value offsets =
        array({make("geom", "Point", {Value(10), Value(20)}), make("geom", "Point", {Value(-30), Value(-40)}),
               make("geom", "Point", {Value(135), Value(15)})});
    const Value no;
    struct Case {
        const char* what;
        std::vector<Value> args;  // baseX, baseY, octaves, seed, stitch, fractal, channels, grey, offsets
        uint32_t at37x23, at81x64;
    } cases[] = {
        {"fractal",
         {Value(100), Value(100), Value(1), Value(42), Value(false), Value(true), Value(7)},
         0x97687A,
         0x9467AC},
        {"turbulence",
         {Value(310), Value(70), Value(2), Value(20), Value(false), Value(false), Value(7)},
         0x8A9030,
         0x5A1B56},
        {"stitched",
         {Value(130), Value(70), Value(2), Value(20), Value(true), Value(true), Value(7)},
         0x384F99,
         0x9ABC85},
        {"grey",
         {Value(100), Value(100), Value(2), Value(242), Value(false), Value(true), Value(7), Value(true)},
         0x898989,
         0x5D5D5D},
        {"offsets",
         {Value(100), Value(100), Value(3), Value(137), Value(false), Value(true), Value(7), Value(false),
          offsets},
         0x8DAC4E,
         0xAA9752},
    };
    for (Case& c : cases) {
        Value b = make("display", "BitmapData", {Value(100), Value(100), Value(true), Value(0)});
        call(b, "perlinNoise", c.args);
        EXPECT_EQ(uint32_t(vm.toNumber(call(b, "getPixel", {Value(37), Value(23)}))), c.at37x23) << c.what;
        EXPECT_EQ(uint32_t(vm.toNumber(call(b, "getPixel", {Value(81), Value(64)}))), c.at81x64) << c.what;
        EXPECT_EQ(toUint32(vm.toNumber(call(b, "getPixel32", {Value(5), Value(90)}))) >> 24, 255u)
            << c.what << ": no alpha asked, so opaque";
    }
    // Too few arguments change nothing; a negative octave count is capped rather than looped over.
    Value b = make("display", "BitmapData", {Value(4), Value(4), Value(false), Value(0x123456)});
    EXPECT_EQ(vm.toNumber(call(b, "perlinNoise", {Value(10), Value(10), Value(1), Value(1), Value(false)})),
              -1);
    EXPECT_EQ(vm.toNumber(call(b, "getPixel", {Value(1), Value(1)})), 0x123456);
    call(b, "perlinNoise", {Value(1e-300), Value(0), Value(-1), Value(1), Value(true), Value(false)});
    EXPECT_TRUE(host.unsupportedWhat.empty());
}

// pixelDissolve: numPixels pixels of the area change (the top-left one always), copied from the source or,
// with the bitmap as its own source, set to fillColor; the answer continues the same dissolve, and the
// seed alone decides which pixels.
TEST_F(Script, PixelDissolveChangesTheAskedNumberOfPixelsInASeededOrder) {
    auto changed = [&](const Value& b, uint32_t from) {
        int n = 0;
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                n += uint32_t(vm.toNumber(call(b, "getPixel", {Value(x), Value(y)}))) != from;
        return n;
    };
    Value src = make("display", "BitmapData", {Value(10), Value(10), Value(false), Value(0xFF0000)});
    Value all = make("geom", "Rectangle", {Value(0), Value(0), Value(10), Value(10)});
    Value origin = make("geom", "Point", {Value(0), Value(0)});
    Value a = make("display", "BitmapData", {Value(10), Value(10), Value(false), Value(0)});
    Value next = call(a, "pixelDissolve", {src, all, origin, Value(7), Value(30)});
    EXPECT_EQ(changed(a, 0), 31) << "30 and the top-left pixel";
    EXPECT_EQ(vm.toNumber(call(a, "getPixel", {Value(0), Value(0)})), 0xFF0000);
    call(a, "pixelDissolve", {src, all, origin, next, Value(30)});
    EXPECT_EQ(changed(a, 0), 61) << "the second call goes on where the first stopped";
    call(a, "pixelDissolve", {src, all, origin, Value(1), Value(1000)});
    EXPECT_EQ(changed(a, 0), 100) << "more than the area: all of it";

    Value b = make("display", "BitmapData", {Value(10), Value(10), Value(false), Value(0)});
    Value c = make("display", "BitmapData", {Value(10), Value(10), Value(false), Value(0)});
    call(b, "pixelDissolve", {src, all, origin, Value(7), Value(30)});
    call(c, "pixelDissolve", {src, all, origin, Value(8), Value(30)});
    Value a2 = make("display", "BitmapData", {Value(10), Value(10), Value(false), Value(0)});
    call(a2, "pixelDissolve", {src, all, origin, Value(7), Value(30)});
    EXPECT_EQ(vm.toNumber(call(a2, "compare", {b})), 0) << "same seed, same pixels";
    EXPECT_NE(vm.toNumber(call(c, "compare", {b})), 0) << "another seed, other pixels";

    // Its own source: pixels take the fill colour; an area cut by the bitmap's edge stays inside it.
    Value d = make("display", "BitmapData", {Value(10), Value(10), Value(true), Value(0)});
    Value corner = make("geom", "Rectangle", {Value(5), Value(5), Value(10), Value(10)});
    call(d, "pixelDissolve",
         {d, corner, make("geom", "Point", {Value(5), Value(5)}), Value(3), Value(500),
          Value(double(0x80FFFFFF))});
    EXPECT_EQ(vm.toNumber(call(d, "getPixel32", {Value(9), Value(9)})), double(int32_t(0x80FFFFFFu)));
    EXPECT_EQ(vm.toNumber(call(d, "getPixel32", {Value(4), Value(4)})), 0) << "outside the area";
    EXPECT_EQ(vm.toNumber(call(d, "pixelDissolve", {Value(), corner, origin})), -2);
}

// ---- on the stage ----

using playertest::movie;
using playertest::Picture;
using playertest::render;

player::Player* loaded(player::Player& p, const testswf::Bytes& bytes) {
    std::string error;
    EXPECT_TRUE(p.loadBytes(bytes, "test.swf", &error)) << error;
    return &p;
}

// `var` = new flash.display.BitmapData(w, h, false, color)
std::string newBitmap(const char* var, int w, int h, uint32_t color) {
    return std::string("push '") + var + "'; push " + std::to_string(color) + " false " + std::to_string(h) +
           " " + std::to_string(w) +
           " 4; push 'flash'; getvar; push 'display'; getmember; push 'BitmapData'; "
           "newmethod; setvar; ";
}

TEST(ScriptStage, AttachedBitmapShowsItsPixelsAsTheyChange) {
    // Frame 1 attaches a blue 4 x 4 bitmap at (0, 0); frame 2 paints it red.
    auto b = movie(10, 10, 2, 8);
    b.tag(12, avm1test::assemble(newBitmap("bmp", 4, 4, 0x0000FF) +
                                 "push 1 'bmp'; getvar; push 2; push '_root'; getvar; push 'attachBitmap'; "
                                 "callmethod; pop"))
        .showFrame();
    b.tag(12, avm1test::assemble("push 16711680; push 'bmp'; getvar; push 'rectangle'; getmember; push 2; "
                                 "push 'bmp'; getvar; push 'fillRect'; callmethod; pop; stop"))
        .showFrame();
    player::Player p;
    loaded(p, b.end().build());
    // Twice, so the stage keeps the picture: the change must still be seen.
    render(p, 10, 10);
    Picture first = render(p, 10, 10);
    EXPECT_EQ(first.rgb(1, 1), 0x0000FFu);
    EXPECT_EQ(first.rgb(6, 6), 0xFFFFFFu) << "beyond the bitmap";
    p.advance();
    EXPECT_EQ(render(p, 10, 10).rgb(1, 1), 0xFF0000u);
}

TEST(ScriptStage, ScriptFiltersAndBlendModesReachTheRenderer) {
    // A red 10 x 10 square drawn by script at (10, 10), given a blur; a second square in "invert" mode.
    auto fill = [](const char* clip, int x, uint32_t rgb) {
        std::string c = std::string("push '") + clip + "'; getvar; ";
        auto m = [&](const std::string& args, int n, const char* method) {
            return "push " + args + " " + std::to_string(n) + "; " + c + "push '" + method +
                   "'; callmethod; pop; ";
        };
        std::string xs = std::to_string(x), xe = std::to_string(x + 10);
        return m(std::to_string(rgb), 1, "beginFill") + m("10 " + xs, 2, "moveTo") +
               m("10 " + xe, 2, "lineTo") + m("20 " + xe, 2, "lineTo") + m("20 " + xs, 2, "lineTo") +
               m("", 0, "endFill");
    };
    const std::string script =
        "push 'a'; push 1 'a' 2; push '_root'; getvar; push 'createEmptyMovieClip'; callmethod; setvar; " +
        fill("a", 10, 0xFF0000) +
        // a.filters = [new flash.filters.BlurFilter(8, 8, 1)]
        "push 'a'; getvar; push 'filters'; push 1 8 8 3; push 'flash'; getvar; push 'filters'; getmember; "
        "push 'BlurFilter'; newmethod; push 1; initarray; setmember; "
        "push 'b'; push 2 'b' 2; push '_root'; getvar; push 'createEmptyMovieClip'; callmethod; setvar; " +
        fill("b", 40, 0xFFFFFF) + "push 'b'; getvar; push 'blendMode'; push 'invert'; setmember; ";
    auto b = movie(60, 30, 1, 8, 0x00FF00);
    b.tag(12, avm1test::assemble(script)).showFrame();
    player::Player p;
    loaded(p, b.end().build());
    Picture pic = render(p, 60, 30);
    EXPECT_NE(pic.rgb(9, 15), 0x00FF00u) << "the blur spreads beyond the square";
    EXPECT_NE(pic.rgb(10, 15), 0xFF0000u) << "and softens its inside near the edge";
    EXPECT_EQ(pic.rgb(15, 15), 0xFF0000u) << "farther in than the blur reaches";
    EXPECT_EQ(pic.rgb(45, 15), 0xFF00FFu) << "invert turns the green stage magenta under the square";
}

TEST(ScriptStage, DrawCapturesAClipAndBitmapFillsPaintIt) {
    // A 20 x 10 clip: left half red (drawn), captured with draw() into a bitmap; a second clip fills a
    // rectangle with that bitmap at (0, 20).
    std::vector<std::string> lines;
    const std::string script =
        "push 'a'; push 1 'a' 2; push '_root'; getvar; push 'createEmptyMovieClip'; callmethod; setvar; "
        "push 16711680 1; push 'a'; getvar; push 'beginFill'; callmethod; pop; "
        "push 0 0 2; push 'a'; getvar; push 'moveTo'; callmethod; pop; "
        "push 0 10 2; push 'a'; getvar; push 'lineTo'; callmethod; pop; "
        "push 10 10 2; push 'a'; getvar; push 'lineTo'; callmethod; pop; "
        "push 10 0 2; push 'a'; getvar; push 'lineTo'; callmethod; pop; "
        "push 0; push 'a'; getvar; push 'endFill'; callmethod; pop; " +
        newBitmap("bmp", 20, 10, 0x0000FF) +
        "push 'a'; getvar; push 1; push 'bmp'; getvar; push 'draw'; callmethod; pop; "
        "push 2 5 2; push 'bmp'; getvar; push 'getPixel'; callmethod; trace; "
        "push 2 15 2; push 'bmp'; getvar; push 'getPixel'; callmethod; trace; "
        "push 'a'; getvar; push '_y'; push 100; setmember; "
        "push 'c'; push 2 'c' 2; push '_root'; getvar; push 'createEmptyMovieClip'; callmethod; setvar; "
        "push 'bmp'; getvar; push 1; push 'c'; getvar; push 'beginBitmapFill'; callmethod; pop; "
        "push 20 0 2; push 'c'; getvar; push 'moveTo'; callmethod; pop; "
        "push 20 20 2; push 'c'; getvar; push 'lineTo'; callmethod; pop; "
        "push 30 20 2; push 'c'; getvar; push 'lineTo'; callmethod; pop; "
        "push 30 0 2; push 'c'; getvar; push 'lineTo'; callmethod; pop; "
        "push 0; push 'c'; getvar; push 'endFill'; callmethod; pop";
    auto b = movie(40, 40, 1, 8);
    b.tag(12, avm1test::assemble(script)).showFrame();
    player::Player p;
    p.setTraceHandler([&](const std::string& line) { lines.push_back(line); });
    loaded(p, b.end().build());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "16711680") << "the clip's red square";
    EXPECT_EQ(lines[1], "255") << "the bitmap's own blue beside it";
    Picture pic = render(p, 40, 40);
    EXPECT_EQ(pic.rgb(5, 25), 0xFF0000u) << "the fill repeats the captured pixels";
    EXPECT_EQ(pic.rgb(15, 25), 0x0000FFu);
}

TEST(ScriptStage, DrawShapesAClipByItsMaskAndAMaskDrawsNothing) {
    // a: a red 10 x 10 square at x = 3, hidden, masked by m (a 5 x 10 square at the stage's left edge), so
    // in a's own space the mask covers x < 2. Drawing a shows its red there only; drawing m shows nothing.
    auto square = [](const char* clip, int depth, uint32_t rgb, int w) {
        const std::string c = std::string("push '") + clip + "'; getvar; ";
        auto call = [&](const std::string& args, int n, const char* method) {
            return "push " + args + " " + std::to_string(n) + "; " + c + "push '" + method +
                   "'; callmethod; pop; ";
        };
        const std::string ws = std::to_string(w);
        return std::string("push '") + clip + "'; push " + std::to_string(depth) + " '" + clip +
               "' 2; push '_root'; getvar; push 'createEmptyMovieClip'; callmethod; setvar; " +
               call(std::to_string(rgb), 1, "beginFill") + call("0 0", 2, "moveTo") +
               call("10 0", 2, "lineTo") + call("10 " + ws, 2, "lineTo") + call("0 " + ws, 2, "lineTo") +
               call("", 0, "endFill");
    };
    auto pixel = [](const char* bmp, int x) {
        return "push 5 " + std::to_string(x) + " 2; push '" + bmp +
               "'; getvar; push 'getPixel'; callmethod; trace; ";
    };
    const std::string script =
        square("a", 1, 0xFF0000, 10) + square("m", 2, 0x00FF00, 5) +
        "push 'm'; getvar; push 1; push 'a'; getvar; push 'setMask'; callmethod; pop; "
        "push 'a'; getvar; push '_x'; push 3; setmember; "
        "push 'a'; getvar; push '_visible'; push false; setmember; " +
        newBitmap("bmp", 20, 10, 0x0000FF) +
        "push 'a'; getvar; push 1; push 'bmp'; getvar; push 'draw'; callmethod; pop; " + pixel("bmp", 1) +
        pixel("bmp", 4) + newBitmap("bmp2", 20, 10, 0x0000FF) +
        "push 'm'; getvar; push 1; push 'bmp2'; getvar; push 'draw'; callmethod; pop; " + pixel("bmp2", 1);
    auto b = movie(40, 40, 1, 8);
    b.tag(12, avm1test::assemble(script)).showFrame();
    player::Player p;
    std::vector<std::string> lines;
    p.setTraceHandler([&](const std::string& line) { lines.push_back(line); });
    loaded(p, b.end().build());
    EXPECT_EQ(lines, (std::vector<std::string>{"16711680", "255", "255"}))
        << "inside the mask, outside it, the mask itself";
}

}  // namespace
