#include "player/core/characters.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "player/bitmap/bitmap_decoder.h"
#include "player/media/video_decoder.h"

namespace player {

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isControlTag(const swf::TagBody& body) {
    return std::holds_alternative<swf::PlaceObject>(body) ||
           std::holds_alternative<swf::RemoveObject>(body) || std::holds_alternative<swf::DoAction>(body) ||
           std::holds_alternative<swf::DoInitAction>(body) || std::holds_alternative<swf::StartSound>(body) ||
           std::holds_alternative<swf::SetBackgroundColor>(body) ||
           std::holds_alternative<swf::SoundStreamHead>(body) ||
           std::holds_alternative<swf::SoundStreamBlock>(body);
}

}  // namespace

int Timeline::frameOfLabel(const std::string& label) const {
    auto it = labels.find(lower(label));
    return it == labels.end() ? 0 : it->second;
}

Timeline buildTimeline(const std::vector<swf::Tag>& tags, int declaredFrames) {
    Timeline t;
    t.declaredFrameCount = declaredFrames;
    t.frames.emplace_back();
    bool pending = false;  // tags after the last ShowFrame
    for (const swf::Tag& tag : tags) {
        if (std::holds_alternative<swf::ShowFrame>(tag.body)) {
            t.frames.emplace_back();
            pending = false;
            continue;
        }
        if (std::holds_alternative<swf::End>(tag.body)) break;
        if (const auto* label = std::get_if<swf::FrameLabel>(&tag.body)) {
            t.labels.emplace(lower(label->name), static_cast<int>(t.frames.size()));
            continue;
        }
        if (isControlTag(tag.body)) {
            t.frames.back().tags.push_back(&tag);
            pending = true;
        }
    }
    // The frame opened by the last ShowFrame only counts when something follows it.
    if (!pending && t.frames.size() > 1) t.frames.pop_back();
    return t;
}

// --- Morph shapes ---

namespace {

double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

// Morph colours mix in 16-bit fixed point and round down, as Flash Player's pictures show
// (a red-to-blue morph at ratio 43691 gives red 84, blue 170).
swf::RGBA lerpColor(const swf::RGBA& a, const swf::RGBA& b, double t) {
    const uint32_t r = static_cast<uint32_t>(std::clamp(t, 0.0, 1.0) * 65536.0 + 0.5);
    auto ch = [&](uint8_t x, uint8_t y) { return static_cast<uint8_t>((x * (65536u - r) + y * r) >> 16); };
    return {ch(a.r, b.r), ch(a.g, b.g), ch(a.b, b.b), ch(a.a, b.a)};
}

swf::Matrix lerpMatrix(const swf::Matrix& a, const swf::Matrix& b, double t) {
    auto v = [&](int32_t x, int32_t y) { return static_cast<int32_t>(std::lround(lerp(x, y, t))); };
    swf::Matrix m;
    m.scaleX = v(a.scaleX, b.scaleX);
    m.scaleY = v(a.scaleY, b.scaleY);
    m.rotateSkew0 = v(a.rotateSkew0, b.rotateSkew0);
    m.rotateSkew1 = v(a.rotateSkew1, b.rotateSkew1);
    m.translateX = v(a.translateX, b.translateX);
    m.translateY = v(a.translateY, b.translateY);
    return m;
}

swf::FillStyle lerpFill(const swf::FillStyle& a, const swf::FillStyle& b, double t) {
    swf::FillStyle f = a;
    f.color = lerpColor(a.color, b.color, t);
    f.matrix = lerpMatrix(a.matrix, b.matrix, t);
    size_t n = std::min(a.gradient.stops.size(), b.gradient.stops.size());
    f.gradient.stops.resize(n);
    for (size_t i = 0; i < n; ++i) {
        f.gradient.stops[i].ratio =
            static_cast<uint8_t>(std::lround(lerp(a.gradient.stops[i].ratio, b.gradient.stops[i].ratio, t)));
        f.gradient.stops[i].color = lerpColor(a.gradient.stops[i].color, b.gradient.stops[i].color, t);
    }
    f.gradient.focalPoint = lerp(a.gradient.focalPoint, b.gradient.focalPoint, t);
    return f;
}

// Absolute end points of a record list's edges, as (control, anchor) pairs; straight edges get their
// midpoint as control so that a straight edge can morph into a curve.
struct AbsEdge {
    double cx, cy, x, y;
    bool curve;
};

// The edge an edge record draws from the pen position (x, y).
AbsEdge absoluteEdge(const swf::ShapeRecord& r, double x, double y) {
    if (const auto* s = std::get_if<swf::StraightEdge>(&r))
        return {x + s->dx / 2.0, y + s->dy / 2.0, x + s->dx, y + s->dy, false};
    const auto& c = std::get<swf::CurvedEdge>(r);
    return {x + c.controlDx, y + c.controlDy, x + c.controlDx + c.anchorDx, y + c.controlDy + c.anchorDy,
            true};
}

}  // namespace

