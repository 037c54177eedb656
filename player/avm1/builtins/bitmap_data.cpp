// flash.display.BitmapData (SWF 8): pixels a script makes, reads, paints and draws movie clips into, and the
// MovieClip methods that show them (attachBitmap, beginBitmapFill).
// Pixels are kept premultiplied, as Flash Player keeps them: a colour set with alpha below 255 reads back
// with its channels rounded through the premultiplied form (0xAABBCCDD reads as 0xAABBCCDC).
// Sizes are bounded as in Flash Player 8: 1 to 2880 pixels a side. Methods on a disposed bitmap, or called
// with too few arguments, do nothing and answer -1.
#include "player/avm1/builtins/bitmap_data.h"

#include <algorithm>
#include <cmath>

#include "player/avm1/builtins/filters_class.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/renderer.h"
#include "player/core/runtime.h"
#include "player/filters/blend.h"
#include "player/filters/noise.h"
#include "player/raster/color.h"

namespace player::avm1 {

std::shared_ptr<LiveBitmap> liveBitmapOf(const Value& v) {
    auto* b = dynamic_cast<BitmapDataObject*>(v.object());
    return b ? b->bitmap : nullptr;
}

namespace {

constexpr int kMaxSide = 2880;

const Value kFailed = Value(-1);

// ---- pixels ----

// Straight 0xAARRGGBB to the stored form: channels times alpha, rounded.
Pixel premultiplied(uint32_t argb) {
    const uint32_t a = argb >> 24;
    if (a == 255) return argb;
    auto m = [a](uint32_t c) { return uint8_t((c * a + 127) / 255); };
    return packPremultiplied(m((argb >> 16) & 255), m((argb >> 8) & 255), m(argb & 255), uint8_t(a));
}

// The stored form back to straight colour: channels times 255 over alpha, rounded to nearest with halves
// down (0x12345678 stored reads back as 0x12395571, 0x20202020 as itself).
uint32_t straight(Pixel p) {
    const uint32_t a = p >> 24;
    if (a == 255) return p;
    if (a == 0) return 0;
    auto d = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + (a - 1) / 2) / a); };
    return a << 24 | d((p >> 16) & 255) << 16 | d((p >> 8) & 255) << 8 | d(p & 255);
}

// The colour a script gives, as a pixel of `b` (opaque bitmaps ignore its alpha).
Pixel pixelFor(const LiveBitmap& b, uint32_t argb) {
    return b.transparent ? premultiplied(argb) : (argb | 0xff000000u);
}

Value signedColor(uint32_t argb) {
    return Value(double(int32_t(argb)));
}

BitmapDataObject* dataOf(const Value& v) {
    return dynamic_cast<BitmapDataObject*>(v.object());
}

LiveBitmap* live(const Value& self) {
    BitmapDataObject* b = dataOf(self);
    return b && b->bitmap ? b->bitmap.get() : nullptr;
}

int intOf(Vm& vm, const Value& v) {
    return int(clampToInt(vm.toNumber(v), INT32_MIN, INT32_MAX));
}

double num(Vm& vm, const Value& o, const char* name) {
    Object* obj = o.object();
    return obj ? vm.toNumber(obj->get(vm, name)) : std::nan("");
}

// Whether a value has the four members of a rectangle (any object with them will do).
bool isRect(Vm& vm, const Value& v) {
    Object* o = v.object();
    if (!o) return false;
    for (const char* n : {"x", "y", "width", "height"})
        if (!o->has(vm, n)) return false;
    return true;
}

// A rectangle of whole pixels, from a Rectangle-like object, cut to `b`'s bounds.
struct Area {
    int x = 0, y = 0, w = 0, h = 0;
    bool empty() const { return w <= 0 || h <= 0; }
};

Area areaOf(Vm& vm, const Value& r) {
    auto i = [&](const char* n) { return int(clampToInt(num(vm, r, n), -(1 << 24), 1 << 24)); };
    return {i("x"), i("y"), i("width"), i("height")};
}

Area clipTo(Area a, int width, int height) {
    int x0 = std::max(a.x, 0), y0 = std::max(a.y, 0);
    int x1 = std::min(a.x + a.w, width), y1 = std::min(a.y + a.h, height);
    return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

Object* geomClass(Vm& vm, const char* name) {
    Object* flash = vm.global->get(vm, "flash").object();
    Object* geom = flash ? flash->get(vm, "geom").object() : nullptr;
    return geom ? geom->get(vm, name).object() : nullptr;
}

Value makeRect(Vm& vm, double x, double y, double w, double h) {
    Object* cls = geomClass(vm, "Rectangle");
    if (!cls) return Value();
    std::vector<Value> xywh{Value(x), Value(y), Value(w), Value(h)};
    return vm.construct(Value(cls), xywh);
}

Object* bitmapDataClass(Vm& vm) {
    Object* flash = vm.global->get(vm, "flash").object();
    Object* display = flash ? flash->get(vm, "display").object() : nullptr;
    return display ? display->get(vm, "BitmapData").object() : nullptr;
}

// A new BitmapData object holding `pixels`.
Value wrap(Vm& vm, std::shared_ptr<LiveBitmap> pixels) {
    Object* cls = bitmapDataClass(vm);
    Object* proto = cls ? cls->get(vm, "prototype").object() : nullptr;
    auto* b = vm.make<BitmapDataObject>(proto);
    if (cls) b->define(vm, "__constructor__", Value(cls), kDontEnum);
    b->bitmap = std::move(pixels);
    return Value(b);
}

// ---- constructor and properties ----

class BitmapDataClass : public NativeFunction {
  public:
    BitmapDataClass(Object* proto, NativeFn fn) : NativeFunction(proto, fn, fn) {}
    // A size Flash Player refuses makes `new` answer undefined.
    Value construct(Vm& vm, std::vector<Value>& args) override {
        Value made = NativeFunction::construct(vm, args);
        BitmapDataObject* b = dataOf(made);
        return b && b->bitmap ? made : Value();
    }
};

Object* allocate(Vm& vm, Object* proto) {
    return vm.make<BitmapDataObject>(proto);
}

Value ctor(Vm& vm, const Value& self, std::vector<Value>& args) {
    BitmapDataObject* b = dataOf(self);
    if (!b) return Value();
    const int w = intOf(vm, arg(args, 0)), h = intOf(vm, arg(args, 1));
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return Value();
    if (!LiveBitmap::roomFor(size_t(w) * size_t(h))) {
        vm.host.log("BitmapData refused: the live bitmaps already hold " +
                    std::to_string(LiveBitmap::livePixels()) + " pixels");
        return Value();
    }
    const bool transparent = args.size() < 3 || vm.toBoolean(args[2]);
    const uint32_t fill = args.size() < 4 ? 0xffffffffu : toUint32(vm.toNumber(args[3]));
    b->bitmap = std::make_shared<LiveBitmap>(w, h, transparent, 0);
    const Pixel p = pixelFor(*b->bitmap, fill);
    std::fill(b->bitmap->bitmap.pixels.begin(), b->bitmap->bitmap.pixels.end(), p);
    return Value();
}

Value getWidth(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    return b ? Value(b->bitmap.width) : kFailed;
}

Value getHeight(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    return b ? Value(b->bitmap.height) : kFailed;
}

Value getTransparent(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    return b ? Value(b->transparent) : kFailed;
}

Value getRectangle(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b) return kFailed;
    // Without a Rectangle class (a script removed it) the answer is -1 too.
    Value r = makeRect(vm, 0, 0, b->bitmap.width, b->bitmap.height);
    return r.isObject() ? r : kFailed;
}

