// flash.filters: BitmapFilter and its subclasses (blur, drop shadow, glow, bevel, gradient glow and bevel,
// colour matrix, convolution, displacement map), registered for movies of SWF 8 and later. A filter keeps
// its settings inside the object; the prototype's properties read and write them with Flash Player's rules
// (ranges clamped, colours masked to 24 bits, alphas kept as bytes, angles in degrees modulo 360).
// The display side stores filters as plain records (swf::FilterParams); a clip's filters property converts
// both ways, so what a script reads is always a copy.
#include "player/avm1/builtins/filters_class.h"

#include <cmath>
#include <numbers>
#include <optional>

#include "player/avm1/builtins/bitmap_data.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

enum class FilterKind : uint8_t {
    Base,
    Blur,
    DropShadow,
    Glow,
    Bevel,
    GradientGlow,
    GradientBevel,
    ColorMatrix,
    Convolution,
    DisplacementMap,
};

const char* const kClassNames[] = {"BitmapFilter",         "BlurFilter",        "DropShadowFilter",
                                   "GlowFilter",           "BevelFilter",       "GradientGlowFilter",
                                   "GradientBevelFilter",  "ColorMatrixFilter", "ConvolutionFilter",
                                   "DisplacementMapFilter"};

constexpr size_t kMaxGradientStops = 16;
constexpr int kMaxConvolutionSide = 15;

// The settings of every filter kind; a kind ignores the members it has no property for.
struct FilterSettings {
    double blurX = 4, blurY = 4;
    int quality = 1;
    double angle = 45, distance = 4, strength = 1;  // angle in degrees
    uint32_t color = 0, color2 = 0;                 // glow and shadow colour; bevel highlight, shadow
    uint8_t alpha = 255, alpha2 = 255;
    bool inner = false, knockout = false, hideObject = false;
    std::string type = "inner";  // bevels: inner, outer, full
    std::vector<uint32_t> colors;
    std::vector<uint8_t> alphas, ratios;
    std::vector<double> matrix;
    int matrixX = 0, matrixY = 0;
    double divisor = 1, bias = 0;
    bool preserveAlpha = true, clamp = true;
    // Displacement map.
    Value mapBitmap;
    int mapX = 0, mapY = 0;
    int componentX = 0, componentY = 0;
    double scaleX = 0, scaleY = 0;
    std::string mode = "wrap";
};

class FilterObject : public Object, public FilterSettings {
  public:
    FilterObject(Object* proto, FilterKind k) : Object(proto), filterKind(k) {}
    FilterKind filterKind;

    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        traceValue(mapBitmap, out);
    }
};

FilterObject* filterOf(const Value& v) {
    return dynamic_cast<FilterObject*>(v.object());
}

// The filter a property reads or writes. Movies before SWF 8 see the classes but not their settings:
// every property reads as undefined and takes nothing (reference traces of SWF 6 and 7 movies).
FilterObject* settingsOf(Vm& vm, const Value& v) {
    return vm.version >= 8 ? filterOf(v) : nullptr;
}

// Number conversions of the setters: NaN counts as 0.
double finite(Vm& vm, const Value& v) {
    double n = vm.toNumber(v);
    return std::isnan(n) ? 0 : n;
}

double clampNumber(Vm& vm, const Value& v, double lo, double hi) {
    return std::clamp(finite(vm, v), lo, hi);
}

uint32_t rgbOf(Vm& vm, const Value& v) {
    return toUint32(vm.toNumber(v)) & 0xffffff;
}

// Filter alphas are bytes: 0.5 is kept as 127 (truncated) and reads back as 127 / 255.
uint8_t alphaByte(Vm& vm, const Value& v) {
    return uint8_t(clampNumber(vm, v, 0, 1) * 255);
}

double angleOf(Vm& vm, const Value& v) {
    double d = vm.toNumber(v);
    return std::isfinite(d) ? std::fmod(d, 360.0) : 0;
}

std::string bevelType(Vm& vm, const Value& v) {
    std::string s = vm.toString(v);
    return s == "inner" || s == "outer" ? s : "full";
}

// The elements of an array-like value: its length property and its indexed members.
size_t lengthOf(Vm& vm, Object* o) {
    if (!o) return 0;
    if (auto* a = dynamic_cast<ArrayObject*>(o)) return a->elements.size();
    double n = vm.toNumber(o->get(vm, "length"));
    return std::isfinite(n) && n > 0 ? size_t(clampToInt(n, 0, 4096)) : 0;
}

