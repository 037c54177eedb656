#include "player/text/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <atomic>
#include <cctype>

#include "player/core/characters.h"

namespace player::text {

uint64_t newGlyphSerial() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

// --- Embedded glyph sets ---------------------------------------------------------------------------------

EmbeddedFont::EmbeddedFont(const FontCharacter& fc) {
    unitsPerEm = fc.emSquare;
    name = fc.name;
    bold = fc.bold;
    italic = fc.italic;
    rule = raster::FillRule::EvenOdd;
    const swf::DefineFont* def = fc.def;
    const swf::FontLayout* layout = def && def->layout ? &*def->layout : nullptr;
    glyphs_.resize(fc.glyphs.size());
    for (size_t i = 0; i < fc.glyphs.size(); ++i) {
        Glyph& g = glyphs_[i];
        // A glyph is one fill style's closed outlines; style groups beyond the first are rare but kept.
        for (const ShapeGeometry::Group& group : fc.glyphs[i].groups)
            for (const ShapeGeometry::Fill& f : group.fills) {
                const auto& verbs = f.path.verbs();
                const auto& pts = f.path.points();
                size_t p = 0;
                for (raster::Path::Verb v : verbs) {
                    switch (v) {
                        case raster::Path::Verb::Move:
                            g.outline.moveTo(pts[p].x, pts[p].y);
                            ++p;
                            break;
                        case raster::Path::Verb::Line:
                            g.outline.lineTo(pts[p].x, pts[p].y);
                            ++p;
                            break;
                        case raster::Path::Verb::Quad:
                            g.outline.quadTo(pts[p].x, pts[p].y, pts[p + 1].x, pts[p + 1].y);
                            p += 2;
                            break;
                        case raster::Path::Verb::Close:
                            g.outline.close();
                            break;
                    }
                }
            }
        if (layout && i < layout->advances.size()) {
            g.advance = layout->advances[i];
        } else if (def && i < def->glyphs.size()) {
            // Without a layout table the glyph's own extent stands for its advance.
            double xMax = 0;
            for (const raster::Point& pt : g.outline.points())
                xMax = std::max(xMax, pt.x);
            g.advance = xMax + unitsPerEm / 20;
        }
    }
    for (size_t i = 0; i < fc.codes.size() && i < glyphs_.size(); ++i)
        byCode_.emplace(fc.codes[i], uint32_t(i));
    if (layout) {
        ascent = layout->ascent;
        descent = layout->descent;
        leading = layout->leading;
        for (const swf::KerningPair& k : layout->kerning)
            kerning_[{k.code1, k.code2}] = k.adjustment;
    }
    if (ascent <= 0 && descent <= 0) {
        ascent = unitsPerEm * 0.9;
        descent = unitsPerEm * 0.2;
    }
}

const Glyph* EmbeddedFont::glyph(char32_t c) const {
    auto it = byCode_.find(c);
    return it == byCode_.end() ? nullptr : &glyphs_[it->second];
}

double EmbeddedFont::kerning(char32_t a, char32_t b) const {
    if (kerning_.empty()) return 0;
    auto it = kerning_.find({a, b});
    return it == kerning_.end() ? 0 : it->second;
}

}  // namespace player::text

namespace player {

const text::Font& FontCharacter::layoutFont() const {
    if (!layoutFont_) layoutFont_ = std::make_shared<text::EmbeddedFont>(*this);
    return *layoutFont_;
}

}  // namespace player

namespace player::text {

// --- Device fonts ----------------------------------------------------------------------------------------

namespace {

std::mutex& libraryMutex() {
    static std::mutex m;
    return m;
}

FT_Library library() {
    // Made once, never freed: faces live as long as the process.
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) return FT_Library(nullptr);
        return l;
    }();
    return lib;
}