// ---- single pixels ----

bool inside(const LiveBitmap& b, int x, int y) {
    return x >= 0 && y >= 0 && x < b.bitmap.width && y < b.bitmap.height;
}

Value getPixel(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 2) return kFailed;
    const int x = intOf(vm, args[0]), y = intOf(vm, args[1]);
    if (!inside(*b, x, y)) return Value(0);
    return Value(double(straight(b->row(y)[x]) & 0xffffff));
}

Value getPixel32(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 2) return kFailed;
    const int x = intOf(vm, args[0]), y = intOf(vm, args[1]);
    if (!inside(*b, x, y)) return Value(0);
    return signedColor(straight(b->row(y)[x]));
}

// setPixel keeps the pixel's alpha; setPixel32 replaces all four channels.
Value setPixel(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 3) return kFailed;
    const int x = intOf(vm, args[0]), y = intOf(vm, args[1]);
    if (!inside(*b, x, y)) return Value(0);
    Pixel& p = b->row(y)[x];
    p = pixelFor(*b, (straight(p) & 0xff000000u) | (toUint32(vm.toNumber(args[2])) & 0xffffff));
    b->changed();
    return Value(0);
}

Value setPixel32(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 3) return kFailed;
    const int x = intOf(vm, args[0]), y = intOf(vm, args[1]);
    if (!inside(*b, x, y)) return Value(0);
    b->row(y)[x] = pixelFor(*b, toUint32(vm.toNumber(args[2])));
    b->changed();
    return Value(0);
}

// ---- areas ----

Value fillRect(Vm& vm, const Value& self, std::vector<Value>& args) {
    // fillRect answers nothing, whatever happens.
    LiveBitmap* b = live(self);
    if (!b || args.size() < 2 || !isRect(vm, args[0])) return Value();
    // A negative width or height reaches back from x or y.
    Area r = areaOf(vm, args[0]);
    if (r.w < 0) r.x += r.w, r.w = -r.w;
    if (r.h < 0) r.y += r.h, r.h = -r.h;
    const Area a = clipTo(r, b->bitmap.width, b->bitmap.height);
    const Pixel p = pixelFor(*b, toUint32(vm.toNumber(args[1])));
    for (int y = a.y; y < a.y + a.h; ++y)
        std::fill_n(b->row(y) + a.x, a.w, p);
    b->changed();
    return Value();
}

// The part of a w x h source area at (sx, sy) that lands inside both bitmaps when placed at (dx, dy).
bool fitCopy(const LiveBitmap& src, const LiveBitmap& dst, Area& s, int& dx, int& dy) {
    if (s.x < 0) dx -= s.x, s.w += s.x, s.x = 0;
    if (s.y < 0) dy -= s.y, s.h += s.y, s.y = 0;
    if (dx < 0) s.x -= dx, s.w += dx, dx = 0;
    if (dy < 0) s.y -= dy, s.h += dy, dy = 0;
    s.w = std::min({s.w, src.bitmap.width - s.x, dst.bitmap.width - dx});
    s.h = std::min({s.h, src.bitmap.height - s.y, dst.bitmap.height - dy});
    return !s.empty();
}

// The checks the methods taking (source, sourceRect, destPoint, ...) share: -2 for a source that is no
// BitmapData, -3 for a disposed one, -4 for a rectangle without its members; 0 when all is well.
int checkSource(Vm& vm, std::vector<Value>& args, std::shared_ptr<LiveBitmap>& src) {
    BitmapDataObject* o = dataOf(args[0]);
    if (!o) return -2;
    if (!o->bitmap) return -3;
    if (!isRect(vm, args[1])) return -4;
    src = o->bitmap;
    return 0;
}

// copyPixels with an alpha bitmap: each source pixel takes the alpha bitmap's alpha at the matching place
// (times its own alpha, over 256, when both are transparent; an opaque alpha bitmap leaves the source's
// alpha), and is blended over the destination when merging or when the destination is opaque. Pixels
// whose place lies outside the alpha bitmap are left alone. (ax, ay) is the alpha bitmap's place for the
// area's top-left.
void copyWithAlphaBitmap(const LiveBitmap& src, LiveBitmap& dst, const LiveBitmap& alpha, const Area& s,
                         int dx, int dy, int ax, int ay, bool merge) {
    // Through copies: any two of the three may be the same bitmap.
    const std::vector<Pixel> from = src.bitmap.pixels, alphas = alpha.bitmap.pixels;
    for (int y = 0; y < s.h; ++y) {
        const int64_t py = int64_t(ay) + y;
        if (py < 0 || py >= alpha.bitmap.height) continue;
        Pixel* d = dst.row(dy + y) + dx;
        for (int x = 0; x < s.w; ++x) {
            const int64_t px = int64_t(ax) + x;
            if (px < 0 || px >= alpha.bitmap.width) continue;
            const Pixel p = from[size_t(s.y + y) * size_t(src.bitmap.width) + size_t(s.x + x)];
            const uint32_t a = alphas[size_t(py) * size_t(alpha.bitmap.width) + size_t(px)] >> 24;
            uint32_t out = p >> 24;
            if (alpha.transparent) out = src.transparent ? (a * out) >> 8 : a;
            const Pixel moved = premultiplied((straight(p) & 0xffffffu) | out << 24);
            Pixel q = merge || !dst.transparent ? raster::srcOver(moved, d[x]) : moved;
            if (!dst.transparent) q |= 0xff000000u;
            d[x] = q;
        }
    }
}