Value element(Vm& vm, Object* o, size_t i) {
    return o ? o->get(vm, std::to_string(i)) : Value();
}

Object* arrayLike(Vm& vm, const Value& v) {
    if (v.isString()) {
        // A string stands for as many undefined members as it has characters.
        Object* o = vm.newObject();
        o->set(vm, "length", Value(double(toUtf16(v.string()).size())));
        return o;
    }
    return v.object();
}

Value numberArray(Vm& vm, const std::vector<double>& values) {
    std::vector<Value> out;
    out.reserve(values.size());
    for (double d : values)
        out.push_back(Value(d));
    return Value(vm.newArray(std::move(out)));
}

// ---- conversions to and from the display side's records ----

swf::RGBA rgba(uint32_t rgb, uint8_t a) {
    return swf::RGBA{uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), a};
}

constexpr double kDegrees = 180.0 / std::numbers::pi;

void setBevelFlags(const FilterObject& f, swf::FilterParams& p) {
    p.inner = f.type == "inner";
    p.onTop = f.type == "full";
}

std::string bevelTypeOf(const swf::FilterParams& p) {
    return p.onTop ? "full" : p.inner ? "inner" : "outer";
}

double safe(double v) {
    return std::isfinite(v) ? v : 0;
}

// A script number as a float of the record: NaN as 0, beyond float's range at its edge (a cast of such a
// double is undefined behaviour).
float toFloat(double v) {
    return float(std::clamp(safe(v), -3.0e38, 3.0e38));
}

void gradientToParams(const FilterObject& f, swf::FilterParams& p) {
    for (size_t i = 0; i < f.colors.size(); ++i) {
        p.colors.push_back(rgba(f.colors[i], i < f.alphas.size() ? f.alphas[i] : 255));
        p.ratios.push_back(i < f.ratios.size() ? f.ratios[i] : 0);
    }
}

}  // namespace

std::optional<swf::FilterParams> filterParams(const Value& v) {
    const FilterObject* f = filterOf(v);
    if (!f) return std::nullopt;
    swf::FilterParams p;
    p.blurX = f->blurX;
    p.blurY = f->blurY;
    p.passes = f->quality;
    p.angle = f->angle / kDegrees;
    p.distance = f->distance;
    p.strength = f->strength;
    p.knockout = f->knockout;
    p.compositeSource = true;
    switch (f->filterKind) {
        case FilterKind::Base:
            return std::nullopt;
        case FilterKind::DisplacementMap: {
            // Without a map the filter changes nothing. The map's pixels are taken as they are now.
            std::shared_ptr<LiveBitmap> map = liveBitmapOf(f->mapBitmap);
            if (!map || map->bitmap.pixels.empty()) return std::nullopt;
            p.type = swf::FilterType::DisplacementMap;
            p.mapPixels = std::make_shared<const std::vector<uint32_t>>(map->bitmap.pixels);
            p.mapWidth = map->bitmap.width;
            p.mapHeight = map->bitmap.height;
            p.mapX = f->mapX;
            p.mapY = f->mapY;
            auto channel = [](int c) { return uint8_t(c == 1 || c == 2 || c == 4 || c == 8 ? c : 0); };
            p.componentX = channel(f->componentX);
            p.componentY = channel(f->componentY);
            p.scaleX = f->scaleX;
            p.scaleY = f->scaleY;
            p.mode = f->mode == "clamp" ? 1 : f->mode == "ignore" ? 2 : f->mode == "color" ? 3 : 0;
            p.defaultColor = rgba(f->color, f->alpha);
            break;
        }
        case FilterKind::Blur:
            p.type = swf::FilterType::Blur;
            break;
        case FilterKind::DropShadow:
        case FilterKind::Glow:
            p.type = f->filterKind == FilterKind::Glow ? swf::FilterType::Glow : swf::FilterType::DropShadow;
            if (f->filterKind == FilterKind::Glow) p.angle = p.distance = 0;
            p.colors.push_back(rgba(f->color, f->alpha));
            p.inner = f->inner;
            p.compositeSource = !f->hideObject;
            break;
        case FilterKind::Bevel:
            p.type = swf::FilterType::Bevel;
            p.colors.push_back(rgba(f->color, f->alpha));
            p.colors.push_back(rgba(f->color2, f->alpha2));
            setBevelFlags(*f, p);
            break;
        case FilterKind::GradientGlow:
        case FilterKind::GradientBevel:
            p.type = f->filterKind == FilterKind::GradientGlow ? swf::FilterType::GradientGlow
                                                               : swf::FilterType::GradientBevel;
            gradientToParams(*f, p);
            setBevelFlags(*f, p);
            break;
        case FilterKind::ColorMatrix:
            p.type = swf::FilterType::ColorMatrix;
            for (size_t i = 0; i < 20; ++i)
                p.matrix.push_back(i < f->matrix.size() ? toFloat(f->matrix[i]) : 0.0f);
            break;
        case FilterKind::Convolution: {
            p.type = swf::FilterType::Convolution;
            p.matrixX = uint8_t(f->matrixX);
            p.matrixY = uint8_t(f->matrixY);
            const size_t n = size_t(f->matrixX) * size_t(f->matrixY);
            for (size_t i = 0; i < n; ++i)
                p.matrix.push_back(i < f->matrix.size() ? toFloat(f->matrix[i]) : 0.0f);
            p.divisor = toFloat(f->divisor);
            p.bias = toFloat(f->bias);
            p.preserveAlpha = f->preserveAlpha;
            p.clamp = f->clamp;
            p.defaultColor = rgba(f->color, f->alpha);
            break;
        }
    }
    return p;
}

