// Character definitions of one loaded movie: what its dictionary holds under each character id, in the
// form the display list and the renderer use (shapes already turned into paths, bitmaps decoded on first
// use, sprites as timelines of control tags).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/core/shape_geometry.h"
#include "player/render/geometry.h"
#include "swf/tags.h"

namespace player::media {
class VideoDecoder;
}
namespace player::text {
class Font;
}

namespace player {

// One frame of a timeline: the control tags that run when the frame is reached, in file order.
struct Frame {
    std::vector<const swf::Tag*> tags;
};

struct Timeline {
    std::vector<Frame> frames;          // frames.size() >= 1
    std::map<std::string, int> labels;  // lower-cased label -> 1-based frame
    int declaredFrameCount = 0;         // as the header or DefineSprite states it

    // The declared frame count rules, as in Flash Player: frames past the last ShowFrame are empty, and
    // frames past the declared count are never reached.
    int frameCount() const {
        return declaredFrameCount > 0 ? declaredFrameCount : static_cast<int>(frames.size());
    }
    // Control tags of a 1-based frame (empty past the tags the file holds).
    const std::vector<const swf::Tag*>& tagsOf(int frame) const {
        static const std::vector<const swf::Tag*> none;
        return frame >= 1 && frame <= static_cast<int>(frames.size()) ? frames[size_t(frame - 1)].tags : none;
    }
    // 1-based frame of a label (case-insensitive, as SWF labels are matched), or 0.
    int frameOfLabel(const std::string& label) const;
};

// Builds a timeline from a tag list: frames end at ShowFrame; definition tags are not part of it.
Timeline buildTimeline(const std::vector<swf::Tag>& tags, int declaredFrames);

struct Character {
    enum class Kind { Shape, MorphShape, Bitmap, Sprite, Font, Text, EditText, Button, Video };
    explicit Character(Kind k) : kind(k) {}
    virtual ~Character() = default;
    const Kind kind;
    uint16_t id = 0;
    // DefineScalingGrid (sprites and buttons): the centre rectangle of 9-slice scaling, in twips.
    std::optional<swf::Rect> scalingGrid;
};

struct ShapeCharacter : Character {
    ShapeCharacter() : Character(Kind::Shape) {}
    swf::Rect bounds;
    ShapeGeometry geometry;
};

struct MorphCharacter : Character {
    MorphCharacter() : Character(Kind::MorphShape) {}
    const swf::DefineMorphShape* def = nullptr;
    // The geometry at one ratio (0..65535), built on demand; the last few ratios are kept.
    const ShapeGeometry& geometryAt(uint16_t ratio) const;

  private:
    mutable std::map<uint16_t, ShapeGeometry> cache_;
};

struct BitmapCharacter : Character {
    BitmapCharacter() : Character(Kind::Bitmap) {}
    const swf::Tag* tag = nullptr;
    const swf::Bytes* jpegTables = nullptr;
    // Decoded on first use; a bitmap that fails to decode stays null (and is drawn as nothing).
    BitmapPtr bitmap(std::string* error) const;

  private:
    mutable BitmapPtr decoded_;
    mutable bool tried_ = false;
};

struct SpriteCharacter : Character {
    SpriteCharacter() : Character(Kind::Sprite) {}
    Timeline timeline;
};

struct FontCharacter : Character {
    FontCharacter() : Character(Kind::Font) {}
    const swf::DefineFont* def = nullptr;
    std::vector<ShapeGeometry> glyphs;  // glyph outlines, filled with style 1
    double emSquare = 1024;             // glyph units per em (20480 for DefineFont3)
    // The character each glyph draws (DefineFont2/3's code table, or DefineFontInfo's for DefineFont 1),
    // the font's name and style (DefineFontInfo overrides what DefineFont 1 lacks).
    std::vector<uint16_t> codes;
    std::string name;
    bool bold = false, italic = false;
    // The glyph set as text fields lay it out, made on first use.
    const text::Font& layoutFont() const;

  private:
    mutable std::shared_ptr<const text::Font> layoutFont_;
};

struct TextCharacter : Character {
    TextCharacter() : Character(Kind::Text) {}
    const swf::DefineText* def = nullptr;
};

// A text field as the movie defines it; EditText (edit_text.h) is its placed, living form.
struct EditTextCharacter : Character {
    EditTextCharacter() : Character(Kind::EditText) {}
    const swf::DefineEditText* def = nullptr;
};

// An embedded video stream: its frames (VideoFrame tags, by frame number) and the decoder that turns them
// into pictures. A placement shows the frame its ratio names; frames are decoded in order from the nearest
// key frame, so a jump back or far ahead costs the frames in between, and a step forward costs one frame.
struct VideoCharacter : Character {
    VideoCharacter();
    ~VideoCharacter() override;
    const swf::DefineVideoStream* def = nullptr;
    std::map<uint16_t, const swf::Bytes*> frames;
    // The picture of frame `frame` (the last frame at or before it that the stream holds), or null with
    // *error set once when it cannot be decoded.
    BitmapPtr frameAt(uint16_t frame, std::string* error) const;

  private:
    mutable std::unique_ptr<media::VideoDecoder> decoder_;
    mutable bool failed_ = false;
    mutable int decoded_ = -1;  // frame number the picture shows; -1 none
    mutable std::shared_ptr<Bitmap> picture_;
};

struct ButtonCharacter : Character {
    ButtonCharacter() : Character(Kind::Button) {}
    const swf::DefineButton* def = nullptr;
    std::optional<swf::CXForm> cxform;               // DefineButtonCxform
    const swf::DefineButtonSound* sounds = nullptr;  // the sounds of its state changes
};

}  // namespace player