Value copyPixels(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 3) return kFailed;
    std::shared_ptr<LiveBitmap> src;
    if (int code = checkSource(vm, args, src)) return Value(code);
    Area s = areaOf(vm, args[1]);
    int dx = int(clampToInt(num(vm, args[2], "x"), -(1 << 24), 1 << 24));
    int dy = int(clampToInt(num(vm, args[2], "y"), -(1 << 24), 1 << 24));
    // With an alpha bitmap, mergeAlpha left out counts as true; without one, as false.
    std::shared_ptr<LiveBitmap> alphaSrc = liveBitmapOf(arg(args, 3));
    const bool merge = args.size() > 5 ? vm.toBoolean(args[5]) : bool(alphaSrc);
    const Area asked = s;
    if (!fitCopy(*src, *b, s, dx, dy)) return kFailed;
    if (alphaSrc) {
        const int ax = int(clampToInt(num(vm, arg(args, 4), "x"), -(1 << 24), 1 << 24));
        const int ay = int(clampToInt(num(vm, arg(args, 4), "y"), -(1 << 24), 1 << 24));
        copyWithAlphaBitmap(*src, *b, *alphaSrc, s, dx, dy, ax + (s.x - asked.x), ay + (s.y - asked.y),
                            merge);
        b->changed();
        return kFailed;
    }
    // Rows are copied through a buffer: source and destination may be the same bitmap.
    std::vector<Pixel> row(size_t(s.w));
    std::vector<std::pair<int, std::vector<Pixel>>> rows;
    rows.reserve(size_t(s.h));
    for (int y = 0; y < s.h; ++y)
        rows.emplace_back(y, std::vector<Pixel>(src->row(s.y + y) + s.x, src->row(s.y + y) + s.x + s.w));
    for (auto& [y, pixels] : rows) {
        Pixel* d = b->row(dy + y) + dx;
        for (int x = 0; x < s.w; ++x) {
            Pixel p = pixels[size_t(x)];
            // A transparent source lands on an opaque bitmap blended, merging or not.
            if (src->transparent && (merge || !b->transparent)) p = raster::srcOver(p, d[x]);
            if (!b->transparent) p |= 0xff000000u;
            d[x] = p;
        }
    }
    b->changed();
    return kFailed;
}

Value cloneData(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b) return kFailed;
    if (!LiveBitmap::roomFor(b->bitmap.pixels.size())) return Value();
    return wrap(vm, std::make_shared<LiveBitmap>(*b));
}

Value dispose(Vm& vm, const Value& self, std::vector<Value>& args) {
    BitmapDataObject* o = dataOf(self);
    if (!o || !o->bitmap) return kFailed;
    // What shows the pixels (attached bitmaps, fills) shows nothing from now on.
    o->bitmap->release();
    o->bitmap.reset();
    return Value();
}

ColorTransform colorTransformOf(Vm& vm, const Value& v) {
    auto n = [&](const char* name, double fallback) {
        double d = num(vm, v, name);
        return float(std::isfinite(d) ? std::clamp(d, -1e6, 1e6) : fallback);
    };
    ColorTransform ct;
    ct.rm = n("redMultiplier", 1), ct.gm = n("greenMultiplier", 1), ct.bm = n("blueMultiplier", 1);
    ct.am = n("alphaMultiplier", 1), ct.ra = n("redOffset", 0), ct.ga = n("greenOffset", 0);
    ct.ba = n("blueOffset", 0), ct.aa = n("alphaOffset", 0);
    return ct;
}

uint8_t channel(double v) {
    return uint8_t(std::clamp(std::floor(v), 0.0, 255.0));
}

uint32_t transformStraight(uint32_t c, const ColorTransform& ct) {
    const double a = channel(double(c >> 24) * ct.am + ct.aa);
    const double r = channel(double((c >> 16) & 255) * ct.rm + ct.ra);
    const double g = channel(double((c >> 8) & 255) * ct.gm + ct.ga);
    const double b = channel(double(c & 255) * ct.bm + ct.ba);
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

Value colorTransform(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 2) return kFailed;
    if (!isRect(vm, args[0])) return Value(-2);
    if (!vm.instanceOf(args[1], geomClass(vm, "ColorTransform"))) return Value(-3);
    const Area a = clipTo(areaOf(vm, args[0]), b->bitmap.width, b->bitmap.height);
    const ColorTransform ct = colorTransformOf(vm, args[1]);
    for (int y = a.y; y < a.y + a.h; ++y) {
        Pixel* row = b->row(y);
        for (int x = a.x; x < a.x + a.w; ++x)
            row[x] = pixelFor(*b, transformStraight(straight(row[x]), ct));
    }
    b->changed();
    return kFailed;
}

// Fills the 4-connected region of pixels equal to the one at (x, y).
Value floodFill(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 3) return kFailed;
    const int x0 = intOf(vm, args[0]), y0 = intOf(vm, args[1]);
    if (!inside(*b, x0, y0)) return Value(0);
    const Pixel fill = pixelFor(*b, toUint32(vm.toNumber(args[2])));
    const Pixel target = b->row(y0)[x0];
    if (target == fill) return Value(0);
    const int w = b->bitmap.width, h = b->bitmap.height;
    std::vector<std::pair<int, int>> stack{{x0, y0}};
    while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        Pixel* row = b->row(y);
        if (row[x] != target) continue;
        int l = x, r = x;
        while (l > 0 && row[l - 1] == target)
            --l;
        while (r + 1 < w && row[r + 1] == target)
            ++r;
        for (int i = l; i <= r; ++i) {
            row[i] = fill;
            if (y > 0 && b->row(y - 1)[i] == target) stack.emplace_back(i, y - 1);
            if (y + 1 < h && b->row(y + 1)[i] == target) stack.emplace_back(i, y + 1);
        }
    }
    b->changed();
    return Value(1);
}