namespace {

Object* filtersPackage(Vm& vm) {
    Object* flash = vm.global->get(vm, "flash").object();
    return flash ? flash->get(vm, "filters").object() : nullptr;
}

FilterObject* newFilter(Vm& vm, FilterKind kind) {
    Object* package = filtersPackage(vm);
    Object* cls = package ? package->get(vm, kClassNames[size_t(kind)]).object() : nullptr;
    Object* proto = cls ? cls->get(vm, "prototype").object() : nullptr;
    auto* f = vm.make<FilterObject>(proto, kind);
    if (cls) f->define(vm, "__constructor__", Value(cls), kDontEnum);
    return f;
}

}  // namespace

Value filterValue(Vm& vm, const swf::FilterParams& p) {
    FilterKind kind = FilterKind::Blur;
    switch (p.type) {
        case swf::FilterType::Blur:
            kind = FilterKind::Blur;
            break;
        case swf::FilterType::DropShadow:
            kind = FilterKind::DropShadow;
            break;
        case swf::FilterType::Glow:
            kind = FilterKind::Glow;
            break;
        case swf::FilterType::Bevel:
            kind = FilterKind::Bevel;
            break;
        case swf::FilterType::GradientGlow:
            kind = FilterKind::GradientGlow;
            break;
        case swf::FilterType::GradientBevel:
            kind = FilterKind::GradientBevel;
            break;
        case swf::FilterType::ColorMatrix:
            kind = FilterKind::ColorMatrix;
            break;
        case swf::FilterType::Convolution:
            kind = FilterKind::Convolution;
            break;
        case swf::FilterType::DisplacementMap:
            kind = FilterKind::DisplacementMap;
            break;
    }
    FilterObject* f = newFilter(vm, kind);
    f->blurX = std::clamp(safe(p.blurX), 0.0, 255.0);
    f->blurY = std::clamp(safe(p.blurY), 0.0, 255.0);
    f->quality = std::clamp(p.passes, 0, 15);
    f->angle = std::fmod(safe(p.angle) * kDegrees, 360.0);
    f->distance = safe(p.distance);
    f->strength = std::clamp(safe(p.strength), 0.0, 255.0);
    f->knockout = p.knockout;
    f->inner = p.inner;
    f->hideObject = !p.compositeSource;
    f->type = bevelTypeOf(p);
    auto rgb = [](const swf::RGBA& c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; };
    if (kind == FilterKind::GradientGlow || kind == FilterKind::GradientBevel) {
        for (size_t i = 0; i < p.colors.size() && i < kMaxGradientStops; ++i) {
            f->colors.push_back(rgb(p.colors[i]));
            f->alphas.push_back(p.colors[i].a);
            f->ratios.push_back(i < p.ratios.size() ? p.ratios[i] : 0);
        }
    } else {
        if (!p.colors.empty()) f->color = rgb(p.colors[0]), f->alpha = p.colors[0].a;
        if (p.colors.size() > 1) f->color2 = rgb(p.colors[1]), f->alpha2 = p.colors[1].a;
    }
    if (kind == FilterKind::ColorMatrix || kind == FilterKind::Convolution)
        for (float v : p.matrix)
            f->matrix.push_back(double(v));
    if (kind == FilterKind::Convolution) {
        f->matrixX = std::min<int>(p.matrixX, kMaxConvolutionSide);
        f->matrixY = std::min<int>(p.matrixY, kMaxConvolutionSide);
        f->divisor = p.divisor;
        f->bias = p.bias;
        f->preserveAlpha = p.preserveAlpha;
        f->clamp = p.clamp;
        f->color = rgb(p.defaultColor);
        f->alpha = p.defaultColor.a;
    }
    if (kind == FilterKind::DisplacementMap) {
        if (p.mapPixels && p.mapWidth > 0 && p.mapHeight > 0 &&
            p.mapPixels->size() == size_t(p.mapWidth) * size_t(p.mapHeight) &&
            LiveBitmap::roomFor(p.mapPixels->size())) {
            auto map = std::make_shared<LiveBitmap>(p.mapWidth, p.mapHeight, true, 0);
            map->bitmap.pixels = *p.mapPixels;
            f->mapBitmap = newBitmapData(vm, std::move(map));
        }
        f->mapX = p.mapX;
        f->mapY = p.mapY;
        f->componentX = p.componentX;
        f->componentY = p.componentY;
        f->scaleX = p.scaleX;
        f->scaleY = p.scaleY;
        const char* modes[] = {"wrap", "clamp", "ignore", "color"};
        f->mode = modes[p.mode < 4 ? p.mode : 0];
        f->color = rgb(p.defaultColor);
        f->alpha = p.defaultColor.a;
    }
    return Value(f);
}

