// GIF's variable-length-code LZW (GIF89a, "Table Based Image Data"): codes of up to 12 bits packed least
// significant bit first into data sub-blocks. Plain C++; the encoder keeps its dictionary and code buffer
// between frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gif {

class LzwEncoder {
  public:
    // The encoder starts over (clear code) when it adds code 4094, before the 12-bit table can fill.
    static constexpr uint32_t kResetCode = 4094;

    // Appends to `out` the whole table-based image data of `count` pixels taken in the given order: the
    // minimum code size byte, the codes in sub-blocks of at most 255 bytes, and the zero block terminator.
    // Every pixel must be below 2^minCodeSize; minCodeSize is 2..8. Codes written:
    //  - a clear code first, then a code per string as the dictionary grows (width minimum + 1 at first);
    //  - after adding code c, the width grows when c >= 2^width; otherwise, when c reaches kResetCode, the
    //    pixel that started the new string is written alone, then a clear code, and the dictionary and width
    //    start again;
    //  - at the end the pending string (if any: a reset on the last pixel leaves none) and the
    //    end-of-information code.
    void Encode(const uint8_t* pixels, size_t count, int minCodeSize, std::vector<uint8_t>& out);

  private:
    void ResetDictionary();
    void Put(uint32_t code);

    std::vector<uint32_t> slots_;  // (prefix code << 8 | pixel) << 12 | code; all ones = empty
    std::vector<uint8_t> bytes_;   // packed codes before sub-blocking
    uint64_t bits_ = 0;
    int bitCount_ = 0;
    int width_ = 0;
};

}  // namespace gif
