#include "player/core/movie_def.h"

#include <algorithm>
#include <cctype>

#include "player/core/movie_file.h"
#include "swf/bit_reader.h"
#include "swf/read_types.h"

namespace player {

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::unique_ptr<MovieDef> MovieDef::load(std::vector<uint8_t> bytes, const std::string& url,
                                         std::string* error) {
    return loadNested(std::move(bytes), url, error, 0);
}

std::unique_ptr<MovieDef> MovieDef::loadNested(std::vector<uint8_t> bytes, const std::string& url,
                                               std::string* error, int nesting) {
    swf::Result<swf::Movie> parsed = swf::parseMovie(bytes);
    if (!parsed) {
        if (error) *error = parsed.error().describe();
        return nullptr;
    }
    std::unique_ptr<MovieDef> def(new MovieDef);
    def->url_ = url;
    def->movie_ = std::move(parsed).value();
    const swf::Movie& m = def->movie_;
    MovieInfo& info = def->info_;
    info.version = m.version;
    info.frameRate = m.frameRate;
    info.frameCount = m.frameCount;
    info.xMinTwips = m.frameSize.xMin;
    info.yMinTwips = m.frameSize.yMin;
    info.widthTwips = std::max(0, m.frameSize.xMax - m.frameSize.xMin);
    info.heightTwips = std::max(0, m.frameSize.yMax - m.frameSize.yMin);
    for (const swf::Error& e : m.errors)
        def->warnings_.push_back(e.describe());
    def->defineAll(m.tags);
    def->importAll(m.tags, nesting);
    def->root_ = buildTimeline(m.tags, m.frameCount);
    for (const swf::Tag& t : m.tags) {
        const auto* raw = std::get_if<swf::RawTag>(&t.body);
        if (t.code != swf::tag::ScriptLimits || !raw || raw->data.size() < 2) continue;
        swf::BitReader r(raw->data);
        if (int depth = r.u16(); depth > 0) info.maxRecursion = depth;
        break;
    }
    // The first SetBackgroundColor of the movie sets the stage colour.
    for (const swf::Tag& t : m.tags) {
        if (const auto* bg = std::get_if<swf::SetBackgroundColor>(&t.body)) {
            info.backgroundColor = (uint32_t(bg->color.r) << 16) | (uint32_t(bg->color.g) << 8) | bg->color.b;
            break;
        }
    }
    return def;
}

const Character* MovieDef::character(uint16_t id) const {
    auto it = dictionary_.find(id);
    if (it != dictionary_.end()) return it->second.get();
    auto im = imports_.find(id);
    return im == imports_.end() ? nullptr : im->second.character;
}

const MovieDef* MovieDef::ownerOf(uint16_t id) const {
    if (dictionary_.count(id)) return this;
    auto im = imports_.find(id);
    return im == imports_.end() ? this : im->second.from;
}

void MovieDef::importAll(const std::vector<swf::Tag>& tags, int nesting) {
    for (const swf::Tag& t : tags) {
        if (t.code != 57 && t.code != 71) continue;
        const auto* raw = std::get_if<swf::RawTag>(&t.body);
        if (!raw) continue;
        swf::BitReader r(raw->data);
        std::string url = r.string();
        if (t.code == 71) {
            r.u8();
            r.u8();
        }
        unsigned count = r.u16();
        std::vector<std::pair<uint16_t, std::string>> wanted;
        for (unsigned i = 0; i < count && r.ok(); ++i) {
            uint16_t id = r.u16();
            std::string name = r.string();
            if (r.ok()) wanted.emplace_back(id, name);
        }
        std::string what = "imported assets from \"" + url + "\": ";
        // Libraries that import from libraries are followed a few steps, never in a circle.
        if (nesting >= 4) {
            warnings_.push_back(what + "libraries nested too deeply");
            continue;
        }
        std::string path, error;
        std::vector<uint8_t> bytes;
        std::unique_ptr<MovieDef> library;
        if (resolveLocalUrl(url, url_, path, &error) && readMovieFile(path, bytes, &error))
            library = loadNested(std::move(bytes), path, &error, nesting + 1);
        if (!library) {
            warnings_.push_back(what + error);
            continue;
        }
        for (const auto& [id, name] : wanted) {
            const Character* c = library->exported(name);
            if (!c) {
                warnings_.push_back(what + "it exports no \"" + name + "\"");
                continue;
            }
            if (!dictionary_.count(id)) imports_[id] = Import{library->ownerOf(c->id), c};
        }
        libraries_.push_back(std::move(library));
    }
}

const FontCharacter* MovieDef::font(const std::string& name, bool bold, bool italic) const {
    // The glyph set of that name whose style matches best; fonts without glyphs (a device font named for
    // a field) do not count.
    const std::string want = lower(name);
    const FontCharacter* best = nullptr;
    int bestScore = -1;
    for (const auto& [id, c] : dictionary_) {
        if (c->kind != Character::Kind::Font) continue;
        const auto* fc = static_cast<const FontCharacter*>(c.get());
        if (fc->glyphs.empty() || lower(fc->name) != want) continue;
        const int score = (fc->bold == bold ? 2 : 0) + (fc->italic == italic ? 1 : 0);
        if (score > bestScore) {
            best = fc;
            bestScore = score;
        }
    }
    return best;
}

const Character* MovieDef::exported(const std::string& name) const {
    auto it = exports_.find(lower(name));
    return it == exports_.end() ? nullptr : character(it->second);
}

const swf::DefineSound* MovieDef::sound(uint16_t id) const {
    auto it = sounds_.find(id);
    return it == sounds_.end() ? nullptr : it->second;
}

const swf::DefineSound* MovieDef::exportedSound(const std::string& name) const {
    auto it = exports_.find(lower(name));
    return it == exports_.end() ? nullptr : sound(it->second);
}

void MovieDef::defineAll(const std::vector<swf::Tag>& tags) {
    for (const swf::Tag& t : tags) {
        define(t);
        noteTag(t.code);
        addVideoFrame(t);
        if (const auto* sp = std::get_if<swf::DefineSprite>(&t.body))
            for (const swf::Tag& inner : sp->tags) {
                noteTag(inner.code);
                addVideoFrame(inner);
            }
    }
}

void MovieDef::noteTag(uint16_t code) {
    // Tags the player reads but does not act on yet: say so once, so a user sees what is missing.
    const char* what = nullptr;
    switch (code) {
        case 14:
        case 18:
        case 45:
        case 89:
            hasSound_ = true;
            return;
        case 91:
            what = "DefineFont4 fonts";
            break;
        case 72:
        case 76:
        case 82:
            what = "ActionScript 3 movies";
            break;
        default:
            return;
    }
    std::string line = std::string("not supported yet: ") + what;
    if (std::find(notes_.begin(), notes_.end(), line) == notes_.end()) notes_.push_back(line);
}

void MovieDef::addVideoFrame(const swf::Tag& tag) {
    const auto* vf = std::get_if<swf::VideoFrame>(&tag.body);
    if (!vf) return;
    auto it = dictionary_.find(vf->streamId);
    if (it == dictionary_.end() || it->second->kind != Character::Kind::Video) return;
    // The first frame stored under a number counts, as for character ids.
    static_cast<VideoCharacter*>(it->second.get())->frames.emplace(vf->frame, &vf->data);
}

void MovieDef::define(const swf::Tag& tag) {
    std::unique_ptr<Character> c;
    uint16_t id = 0;
    if (tag.code == 78) {
        // DefineScalingGrid: character id, then the grid's RECT.
        if (const auto* raw = std::get_if<swf::RawTag>(&tag.body)) {
            swf::BitReader r(raw->data);
            const uint16_t target = r.u16();
            const swf::Rect grid = swf::detail::readRect(r);
            auto it = dictionary_.find(target);
            if (r.ok() && it != dictionary_.end() && grid.xMin < grid.xMax && grid.yMin < grid.yMax &&
                (it->second->kind == Character::Kind::Sprite || it->second->kind == Character::Kind::Button))
                it->second->scalingGrid = grid;
        }
        return;
    }
    if (const auto* s = std::get_if<swf::DefineShape>(&tag.body)) {
        auto sc = std::make_unique<ShapeCharacter>();
        sc->bounds = s->bounds;
        sc->geometry = buildShapeGeometry(s->shape, s->usesFillWindingRule);
        if (sc->geometry.edgeCount > kMaxShapeEdges)
            warnings_.push_back("shape " + std::to_string(s->id) +
                                " has too many edges; the rest are dropped");
        id = s->id;
        c = std::move(sc);
    } else if (const auto* m = std::get_if<swf::DefineMorphShape>(&tag.body)) {
        auto mc = std::make_unique<MorphCharacter>();
        mc->def = m;
        id = m->id;
        c = std::move(mc);
    } else if (std::holds_alternative<swf::DefineBits>(tag.body) ||
               std::holds_alternative<swf::DefineBitsJPEG>(tag.body) ||
               std::holds_alternative<swf::DefineBitsLossless>(tag.body)) {
        auto bc = std::make_unique<BitmapCharacter>();
        bc->tag = &tag;
        bc->jpegTables = jpegTables_;
        if (const auto* b = std::get_if<swf::DefineBits>(&tag.body)) id = b->id;
        if (const auto* b = std::get_if<swf::DefineBitsJPEG>(&tag.body)) id = b->id;
        if (const auto* b = std::get_if<swf::DefineBitsLossless>(&tag.body)) id = b->id;
        c = std::move(bc);
    } else if (const auto* jt = std::get_if<swf::JPEGTables>(&tag.body)) {
        if (!jpegTables_) jpegTables_ = &jt->data;
        // DefineBits tags defined before the tables (rare) pick them up too.
        for (auto& [cid, ch] : dictionary_)
            if (ch->kind == Character::Kind::Bitmap) {
                auto* bc = static_cast<BitmapCharacter*>(ch.get());
                if (!bc->jpegTables) bc->jpegTables = jpegTables_;
            }
        return;
    } else if (const auto* sp = std::get_if<swf::DefineSprite>(&tag.body)) {
        auto spc = std::make_unique<SpriteCharacter>();
        spc->timeline = buildTimeline(sp->tags, sp->frameCount);
        id = sp->id;
        c = std::move(spc);
    } else if (const auto* f = std::get_if<swf::DefineFont>(&tag.body)) {
        auto fc = std::make_unique<FontCharacter>();
        fc->def = f;
        fc->emSquare = f->version == 3 ? 20480.0 : 1024.0;
        for (const swf::Shape& g : f->glyphs) {
            swf::Shape withStyle = g;
            // Glyphs are filled with fill style 1, whose colour the text record gives at draw time.
            if (withStyle.styles.fills.empty()) withStyle.styles.fills.resize(1);
            fc->glyphs.push_back(buildShapeGeometry(withStyle));
        }
        fc->codes = f->codeTable;
        fc->name = f->name;
        fc->bold = f->bold();
        fc->italic = f->italic();
        id = f->id;
        c = std::move(fc);
    } else if (const auto* fi = std::get_if<swf::DefineFontInfo>(&tag.body)) {
        // DefineFontInfo names a DefineFont 1 glyph set and gives the character of each glyph.
        auto it = dictionary_.find(fi->fontId);
        if (it != dictionary_.end() && it->second->kind == Character::Kind::Font) {
            auto* fc = static_cast<FontCharacter*>(it->second.get());
            if (fc->codes.empty()) fc->codes = fi->codeTable;
            if (fc->name.empty()) fc->name = fi->name;
            fc->bold = fc->bold || (fi->flags & 0x02);
            fc->italic = fc->italic || (fi->flags & 0x04);
        }
        return;
    } else if (const auto* et = std::get_if<swf::DefineEditText>(&tag.body)) {
        auto ec = std::make_unique<EditTextCharacter>();
        ec->def = et;
        id = et->id;
        c = std::move(ec);
    } else if (const auto* t = std::get_if<swf::DefineText>(&tag.body)) {
        auto tc = std::make_unique<TextCharacter>();
        tc->def = t;
        id = t->id;
        c = std::move(tc);
    } else if (const auto* b = std::get_if<swf::DefineButton>(&tag.body)) {
        auto bc = std::make_unique<ButtonCharacter>();
        bc->def = b;
        id = b->id;
        c = std::move(bc);
    } else if (const auto* bx = std::get_if<swf::DefineButtonCxform>(&tag.body)) {
        auto it = dictionary_.find(bx->buttonId);
        if (it != dictionary_.end() && it->second->kind == Character::Kind::Button)
            static_cast<ButtonCharacter*>(it->second.get())->cxform = bx->cxform;
        return;
    } else if (const auto* bs = std::get_if<swf::DefineButtonSound>(&tag.body)) {
        auto it = dictionary_.find(bs->buttonId);
        if (it != dictionary_.end() && it->second->kind == Character::Kind::Button)
            static_cast<ButtonCharacter*>(it->second.get())->sounds = bs;
        return;
    } else if (const auto* vs = std::get_if<swf::DefineVideoStream>(&tag.body)) {
        auto vc = std::make_unique<VideoCharacter>();
        vc->def = vs;
        id = vs->id;
        c = std::move(vc);
    } else if (const auto* ds = std::get_if<swf::DefineSound>(&tag.body)) {
        // Sounds share the id space with characters but are not displayed; the first definition wins.
        sounds_.emplace(ds->id, ds);
        return;
    } else if (const auto* ex = std::get_if<swf::ExportAssets>(&tag.body)) {
        for (const auto& a : ex->assets)
            exports_[lower(a.name)] = a.characterId;
        return;
    } else {
        return;
    }
    c->id = id;
    // Flash keeps the first definition of an id; later ones are ignored.
    dictionary_.emplace(id, std::move(c));
}

}  // namespace player