// Moves the pixels by (dx, dy); what nothing moves onto keeps its old pixels.
Value scroll(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 2) return kFailed;
    const int w = b->bitmap.width, h = b->bitmap.height;
    const int dx = int(clampToInt(vm.toNumber(args[0]), -w, w)),
              dy = int(clampToInt(vm.toNumber(args[1]), -h, h));
    if (dx == 0 && dy == 0) return Value(0);
    const std::vector<Pixel> old = b->bitmap.pixels;
    for (int y = std::max(0, dy); y < std::min(h, h + dy); ++y)
        for (int x = std::max(0, dx); x < std::min(w, w + dx); ++x)
            b->row(y)[x] = old[size_t(y - dy) * size_t(w) + size_t(x - dx)];
    b->changed();
    return Value(0);
}

// The smallest rectangle holding every pixel whose stored (premultiplied) value masked equals the colour,
// or with findColor false every pixel whose does not. A transparent bitmap masks the colour too; an opaque
// one compares red, green and blue only, with the colour unmasked. A match of the top-left pixel alone
// counts as none (reference traces).
Value getColorBoundsRect(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 2) return kFailed;
    const uint32_t mask = toUint32(vm.toNumber(args[0])), color = toUint32(vm.toNumber(args[1]));
    const bool find = args.size() < 3 || vm.toBoolean(args[2]);
    const uint32_t wanted = b->transparent ? color & mask : color & 0xffffffu;
    const uint32_t seen = b->transparent ? mask : mask & 0xffffffu;
    int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
    for (int y = 0; y < b->bitmap.height; ++y) {
        const Pixel* row = b->row(y);
        for (int x = 0; x < b->bitmap.width; ++x) {
            if (((row[x] & seen) == wanted) != find) continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x);
            y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    }
    if (x1 <= 0 && y1 <= 0) return makeRect(vm, 0, 0, 0, 0);
    return makeRect(vm, x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

// A generator of the same kind as Flash Player's (Park and Miller's minimal standard), from a seed.
struct MinimalStandard {
    // Seeds below 1 count as 1 - seed (0 as 1, -1 as 2).
    explicit MinimalStandard(int64_t seed) {
        if (seed < 1) seed = 1 - seed;
        seed %= 2147483647;
        state = seed == 0 ? 1 : seed;
    }
    int64_t state;
    int64_t next() {
        state = (state * 16807) % 2147483647;
        return state;
    }
    // low..high inclusive.
    int range(int low, int high) { return low + int(next() % (high - low + 1)); }
};

Value noise(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.empty()) return kFailed;
    MinimalStandard rng(intOf(vm, args[0]));
    int low = args.size() > 1 ? std::clamp(intOf(vm, args[1]), 0, 255) : 0;
    int high = args.size() > 2 ? std::clamp(intOf(vm, args[2]), 0, 255) : 255;
    high = std::max(high, low);
    const int channels = args.size() > 3 ? intOf(vm, args[3]) : 7;
    const bool gray = vm.toBoolean(arg(args, 4));
    for (int y = 0; y < b->bitmap.height; ++y) {
        Pixel* row = b->row(y);
        for (int x = 0; x < b->bitmap.width; ++x) {
            uint32_t r = 0, g = 0, bl = 0, a = 255;
            if (gray) {
                r = g = bl = uint32_t(rng.range(low, high));
            } else {
                if (channels & 1) r = uint32_t(rng.range(low, high));
                if (channels & 2) g = uint32_t(rng.range(low, high));
                if (channels & 4) bl = uint32_t(rng.range(low, high));
            }
            if ((channels & 8) && b->transparent)
                a = uint32_t(rng.range(low, high));  // opaque: no draw for alpha
            row[x] = pixelFor(*b, a << 24 | r << 16 | g << 8 | bl);
        }
    }
    b->changed();
    return Value(0);
}

// threshold(source, sourceRect, destPoint, operation, threshold, color, mask, copySource): pixels of the
// source passing the test become `color`, the others are copied from the source when asked. Answers how
// many pixels passed.
Value threshold(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 5) return kFailed;
    std::shared_ptr<LiveBitmap> src;
    if (int code = checkSource(vm, args, src)) return Value(code);
    const std::string op = vm.toString(args[3]);
    const uint32_t mask = args.size() > 6 ? toUint32(vm.toNumber(args[6])) : 0xffffffffu;
    const uint32_t limit = toUint32(vm.toNumber(args[4])) & mask;
    const uint32_t color = args.size() > 5 ? toUint32(vm.toNumber(args[5])) : 0;
    const bool copySource = vm.toBoolean(arg(args, 7));
    auto test = [&](uint32_t v) {
        if (op == "<") return v < limit;
        if (op == "<=") return v <= limit;
        if (op == ">") return v > limit;
        if (op == ">=") return v >= limit;
        if (op == "==") return v == limit;
        if (op == "!=") return v != limit;
        return false;
    };
    Area s = areaOf(vm, args[1]);
    int dx = int(clampToInt(num(vm, args[2], "x"), -(1 << 24), 1 << 24));
    int dy = int(clampToInt(num(vm, args[2], "y"), -(1 << 24), 1 << 24));
    if (!fitCopy(*src, *b, s, dx, dy)) return Value(0);
    const std::vector<Pixel> from = src->bitmap.pixels;  // the source may be this bitmap
    const int sw = src->bitmap.width;
    int count = 0;
    for (int y = 0; y < s.h; ++y) {
        Pixel* d = b->row(dy + y) + dx;
        for (int x = 0; x < s.w; ++x) {
            const Pixel p = from[size_t(s.y + y) * size_t(sw) + size_t(s.x + x)];
            if (test(straight(p) & mask)) {
                d[x] = pixelFor(*b, color);
                ++count;
            } else if (copySource) {
                d[x] = b->transparent ? p : (straight(p) | 0xff000000u);
            }
        }
    }
    b->changed();
    return Value(count);
}

// copyChannel(source, sourceRect, destPoint, sourceChannel, destChannel); channels 1 red, 2 green, 4 blue,
// 8 alpha.
int channelShift(int channel) {
    switch (channel) {
        case 1:
            return 16;
        case 2:
            return 8;
        case 4:
            return 0;
        case 8:
            return 24;
        default:
            return -1;
    }
}

