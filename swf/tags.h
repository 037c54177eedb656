// One plain struct per SWF tag family, and Tag: the record the movie parser yields for every tag.
// Bitmap and sound payloads stay encoded (JPEG/PNG/GIF/zlib bytes): decoding pixels belongs to the player.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "swf/actions.h"
#include "swf/types.h"

namespace swf {

using Bytes = std::vector<uint8_t>;

// SWF tag codes the parser knows.
namespace tag {
enum : uint16_t {
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    PlaceObject = 4,
    RemoveObject = 5,
    DefineBits = 6,
    DefineButton = 7,
    JPEGTables = 8,
    SetBackgroundColor = 9,
    DefineFont = 10,
    DefineText = 11,
    DoAction = 12,
    DefineFontInfo = 13,
    DefineSound = 14,
    StartSound = 15,
    DefineButtonSound = 17,
    SoundStreamHead = 18,
    SoundStreamBlock = 19,
    DefineBitsLossless = 20,
    DefineBitsJPEG2 = 21,
    DefineShape2 = 22,
    DefineButtonCxform = 23,
    PlaceObject2 = 26,
    RemoveObject2 = 28,
    DefineShape3 = 32,
    DefineText2 = 33,
    DefineEditText = 37,
    DefineButton2 = 34,
    DefineBitsJPEG3 = 35,
    DefineBitsLossless2 = 36,
    DefineSprite = 39,
    FrameLabel = 43,
    DefineMorphShape = 46,
    SoundStreamHead2 = 45,
    DefineFont2 = 48,
    ExportAssets = 56,
    DoInitAction = 59,
    DefineVideoStream = 60,
    VideoFrame = 61,
    DefineFontInfo2 = 62,
    ScriptLimits = 65,
    FileAttributes = 69,
    PlaceObject3 = 70,
    DefineFontAlignZones = 73,
    DefineFont3 = 75,
    Metadata = 77,
    DefineShape4 = 83,
    DefineMorphShape2 = 84,
    DefineSceneAndFrameLabelData = 86,
    StartSound2 = 89,
    DefineBitsJPEG4 = 90,
};
}  // namespace tag

// --- Timeline control ---------------------------------------------------------------------------

struct ShowFrame {};
struct End {};
struct SetBackgroundColor {
    RGBA color;  // alpha 255
};
struct FrameLabel {
    std::string name;
    bool anchor = false;  // named anchor (SWF 6 and later)
};
struct DefineSceneAndFrameLabelData {
    struct Scene {
        uint32_t frameOffset = 0;
        std::string name;
    };
    struct Label {
        uint32_t frame = 0;
        std::string name;
    };
    std::vector<Scene> scenes;
    std::vector<Label> labels;
};
struct FileAttributes {
    uint32_t flags = 0;  // as stored
    bool useDirectBlit() const { return flags & 0x40; }
    bool useGPU() const { return flags & 0x20; }
    bool hasMetadata() const { return flags & 0x10; }
    bool actionScript3() const { return flags & 0x08; }
    bool useNetwork() const { return flags & 0x01; }
};
struct Metadata {
    std::string xml;
};
struct ExportAssets {
    struct Asset {
        uint16_t characterId = 0;
        std::string name;
    };
    std::vector<Asset> assets;
};
struct DoAction {
    Bytes actions;                // as stored, for an interpreter that jumps by byte offset
    std::vector<Action> records;  // decoded; on a decoding error the records before it
};
struct DoInitAction {
    uint16_t spriteId = 0;
    Bytes actions;
    std::vector<Action> records;
};

// --- Shapes ---------------------------------------------------------------------------------

struct DefineShape {
    uint8_t version = 1;  // DefineShape 1..4
    uint16_t id = 0;
    Rect bounds;
    std::optional<Rect> edgeBounds;  // DefineShape4
    bool usesFillWindingRule = false, usesNonScalingStrokes = false,
         usesScalingStrokes = false;  // DefineShape4
    Shape shape;
};

// Start and end of each morph style: the player interpolates between them by the PlaceObject ratio.
struct MorphFillStyle {
    FillStyle start, end;
};
struct MorphLineStyle {
    LineStyle start, end;
};
struct DefineMorphShape {
    uint8_t version = 1;  // DefineMorphShape 1..2
    uint16_t id = 0;
    Rect startBounds, endBounds;
    std::optional<Rect> startEdgeBounds, endEdgeBounds;  // version 2
    bool usesNonScalingStrokes = false, usesScalingStrokes = false;
    std::vector<MorphFillStyle> fills;
    std::vector<MorphLineStyle> lines;
    std::vector<ShapeRecord> startEdges, endEdges;
};

// --- Bitmaps ---------------------------------------------------------------------------------

enum class ImageFormat : uint8_t { Jpeg, Png, Gif, Unknown };

// DefineBits: JPEG data that shares the movie's JPEGTables.
struct DefineBits {
    uint16_t id = 0;
    Bytes jpegData;
};
struct JPEGTables {
    Bytes data;
};
// DefineBitsJPEG2/3/4: a complete JPEG (or, from SWF 8, PNG or GIF); versions 3 and 4 add zlib alpha.
struct DefineBitsJPEG {
    uint8_t version = 2;  // 2, 3 or 4
    uint16_t id = 0;
    ImageFormat format = ImageFormat::Unknown;
    Bytes imageData;
    Bytes alphaData;                     // zlib-compressed, one byte per pixel; empty when absent
    std::optional<uint16_t> deblocking;  // version 4, 8.8 fixed point as stored
};
struct DefineBitsLossless {
    uint8_t version = 1;  // 1 (RGB) or 2 (RGBA)
    uint16_t id = 0;
    uint8_t format = 0;  // 3: 8-bit colour-mapped, 4: 15-bit RGB, 5: 24/32-bit
    uint16_t width = 0, height = 0;
    uint16_t colorTableSize = 0;  // format 3: entries (stored value + 1)
    Bytes zlibData;               // colour table and pixels, zlib-compressed
};

// --- Display list ---------------------------------------------------------------------------

// Filters are kept as their stored bytes (one entry per filter) so a later renderer can decode them.
struct Filter {
    uint8_t type = 0;  // 0 drop shadow, 1 blur, 2 glow, 3 bevel, 4 gradient glow, 5 convolution,
                       // 6 colour matrix, 7 gradient bevel
    Bytes data;        // the filter's bytes after the type byte
};

struct ClipAction {
    uint32_t events = 0;  // CLIPEVENTFLAGS, widened to 32 bits for SWF 5 movies
    std::optional<uint8_t> keyCode;
    Bytes actions;
};
struct ClipActions {
    uint32_t allEvents = 0;
    std::vector<ClipAction> records;
};

struct PlaceObject {
    uint8_t version = 1;  // PlaceObject 1..3
    bool move = false;
    uint16_t depth = 0;
    std::optional<uint16_t> characterId;
    std::optional<Matrix> matrix;
    std::optional<CXForm> cxform;
    std::optional<uint16_t> ratio;
    std::optional<std::string> name;
    std::optional<uint16_t> clipDepth;
    std::optional<ClipActions> clipActions;
    Bytes clipActionsRaw;  // the stored clip actions bytes, when present
    // PlaceObject3.
    std::optional<std::string> className;
    bool hasImage = false;
    std::optional<std::vector<Filter>> filters;
    Bytes filtersRaw;  // the stored filter list bytes (count byte included), when present
    std::optional<uint8_t> blendMode;
    std::optional<bool> cacheAsBitmap;
    std::optional<bool> visible;
    std::optional<RGBA> backgroundColor;
};
struct RemoveObject {
    uint8_t version = 1;
    std::optional<uint16_t> characterId;  // RemoveObject (1) only
    uint16_t depth = 0;
};

// --- Fonts and text -------------------------------------------------------------------------

struct KerningPair {
    uint16_t code1 = 0, code2 = 0;
    int16_t adjustment = 0;
};
struct FontLayout {
    int16_t ascent = 0, descent = 0, leading = 0;  // stored as unsigned in some files; kept signed
    std::vector<int16_t> advances;
    std::vector<Rect> bounds;
    std::vector<KerningPair> kerning;
};
struct DefineFont {
    uint8_t version = 1;  // DefineFont 1..3 (3: glyph coordinates at 20x resolution)
    uint16_t id = 0;
    uint8_t flags = 0;  // DefineFont2/3 flag byte as stored
    uint8_t languageCode = 0;
    std::string name;
    std::vector<Shape> glyphs;
    std::vector<uint16_t> codeTable;  // DefineFont2/3 (DefineFont 1 takes it from DefineFontInfo)
    std::optional<FontLayout> layout;