const ShapeGeometry& MorphCharacter::geometryAt(uint16_t ratio) const {
    auto it = cache_.find(ratio);
    if (it != cache_.end()) return it->second;
    if (cache_.size() >= 8) cache_.erase(cache_.begin());

    const double t = ratio / 65535.0;
    auto styles = std::make_shared<swf::StyleSet>();
    for (const auto& f : def->fills)
        styles->fills.push_back(lerpFill(f.start, f.end, t));
    for (const auto& l : def->lines) {
        swf::LineStyle s = l.start;
        s.width = static_cast<uint16_t>(std::lround(lerp(l.start.width, l.end.width, t)));
        s.color = lerpColor(l.start.color, l.end.color, t);
        if (l.start.fill && l.end.fill) s.fill = lerpFill(*l.start.fill, *l.end.fill, t);
        styles->lines.push_back(s);
    }

    // Walk both edge lists together: every edge of the start shape has its partner in the end shape, in
    // order; style changes live in the start list, the end list only moves the pen.
    swf::Shape shape;
    shape.styles = *styles;
    double sx = 0, sy = 0, ex = 0, ey = 0;  // pen positions in the start and end shapes
    int32_t outX = 0, outY = 0;             // rounded pen position of the interpolated shape
    size_t j = 0;
    const auto& end = def->endEdges;
    auto nextEndEdge = [&](AbsEdge& e) {
        while (j < end.size()) {
            const swf::ShapeRecord& r = end[j++];
            if (const auto* sc = std::get_if<swf::StyleChange>(&r)) {
                if (sc->moveX) {
                    ex = *sc->moveX;
                    ey = sc->moveY.value_or(0);
                }
                continue;
            }
            e = absoluteEdge(r, ex, ey);
            ex = e.x;
            ey = e.y;
            return true;
        }
        return false;
    };
    for (const swf::ShapeRecord& r : def->startEdges) {
        if (const auto* sc = std::get_if<swf::StyleChange>(&r)) {
            swf::StyleChange out = *sc;
            out.newStyles = nullptr;  // morph shapes have one style set
            if (sc->moveX) {
                sx = *sc->moveX;
                sy = sc->moveY.value_or(0);
                // The end shape's matching move is the next style change in its list.
                size_t k = j;
                while (k < end.size()) {
                    if (const auto* esc = std::get_if<swf::StyleChange>(&end[k])) {
                        if (esc->moveX) {
                            ex = *esc->moveX;
                            ey = esc->moveY.value_or(0);
                        }
                        ++k;
                        continue;
                    }
                    break;
                }
                j = k;
                outX = static_cast<int32_t>(std::lround(lerp(sx, ex, t)));
                outY = static_cast<int32_t>(std::lround(lerp(sy, ey, t)));
                out.moveX = outX;
                out.moveY = outY;
            }
            shape.records.push_back(out);
            continue;
        }
        AbsEdge a = absoluteEdge(r, sx, sy);
        sx = a.x;
        sy = a.y;
        AbsEdge b;
        if (!nextEndEdge(b)) b = a;  // a broken morph: hold the start shape's edge
        int32_t x = static_cast<int32_t>(std::lround(lerp(a.x, b.x, t)));
        int32_t y = static_cast<int32_t>(std::lround(lerp(a.y, b.y, t)));
        if (!a.curve && !b.curve) {
            shape.records.push_back(swf::StraightEdge{x - outX, y - outY});
        } else {
            int32_t cx = static_cast<int32_t>(std::lround(lerp(a.cx, b.cx, t)));
            int32_t cy = static_cast<int32_t>(std::lround(lerp(a.cy, b.cy, t)));
            shape.records.push_back(swf::CurvedEdge{cx - outX, cy - outY, x - cx, y - cy});
        }
        outX = x;
        outY = y;
    }
    return cache_.emplace(ratio, buildShapeGeometry(shape)).first->second;
}