Value copyChannel(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 5) return kFailed;
    std::shared_ptr<LiveBitmap> src;
    if (int code = checkSource(vm, args, src)) return Value(code);
    const int from = channelShift(intOf(vm, args[3])), to = channelShift(intOf(vm, args[4]));
    if (to < 0) return kFailed;
    if (to == 24 && !b->transparent) return kFailed;
    Area s = areaOf(vm, args[1]);
    int dx = int(clampToInt(num(vm, args[2], "x"), -(1 << 24), 1 << 24));
    int dy = int(clampToInt(num(vm, args[2], "y"), -(1 << 24), 1 << 24));
    if (!fitCopy(*src, *b, s, dx, dy)) return kFailed;
    const std::vector<Pixel> pixels = src->bitmap.pixels;
    const int sw = src->bitmap.width;
    for (int y = 0; y < s.h; ++y) {
        Pixel* d = b->row(dy + y) + dx;
        for (int x = 0; x < s.w; ++x) {
            // An unknown source channel reads as zero.
            const uint32_t v =
                from < 0 ? 0
                         : (straight(pixels[size_t(s.y + y) * size_t(sw) + size_t(s.x + x)]) >> from) & 255;
            const uint32_t c = straight(d[x]);
            d[x] = pixelFor(*b, (c & ~(255u << to)) | v << to);
        }
    }
    b->changed();
    return kFailed;
}

// merge(source, sourceRect, destPoint, redMultiplier, greenMultiplier, blueMultiplier, alphaMultiplier):
// each channel (source * m + dest * (256 - m)) / 256.
Value merge(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 6) return kFailed;
    std::shared_ptr<LiveBitmap> src;
    if (int code = checkSource(vm, args, src)) return Value(code);
    // The alpha multiplier may be left out: the source's alpha then wins.
    uint32_t m[4] = {0, 0, 0, 256};
    for (size_t i = 0; i < 4 && 3 + i < args.size(); ++i)
        m[i] = uint32_t(std::clamp(intOf(vm, args[3 + i]), 0, 256));
    Area s = areaOf(vm, args[1]);
    int dx = int(clampToInt(num(vm, args[2], "x"), -(1 << 24), 1 << 24));
    int dy = int(clampToInt(num(vm, args[2], "y"), -(1 << 24), 1 << 24));
    if (!fitCopy(*src, *b, s, dx, dy)) return kFailed;
    const std::vector<Pixel> pixels = src->bitmap.pixels;
    const int sw = src->bitmap.width;
    const int shifts[4] = {16, 8, 0, 24};
    for (int y = 0; y < s.h; ++y) {
        Pixel* d = b->row(dy + y) + dx;
        for (int x = 0; x < s.w; ++x) {
            const uint32_t sc = straight(pixels[size_t(s.y + y) * size_t(sw) + size_t(s.x + x)]);
            const uint32_t dc = straight(d[x]);
            uint32_t out = 0;
            for (int i = 0; i < 4; ++i) {
                const uint32_t sv = (sc >> shifts[i]) & 255, dv = (dc >> shifts[i]) & 255;
                out |= ((sv * m[i] + dv * (256 - m[i])) / 256) << shifts[i];
            }
            d[x] = pixelFor(*b, out);
        }
    }
    b->changed();
    return kFailed;
}

// paletteMap(source, sourceRect, destPoint, redArray, greenArray, blueArray, alphaArray): each channel's
// value picks a colour from its array and the four picks are added; a channel without an array keeps its
// value.
Value paletteMap(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 3) return kFailed;
    std::shared_ptr<LiveBitmap> src;
    if (int code = checkSource(vm, args, src)) return Value(code);
    const int shifts[4] = {16, 8, 0, 24};
    uint32_t table[4][256];
    for (int c = 0; c < 4; ++c) {
        auto* a = dynamic_cast<ArrayObject*>(arg(args, size_t(3 + c)).object());
        for (uint32_t v = 0; v < 256; ++v)
            table[c][v] =
                a ? (v < a->elements.size() ? toUint32(vm.toNumber(a->elements[v])) : 0) : v << shifts[c];
    }
    Area s = areaOf(vm, args[1]);
    int dx = int(clampToInt(num(vm, args[2], "x"), -(1 << 24), 1 << 24));
    int dy = int(clampToInt(num(vm, args[2], "y"), -(1 << 24), 1 << 24));
    if (!fitCopy(*src, *b, s, dx, dy)) return kFailed;
    const std::vector<Pixel> pixels = src->bitmap.pixels;
    const int sw = src->bitmap.width;
    for (int y = 0; y < s.h; ++y) {
        Pixel* d = b->row(dy + y) + dx;
        for (int x = 0; x < s.w; ++x) {
            const uint32_t c = straight(pixels[size_t(s.y + y) * size_t(sw) + size_t(s.x + x)]);
            uint32_t out = 0;
            for (int i = 0; i < 4; ++i)
                out += table[i][(c >> shifts[i]) & 255];
            d[x] = pixelFor(*b, out);
        }
    }
    b->changed();
    return kFailed;
}

// generateFilterRect(sourceRect, filter): the area the filter's output covers.
Value generateFilterRect(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 2) return kFailed;
    if (!isRect(vm, args[0])) return kFailed;
    const Area a = areaOf(vm, args[0]);
    std::optional<swf::FilterParams> f = filterParams(args[1]);
    const filters::Reach r = f ? filters::filterReach(*f, 1) : filters::Reach{};
    return makeRect(vm, a.x - r.left, a.y - r.top, a.w + r.left + r.right, a.h + r.top + r.bottom);
}

// perlinNoise(baseX, baseY, numOctaves, randomSeed, stitch, fractalNoise[, channelOptions, grayScale,
// offsets]): fills the whole bitmap with noise; the same arguments give the same pixels.
Value perlinNoise(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 6) return kFailed;
    filters::PerlinParams p;
    p.baseX = vm.toNumber(args[0]);
    p.baseY = vm.toNumber(args[1]);
    // A negative count reads as a huge one, which the octave cap cuts.
    p.octaves = int(std::min<uint32_t>(toUint32(vm.toNumber(args[2])), filters::kMaxOctaves));
    p.seed = toInt32(vm.toNumber(args[3]));
    p.stitch = vm.toBoolean(args[4]);
    p.fractal = vm.toBoolean(args[5]);
    p.channels = args.size() > 6 ? int(toUint32(vm.toNumber(args[6])) & 15) : 7;
    p.gray = vm.toBoolean(arg(args, 7));
    if (Object* offsets = arg(args, 8).object()) {
        for (int i = 0; i < p.octaves; ++i) {
            Value point = offsets->get(vm, std::to_string(i));
            double x = 0, y = 0;
            if (point.object()) x = num(vm, point, "x"), y = num(vm, point, "y");
            p.offsets.emplace_back(x, y);
        }
    }
    // The noise is costly (every octave of every channel of every pixel): it counts against the frame's
    // action budget, an action for every four values, so a hostile script is cut off before it starts.
    const uint64_t values = uint64_t(b->bitmap.width) * uint64_t(b->bitmap.height) * uint64_t(p.octaves) * 4;
    vm.budget += values / 4;
    if (vm.budget > vm.actionsPerFrame) throw ScriptAbort{"a script ran too long"};
    filters::perlinNoise(p, b->bitmap.pixels.data(), b->bitmap.width, b->bitmap.height,
                         size_t(b->bitmap.width), b->transparent);
    b->changed();
    return kFailed;
}

