// parseMovie(): a whole SWF file (FWS, CWS or ZWS) into its header and a list of typed tag records.
// See swf/swf.h for what this module owns and the limits it enforces.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "swf/decompress.h"
#include "swf/result.h"
#include "swf/tags.h"

namespace swf {

// Most memory the parsed records of one movie (tags, shape records, styles, glyphs, text glyph entries,
// action records) may take, charged at each record's size; past it the tag being parsed is kept raw, the
// rest of the movie is not parsed, and an error says why.
inline constexpr uint64_t kMaxParsedBytes = uint64_t(1) << 30;
// DefineSprite nesting: a movie's sprites hold timelines, never further sprites.
inline constexpr int kMaxSpriteDepth = 1;

struct ParseOptions {
    size_t maxMovieBytes = kMaxMovieBytes;
    uint64_t maxParsedBytes = kMaxParsedBytes;
};

struct Movie {
    FileHeader fileHeader;  // signature, version, declared length
    uint8_t version = 0;
    Rect frameSize;            // twips
    uint16_t frameRate88 = 0;  // as stored, 8.8 fixed point
    double frameRate = 0;      // frames per second
    uint16_t frameCount = 0;
    std::vector<Tag> tags;  // in file order; the End tag is included when present
    // Problems met while parsing, each with the tag code and byte offset (in the uncompressed movie). A tag
    // that could not be parsed is still in `tags` as a RawTag; parsing goes on wherever the tag length
    // lets it.
    std::vector<Error> errors;
    bool endedEarly = false;  // the data stopped before the declared length or inside a tag
};

// Parses a movie file. Fails only when there is no movie to speak of (not a SWF, corrupt before its frame
// header, larger than options.maxMovieBytes); everything else lands in Movie::errors.
Result<Movie> parseMovie(std::span<const uint8_t> file, const ParseOptions& options = {});

// Parses a tag stream (the part after the frame header, or a sprite's timeline) found at baseOffset in the
// uncompressed movie. Exposed for tools and tests that hold tags without a movie around them.
std::vector<Tag> parseTags(std::span<const uint8_t> data, uint8_t swfVersion, std::vector<Error>& errors,
                           int64_t baseOffset = 0, const ParseOptions& options = {});

}  // namespace swf
