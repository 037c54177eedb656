// The image-file decoders behind the bitmap tags: JPEG (libjpeg), PNG (libpng) and GIF (our own).
// Same contract as bitmap_decoder.h: pure functions, any thread, errors as results, bounded memory.
#pragma once

#include <cstdint>
#include <span>

#include "player/bitmap/bitmap_decoder.h"

namespace player {

enum class ImageFormat { Jpeg, Png, Gif, Unknown };

// Tells the format from the leading signature bytes. JPEG data that starts with the erroneous
// FF D9 FF D8 header of old SWF files counts as JPEG.
ImageFormat sniffImageFormat(ByteSpan data);

// A JPEG stream (tables included); the SWF marker quirks are repaired first (see jpeg_stream.h).
// The result is opaque.
BitmapResult decodeJpeg(ByteSpan data, const BitmapLimits& limits);
// The same with a separate tables stream (JPEGTables) in front of abbreviated data (DefineBits).
BitmapResult decodeJpegWithTables(ByteSpan tables, ByteSpan data, const BitmapLimits& limits);

// A PNG file of any colour type and depth. PNG alpha is straight; the result is premultiplied.
BitmapResult decodePng(ByteSpan data, const BitmapLimits& limits);

// The first image of a GIF87a/GIF89a file, placed on its logical screen (transparent where the image does
// not cover it), with the transparent index of its Graphic Control Extension.
BitmapResult decodeGif(ByteSpan data, const BitmapLimits& limits);

// Checks width and height against the limits; returns an empty string when they fit, else the reason.
std::string checkBitmapSize(int64_t width, int64_t height, const BitmapLimits& limits);

}  // namespace player