// pixelDissolve(source, sourceRect, destPoint[, randomSeed, numPixels, fillColor]): copies numPixels
// pixels of the source area, in an order the seed picks, or fills them with fillColor when the source is
// this bitmap. The top-left pixel is always drawn first. Answers the seed that continues the dissolve.
Value pixelDissolve(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 3) return kFailed;
    std::shared_ptr<LiveBitmap> src;
    if (int code = checkSource(vm, args, src)) return Value(code);
    const int32_t seed = toInt32(vm.toNumber(arg(args, 3)));
    const int wanted = int(clampToInt(vm.toNumber(arg(args, 4)), 0, INT32_MAX));
    const Pixel fill = pixelFor(*b, toUint32(vm.toNumber(arg(args, 5))));
    Area s = areaOf(vm, args[1]);
    int dx = int(clampToInt(num(vm, args[2], "x"), -(1 << 24), 1 << 24));
    int dy = int(clampToInt(num(vm, args[2], "y"), -(1 << 24), 1 << 24));
    if (!fitCopy(*src, *b, s, dx, dy)) return Value(0);
    const bool same = src.get() == b;
    auto draw = [&](uint32_t i) {
        const int x = int(i % uint32_t(s.w)), y = int(i / uint32_t(s.w));
        Pixel p = same ? fill : src->row(s.y + y)[s.x + x];
        if (!b->transparent) p = straight(p) | 0xff000000u;
        b->row(dy + y)[dx + x] = p;
    };
    const uint32_t count = uint32_t(s.w) * uint32_t(s.h);
    filters::DissolveOrder order(count, seed);
    draw(0);
    const uint32_t n = std::min(uint32_t(wanted), count - 1);
    for (uint32_t k = 0; k < n; ++k)
        draw(order.next());
    b->changed();
    return Value(order.state());
}

// compare(other): 0 when equal, -3 / -4 when the widths / heights differ, else a bitmap of differences.
Value compare(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* a = live(self);
    if (!a || args.empty()) return kFailed;
    BitmapDataObject* other = dataOf(args[0]);
    if (!other || !other->bitmap) return Value(-2);
    const LiveBitmap& b = *other->bitmap;
    if (a->bitmap.width != b.bitmap.width) return Value(-3);
    if (a->bitmap.height != b.bitmap.height) return Value(-4);
    if (!LiveBitmap::roomFor(a->bitmap.pixels.size())) return kFailed;
    auto diff = std::make_shared<LiveBitmap>(a->bitmap.width, a->bitmap.height, true, 0);
    bool same = true;
    for (size_t i = 0; i < a->bitmap.pixels.size(); ++i) {
        const uint32_t p = straight(a->bitmap.pixels[i]), q = straight(b.bitmap.pixels[i]);
        if (p == q) continue;
        same = false;
        uint32_t out;
        if ((p & 0xffffff) != (q & 0xffffff)) {
            auto d = [&](int s) { return (((p >> s) & 255) - ((q >> s) & 255)) & 255; };
            out = 0xff000000u | d(16) << 16 | d(8) << 8 | d(0);
        } else {
            out = (((p >> 24) - (q >> 24)) & 255) << 24 | 0xffffff;
        }
        diff->bitmap.pixels[i] = premultiplied(out);
    }
    if (same) return Value(0);
    diff->changed();
    return wrap(vm, diff);
}

// hitTest(firstPoint, firstAlphaThreshold, secondObject[, secondPoint, secondAlphaThreshold]): with a Point
// or Rectangle as second object, whether any pixel there reaches the threshold; with another BitmapData,
// whether opaque enough pixels overlap.
Value hitTest(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 3) return kFailed;
    Object* first = args[0].object();
    if (!first || !first->has(vm, "x") || !first->has(vm, "y")) return Value(-2);
    const int fx = intOf(vm, Value(num(vm, args[0], "x"))), fy = intOf(vm, Value(num(vm, args[0], "y")));
    const uint32_t t1 = uint32_t(std::clamp(intOf(vm, args[1]), 0, 255));
    auto solid = [&](const LiveBitmap& bm, int x, int y, uint32_t t) {
        return inside(bm, x, y) && (bm.row(y)[x] >> 24) >= std::max<uint32_t>(t, 1);
    };
    Object* o = args[2].object();
    if (!o) return Value(-3);
    if (BitmapDataObject* second = dataOf(args[2])) {
        if (!second->bitmap) return Value(-3);
        // The second bitmap's position may be left out (its origin), but not given as something else.
        if (args.size() > 3 &&
            !(args[3].isObject() && args[3].object()->has(vm, "x") && args[3].object()->has(vm, "y")))
            return Value(-4);
        const std::shared_ptr<LiveBitmap> other = second->bitmap;
        const int sx = intOf(vm, Value(num(vm, arg(args, 3), "x"))),
                  sy = intOf(vm, Value(num(vm, arg(args, 3), "y")));
        const uint32_t t2 = args.size() > 4 ? uint32_t(std::clamp(intOf(vm, args[4]), 0, 255)) : 1;
        for (int y = 0; y < b->bitmap.height; ++y)
            for (int x = 0; x < b->bitmap.width; ++x)
                if (solid(*b, x, y, t1) && solid(*other, x + fx - sx, y + fy - sy, t2)) return Value(true);
        return Value(false);
    }
    if (vm.instanceOf(args[2], geomClass(vm, "Rectangle"))) {
        Area r = areaOf(vm, args[2]);
        r.x -= fx, r.y -= fy;
        const Area a = clipTo(r, b->bitmap.width, b->bitmap.height);
        for (int y = a.y; y < a.y + a.h; ++y)
            for (int x = a.x; x < a.x + a.w; ++x)
                if (solid(*b, x, y, t1)) return Value(true);
        return Value(false);
    }
    // Any other object with x and y is a point.
    if (!o->has(vm, "x") || !o->has(vm, "y")) return Value(-3);
    return Value(solid(*b, intOf(vm, o->get(vm, "x")) - fx, intOf(vm, o->get(vm, "y")) - fy, t1));
}