    bool hasLayout() const { return flags & 0x80; }
    bool shiftJIS() const { return flags & 0x40; }
    bool smallText() const { return flags & 0x20; }
    bool ansi() const { return flags & 0x10; }
    bool wideOffsets() const { return flags & 0x08; }
    bool wideCodes() const { return flags & 0x04; }
    bool italic() const { return flags & 0x02; }
    bool bold() const { return flags & 0x01; }
};
struct DefineFontInfo {
    uint8_t version = 1;
    uint16_t fontId = 0;
    std::string name;
    uint8_t flags = 0;  // smallText 0x20, shiftJIS 0x10, ansi 0x08, italic 0x04, bold 0x02, wideCodes 0x01
    uint8_t languageCode = 0;  // version 2
    std::vector<uint16_t> codeTable;
};
struct DefineFontAlignZones {
    struct ZoneData {
        float alignmentCoordinate = 0, range = 0;
    };
    struct Zone {
        std::vector<ZoneData> data;
        bool maskX = false, maskY = false;
    };
    uint16_t fontId = 0;
    uint8_t csmTableHint = 0;  // 0 thin, 1 medium, 2 thick
    std::vector<Zone> zones;   // one per glyph
};
struct TextRecord {
    std::optional<uint16_t> fontId;
    std::optional<RGBA> color;
    std::optional<int16_t> xOffset, yOffset;
    std::optional<uint16_t> height;  // twips; present with fontId
    struct Glyph {
        uint32_t index = 0;
        int32_t advance = 0;
    };
    std::vector<Glyph> glyphs;
};
struct DefineText {
    uint8_t version = 1;  // 1 (RGB colours) or 2 (RGBA)
    uint16_t id = 0;
    Rect bounds;
    Matrix matrix;
    std::vector<TextRecord> records;
};

// DefineEditText: a text field. Rendering and editing belong to the player; this is the stored form.
struct DefineEditText {
    uint16_t id = 0;
    Rect bounds;
    uint16_t flags = 0;  // as stored, first byte in the high bits (see the helpers)
    std::optional<uint16_t> fontId;
    std::optional<std::string> fontClass;
    std::optional<uint16_t> fontHeight;  // twips
    std::optional<RGBA> color;
    std::optional<uint16_t> maxLength;
    struct Layout {
        uint8_t align = 0;  // 0 left, 1 right, 2 centre, 3 justify
        uint16_t leftMargin = 0, rightMargin = 0, indent = 0;
        int16_t leading = 0;
    };
    std::optional<Layout> layout;
    std::string variableName;
    std::optional<std::string> initialText;