namespace {

// ---- properties ----

// A property's getter and setter over one member of the filter.
#define FILTER_ACCESSOR(Name, getExpr, setStmt)                            \
    Value get##Name(Vm& vm, const Value& self, std::vector<Value>& args) { \
        FilterObject* f = settingsOf(vm, self);                            \
        if (!f) return Value();                                            \
        return getExpr;                                                    \
    }                                                                      \
    Value set##Name(Vm& vm, const Value& self, std::vector<Value>& args) { \
        FilterObject* f = settingsOf(vm, self);                            \
        if (!f) return Value();                                            \
        const Value v = arg(args, 0);                                      \
        setStmt;                                                           \
        return Value();                                                    \
    }

FILTER_ACCESSOR(BlurX, Value(f->blurX), f->blurX = clampNumber(vm, v, 0, 255))
FILTER_ACCESSOR(BlurY, Value(f->blurY), f->blurY = clampNumber(vm, v, 0, 255))
FILTER_ACCESSOR(Quality, Value(f->quality), f->quality = int(clampToInt(vm.toNumber(v), 0, 15)))
FILTER_ACCESSOR(Angle, Value(f->angle), f->angle = angleOf(vm, v))
FILTER_ACCESSOR(Distance, Value(f->distance), f->distance = finite(vm, v))
FILTER_ACCESSOR(Strength, Value(f->strength), f->strength = clampNumber(vm, v, 0, 255))
FILTER_ACCESSOR(Color, Value(double(f->color)), f->color = rgbOf(vm, v))
FILTER_ACCESSOR(Alpha, Value(f->alpha / 255.0), f->alpha = alphaByte(vm, v))
FILTER_ACCESSOR(Color2, Value(double(f->color2)), f->color2 = rgbOf(vm, v))
FILTER_ACCESSOR(Alpha2, Value(f->alpha2 / 255.0), f->alpha2 = alphaByte(vm, v))
FILTER_ACCESSOR(Inner, Value(f->inner), f->inner = vm.toBoolean(v))
FILTER_ACCESSOR(Knockout, Value(f->knockout), f->knockout = vm.toBoolean(v))
FILTER_ACCESSOR(HideObject, Value(f->hideObject), f->hideObject = vm.toBoolean(v))
FILTER_ACCESSOR(Type, Value(f->type), f->type = bevelType(vm, v))
FILTER_ACCESSOR(Divisor, Value(f->divisor), f->divisor = vm.toNumber(v))
FILTER_ACCESSOR(Bias, Value(f->bias), f->bias = vm.toNumber(v))
FILTER_ACCESSOR(PreserveAlpha, Value(f->preserveAlpha), f->preserveAlpha = vm.toBoolean(v))
FILTER_ACCESSOR(Clamp, Value(f->clamp), f->clamp = vm.toBoolean(v))
FILTER_ACCESSOR(ComponentX, Value(f->componentX),
                f->componentX = int(clampToInt(vm.toNumber(v), INT32_MIN, INT32_MAX)))