// ---- drawing ----

Matrix matrixOf(Vm& vm, const Value& v) {
    Matrix m;
    if (!v.isObject()) return m;
    double f[6] = {num(vm, v, "a"), num(vm, v, "b"),  num(vm, v, "c"),
                   num(vm, v, "d"), num(vm, v, "tx"), num(vm, v, "ty")};
    for (double d : f)
        if (!std::isfinite(d)) return m;
    return Matrix{f[0], f[1], f[2], f[3], f[4], f[5]};
}

// draw(source, matrix, colorTransform, blendMode, clipRect, smoothing): a movie clip through the
// renderer, or another BitmapData, onto these pixels.
Value draw(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.empty()) return kFailed;
    const Matrix m = matrixOf(vm, arg(args, 1));
    ColorTransform ct;
    if (arg(args, 2).isObject()) ct = colorTransformOf(vm, args[2]);
    // Drawn into a scratch layer first, then blended onto the pixels (clipped to clipRect).
    std::vector<Pixel> layer(b->bitmap.pixels.size(), 0);
    raster::Canvas canvas(layer.data(), b->bitmap.width, b->bitmap.height, b->bitmap.width);
    Object* source = args[0].object();
    if (!source) return kFailed;
    Runtime& rt = static_cast<Runtime&>(vm.host);
    if (ClipObject* c = source->asClip()) {
        MovieClip* mc = c->clip();
        if (!mc) return Value();
        Renderer renderer;
        renderer.drawClipAlone(canvas, *mc, m * Matrix::scale(1 / 20.0, 1 / 20.0), ct, 1 / 20.0, rt);
    } else if (auto src = liveBitmapOf(args[0])) {
        DisplayList list;
        list[0] = std::make_unique<BitmapObject>(nullptr, src, vm.toBoolean(arg(args, 5)));
        Renderer renderer;
        renderer.drawList(canvas, list, m * Matrix::scale(1 / 20.0, 1 / 20.0), ct, true, 1 / 20.0, rt);
    } else {
        return kFailed;
    }
    Area clip{0, 0, b->bitmap.width, b->bitmap.height};
    if (arg(args, 4).isObject()) clip = clipTo(areaOf(vm, args[4]), b->bitmap.width, b->bitmap.height);
    const filters::BlendMode mode = arg(args, 3).isNumber()
                                        ? filters::blendModeFromByte(uint8_t(intOf(vm, args[3])))
                                        : filters::BlendMode::Normal;
    for (int y = clip.y; y < clip.y + clip.h; ++y) {
        const Pixel* src = layer.data() + size_t(y) * size_t(b->bitmap.width) + clip.x;
        filters::blendRow(b->row(y) + clip.x, src, nullptr, clip.w, mode);
        if (!b->transparent)
            for (int x = clip.x; x < clip.x + clip.w; ++x)
                b->row(y)[x] |= 0xff000000u;
    }
    b->changed();
    return Value();
}

// applyFilter(source, sourceRect, destPoint, filter): the filtered source area onto these pixels, with
// what the filter spreads beyond the area.
Value applyFilter(Vm& vm, const Value& self, std::vector<Value>& args) {
    LiveBitmap* b = live(self);
    if (!b || args.size() < 4) return kFailed;
    std::shared_ptr<LiveBitmap> src = liveBitmapOf(args[0]);
    if (!src || !args[1].isObject() || !args[2].isObject()) return kFailed;
    std::optional<swf::FilterParams> f = filterParams(args[3]);
    if (!f) return kFailed;
    const Area s = clipTo(areaOf(vm, args[1]), src->bitmap.width, src->bitmap.height);
    if (s.empty()) return Value();
    const filters::Reach r = filters::filterReach(*f, 1);
    const int w = s.w + r.left + r.right, h = s.h + r.top + r.bottom;
    if (w <= 0 || h <= 0 || size_t(w) * size_t(h) > size_t(kMaxSide) * kMaxSide * 4) return kFailed;
    std::vector<Pixel> pixels(size_t(w) * size_t(h), 0);
    for (int y = 0; y < s.h; ++y)
        std::copy_n(src->row(s.y + y) + s.x, s.w, pixels.data() + size_t(y + r.top) * size_t(w) + r.left);
    filters::Image image{pixels.data(), w, h, w, 0, 0};
    filters::FilterScratch scratch;
    filters::applyFilter(*f, 1, image, scratch);
    const int dx = intOf(vm, Value(num(vm, args[2], "x"))) - r.left;
    const int dy = intOf(vm, Value(num(vm, args[2], "y"))) - r.top;
    for (int y = 0; y < h; ++y) {
        if (dy + y < 0 || dy + y >= b->bitmap.height) continue;
        for (int x = 0; x < w; ++x) {
            if (dx + x < 0 || dx + x >= b->bitmap.width) continue;
            Pixel p = pixels[size_t(y) * size_t(w) + size_t(x)];
            b->row(dy + y)[dx + x] = b->transparent ? p : (straight(p) | 0xff000000u);
        }
    }
    b->changed();
    return Value();
}

// BitmapData.loadBitmap(linkage id): a copy of a bitmap the movie exports.
Value loadBitmap(Vm& vm, const Value& self, std::vector<Value>& args) {
    ClipObject* root = vm.host.level(0);
    MovieClip* mc = root ? root->clip() : nullptr;
    const MovieDef* movie = mc ? mc->movie() : nullptr;
    const Character* c = movie && !args.empty() ? movie->exported(vm.toString(args[0])) : nullptr;
    if (!c || c->kind != Character::Kind::Bitmap) return Value();
    std::string error;
    BitmapPtr bmp = static_cast<const BitmapCharacter*>(c)->bitmap(&error);
    if (!bmp || bmp->width <= 0 || bmp->height <= 0 || bmp->width > kMaxSide || bmp->height > kMaxSide)
        return Value();
    if (!LiveBitmap::roomFor(bmp->pixels.size())) return Value();
    auto pixels = std::make_shared<LiveBitmap>(bmp->width, bmp->height, !bmp->opaque, 0);
    pixels->bitmap.pixels = bmp->pixels;
    pixels->changed();
    return wrap(vm, pixels);
}