// The fontconfig configuration of the player's own, loaded on first use and freed when the process ends
// (the library's default configuration would stay allocated to the end and read as a leak).
class FontConfig {
  public:
    FcConfig* get() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!tried_) {
            tried_ = true;
            config_ = FcInitLoadConfigAndFonts();
        }
        return config_;
    }
    ~FontConfig() {
        if (config_) FcConfigDestroy(config_);
    }

  private:
    std::mutex mutex_;
    FcConfig* config_ = nullptr;
    bool tried_ = false;
};

FcConfig* fontConfig() {
    static FontConfig config;
    return config.get();
}

std::string lower(std::string s) {
    for (char& ch : s)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

// Flash's generic names, and the families its movies name most, as fontconfig patterns.
std::string fontconfigFamily(const std::string& family) {
    const std::string l = lower(family);
    if (l == "_sans" || l.empty()) return "sans-serif";
    if (l == "_serif") return "serif";
    if (l == "_typewriter") return "monospace";
    return family;
}

// Outline decomposition into a Path (font units, y flipped to point down).
struct Outline {
    raster::Path* path;
    double cx = 0, cy = 0;  // current point, y down
    bool open = false;
};

int moveTo(const FT_Vector* to, void* user) {
    auto* o = static_cast<Outline*>(user);
    if (o->open) o->path->close();
    o->cx = double(to->x);
    o->cy = -double(to->y);
    o->path->moveTo(o->cx, o->cy);
    o->open = true;
    return 0;
}
int lineTo(const FT_Vector* to, void* user) {
    auto* o = static_cast<Outline*>(user);
    o->cx = double(to->x);
    o->cy = -double(to->y);
    o->path->lineTo(o->cx, o->cy);
    return 0;
}
int conicTo(const FT_Vector* c, const FT_Vector* to, void* user) {
    auto* o = static_cast<Outline*>(user);
    o->cx = double(to->x);
    o->cy = -double(to->y);
    o->path->quadTo(double(c->x), -double(c->y), o->cx, o->cy);
    return 0;
}
int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    // The rasterizer draws quadratic curves: a cubic becomes two quadratics, split at its middle (close
    // enough for the gentle cubics of CFF outlines at text sizes).
    auto* o = static_cast<Outline*>(user);
    const double x0 = o->cx, y0 = o->cy;
    const double x1 = double(c1->x), y1 = -double(c1->y), x2 = double(c2->x), y2 = -double(c2->y);
    const double x3 = double(to->x), y3 = -double(to->y);
    // Halves of the cubic (de Casteljau at t = 1/2), each replaced by the quadratic through its ends
    // whose control point is the mean of the two tangent-line estimates.
    const double ax = (x0 + x1) / 2, ay = (y0 + y1) / 2, bx = (x1 + x2) / 2, by = (y1 + y2) / 2;
    const double cx = (x2 + x3) / 2, cy = (y2 + y3) / 2;
    const double abx = (ax + bx) / 2, aby = (ay + by) / 2, bcx = (bx + cx) / 2, bcy = (by + cy) / 2;
    const double mx = (abx + bcx) / 2, my = (aby + bcy) / 2;
    const double qa_x = (3 * (ax + abx) - (x0 + mx)) / 4, qa_y = (3 * (ay + aby) - (y0 + my)) / 4;
    const double qb_x = (3 * (bcx + cx) - (mx + x3)) / 4, qb_y = (3 * (bcy + cy) - (my + y3)) / 4;
    o->path->quadTo(qa_x, qa_y, mx, my);
    o->path->quadTo(qb_x, qb_y, x3, y3);
    o->cx = x3;
    o->cy = y3;
    return 0;
}

}  // namespace

struct DeviceFont::Face {
    FT_Face face = nullptr;
    ~Face() {
        std::lock_guard<std::mutex> lock(libraryMutex());
        if (face) FT_Done_Face(face);
    }
};

DeviceFont::~DeviceFont() = default;