FILTER_ACCESSOR(ComponentY, Value(f->componentY),
                f->componentY = int(clampToInt(vm.toNumber(v), INT32_MIN, INT32_MAX)))
FILTER_ACCESSOR(ScaleX, Value(f->scaleX), f->scaleX = clampNumber(vm, v, -65535, 65535))
FILTER_ACCESSOR(ScaleY, Value(f->scaleY), f->scaleY = clampNumber(vm, v, -65535, 65535))

#undef FILTER_ACCESSOR

// Gradient stops: the colours decide how many there are (at most 16); alphas and ratios follow, ratios
// given short cut the list, alphas given short leave the rest opaque.
Value getColors(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    if (!f) return Value();
    std::vector<double> out(f->colors.begin(), f->colors.end());
    return numberArray(vm, out);
}

Value setColors(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    Value v = arg(args, 0);
    if (!f || v.isNullish()) return Value();
    Object* a = arrayLike(vm, v);
    const size_t n = std::min(lengthOf(vm, a), kMaxGradientStops);
    f->colors.resize(n);
    for (size_t i = 0; i < n; ++i)
        f->colors[i] = rgbOf(vm, element(vm, a, i));
    f->alphas.resize(n, 0);
    f->ratios.resize(n, 0);
    return Value();
}

Value getAlphas(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    if (!f) return Value();
    std::vector<double> out;
    for (uint8_t a : f->alphas)
        out.push_back(a / 255.0);
    return numberArray(vm, out);
}

Value setAlphas(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    Value v = arg(args, 0);
    if (!f || v.isNullish()) return Value();
    Object* a = arrayLike(vm, v);
    const size_t given = lengthOf(vm, a);
    for (size_t i = 0; i < f->alphas.size(); ++i) {
        double d = i < given ? finite(vm, element(vm, a, i)) : 1;
        f->alphas[i] = uint8_t(std::lround(std::clamp(d, 0.0, 1.0) * 255));
    }
    return Value();
}

Value getRatios(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    if (!f) return Value();
    std::vector<double> out(f->ratios.begin(), f->ratios.end());
    return numberArray(vm, out);
}

Value setRatios(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    Value v = arg(args, 0);
    if (!f || v.isNullish()) return Value();
    Object* a = arrayLike(vm, v);
    const size_t n = std::min(lengthOf(vm, a), f->colors.size());
    f->colors.resize(n);
    f->alphas.resize(n);
    f->ratios.resize(n);
    for (size_t i = 0; i < n; ++i)
        f->ratios[i] = uint8_t(clampToInt(vm.toNumber(element(vm, a, i)), 0, 255));
    return Value();
}

Value getMatrix(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    return f ? numberArray(vm, f->matrix) : Value();
}

// Colour matrix: always 20 numbers, missing ones NaN.
void setColorMatrix(Vm& vm, FilterObject* f, const Value& v) {
    if (v.isNullish()) return;
    Object* a = v.isObject() ? v.object() : nullptr;
    f->matrix.assign(20, std::numeric_limits<double>::quiet_NaN());
    for (size_t i = 0; i < 20 && a; ++i)
        f->matrix[i] = vm.toNumber(element(vm, a, i));
}

// Convolution: the numbers given, and never fewer than matrixX * matrixY (zeros added).
void setConvolutionMatrix(Vm& vm, FilterObject* f, const Value& v) {
    if (v.isNullish()) return;
    Object* a = arrayLike(vm, v);
    const size_t given = std::min<size_t>(lengthOf(vm, a), kMaxConvolutionSide * kMaxConvolutionSide);
    const size_t n = std::max(given, size_t(f->matrixX) * size_t(f->matrixY));
    f->matrix.assign(n, 0);
    for (size_t i = 0; i < given; ++i)
        f->matrix[i] = vm.toNumber(element(vm, a, i));
}

