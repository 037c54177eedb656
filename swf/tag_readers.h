// Readers for each tag family, called by the movie parser with a reader over one tag's body.
// Internal to swf/. A reader that meets bad data marks the BitReader failed; the caller records the error
// with the tag code and offset and keeps the tag's bytes.
#pragma once

#include <string>
#include <vector>

#include "swf/bit_reader.h"
#include "swf/read_types.h"
#include "swf/result.h"
#include "swf/tags.h"

namespace swf::detail {

// Most errors kept per movie; one more entry says that further ones were left out.
inline constexpr size_t kMaxErrors = 1000;
inline void addError(std::vector<Error>& errors, Error e) {
    if (errors.size() < kMaxErrors) {
        errors.push_back(std::move(e));
    } else if (errors.size() == kMaxErrors) {
        errors.push_back(makeError("more errors follow; not listed", e.tagCode, e.offset));
    }
}

// What a tag reader needs besides its bytes.
struct TagContext {
    ParseContext& parse;
    uint16_t code = 0;
    int64_t bodyOffset = 0;      // absolute offset of the body's first byte
    std::vector<Error>* errors;  // for problems that do not sink the whole tag

    // A NUL-terminated text, as UTF-8 whatever the movie's version.
    std::string text(BitReader& r) const {
        return parse.swfVersion != 0 && parse.swfVersion < 6 ? latin1ToUtf8(r.string()) : r.string();
    }
    // Records a problem at pos (relative to the body) without failing the tag.
    void warn(const std::string& message, size_t pos) const {
        addError(*errors, makeError(tagName(code) + ": " + message, code, bodyOffset + int64_t(pos)));
    }
};

Bytes toBytes(std::span<const uint8_t> s);

// Control and script tags.
SetBackgroundColor readSetBackgroundColor(BitReader& r);
FrameLabel readFrameLabel(BitReader& r, const TagContext& t);
DefineSceneAndFrameLabelData readSceneAndFrameLabelData(BitReader& r, TagContext& t);
FileAttributes readFileAttributes(BitReader& r);
Metadata readMetadata(BitReader& r);
ExportAssets readExportAssets(BitReader& r, TagContext& t);
DoAction readDoAction(BitReader& r, TagContext& t);
DoInitAction readDoInitAction(BitReader& r, TagContext& t);

// Shapes.
DefineShape readDefineShape(BitReader& r, int version, TagContext& t);
DefineMorphShape readDefineMorphShape(BitReader& r, int version, TagContext& t);

// Bitmaps.
DefineBits readDefineBits(BitReader& r);
JPEGTables readJPEGTables(BitReader& r);
DefineBitsJPEG readDefineBitsJPEG(BitReader& r, int version);
DefineBitsLossless readDefineBitsLossless(BitReader& r, int version);
ImageFormat sniffImageFormat(std::span<const uint8_t> data);

// Display list.
PlaceObject readPlaceObject(BitReader& r, int version, TagContext& t);
RemoveObject readRemoveObject(BitReader& r, int version);
// FILTERLIST: count byte, then each filter's bytes.
std::vector<Filter> readFilterList(BitReader& r, TagContext& t);

// Fonts and text.
DefineFont readDefineFont1(BitReader& r, TagContext& t);
DefineFont readDefineFont23(BitReader& r, int version, TagContext& t);
DefineFontInfo readDefineFontInfo(BitReader& r, int version);
DefineFontAlignZones readDefineFontAlignZones(BitReader& r, TagContext& t);
DefineText readDefineText(BitReader& r, int version, TagContext& t);
DefineEditText readDefineEditText(BitReader& r, const TagContext& t);

// Sound and video.
DefineSound readDefineSound(BitReader& r);
StartSound readStartSound(BitReader& r, int version);
DefineButtonSound readDefineButtonSound(BitReader& r);
SoundStreamHead readSoundStreamHead(BitReader& r, int version);
SoundStreamBlock readSoundStreamBlock(BitReader& r);
DefineVideoStream readDefineVideoStream(BitReader& r);
VideoFrame readVideoFrame(BitReader& r);

// Buttons.
DefineButton readDefineButton(BitReader& r, int version, TagContext& t);
DefineButtonCxform readDefineButtonCxform(BitReader& r);

}  // namespace swf::detail
