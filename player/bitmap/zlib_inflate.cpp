#include "player/bitmap/zlib_inflate.h"

#include <zlib.h>

#include <algorithm>

namespace player {

InflateResult inflateExactly(std::span<const uint8_t> in, uint8_t* out, size_t need) {
    InflateResult r;
    if (need == 0) return r;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        r.error = "zlib initialisation failed";
        return r;
    }
    size_t inPos = 0, outPos = 0;
    // zlib counts in uInt; feed and drain in pieces so sizes over 4 GiB cannot wrap.
    constexpr size_t kChunk = size_t(1) << 30;
    while (outPos < need) {
        if (zs.avail_in == 0 && inPos < in.size()) {
            const size_t n = std::min(kChunk, in.size() - inPos);
            zs.next_in = const_cast<Bytef*>(in.data() + inPos);
            zs.avail_in = uInt(n);
            inPos += n;
        }
        const size_t room = std::min(kChunk, need - outPos);
        zs.next_out = out + outPos;
        zs.avail_out = uInt(room);
        const int rc = inflate(&zs, Z_NO_FLUSH);
        outPos += room - zs.avail_out;
        if (rc == Z_STREAM_END) {
            r.streamEnded = true;
            if (outPos < need) {
                r.error = "zlib data inflates to " + std::to_string(outPos) + " bytes, " +
                          std::to_string(need) + " needed";
            }
            break;
        }
        if (rc == Z_BUF_ERROR && zs.avail_in == 0 && inPos >= in.size()) {
            r.error = "zlib data truncated after " + std::to_string(outPos) + " of " + std::to_string(need) +
                      " bytes";
            break;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            r.error =
                "corrupt zlib data (" + (zs.msg ? std::string(zs.msg) : "error " + std::to_string(rc)) + ")";
            break;
        }
    }
    inflateEnd(&zs);
    r.produced = outPos;
    return r;
}

}  // namespace player