Value setMatrix(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    if (!f) return Value();
    if (f->filterKind == FilterKind::ColorMatrix)
        setColorMatrix(vm, f, arg(args, 0));
    else
        setConvolutionMatrix(vm, f, arg(args, 0));
    return Value();
}

void growMatrix(FilterObject* f) {
    const size_t n = size_t(f->matrixX) * size_t(f->matrixY);
    if (f->matrix.size() < n) f->matrix.resize(n, 0);
}

Value getMatrixX(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    return f ? Value(f->matrixX) : Value();
}

Value setMatrixX(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (FilterObject* f = settingsOf(vm, self)) {
        f->matrixX = int(clampToInt(vm.toNumber(arg(args, 0)), 0, kMaxConvolutionSide));
        growMatrix(f);
    }
    return Value();
}

Value getMatrixY(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    return f ? Value(f->matrixY) : Value();
}

Value setMatrixY(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (FilterObject* f = settingsOf(vm, self)) {
        f->matrixY = int(clampToInt(vm.toNumber(arg(args, 0)), 0, kMaxConvolutionSide));
        growMatrix(f);
    }
    return Value();
}

Value getMapBitmap(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    return f ? f->mapBitmap : Value();
}

Value setMapBitmap(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    if (f && dynamic_cast<BitmapDataObject*>(arg(args, 0).object())) f->mapBitmap = args[0];
    return Value();
}

Object* pointClass(Vm& vm) {
    Object* flash = vm.global->get(vm, "flash").object();
    Object* geom = flash ? flash->get(vm, "geom").object() : nullptr;
    return geom ? geom->get(vm, "Point").object() : nullptr;
}

// A new Point every time: changing it leaves the filter as it was.
Value getMapPoint(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    Object* point = pointClass(vm);
    if (!f || !point) return Value();
    std::vector<Value> xy{Value(f->mapX), Value(f->mapY)};
    return vm.construct(Value(point), xy);
}

// A map point's coordinate as a whole pixel: NaN and numbers beyond 32 bits read as -2^31, as Flash
// Player's conversion gives them.
int mapCoordinate(double d) {
    if (std::isnan(d) || d >= 2147483648.0 || d <= -2147483649.0) return INT32_MIN;
    return int(clampToInt(d, INT32_MIN, INT32_MAX));
}

Value setMapPoint(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    if (!f) return Value();
    Value p = arg(args, 0);
    // Any object with x and y will do; without either the point is (0, 0). Both are converted even when
    // the first conversion throws (a valueOf that throws counts as NaN), and the first error is thrown
    // once the point is set.
    f->mapX = f->mapY = 0;
    Object* o = p.object();
    if (!o) return Value();
    const Value x = o->get(vm, "x"), y = o->get(vm, "y");
    std::optional<ScriptThrow> error;
    auto number = [&](const Value& v) {
        try {
            return vm.toNumber(v);
        } catch (const ScriptThrow& t) {
            if (!error) error = t;
            return std::nan("");
        }
    };
    const double nx = number(x), ny = number(y);
    if (!x.isUndefined() && !y.isUndefined()) {
        f->mapX = mapCoordinate(nx);
        f->mapY = mapCoordinate(ny);
    }
    if (error) throw *error;
    return Value();
}

Value getMode(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    return f ? Value(f->mode) : Value();
}

Value setMode(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = settingsOf(vm, self);
    if (!f) return Value();
    std::string m = vm.toString(arg(args, 0));
    f->mode = m == "clamp" || m == "ignore" || m == "color" ? m : "wrap";
    return Value();
}

Value clone(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = filterOf(self);
    if (!f || f->filterKind == FilterKind::Base) return Value();
    auto* copy = vm.make<FilterObject>(f->proto(), f->filterKind);
    static_cast<FilterSettings&>(*copy) = *f;
    Object* package = filtersPackage(vm);
    if (package)
        copy->define(vm, "__constructor__", package->get(vm, kClassNames[size_t(f->filterKind)]), kDontEnum);
    return Value(copy);
}

// ---- constructors ----

struct Prop {
    const char* name;
    NativeFn get, set;
};

// The properties of each class, in constructor argument order.
const Prop kBlur[] = {
    {"blurX", getBlurX, setBlurX}, {"blurY", getBlurY, setBlurY}, {"quality", getQuality, setQuality}};
