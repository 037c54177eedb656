// Result of the bitmap decoders: the parser's value-or-error type carrying a Bitmap. A failed decode has a
// message with enough context (tag name, format, byte counts) to log; the bitmap is then not shown, as
// Flash shows nothing for a broken bitmap.
#pragma once

#include <string>
#include <utility>

#include "player/render/geometry.h"
#include "swf/result.h"

namespace player {

using BitmapResult = swf::Result<Bitmap>;

// tagCode is the SWF tag the error belongs to, when known; the byte offset is the caller's to add.
inline swf::Error bitmapError(std::string message, int tagCode = -1) {
    return swf::makeError(std::move(message), tagCode);
}

}  // namespace player