// ---- MovieClip methods ----

// attachBitmap(bitmap, depth, pixelSnapping, smoothing).
Value attachBitmap(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc || args.empty()) return Value();
    std::shared_ptr<LiveBitmap> pixels = liveBitmapOf(args[0]);
    if (!pixels) return Value();
    // A depth left out or not a number is depth 0.
    double d = vm.toNumber(arg(args, 1));
    if (std::isnan(d)) d = 0;
    if (d < -16384 || d > 2130690045) return Value();
    auto obj = std::make_unique<BitmapObject>(mc->movie(), pixels, vm.toBoolean(arg(args, 3)));
    obj->track(&static_cast<Runtime&>(vm.host).liveObjects);
    mc->insertChild(int(clampToInt(d, -16384, 2130690045)) + kScriptDepthOffset, std::move(obj));
    return Value();
}

// beginBitmapFill(bitmap, matrix, repeat, smoothing): the drawing's next fill paints the bitmap's pixels
// (one pixel a pixel unless the matrix says otherwise), repeated unless repeat is false.
Value beginBitmapFill(Vm& vm, const Value& self, std::vector<Value>& args) {
    MovieClip* mc = clipOf(self);
    if (!mc) return Value();
    if (!mc->drawing) mc->drawing = std::make_unique<Drawing>();
    std::shared_ptr<LiveBitmap> pixels = liveBitmapOf(arg(args, 0));
    if (!pixels) {
        mc->drawing->endFill();
        return Value();
    }
    const bool repeat = args.size() < 3 || vm.toBoolean(args[2]);
    const bool smooth = vm.toBoolean(arg(args, 3));
    swf::FillStyle f;
    f.type = repeat ? (smooth ? swf::FillType::RepeatingBitmap : swf::FillType::NonSmoothedRepeatingBitmap)
                    : (smooth ? swf::FillType::ClippedBitmap : swf::FillType::NonSmoothedClippedBitmap);
    // The bitmap's pixels to the clip's twips: 20 twips a pixel, then the script's matrix (in pixels).
    const Matrix m = matrixOf(vm, arg(args, 1));
    auto fixed = [](double v) { return int32_t(std::clamp(v * 20 * 65536.0, -2e9, 2e9)); };
    auto twips = [](double v) { return int32_t(std::clamp(v * 20.0, -2e9, 2e9)); };
    f.matrix.scaleX = fixed(m.a);
    f.matrix.rotateSkew0 = fixed(m.b);
    f.matrix.rotateSkew1 = fixed(m.c);
    f.matrix.scaleY = fixed(m.d);
    f.matrix.translateX = twips(m.tx);
    f.matrix.translateY = twips(m.ty);
    mc->drawing->beginBitmapFill(f, std::move(pixels));
    return Value();
}

struct Accessor {
    const char* name;
    NativeFn get;
};

}  // namespace

void installBitmapData(Vm& vm) {
    if (vm.version < 8) return;
    Object* flash = vm.global->get(vm, "flash").object();
    if (!flash) {
        flash = vm.newObject();
        vm.global->define(vm, "flash", Value(flash), kDontEnum);
    }
    Object* display = flash->get(vm, "display").object();
    if (!display) {
        display = vm.newObject();
        flash->define(vm, "display", Value(display), 0);
    }
    Object* proto = vm.newObject();
    auto* cls = vm.make<BitmapDataClass>(vm.functionProto, ctor);
    cls->allocate = allocate;
    cls->define(vm, "prototype", Value(proto), kDontEnum | kDontDelete);
    proto->define(vm, "constructor", Value(cls), kDontEnum);
    cls->define(vm, "loadBitmap", Value(vm.newFunction(loadBitmap)), 0);
    const std::pair<const char*, int> channels[] = {
        {"RED_CHANNEL", 1}, {"GREEN_CHANNEL", 2}, {"BLUE_CHANNEL", 4}, {"ALPHA_CHANNEL", 8}};
    for (const auto& [name, value] : channels)
        cls->define(vm, name, Value(value), 0);
    display->define(vm, "BitmapData", Value(cls), 0);

    const Accessor accessors[] = {{"width", getWidth},
                                  {"height", getHeight},
                                  {"transparent", getTransparent},
                                  {"rectangle", getRectangle}};
    for (const Accessor& a : accessors)
        proto->defineAccessor(vm, a.name, vm.newFunction(a.get), nullptr, 0);
    const struct {
        const char* name;
        NativeFn fn;
    } methods[] = {{"getPixel", getPixel},
                   {"getPixel32", getPixel32},
                   {"setPixel", setPixel},
                   {"setPixel32", setPixel32},
                   {"fillRect", fillRect},
                   {"copyPixels", copyPixels},
                   {"clone", cloneData},
                   {"dispose", dispose},
                   {"colorTransform", colorTransform},
                   {"floodFill", floodFill},
                   {"scroll", scroll},
                   {"getColorBoundsRect", getColorBoundsRect},
                   {"noise", noise},
                   {"threshold", threshold},
                   {"copyChannel", copyChannel},
                   {"merge", merge},
                   {"compare", compare},
                   {"hitTest", hitTest},
                   {"draw", draw},
                   {"applyFilter", applyFilter},
                   {"paletteMap", paletteMap},
                   {"generateFilterRect", generateFilterRect},
                   {"perlinNoise", perlinNoise},
                   {"pixelDissolve", pixelDissolve}};
    for (const auto& m : methods)
        proto->define(vm, m.name, Value(vm.newFunction(m.fn)), 0);

    if (vm.clipProto) {
        vm.method(vm.clipProto, "attachBitmap", attachBitmap, kVersion8Up);
        vm.method(vm.clipProto, "beginBitmapFill", beginBitmapFill, kVersion8Up);
    }
}

Value newBitmapData(Vm& vm, std::shared_ptr<LiveBitmap> pixels) {
    return wrap(vm, std::move(pixels));
}

}  // namespace player::avm1