std::shared_ptr<const DeviceFont> DeviceFont::find(const std::string& family, bool boldStyle,
                                                   bool italicStyle) {
    static std::mutex cacheMutex;
    static std::map<std::string, std::shared_ptr<const DeviceFont>> cache;
    const std::string key = lower(family) + (boldStyle ? "|b" : "|") + (italicStyle ? "i" : "");
    std::lock_guard<std::mutex> lock(cacheMutex);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    // A hostile movie may name thousands of fonts: past a bound, every new name gets the sans font.
    if (cache.size() >= 256 && lower(family) != "_sans") {
        auto fallback = cache.find(std::string("_sans|") + (boldStyle ? "b" : "") + (italicStyle ? "i" : ""));
        if (fallback != cache.end()) return fallback->second;
    }

    std::shared_ptr<DeviceFont> font(new DeviceFont);
    font->name = family;
    font->bold = boldStyle;
    font->italic = italicStyle;
    font->rule = raster::FillRule::NonZero;
    // fontconfig picks the installed font nearest to the request; it always answers with something when
    // any font is installed.
    std::string file;
    int index = 0;
    if (FcConfig* config = fontConfig()) {
        const std::string fcFamily = fontconfigFamily(family);
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(fcFamily.c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT, boldStyle ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italicStyle ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        if (match) {
            FcChar8* path = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
                file = reinterpret_cast<const char*>(path);
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    font->unitsPerEm = 2048;
    font->ascent = 1854;
    font->descent = 434;
    font->leading = 67;
    if (!file.empty()) {
        std::lock_guard<std::mutex> libLock(libraryMutex());
        FT_Face face = nullptr;
        if (library() && FT_New_Face(library(), file.c_str(), index, &face) == 0) {
            if (face->units_per_EM > 0 && FT_IS_SCALABLE(face)) {
                font->face_ = std::make_unique<Face>();
                font->face_->face = face;
                font->file_ = file;
                font->unitsPerEm = face->units_per_EM;
                font->ascent = face->ascender;
                font->descent = -double(face->descender);
                font->leading = std::max(0.0, double(face->height - face->ascender + face->descender));
            } else {
                FT_Done_Face(face);
            }
        }
    }
    cache.emplace(key, font);
    return font;
}

const Glyph* DeviceFont::glyph(char32_t c) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = cache_.find(c);
    if (it != cache_.end()) return it->second.get();
    auto g = std::make_unique<Glyph>();
    if (!face_) {
        // No system font at all: text keeps its layout (plain advances) and draws nothing.
        g->advance = c == ' ' ? unitsPerEm * 0.28 : unitsPerEm * 0.55;
    } else {
        FT_Face face = face_->face;
        FT_UInt index = FT_Get_Char_Index(face, FT_ULong(c));
        // A character the font lacks draws as the font's missing-glyph box (index 0).
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
            g->advance = double(face->glyph->advance.x);
            if (face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
                FT_Outline_Funcs funcs{moveTo, lineTo, conicTo, cubicTo, 0, 0};
                Outline o{&g->outline};
                if (FT_Outline_Decompose(&face->glyph->outline, &funcs, &o) != 0)
                    g->outline.clear();
                else if (o.open)
                    g->outline.close();
            }
        }
    }
    // Texts with an endless variety of characters keep a bounded cache: past it, characters not seen
    // before are left out of the layout (the glyphs handed out stay valid for the life of the font).
    if (cache_.size() >= kMaxCachedGlyphs) return nullptr;
    const Glyph* out = g.get();
    cache_.emplace(c, std::move(g));
    return out;
}

double DeviceFont::kerning(char32_t a, char32_t b) const {
    if (!face_ || !FT_HAS_KERNING(face_->face)) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    FT_Face face = face_->face;
    FT_Vector k{0, 0};
    if (FT_Get_Kerning(face, FT_Get_Char_Index(face, FT_ULong(a)), FT_Get_Char_Index(face, FT_ULong(b)),
                       FT_KERNING_UNSCALED, &k) != 0)
        return 0;
    return double(k.x);
}

}  // namespace player::text
