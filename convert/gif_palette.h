// Popularity colour reduction for the GIF writer: a full-colour picture becomes 256 palette entries and one
// palette index per pixel. Plain C++; the reducer keeps its work tables between pictures so a run of frames
// allocates nothing per pixel and little per frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace gif {

// What a reduction chose, beside the indices it wrote.
struct PopularityPalette {
    std::array<uint8_t, 768> rgb{};  // 256 entries as R, G, B triples, in index order
    int keyCount = 0;                // distinct masked colours counted in the final pass
    uint8_t redMask = 0xFF;          // low bits dropped from each channel to stay within 2049 keys
    uint8_t greenMask = 0xFF;
    uint8_t blueMask = 0xFF;
};

class PopularityReducer {
  public:
    // At most this many distinct keys are counted; one more and a low bit is dropped from a channel mask.
    static constexpr int kMaxKeys = 2049;

    // `rgb` holds width * height pixels as R, G, B bytes, top row first, rows packed. Writes one palette
    // index per pixel to `indices` (top row first) and returns the palette:
    //  - keys (the pixel's colour with each channel ANDed with its mask) are counted scanning from the bottom
    //    row up, each row left to right; a key's place in the table is the order in which it is first met;
    //  - while a pass meets more than kMaxKeys keys, one low bit is dropped (blue, red, green, blue, ...) and
    //    the count starts again;
    //  - the 256 most frequent keys (the first met among equal counts) take indices 0..255 with their masked
    //    colour; spare entries are grey (128, 128, 128);
    //  - every other key takes the entry at the smallest squared RGB distance, the lowest index on a tie.
    PopularityPalette Reduce(const uint8_t* rgb, int width, int height, uint8_t* indices);

  private:
    bool Count(const uint8_t* rgb, int width, int height, uint32_t mask);

    std::vector<uint16_t> slots_;     // open-addressing hash over keys_, 0xFFFF = empty
    std::vector<uint32_t> keys_;      // masked colour 0x00BBGGRR per table entry, in first-met order
    std::vector<uint32_t> counts_;    // pixels per table entry
    std::vector<uint16_t> order_;     // table entries by falling count
    std::vector<uint8_t> paletteOf_;  // palette index per table entry
    std::vector<uint16_t> entryOf_;   // table entry per pixel, top row first
    int used_ = 0;
};

}  // namespace gif