    bool wordWrap() const { return flags & 0x4000; }
    bool multiline() const { return flags & 0x2000; }
    bool password() const { return flags & 0x1000; }
    bool readOnly() const { return flags & 0x0800; }
    bool autoSize() const { return flags & 0x0040; }
    bool noSelect() const { return flags & 0x0010; }
    bool border() const { return flags & 0x0008; }
    bool wasStatic() const { return flags & 0x0004; }
    bool html() const { return flags & 0x0002; }
    bool useOutlines() const { return flags & 0x0001; }
};

// --- Buttons --------------------------------------------------------------------------------

struct ButtonRecord {
    bool stateUp = false, stateOver = false, stateDown = false, stateHitTest = false;
    uint16_t characterId = 0;
    uint16_t depth = 0;
    Matrix matrix;
    std::optional<CXForm> cxform;  // DefineButton2
    std::optional<std::vector<Filter>> filters;
    std::optional<uint8_t> blendMode;
};
struct ButtonCondAction {
    // BUTTONCONDACTION condition bits as stored (little-endian): bit 0 IdleToOverUp, 1 OverUpToIdle,
    // 2 OverUpToOverDown, 3 OverDownToOverUp, 4 OverDownToOutDown, 5 OutDownToOverDown, 6 OutDownToIdle,
    // 7 IdleToOverDown, 8 OverDownToIdle, bits 9..15 the key code (see keyCode()).
    uint16_t conditions = 0;
    Bytes actions;

