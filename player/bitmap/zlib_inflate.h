// Bounded zlib inflation for the bitmap tags' compressed pixel data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace player {

struct InflateResult {
    std::string error;         // empty on success
    size_t produced = 0;       // bytes written to the output
    bool streamEnded = false;  // the zlib stream ended properly (possibly before `need` bytes)
    bool ok() const { return error.empty(); }
};

// Inflates the zlib stream `in` into out[0..need). Stops as soon as `need` bytes are produced: anything the
// stream would inflate beyond that is never produced (a stream that inflates to more than the bitmap needs
// is cut, and a compression bomb costs no memory). Fails on corrupt data, and on a stream that ends (or is
// truncated) before `need` bytes.
// False when `inSize` bytes of zlib data cannot possibly inflate to `need` bytes (deflate expands at most
// 1032:1). Checked before allocating the output, so a hostile size field with a few bytes of data costs
// no memory.
inline bool zlibCanInflateTo(size_t inSize, size_t need) {
    return need / 1032 <= inSize;
}

InflateResult inflateExactly(std::span<const uint8_t> in, uint8_t* out, size_t need);

}  // namespace player
