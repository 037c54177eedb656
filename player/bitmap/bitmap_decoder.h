// Bitmap decoding for the player: turns the bodies of the SWF bitmap tags (DefineBits, JPEGTables,
// DefineBitsJPEG2/3/4, DefineBitsLossless/Lossless2) into premultiplied ARGB32 bitmaps.
//
// Owns: nothing beyond each call. Every function is pure (bytes in, bitmap or error out), keeps no state
// and may be called from any thread, several at once.
// Never: reads files, throws, lets a libjpeg/libpng error unwind through C code, prints to the console, or
// allocates more than the limits below allow. The input is untrusted movie data; any malformed, truncated
// or oversized input gives an error result, never a crash.
//
// Uses the parser's Result type but none of its tag types: callers pass the tag code and the tag body after
// the character id, or the tag's fields one by one.
//
// What Flash does with damaged bitmaps, and so what these decoders do:
// - Zlib pixel data (lossless tags, the JPEG3/4 alpha plane) that inflates to fewer bytes than the bitmap
//   needs, or is corrupt, is an error: Flash shows nothing for a broken bitmap. Data that inflates to more
//   is cut at what is needed. The last row's padding may be missing.
// - JPEG scan data that stops early still gives the whole bitmap (libjpeg fills the rest), as Flash shows
//   what arrived; a JPEG whose headers are broken is an error. A missing final EOI is supplied.
// - Colours stored premultiplied (Lossless2 pixels and colour tables, JPEG-with-alpha) are clamped to their
//   alpha so every pixel is a valid premultiplied value the compositor can add without overflow.
// - Indices past a colour table (lossless format 3, GIF) show as transparent.
#pragma once

#include <cstdint>
#include <span>

#include "player/bitmap/bitmap_result.h"

namespace player {

using ByteSpan = std::span<const uint8_t>;

// SWF tag codes of the bitmap tags.
enum class BitmapTagCode : uint16_t {
    DefineBits = 6,
    JPEGTables = 8,
    DefineBitsLossless = 20,
    DefineBitsJPEG2 = 21,
    DefineBitsJPEG3 = 35,
    DefineBitsLossless2 = 36,
    DefineBitsJPEG4 = 90,
};

// Size limits applied before any pixel memory is allocated. The defaults allow 8192 pixels a side and
// 64 Mi pixels in all (256 MiB of pixels): larger than any bitmap Flash Player itself accepts, small enough
// that a hostile size field cannot exhaust memory. Fuzzers pass smaller ones.
struct BitmapLimits {
    int maxSide = 8192;
    int64_t maxPixels = int64_t(64) << 20;
    int maxJpegScans = 256;  // progressive JPEG scans; thousands of tiny scans are a known CPU-time attack
};

// True when tagCode is one of the bitmap-defining tags decodeBitmapTag understands.
bool isBitmapTag(uint16_t tagCode);

// Decodes a bitmap tag. body is the tag body after the 16-bit character id. jpegTables is the body of the
// movie's JPEGTables tag (empty if the movie has none); only DefineBits uses it.
BitmapResult decodeBitmapTag(uint16_t tagCode, ByteSpan body, ByteSpan jpegTables = {},
                             const BitmapLimits& limits = {});

// --- The same decoders with the tag fields given one by one ---

// DefineBits: abbreviated JPEG data decoded with the movie's JPEGTables in front of it.
BitmapResult decodeDefineBits(ByteSpan jpegData, ByteSpan jpegTables, const BitmapLimits& limits = {});

// DefineBitsJPEG2/3/4: imageData is JPEG (with its own tables), PNG or GIF, told apart by signature.
// alphaZlib is the zlib-compressed alpha plane of DefineBitsJPEG3/4 (one byte per pixel); it applies to
// JPEG data only and is ignored for PNG and GIF. Empty alphaZlib means an opaque JPEG.
// The JPEG colours of a JPEG-with-alpha bitmap are taken as already premultiplied (the Flash authoring tool
// premultiplies before encoding); each channel is clamped to the pixel's alpha, as Flash Player does.
// The DefineBitsJPEG4 deblocking filter parameter has no argument here: the filter is not applied.
BitmapResult decodeDefineBitsJpeg(ByteSpan imageData, ByteSpan alphaZlib = {},
                                  const BitmapLimits& limits = {});

// DefineBitsLossless (version 1) and DefineBitsLossless2 (version 2).
struct LosslessFields {
    int version = 1;            // 1: DefineBitsLossless, 2: DefineBitsLossless2
    uint8_t format = 0;         // 3: colour-mapped 8 bit, 4: 15-bit RGB, 5: 32-bit
    int width = 0;              // BitmapWidth
    int height = 0;             // BitmapHeight
    int colorTableEntries = 0;  // format 3: number of colours, 1..256 (the stored BitmapColorTableSize + 1)
    ByteSpan zlibData;          // ZlibBitmapData
};
BitmapResult decodeLossless(const LosslessFields& fields, const BitmapLimits& limits = {});

}  // namespace player