    uint8_t keyCode() const { return static_cast<uint8_t>(conditions >> 9); }
    static constexpr uint16_t kOverDownToOverUp = 0x0008;
    bool overDownToOverUp() const { return conditions & 0x0008; }  // a click's release
};
struct DefineButton {
    uint8_t version = 1;  // DefineButton 1 or 2
    uint16_t id = 0;
    bool trackAsMenu = false;
    std::vector<ButtonRecord> records;
    // DefineButton 1's single action list appears here as one entry with the release condition
    // (OverDownToOverUp), which is when it runs.
    std::vector<ButtonCondAction> actions;
};
struct DefineButtonCxform {
    uint16_t buttonId = 0;
    CXForm cxform;
};

// --- Sound and video ---------------------------------------------------------------------------
// Payloads stay encoded (ADPCM, MP3, Nellymoser, Speex, video codecs): decoding belongs to the player.

// Sound format fields shared by DefineSound and SoundStreamHead.
struct SoundFormat {
    uint8_t format = 0;  // 0 raw native-endian, 1 ADPCM, 2 MP3, 3 raw little-endian, 4-6 Nellymoser, 11 Speex
    uint8_t rate = 0;    // 0 5.5 kHz, 1 11 kHz, 2 22 kHz, 3 44 kHz
    bool is16Bit = false;
    bool stereo = false;

    int sampleRate() const { return rate == 0 ? 5512 : 11025 << (rate - 1); }
};
struct DefineSound {
    uint16_t id = 0;
    SoundFormat format;
    uint32_t sampleCount = 0;
    Bytes data;  // for MP3, starts with the 16-bit seek samples value
};
// SOUNDINFO: how StartSound and button sounds play a sound.
struct SoundInfo {
    bool syncStop = false, syncNoMultiple = false;
    std::optional<uint32_t> inPoint, outPoint;  // in 44 kHz samples
    std::optional<uint16_t> loopCount;
    struct EnvelopePoint {
        uint32_t pos44 = 0;
        uint16_t leftLevel = 0, rightLevel = 0;  // 0..32768
    };
    std::vector<EnvelopePoint> envelope;
};
struct StartSound {
    uint16_t soundId = 0;   // StartSound
    std::string className;  // StartSound2
    SoundInfo info;
};
struct DefineButtonSound {
    uint16_t buttonId = 0;
    // OverUpToIdle, IdleToOverUp, OverUpToOverDown, OverDownToOverUp; soundId 0 means none.
    struct Entry {
        uint16_t soundId = 0;
        SoundInfo info;
    };
    Entry sounds[4];
};
struct SoundStreamHead {
    uint8_t version = 1;  // SoundStreamHead or SoundStreamHead2
    SoundFormat playback;
    SoundFormat stream;
    uint16_t samplesPerBlock = 0;
    std::optional<int16_t> latencySeek;  // MP3 streams
};
struct SoundStreamBlock {
    Bytes data;
};
struct DefineVideoStream {
    uint16_t id = 0;
    uint16_t frameCount = 0;
    uint16_t width = 0, height = 0;
    uint8_t deblocking = 0;
    bool smoothing = false;
    uint8_t codec = 0;  // 2 Sorenson H.263, 3 screen video, 4 VP6, 5 VP6 with alpha, 6 screen video 2
};
struct VideoFrame {
    uint16_t streamId = 0;
    uint16_t frame = 0;
    Bytes data;
};

// --- Everything else --------------------------------------------------------------------------

// A tag the parser does not decode (DoABC, DefineBinaryData, ...), or one it could not decode:
// its bytes are kept so nothing in the movie is lost.
struct RawTag {
    Bytes data;
};

struct Tag;

struct DefineSprite {
    uint16_t id = 0;
    uint16_t frameCount = 0;
    // Its own timeline. A DefineSprite inside one is invalid: it stays a RawTag and an error says so.
    std::vector<Tag> tags;
};

using TagBody =
    std::variant<RawTag, End, ShowFrame, SetBackgroundColor, FrameLabel, DefineSceneAndFrameLabelData,
                 FileAttributes, Metadata, ExportAssets, DoAction, DoInitAction, DefineShape,
                 DefineMorphShape, DefineBits, JPEGTables, DefineBitsJPEG, DefineBitsLossless, PlaceObject,
                 RemoveObject, DefineFont, DefineFontInfo, DefineFontAlignZones, DefineText, DefineButton,
                 DefineButtonCxform, DefineSprite, DefineEditText, DefineSound, StartSound, DefineButtonSound,
                 SoundStreamHead, SoundStreamBlock, DefineVideoStream, VideoFrame>;

struct Tag {
    uint16_t code = 0;
    uint32_t offset = 0;  // of the tag's record header in the uncompressed movie
    uint32_t length = 0;  // body length
    TagBody body;
};

// Name of a tag code for messages and logs ("DefineShape3"), or "Tag<code>" for codes without a name here.
std::string tagName(uint16_t code);

}  // namespace swf
