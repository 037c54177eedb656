// Readers for the records the tags share (RECT, MATRIX, CXFORM, colours, styles, shape records).
// Internal to swf/: the public result is the plain data in types.h.
#pragma once

#include <cstdint>

#include "swf/bit_reader.h"
#include "swf/types.h"

namespace swf::detail {

// Movie-wide allowance of memory for parsed records (tags, shape records, styles, glyphs, text glyphs,
// action records), charged at each record's size: it keeps a hostile movie from turning its bytes into many
// times their size in memory (a 2-byte ShowFrame becomes a Tag of a few hundred bytes).
struct ParseContext {
    uint8_t swfVersion = 0;
    uint64_t bytesLeft = 0;

    // Takes n records of itemBytes each; on exhaustion marks the reader failed and returns false.
    bool spend(BitReader& r, uint64_t n, size_t itemBytes) {
        if (n > bytesLeft / itemBytes) {
            bytesLeft = 0;
            r.fail("movie holds more records than the parser accepts");
            return false;
        }
        bytesLeft -= n * itemBytes;
        return true;
    }
    template <typename T>
    bool spendFor(BitReader& r, uint64_t n) {
        return spend(r, n, sizeof(T));
    }
};

Rect readRect(BitReader& r);
Matrix readMatrix(BitReader& r);
CXForm readCXForm(BitReader& r, bool withAlpha);
RGBA readRGB(BitReader& r);
RGBA readRGBA(BitReader& r);

// shapeVersion is the DefineShape number (1..4): it decides RGB vs RGBA and the extended counts.
FillStyle readFillStyle(BitReader& r, int shapeVersion);
LineStyle readLineStyle(BitReader& r, int shapeVersion);
// The LINESTYLE2 flag fields (caps, join, scale flags, miter limit) into `l`; returns whether a fill follows.
bool readLineStyle2Flags(BitReader& r, LineStyle& l);
StyleSet readStyles(BitReader& r, int shapeVersion, ParseContext& ctx);
// Style count: a byte, or 0xFF followed by a 16-bit count from DefineShape2 on.
uint32_t readStyleCount(BitReader& r, int shapeVersion);
// Shape records up to and including the end record, starting with the given index widths.
std::vector<ShapeRecord> readShapeRecords(BitReader& r, int shapeVersion, ParseContext& ctx);
// SHAPEWITHSTYLE.
Shape readShapeWithStyle(BitReader& r, int shapeVersion, ParseContext& ctx);
// SHAPE (glyphs, morph edges): no styles, just index widths and records.
Shape readShapeNoStyles(BitReader& r, int shapeVersion, ParseContext& ctx);

}  // namespace swf::detail