// --- Bitmaps ---

BitmapPtr BitmapCharacter::bitmap(std::string* error) const {
    if (tried_) return decoded_;
    tried_ = true;
    BitmapResult r = swf::makeError("not a bitmap tag");
    if (const auto* b = std::get_if<swf::DefineBits>(&tag->body)) {
        swf::Bytes none;
        r = decodeDefineBits(b->jpegData, jpegTables ? *jpegTables : none);
    } else if (const auto* j = std::get_if<swf::DefineBitsJPEG>(&tag->body)) {
        r = decodeDefineBitsJpeg(j->imageData, j->alphaData);
    } else if (const auto* l = std::get_if<swf::DefineBitsLossless>(&tag->body)) {
        LosslessFields f;
        f.version = l->version;
        f.format = l->format;
        f.width = l->width;
        f.height = l->height;
        f.colorTableEntries = l->colorTableSize;
        f.zlibData = l->zlibData;
        r = decodeLossless(f);
    }
    if (r.ok()) {
        decoded_ = std::make_shared<Bitmap>(std::move(r).value());
    } else if (error) {
        *error = r.error().describe();
    }
    return decoded_;
}

VideoCharacter::VideoCharacter() : Character(Kind::Video) {}
VideoCharacter::~VideoCharacter() = default;

BitmapPtr VideoCharacter::frameAt(uint16_t frame, std::string* error) const {
    if (!def || failed_ || frames.empty()) return nullptr;
    auto target = frames.upper_bound(frame);
    if (target == frames.begin()) return nullptr;  // before the first frame the stream holds
    --target;
    const int want = target->first;
    if (want == decoded_ && picture_) return picture_;
    if (!decoder_) {
        decoder_ = media::VideoDecoder::create(def->codec, def->deblocking, error);
        if (!decoder_) {
            failed_ = true;
            return nullptr;
        }
    }
    // Continue from the picture shown when going forward; otherwise start at the nearest key frame.
    auto from = frames.end();
    if (decoded_ >= 0 && want > decoded_) from = frames.upper_bound(uint16_t(decoded_));
    if (from == frames.end() || from->first > want) {
        from = target;
        while (from != frames.begin() &&
               !media::isVideoKeyFrame(def->codec, from->second->data(), from->second->size()))
            --from;
        decoder_->reset();
    }
    // The picture is decoded in place unless a caller still holds the one shown before.
    std::shared_ptr<Bitmap> picture = picture_;
    if (!picture || picture.use_count() > 2)
        picture = picture_ ? std::make_shared<Bitmap>(*picture_) : std::make_shared<Bitmap>();
    for (auto it = from;; ++it) {
        std::string why;
        if (!decoder_->decode(it->second->data(), it->second->size(), *picture, &why) && error &&
            error->empty())
            *error = "video " + std::to_string(id) + " frame " + std::to_string(it->first) + ": " + why;
        if (it == target) break;
    }
    decoded_ = want;
    ++picture->revision;
    if (picture->width <= 0) return nullptr;
    picture_ = std::move(picture);
    return picture_;
}

}  // namespace player
