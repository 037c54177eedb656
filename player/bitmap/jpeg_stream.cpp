#include "player/bitmap/jpeg_stream.h"

#include <algorithm>

namespace player {

namespace {

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA;

// SOF0..SOF15, less DHT (C4), JPG (C8) and DAC (CC), which share the range.
bool isFrameMarker(uint8_t m) {
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// Markers without a length field (ITU T.81 Table B.1): TEM and RST0..RST7 (SOI and EOI handled apart).
bool isStandalone(uint8_t m) {
    return m == 0x01 || (m >= 0xD0 && m <= 0xD7);
}

}  // namespace

JpegStream normalizeJpegStream(std::span<const uint8_t> tables, std::span<const uint8_t> data) {
    std::vector<uint8_t> in;
    in.reserve(tables.size() + data.size());
    in.insert(in.end(), tables.begin(), tables.end());
    in.insert(in.end(), data.begin(), data.end());

    JpegStream r;
    auto& out = r.bytes;
    out.reserve(in.size() + 2);
    const size_t n = in.size();
    size_t p = 0;
    bool seenSoi = false, seenFrame = false, ended = false;

    while (p < n) {
        if (in[p] != 0xFF) {
            if (!seenSoi) {
                r.error = "not JPEG data (no SOI marker at byte " + std::to_string(p) + ")";
                return r;
            }
            // Stray byte between segments: libjpeg skips these itself (with a warning).
            out.push_back(in[p++]);
            continue;
        }
        size_t q = p;
        while (q + 1 < n && in[q + 1] == 0xFF)
            ++q;  // fill bytes before a marker
        if (q + 1 >= n) break;
        const uint8_t m = in[q + 1];
        p = q + 2;

        if (m == kSoi) {
            // The first SOI opens the stream; the extra ones Flash tolerates before the frame header are
            // dropped. One after the frame header is left for libjpeg to judge.
            if (!seenSoi || seenFrame) out.insert(out.end(), {0xFF, kSoi});
            seenSoi = true;
            continue;
        }
        if (m == kEoi) {
            // Before the frame header an EOI closes JPEGTables or is the erroneous pre-SWF 8 header: drop it.
            if (!seenFrame) continue;
            out.insert(out.end(), {0xFF, kEoi});
            ended = true;
            break;  // libjpeg reads nothing past the image's EOI
        }
        if (!seenSoi) {
            r.error = "not JPEG data (marker " + std::to_string(m) + " before SOI)";
            return r;
        }
        out.insert(out.end(), {0xFF, m});
        if (isStandalone(m)) continue;

        // Marker segment: a 16-bit length that counts itself. Copy it whole, whatever it contains.
        if (p + 2 > n) {
            out.insert(out.end(), in.begin() + p, in.end());
            p = n;
            break;
        }
        const size_t len = (size_t(in[p]) << 8) | in[p + 1];
        const size_t end = len < 2 ? n : std::min(p + len, n);  // a bad length is libjpeg's to report
        out.insert(out.end(), in.begin() + p, in.begin() + end);
        p = end;
        if (isFrameMarker(m)) seenFrame = true;
        if (m != kSos) continue;

        // Entropy-coded data follows a scan header, up to the next marker other than a stuffed zero byte
        // (FF 00) or a restart marker.
        ++r.scans;
        size_t i = p;
        while (i < n) {
            if (in[i] == 0xFF && i + 1 < n) {
                const uint8_t x = in[i + 1];
                if (x == 0x00 || (x >= 0xD0 && x <= 0xD7)) {
                    i += 2;
                    continue;
                }
                if (x != 0xFF) break;
            }
            ++i;
        }
        out.insert(out.end(), in.begin() + p, in.begin() + i);
        p = i;
    }

    if (!seenSoi) {
        r.error = "not JPEG data (no SOI marker)";
        return r;
    }
    // Flash shows JPEG data whose final EOI is missing (some optimisers strip it); so does libjpeg once the
    // marker is there, without warning about a premature end.
    if (!ended) out.insert(out.end(), {0xFF, kEoi});
    return r;
}

}  // namespace player