const Prop kDropShadow[] = {{"distance", getDistance, setDistance},
                            {"angle", getAngle, setAngle},
                            {"color", getColor, setColor},
                            {"alpha", getAlpha, setAlpha},
                            {"blurX", getBlurX, setBlurX},
                            {"blurY", getBlurY, setBlurY},
                            {"strength", getStrength, setStrength},
                            {"quality", getQuality, setQuality},
                            {"inner", getInner, setInner},
                            {"knockout", getKnockout, setKnockout},
                            {"hideObject", getHideObject, setHideObject}};
const Prop kGlow[] = {{"color", getColor, setColor},          {"alpha", getAlpha, setAlpha},
                      {"blurX", getBlurX, setBlurX},          {"blurY", getBlurY, setBlurY},
                      {"strength", getStrength, setStrength}, {"quality", getQuality, setQuality},
                      {"inner", getInner, setInner},          {"knockout", getKnockout, setKnockout}};
const Prop kBevel[] = {{"distance", getDistance, setDistance},
                       {"angle", getAngle, setAngle},
                       {"highlightColor", getColor, setColor},
                       {"highlightAlpha", getAlpha, setAlpha},
                       {"shadowColor", getColor2, setColor2},
                       {"shadowAlpha", getAlpha2, setAlpha2},
                       {"blurX", getBlurX, setBlurX},
                       {"blurY", getBlurY, setBlurY},
                       {"strength", getStrength, setStrength},
                       {"quality", getQuality, setQuality},
                       {"type", getType, setType},
                       {"knockout", getKnockout, setKnockout}};
const Prop kGradient[] = {{"distance", getDistance, setDistance}, {"angle", getAngle, setAngle},
                          {"colors", getColors, setColors},       {"alphas", getAlphas, setAlphas},
                          {"ratios", getRatios, setRatios},       {"blurX", getBlurX, setBlurX},
                          {"blurY", getBlurY, setBlurY},          {"strength", getStrength, setStrength},
                          {"quality", getQuality, setQuality},    {"type", getType, setType},
                          {"knockout", getKnockout, setKnockout}};
const Prop kColorMatrix[] = {{"matrix", getMatrix, setMatrix}};
const Prop kConvolution[] = {
    {"matrixX", getMatrixX, setMatrixX}, {"matrixY", getMatrixY, setMatrixY},
    {"matrix", getMatrix, setMatrix},    {"divisor", getDivisor, setDivisor},
    {"bias", getBias, setBias},          {"preserveAlpha", getPreserveAlpha, setPreserveAlpha},
    {"clamp", getClamp, setClamp},       {"color", getColor, setColor},
    {"alpha", getAlpha, setAlpha}};
const Prop kDisplacementMap[] = {{"mapBitmap", getMapBitmap, setMapBitmap},
                                 {"mapPoint", getMapPoint, setMapPoint},
                                 {"componentX", getComponentX, setComponentX},
                                 {"componentY", getComponentY, setComponentY},
                                 {"scaleX", getScaleX, setScaleX},
                                 {"scaleY", getScaleY, setScaleY},
                                 {"mode", getMode, setMode},
                                 {"color", getColor, setColor},
                                 {"alpha", getAlpha, setAlpha}};

// `order`: the order the prototype defines the properties in (for..in lists them so), when it differs
// from the constructor's.
struct ClassDef {
    FilterKind filterKind;
    const Prop* props;
    size_t count;
    const char* order;
};

template <size_t N>
constexpr ClassDef def(FilterKind k, const Prop (&p)[N], const char* order = nullptr) {
    return {k, p, N, order};
}

const ClassDef kClasses[] = {
    def(FilterKind::Blur, kBlur),
    def(FilterKind::DropShadow, kDropShadow,
        "distance angle color alpha quality inner knockout blurX blurY strength hideObject"),
    def(FilterKind::Glow, kGlow, "color alpha quality inner knockout blurX blurY strength"),
    def(FilterKind::Bevel, kBevel,
        "distance angle highlightColor highlightAlpha shadowColor shadowAlpha quality strength knockout "
        "blurX "
        "blurY type"),
    def(FilterKind::GradientGlow, kGradient,
        "distance angle colors alphas ratios blurX blurY quality strength knockout type"),
    def(FilterKind::GradientBevel, kGradient,
        "distance angle colors alphas ratios blurX blurY quality strength knockout type"),
    def(FilterKind::ColorMatrix, kColorMatrix),
    def(FilterKind::Convolution, kConvolution),
    def(FilterKind::DisplacementMap, kDisplacementMap)};

