// The display list: what is on the stage now. Every placed character becomes a DisplayObject at a depth of
// its parent clip; sprites (MovieClip) own their children and their own timeline position.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "player/core/characters.h"
#include "player/core/live_bitmap.h"
#include "player/filters/filter.h"
#include "player/render/geometry.h"
#include "swf/tags.h"

namespace player {

class MovieDef;
namespace avm1 {
class Object;
}

// What the timeline last placed at one depth. `serial` identifies the placement: a display object survives a
// timeline jump only when the jump arrives at the same placement (Flash keeps such objects, with their
// state).
struct Placement {
    uint16_t characterId = 0;
    uint64_t serial = 0;
    Matrix matrix;
    ColorTransform cxform;
    uint16_t ratio = 0;
    std::string name;
    uint16_t clipDepth = 0;
    bool visible = true;
    std::optional<uint8_t> blendMode;
    filters::FilterList filters;
    bool cacheAsBitmap = false;
    std::optional<Rgba> opaqueBackground;
    const swf::ClipActions* clipActions = nullptr;  // onClipEvent handlers of the placement
};

class DisplayObject {
  public:
    DisplayObject(const MovieDef* movie, const Character* character) : movie_(movie), character_(character) {}
    static uint64_t nextBirth() {
        static std::atomic<uint64_t> births{0};
        return ++births;
    }
    virtual ~DisplayObject() {
        if (counter_) --*counter_;
        if (token_) *token_ = nullptr;
    }
    // A token that reads null once this object is gone (for those that must notice a removal).
    std::weak_ptr<DisplayObject*> token() {
        if (!token_) token_ = std::make_shared<DisplayObject*>(this);
        return token_;
    }
    DisplayObject(const DisplayObject&) = delete;
    DisplayObject& operator=(const DisplayObject&) = delete;
    // Counts this object in `counter` for as long as it lives (the stage's bound on objects).
    void track(size_t* counter) {
        counter_ = counter;
        ++*counter_;
    }

    const Character* character() const { return character_; }
    const MovieDef* movie() const { return movie_; }
    virtual class MovieClip* asClip() { return nullptr; }
    virtual const class BitmapObject* asBitmap() const { return nullptr; }
    void setCharacter(const Character* c) { character_ = c; }

    uint64_t serial = 0;
    // Creation order: timelines move on newest object first, as Flash Player's list of running clips does.
    const uint64_t born = nextBirth();
    int depth = 0;
    Matrix matrix;
    ColorTransform cxform;
    uint16_t ratio = 0;
    std::string name;
    uint16_t clipDepth = 0;
    bool visible = true;
    // Effects that make the renderer draw the object through an offscreen layer.
    filters::FilterList filters;
    uint8_t blendMode = 0;  // SWF BlendMode byte: 0 and 1 normal
    bool cacheAsBitmap = false;
    std::optional<Rgba> opaqueBackground;
    // 9-slice scaling: a grid set by script (twips) replaces the symbol's; a script may also turn it off.
    std::optional<swf::Rect> scriptScalingGrid;
    bool scalingGridCleared = false;
    std::optional<swf::Rect> scalingGrid() const {
        if (scriptScalingGrid) return scriptScalingGrid;
        if (scalingGridCleared || !character_) return std::nullopt;
        return character_->scalingGrid;
    }

    // The clip (or button) this object is a child of; null for the root of a level.
    DisplayObject* parent = nullptr;
    // The script object standing for this object, once a script has seen it (owned by the script heap).
    avm1::Object* scriptObject = nullptr;
    // A script moved, scaled or recoloured the object: the timeline no longer sets its transform.
    bool scriptTransformed = false;
    // Made by a script (attachMovie, duplicateMovieClip, createEmptyMovieClip): the timeline never
    // removes it.
    bool scriptCreated = false;
    const swf::ClipActions* clipActions = nullptr;
    // setMask: the object whose shape masks this one (wherever it is on the stage), and on the mask's
    // side the object it masks; a mask in use is not drawn itself.
    std::weak_ptr<DisplayObject*> scriptMask;
    std::weak_ptr<DisplayObject*> maskee;
    DisplayObject* maskedBy() const {
        auto p = scriptMask.lock();
        return p ? *p : nullptr;
    }
    bool masksSomething() const {
        auto p = maskee.lock();
        return p && *p;
    }

  protected:
    const MovieDef* movie_;
    const Character* character_;
    size_t* counter_ = nullptr;
    std::shared_ptr<DisplayObject*> token_;
};

// A bitmap a script attached (attachBitmap): draws the pixels of a BitmapData as they are at the time,
// one pixel to 20 twips.
class BitmapObject : public DisplayObject {
  public:
    BitmapObject(const MovieDef* movie, std::shared_ptr<LiveBitmap> pixels, bool smoothing)
        : DisplayObject(movie, nullptr), pixels(std::move(pixels)), smoothing(smoothing) {}
    const BitmapObject* asBitmap() const override { return this; }
    std::shared_ptr<LiveBitmap> pixels;
    bool smoothing = false;
};

class MovieClip;
using DisplayList = std::map<int, std::unique_ptr<DisplayObject>>;

}  // namespace player
