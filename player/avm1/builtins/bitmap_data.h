// flash.display.BitmapData as the other built-ins see it: the filters take one as a displacement map, the
// movie clip methods attach one or fill with one. The pixels are shared with whatever displays them.
#pragma once

#include <memory>

#include "player/avm1/object.h"
#include "player/core/live_bitmap.h"

namespace player::avm1 {

class BitmapDataObject : public Object {
  public:
    explicit BitmapDataObject(Object* proto) : Object(proto) {}
    // Null until the constructor made the pixels, and again after dispose().
    std::shared_ptr<LiveBitmap> bitmap;
};

// The pixels of a BitmapData that has not been disposed, or null.
std::shared_ptr<LiveBitmap> liveBitmapOf(const Value& v);

// A new BitmapData object showing `pixels`.
Value newBitmapData(Vm& vm, std::shared_ptr<LiveBitmap> pixels);

}  // namespace player::avm1
