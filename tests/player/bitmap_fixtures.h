// Encoders that build the bitmap decoders' test inputs in memory: JPEG through libjpeg (whole, or split
// into JPEGTables and abbreviated image data as SWF DefineBits stores it), PNG through libpng, GIF through
// a small LZW encoder written here, and zlib streams.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "player/render/geometry.h"

namespace bitmaptest {

using Bytes = std::vector<uint8_t>;

Bytes zlib(const Bytes& raw);

// rgb: width * height * 3 bytes, rows top to bottom. Quality 100, no chroma subsampling.
Bytes encodeJpeg(int width, int height, const Bytes& rgb, bool progressive = false);
// JPEGTables body (SOI, DQT, DHT, EOI) and an abbreviated image (SOI, SOF, SOS, data, EOI) without tables.
void encodeJpegSplit(int width, int height, const Bytes& rgb, Bytes& tables, Bytes& image);

// samples: rows of packed samples exactly as libpng takes them for (colorType, bitDepth).
struct PngImage {
    int width = 0, height = 0;
    int colorType = 0;  // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    Bytes palette;  // RGB triples (palette images)
    Bytes trns;     // tRNS entries (palette images)
};
inline PngImage pngImage(int width, int height, int colorType, int bitDepth, bool interlaced = false) {
    PngImage p;
    p.width = width, p.height = height, p.colorType = colorType, p.bitDepth = bitDepth,
    p.interlaced = interlaced;
    return p;
}
Bytes encodePng(const PngImage& image, const Bytes& samples);

struct GifImage {
    int screenWidth = 0, screenHeight = 0;
    Bytes globalTable;  // RGB triples, count a power of two (or empty)
    Bytes localTable;
    int left = 0, top = 0, width = 0, height = 0;
    int transparentIndex = -1;  // written in a Graphic Control Extension when >= 0
    bool interlaced = false;
    int minCodeSize = 2;
    bool deferredClear = false;  // when the code table fills, keep going without a clear code
};
inline GifImage gifImage(int screenWidth, int screenHeight, Bytes globalTable, Bytes localTable, int left,
                         int top, int width, int height) {
    GifImage g;
    g.screenWidth = screenWidth, g.screenHeight = screenHeight;
    g.globalTable = std::move(globalTable), g.localTable = std::move(localTable);
    g.left = left, g.top = top, g.width = width, g.height = height;
    return g;
}
// indices: width * height colour indices in display row order (the encoder interlaces them if asked).
Bytes encodeGif(const GifImage& image, const Bytes& indices);
// Just the LZW code stream of indices, packed into data sub-blocks and terminated.
Bytes lzwSubBlocks(const Bytes& indices, int minCodeSize, bool deferredClear);

// Unpacks a premultiplied pixel.
struct Argb {
    int a, r, g, b;
};
inline Argb unpack(player::Pixel p) {
    return {int(p >> 24), int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255)};
}

}  // namespace bitmaptest
