#include <algorithm>
#include <cmath>

#include "player/filters/filter.h"
#include "player/raster/color.h"

namespace player::filters {

namespace {

int blurReach(double amount, double scale, int passes) {
    const double b = std::min(amount * scale, kMaxBlur);
    if (!(b > 1) || passes <= 0) return 0;
    return int(std::ceil(b / 2)) * std::min(passes, kMaxBlurPasses);
}

// The offset of a drop shadow or bevel in whole device pixels.
void offsetOf(const Filter& f, double scale, int& dx, int& dy) {
    const double d = std::isfinite(f.distance) ? std::clamp(f.distance * scale, -4096.0, 4096.0) : 0;
    const double a = std::isfinite(f.angle) ? f.angle : 0;
    dx = int(std::lround(d * std::cos(a)));
    dy = int(std::lround(d * std::sin(a)));
}

Pixel premultiplied(const swf::RGBA& c) {
    return raster::premultiply({c.r, c.g, c.b, c.a});
}

uint32_t strengthScale(double strength) {
    // 8.8 fixed point as stored; negative or absurd strengths are cut to the range Flash accepts.
    if (!(strength > 0)) return 0;
    return uint32_t(std::lround(std::min(strength, 255.0) * 256));
}

inline uint32_t strengthen(uint32_t v, uint32_t s256) {
    return std::min<uint32_t>(255, (v * s256 + 128) >> 8);
}

// The alpha of every pixel, blurred; `invert` takes 255 - alpha first (inner shadows and glows).
void blurredAlpha(const Filter& f, double scale, const Image& img, bool invert, FilterScratch& s) {
    const size_t n = size_t(img.width) * size_t(img.height);
    s.alpha.resize(n);
    for (int y = 0; y < img.height; ++y) {
        const Pixel* row = img.row(y);
        uint8_t* out = s.alpha.data() + size_t(y) * size_t(img.width);
        for (int x = 0; x < img.width; ++x)
            out[x] = uint8_t(invert ? 255 - (row[x] >> 24) : row[x] >> 24);
    }
    s.blurred = s.alpha;
    boxBlur(s.blurred.data(), img.width, img.height, 1, size_t(img.width), f.blurX * scale, f.blurY * scale,
            f.passes, s);
}

// The blurred plane's value at (x, y), `outside` beyond its edges.
inline uint32_t sample(const FilterScratch& s, const Image& img, int x, int y, uint32_t outside) {
    if (x < 0 || y < 0 || x >= img.width || y >= img.height) return outside;
    return s.blurred[size_t(y) * size_t(img.width) + size_t(x)];
}

// Drop shadow and glow: a blurred, offset, coloured copy of the object's alpha outside (or inside) it.
void applyShadow(const Filter& f, double scale, Image& img, FilterScratch& s, bool glow) {
    int dx = 0, dy = 0;
    if (!glow) offsetOf(f, scale, dx, dy);
    blurredAlpha(f, scale, img, f.inner, s);
    const Pixel color = f.colors.empty() ? 0xff000000u : premultiplied(f.colors[0]);
    const uint32_t strength = strengthScale(f.strength);
    const uint32_t outside = f.inner ? 255 : 0;
    for (int y = 0; y < img.height; ++y) {
        Pixel* row = img.row(y);
        for (int x = 0; x < img.width; ++x) {
            const Pixel src = row[x];
            const uint32_t srcA = src >> 24;
            const uint32_t v = strengthen(sample(s, img, x - dx, y - dy, outside), strength);
            Pixel shadow = raster::byteMul(color, v);
            Pixel out;
            if (f.inner) {
                shadow = raster::byteMul(shadow, srcA);
                if (f.knockout || !f.compositeSource)
                    out = shadow;
                else
                    out = shadow + raster::byteMul(src, 255 - (shadow >> 24));
            } else if (f.knockout) {
                out = raster::byteMul(shadow, 255 - srcA);
            } else if (!f.compositeSource) {
                out = shadow;
            } else {
                out = raster::srcOver(src, shadow);
            }
            row[x] = out;
        }
    }
}

// 256 premultiplied colours of a gradient filter's stops.
void gradientRamp(const Filter& f, Pixel ramp[256]) {
    const size_t n = std::min(f.colors.size(), f.ratios.size());
    for (int i = 0; i < 256; ++i) {
        if (n == 0) {
            ramp[i] = 0;
            continue;
        }
        size_t k = 0;
        while (k < n && f.ratios[k] < i)
            ++k;
        swf::RGBA c;
        if (k == 0) {
            c = f.colors[0];
        } else if (k == n) {
            c = f.colors[n - 1];
        } else {
            const int r0 = f.ratios[k - 1], r1 = f.ratios[k];
            const double t = r1 > r0 ? double(i - r0) / (r1 - r0) : 1;
            auto mix = [&](uint8_t a, uint8_t b) { return uint8_t(std::lround(a + (b - a) * t)); };
            const swf::RGBA &a = f.colors[k - 1], &b = f.colors[k];
            c = {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)};
        }
        ramp[i] = premultiplied(c);
    }
}

void applyGradientGlow(const Filter& f, double scale, Image& img, FilterScratch& s) {
    Pixel ramp[256];
    gradientRamp(f, ramp);
    blurredAlpha(f, scale, img, f.inner, s);
    int dx = 0, dy = 0;
    offsetOf(f, scale, dx, dy);
    const uint32_t strength = strengthScale(f.strength);
    const uint32_t outside = f.inner ? 255 : 0;
    for (int y = 0; y < img.height; ++y) {
        Pixel* row = img.row(y);
        for (int x = 0; x < img.width; ++x) {
            const Pixel src = row[x];
            const uint32_t srcA = src >> 24;
            const uint32_t v = strengthen(sample(s, img, x - dx, y - dy, outside), strength);
            Pixel glow = v ? ramp[v] : 0;
            if (f.inner) glow = raster::byteMul(glow, srcA);
            Pixel out;
            if (f.knockout)
                out = f.inner ? glow : raster::byteMul(glow, 255 - srcA);
            else if (f.onTop || f.inner)
                out = raster::srcOver(glow, src);
            else
                out = raster::srcOver(src, glow);
            row[x] = out;
        }
    }
}

// Bevel and gradient bevel: the blurred alpha compared with itself shifted both ways along the light's
// angle gives a highlight on the lit side of every edge and a shadow on the other.
void applyBevel(const Filter& f, double scale, Image& img, FilterScratch& s, bool gradient) {
    Pixel ramp[256];
    if (gradient) gradientRamp(f, ramp);
    blurredAlpha(f, scale, img, false, s);
    int dx = 0, dy = 0;
    offsetOf(f, scale, dx, dy);
    const uint32_t strength = strengthScale(f.strength);
    // Stored order, as the reference pictures show: highlight colour, then shadow colour.
    const Pixel lightColor = f.colors.size() > 0 ? premultiplied(f.colors[0]) : 0xffffffffu;
    const Pixel shadowColor = f.colors.size() > 1 ? premultiplied(f.colors[1]) : 0xff000000u;
    const bool full = f.onTop;  // the bevel type "full" is stored as the on-top flag
    for (int y = 0; y < img.height; ++y) {
        Pixel* row = img.row(y);
        for (int x = 0; x < img.width; ++x) {
            const Pixel src = row[x];
            const uint32_t srcA = src >> 24;
            const int lit = int(sample(s, img, x + dx, y + dy, 0)) - int(sample(s, img, x - dx, y - dy, 0));
            Pixel bevel;
            if (gradient) {
                const int v = lit >= 0 ? int(strengthen(uint32_t(lit), strength))
                                       : -int(strengthen(uint32_t(-lit), strength));
                bevel = ramp[std::clamp(128 + v / 2, 0, 255)];
            } else if (lit > 0) {
                bevel = raster::byteMul(lightColor, strengthen(uint32_t(lit), strength));
            } else {
                bevel = raster::byteMul(shadowColor, strengthen(uint32_t(-lit), strength));
            }
            if (!full) bevel = raster::byteMul(bevel, f.inner ? srcA : 255 - srcA);
            if (f.knockout)
                row[x] = bevel;
            else
                row[x] = raster::srcOver(bevel, src);
        }
    }
}

void applyColorMatrix(const Filter& f, Image& img) {
    if (f.matrix.size() < 20) return;
    const float* m = f.matrix.data();
    for (int y = 0; y < img.height; ++y) {
        Pixel* row = img.row(y);
        for (int x = 0; x < img.width; ++x) {
            const player::Rgba c = raster::unpremultiply(row[x]);
            const float in[4] = {float(c.r), float(c.g), float(c.b), float(c.a)};
            uint8_t out[4];
            for (int k = 0; k < 4; ++k) {
                const float* r = m + 5 * k;
                const float v = r[0] * in[0] + r[1] * in[1] + r[2] * in[2] + r[3] * in[3] + r[4];
                out[k] = uint8_t(std::isfinite(v) ? std::clamp(v + 0.5f, 0.0f, 255.0f) : 0.0f);
            }
            row[x] = raster::premultiply({out[0], out[1], out[2], out[3]});
        }
    }
}

void applyConvolution(const Filter& f, Image& img, FilterScratch& s) {
    const int mx = f.matrixX, my = f.matrixY;
    if (mx == 0 || my == 0 || f.matrix.size() < size_t(mx) * size_t(my)) return;
    const float divisor = f.divisor != 0 && std::isfinite(f.divisor) ? f.divisor : 1;
    const float bias = std::isfinite(f.bias) ? f.bias : 0;
    // The unfiltered image, unpremultiplied, is read while the result is written.
    const size_t n = size_t(img.width) * size_t(img.height);
    s.pixels.resize(n);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const player::Rgba c = raster::unpremultiply(img.row(y)[x]);
            s.pixels[size_t(y) * size_t(img.width) + size_t(x)] =
                (uint32_t(c.a) << 24) | (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b;
        }
    const swf::RGBA& dc = f.defaultColor;
    const uint32_t fallback = (uint32_t(dc.a) << 24) | (uint32_t(dc.r) << 16) | (uint32_t(dc.g) << 8) | dc.b;
    for (int y = 0; y < img.height; ++y) {
        Pixel* row = img.row(y);
        for (int x = 0; x < img.width; ++x) {
            float sum[4] = {0, 0, 0, 0};
            for (int j = 0; j < my; ++j) {
                for (int i = 0; i < mx; ++i) {
                    int sx = x + i - mx / 2, sy = y + j - my / 2;
                    uint32_t p;
                    if (sx >= 0 && sy >= 0 && sx < img.width && sy < img.height) {
                        p = s.pixels[size_t(sy) * size_t(img.width) + size_t(sx)];
                    } else if (f.clamp) {
                        sx = std::clamp(sx, 0, img.width - 1);
                        sy = std::clamp(sy, 0, img.height - 1);
                        p = s.pixels[size_t(sy) * size_t(img.width) + size_t(sx)];
                    } else {
                        p = fallback;
                    }
                    const float w = f.matrix[size_t(j) * size_t(mx) + size_t(i)];
                    sum[0] += w * float((p >> 16) & 0xff);
                    sum[1] += w * float((p >> 8) & 0xff);
                    sum[2] += w * float(p & 0xff);
                    sum[3] += w * float(p >> 24);
                }
            }
            uint8_t out[4];
            for (int k = 0; k < 4; ++k) {
                const float v = sum[k] / divisor + bias;
                out[k] = uint8_t(std::isfinite(v) ? std::clamp(v, 0.0f, 255.0f) : 0.0f);
            }
            if (f.preserveAlpha) out[3] = uint8_t(s.pixels[size_t(y) * size_t(img.width) + size_t(x)] >> 24);
            row[x] = raster::premultiply({out[0], out[1], out[2], out[3]});
        }
    }
}

// Displacement map: each pixel takes the one (c - 128) * scale / 256 pixels away along each axis, c being
// the map's component at the pixel (straight colour, so a faint map pixel moves as far as an opaque one of
// its colour). Pixels the map does not cover stay. Distances are whole pixels, rounded down; the map is
// read in filter units, `scale` device pixels each.
uint8_t component(player::Rgba c, int which) {
    switch (which) {
        case 1:
            return c.r;
        case 2:
            return c.g;
        case 4:
            return c.b;
        case 8:
            return c.a;
        default:
            return 128;  // no channel: no move
    }
}

void applyDisplacement(const Filter& f, double scale, Image& img, FilterScratch& s) {
    if (!f.mapPixels || f.mapWidth <= 0 || f.mapHeight <= 0 ||
        f.mapPixels->size() < size_t(f.mapWidth) * size_t(f.mapHeight))
        return;
    const int w = img.width, h = img.height;
    s.pixels.resize(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        std::copy_n(img.row(y), w, s.pixels.data() + size_t(y) * size_t(w));
    const double unit = scale > 0 && std::isfinite(scale) ? scale : 1;
    const double sx = std::clamp(f.scaleX, -65535.0, 65535.0) * unit / 256;
    const double sy = std::clamp(f.scaleY, -65535.0, 65535.0) * unit / 256;
    const player::Rgba dc = {f.defaultColor.r, f.defaultColor.g, f.defaultColor.b, f.defaultColor.a};
    const Pixel outside = raster::premultiply(dc);
    auto wrap = [](int v, int n) { return ((v % n) + n) % n; };
    for (int y = 0; y < h; ++y) {
        Pixel* row = img.row(y);
        const int64_t my = int64_t(std::floor(y / unit)) - f.mapY;
        if (my < 0 || my >= f.mapHeight) continue;
        const uint32_t* mapRow = f.mapPixels->data() + size_t(my) * size_t(f.mapWidth);
        for (int x = 0; x < w; ++x) {
            const int64_t mx = int64_t(std::floor(x / unit)) - f.mapX;
            if (mx < 0 || mx >= f.mapWidth) continue;
            const player::Rgba m = raster::unpremultiply(mapRow[mx]);
            const int ox = int(std::floor((component(m, f.componentX) - 128) * sx));
            const int oy = int(std::floor((component(m, f.componentY) - 128) * sy));
            int tx = x + ox, ty = y + oy;
            if (tx < 0 || tx >= w || ty < 0 || ty >= h) {
                switch (f.mode) {
                    case 1:
                        tx = std::clamp(tx, 0, w - 1), ty = std::clamp(ty, 0, h - 1);
                        break;
                    case 2:
                        tx = x, ty = y;
                        break;
                    case 3:
                        row[x] = outside;
                        continue;
                    default:
                        tx = wrap(tx, w), ty = wrap(ty, h);
                        break;
                }
            }
            row[x] = s.pixels[size_t(ty) * size_t(w) + size_t(tx)];
        }
    }
}

}  // namespace

Reach filterReach(const Filter& f, double scale) {
    Reach r;
    switch (f.type) {
        case swf::FilterType::Blur:
        case swf::FilterType::Glow: {
            const int bx = blurReach(f.blurX, scale, f.passes), by = blurReach(f.blurY, scale, f.passes);
            r = {bx, by, bx, by};
            break;
        }
        case swf::FilterType::DropShadow:
        case swf::FilterType::Bevel:
        case swf::FilterType::GradientGlow:
        case swf::FilterType::GradientBevel: {
            int dx = 0, dy = 0;
            offsetOf(f, scale, dx, dy);
            const int bx = blurReach(f.blurX, scale, f.passes), by = blurReach(f.blurY, scale, f.passes);
            const bool both = f.type == swf::FilterType::Bevel || f.type == swf::FilterType::GradientBevel;
            r.left = bx + (dx < 0 || both ? std::abs(dx) : 0);
            r.right = bx + (dx > 0 || both ? std::abs(dx) : 0);
            r.top = by + (dy < 0 || both ? std::abs(dy) : 0);
            r.bottom = by + (dy > 0 || both ? std::abs(dy) : 0);
            break;
        }
        case swf::FilterType::Convolution:
        case swf::FilterType::ColorMatrix:
        case swf::FilterType::DisplacementMap:  // moves pixels within the picture only
            break;
    }
    return r;
}

void applyFilter(const Filter& f, double scale, Image& image, FilterScratch& scratch) {
    if (!image.pixels || image.width <= 0 || image.height <= 0) return;
    switch (f.type) {
        case swf::FilterType::Blur:
            boxBlur(reinterpret_cast<uint8_t*>(image.pixels), image.width, image.height, 4,
                    size_t(image.stride) * sizeof(Pixel), f.blurX * scale, f.blurY * scale, f.passes,
                    scratch);
            break;
        case swf::FilterType::DropShadow:
            applyShadow(f, scale, image, scratch, false);
            break;
        case swf::FilterType::Glow:
            applyShadow(f, scale, image, scratch, true);
            break;
        case swf::FilterType::Bevel:
            applyBevel(f, scale, image, scratch, false);
            break;
        case swf::FilterType::GradientGlow:
            applyGradientGlow(f, scale, image, scratch);
            break;
        case swf::FilterType::GradientBevel:
            applyBevel(f, scale, image, scratch, true);
            break;
        case swf::FilterType::ColorMatrix:
            applyColorMatrix(f, image);
            break;
        case swf::FilterType::Convolution:
            applyConvolution(f, image, scratch);
            break;
        case swf::FilterType::DisplacementMap:
            applyDisplacement(f, scale, image, scratch);
            break;
    }
}

}  // namespace player::filters
