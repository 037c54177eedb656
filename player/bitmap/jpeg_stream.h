// Repairs the JPEG marker quirks that Flash tolerates and libjpeg does not.
//
// SWF JPEG data often carries extra EOI/SOI markers: JPEGTables and DefineBits data are each wrapped in
// SOI ... EOI, so gluing them leaves an EOI+SOI pair in the middle; DefineBitsJPEG2 data written by some
// authoring tools repeats that pair inside one stream; and SWF files before version 8 may begin the data
// with an erroneous FF D9 FF D8 before the real SOI. Flash skips these markers as long as they come before
// the frame header.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace player {

struct JpegStream {
    std::vector<uint8_t> bytes;  // one SOI, the segments, the scans, one EOI
    int scans = 0;               // SOS markers seen
    std::string error;           // set when the stream has no SOI or is not JPEG at all
};

// Walks the marker structure of tables followed by data (either may be empty) and returns a single clean
// stream: one SOI at the start, no EOI or SOI before the frame header (SOFn), an EOI at the end if the data
// lacked one. Segment contents and entropy-coded data are copied untouched: a byte sequence FF D9 FF D8
// inside a segment (a comment, EXIF data) is not a marker and stays.
JpegStream normalizeJpegStream(std::span<const uint8_t> tables, std::span<const uint8_t> data);

}  // namespace player