const ClassDef* classOf(FilterKind k) {
    for (const ClassDef& c : kClasses)
        if (c.filterKind == k) return &c;
    return nullptr;
}

void setDefaults(FilterObject* f) {
    switch (f->filterKind) {
        case FilterKind::Glow:
            f->color = 0xff0000;
            f->blurX = f->blurY = 6;
            f->strength = 2;
            break;
        case FilterKind::Bevel:
            f->color = 0xffffff;
            f->color2 = 0;
            break;
        case FilterKind::ColorMatrix:
            f->matrix = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0};
            break;
        case FilterKind::Convolution:
            f->blurX = f->blurY = 0;
            f->alpha = 0;
            break;
        case FilterKind::DisplacementMap:
            f->alpha = 0;
            break;
        default:
            break;
    }
}

// The arguments given go through the properties' setters, in order; those left out keep the defaults.
template <FilterKind K>
Value construct(Vm& vm, const Value& self, std::vector<Value>& args) {
    FilterObject* f = filterOf(self);
    if (!f) return Value();
    const ClassDef* c = classOf(K);
    for (size_t i = 0; c && i < c->count && i < args.size(); ++i) {
        if (args[i].isUndefined()) continue;
        std::vector<Value> one{args[i]};
        c->props[i].set(vm, self, one);
    }
    return Value();
}

template <FilterKind K>
Object* allocate(Vm& vm, Object* proto) {
    auto* f = vm.make<FilterObject>(proto, K);
    setDefaults(f);
    return f;
}

Value constructBase(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

template <FilterKind K>
void installClass(Vm& vm, Object* package, NativeFunction* base, Object* baseProto) {
    const ClassDef* c = classOf(K);
    Object* proto = vm.make<Object>(baseProto);
    proto->define(vm, "__constructor__", Value(base), kDontEnum);
    NativeFunction* cls = vm.newFunction(construct<K>, construct<K>);
    cls->allocate = allocate<K>;
    cls->define(vm, "prototype", Value(proto), kDontEnum | kDontDelete);
    std::vector<std::string> names;
    for (size_t i = 0; i < c->count; ++i)
        names.push_back(c->props[i].name);
    if (c->order) {
        names.clear();
        std::string list = c->order;
        for (size_t at = 0; at < list.size();) {
            size_t end = list.find(' ', at);
            if (end == std::string::npos) end = list.size();
            names.push_back(list.substr(at, end - at));
            at = end + 1;
        }
    }
    for (const std::string& name : names)
        for (size_t i = 0; i < c->count; ++i)
            if (name == c->props[i].name)
                proto->defineAccessor(vm, name, vm.newFunction(c->props[i].get),
                                      vm.newFunction(c->props[i].set), 0);
    package->define(vm, kClassNames[size_t(K)], Value(cls), 0);
}

}  // namespace

void installFilters(Vm& vm) {
    // The package is there for movies of SWF 6 and later (their settings only for SWF 8, see settingsOf).
    if (vm.version < 6) return;
    Object* flash = vm.global->get(vm, "flash").object();
    if (!flash) {
        flash = vm.newObject();
        vm.global->define(vm, "flash", Value(flash), kDontEnum);
    }
    Object* package = vm.newObject();
    flash->define(vm, "filters", Value(package), 0);

    Object* baseProto = vm.newObject();
    NativeFunction* base = vm.newClass(constructBase, baseProto, constructBase);
    base->allocate = allocate<FilterKind::Base>;
    baseProto->define(vm, "clone", Value(vm.newFunction(clone)), 0);
    package->define(vm, "BitmapFilter", Value(base), 0);

    installClass<FilterKind::Blur>(vm, package, base, baseProto);
    installClass<FilterKind::DropShadow>(vm, package, base, baseProto);
    installClass<FilterKind::Glow>(vm, package, base, baseProto);
    installClass<FilterKind::Bevel>(vm, package, base, baseProto);
    installClass<FilterKind::GradientGlow>(vm, package, base, baseProto);
    installClass<FilterKind::GradientBevel>(vm, package, base, baseProto);
    installClass<FilterKind::ColorMatrix>(vm, package, base, baseProto);
    installClass<FilterKind::Convolution>(vm, package, base, baseProto);
    installClass<FilterKind::DisplacementMap>(vm, package, base, baseProto);
}

}  // namespace player::avm1
