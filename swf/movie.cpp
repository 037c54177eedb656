#include "swf/movie.h"

#include "swf/tag_readers.h"

namespace swf {

namespace {

using detail::ParseContext;
using detail::TagContext;
using detail::toBytes;

std::vector<Tag> parseStream(std::span<const uint8_t> data, int64_t baseOffset, ParseContext& ctx, int depth,
                             std::vector<Error>& errors, bool* endedEarly);

TagBody readBody(uint16_t code, BitReader& r, TagContext& t, int depth, std::vector<Error>& errors) {
    using namespace detail;
    switch (code) {
        case tag::End:
            return End{};
        case tag::ShowFrame:
            return ShowFrame{};
        case tag::SetBackgroundColor:
            return readSetBackgroundColor(r);
        case tag::FrameLabel:
            return readFrameLabel(r, t);
        case tag::DefineSceneAndFrameLabelData:
            return readSceneAndFrameLabelData(r, t);
        case tag::FileAttributes:
            return readFileAttributes(r);
        case tag::Metadata:
            return readMetadata(r);
        case tag::ExportAssets:
            return readExportAssets(r, t);
        case tag::DoAction:
            return readDoAction(r, t);
        case tag::DoInitAction:
            return readDoInitAction(r, t);
        case tag::DefineShape:
            return readDefineShape(r, 1, t);
        case tag::DefineShape2:
            return readDefineShape(r, 2, t);
        case tag::DefineShape3:
            return readDefineShape(r, 3, t);
        case tag::DefineShape4:
            return readDefineShape(r, 4, t);
        case tag::DefineMorphShape:
            return readDefineMorphShape(r, 1, t);
        case tag::DefineMorphShape2:
            return readDefineMorphShape(r, 2, t);
        case tag::DefineBits:
            return readDefineBits(r);
        case tag::JPEGTables:
            return readJPEGTables(r);
        case tag::DefineBitsJPEG2:
            return readDefineBitsJPEG(r, 2);
        case tag::DefineBitsJPEG3:
            return readDefineBitsJPEG(r, 3);
        case tag::DefineBitsJPEG4:
            return readDefineBitsJPEG(r, 4);
        case tag::DefineBitsLossless:
            return readDefineBitsLossless(r, 1);
        case tag::DefineBitsLossless2:
            return readDefineBitsLossless(r, 2);
        case tag::PlaceObject:
            return readPlaceObject(r, 1, t);
        case tag::PlaceObject2:
            return readPlaceObject(r, 2, t);
        case tag::PlaceObject3:
            return readPlaceObject(r, 3, t);
        case tag::RemoveObject:
            return readRemoveObject(r, 1);
        case tag::RemoveObject2:
            return readRemoveObject(r, 2);
        case tag::DefineFont:
            return readDefineFont1(r, t);
        case tag::DefineFont2:
            return readDefineFont23(r, 2, t);
        case tag::DefineFont3:
            return readDefineFont23(r, 3, t);
        case tag::DefineFontInfo:
            return readDefineFontInfo(r, 1);
        case tag::DefineFontInfo2:
            return readDefineFontInfo(r, 2);
        case tag::DefineFontAlignZones:
            return readDefineFontAlignZones(r, t);
        case tag::DefineText:
            return readDefineText(r, 1, t);
        case tag::DefineText2:
            return readDefineText(r, 2, t);
        case tag::DefineButton:
            return readDefineButton(r, 1, t);
        case tag::DefineButton2:
            return readDefineButton(r, 2, t);
        case tag::DefineButtonCxform:
            return readDefineButtonCxform(r);
        case tag::DefineEditText:
            return readDefineEditText(r, t);
        case tag::DefineSound:
            return readDefineSound(r);
        case tag::StartSound:
            return readStartSound(r, 1);
        case tag::StartSound2:
            return readStartSound(r, 2);
        case tag::DefineButtonSound:
            return readDefineButtonSound(r);
        case tag::SoundStreamHead:
            return readSoundStreamHead(r, 1);
        case tag::SoundStreamHead2:
            return readSoundStreamHead(r, 2);
        case tag::SoundStreamBlock:
            return readSoundStreamBlock(r);
        case tag::DefineVideoStream:
            return readDefineVideoStream(r);
        case tag::VideoFrame:
            return readVideoFrame(r);
        case tag::DefineSprite: {
            if (depth >= kMaxSpriteDepth) {
                r.fail("DefineSprite inside DefineSprite is not allowed; skipped");
                return RawTag{};
            }
            DefineSprite s;
            s.id = r.u16();
            s.frameCount = r.u16();
            if (!r.ok()) return s;
            size_t at = r.pos();
            auto rest = r.rest();
            // A sprite cut short still has the tags before the cut; its own errors say where.
            s.tags = parseStream(rest, t.bodyOffset + int64_t(at), t.parse, depth + 1, errors, nullptr);
            return s;
        }
        default:
            return RawTag{toBytes(r.rest())};
    }
}

std::vector<Tag> parseStream(std::span<const uint8_t> data, int64_t baseOffset, ParseContext& ctx, int depth,
                             std::vector<Error>& errors, bool* endedEarly) {
    std::vector<Tag> tags;
    BitReader r(data);
    auto cutShort = [&](Error e) {
        detail::addError(errors, std::move(e));
        if (endedEarly) *endedEarly = true;
    };
    while (!r.atEnd()) {
        size_t start = r.pos();
        int64_t at = baseOffset + int64_t(start);
        if (r.remaining() < 2) {
            cutShort(makeError("tag header cut short", -1, at));
            break;
        }
        uint16_t head = r.u16();
        uint16_t code = head >> 6;
        uint32_t length = head & 0x3F;
        if (length == 0x3F) {
            if (r.remaining() < 4) {
                cutShort(makeError(tagName(code) + ": long tag header cut short", code, at));
                break;
            }
            length = r.u32();
        }
        if (length > r.remaining()) {
            cutShort(makeError(tagName(code) + ": length " + std::to_string(length) +
                                   " runs past the end of the data (" + std::to_string(r.remaining()) +
                                   " bytes left)",
                               code, at));
            break;
        }
        BitReader budget({});
        if (!ctx.spendFor<Tag>(budget, 1)) {
            detail::addError(errors,
                             makeError(budget.error() + "; the remaining tags are not parsed", code, at));
            break;
        }
        int64_t bodyOffset = baseOffset + int64_t(r.pos());
        auto bytes = r.bytes(length);
        Tag t;
        t.code = code;
        t.offset = static_cast<uint32_t>(at);
        t.length = length;
        BitReader body(bytes);
        TagContext tc{ctx, code, bodyOffset, &errors};
        t.body = readBody(code, body, tc, depth, errors);
        if (!body.ok()) {
            detail::addError(
                errors, makeError(tagName(code) + " at offset " + std::to_string(at) + ": " + body.error(),
                                  code, bodyOffset + int64_t(body.errorPos())));
            t.body = RawTag{toBytes(bytes)};
        }
        tags.push_back(std::move(t));
        if (code == tag::End) break;
    }
    return tags;
}

}  // namespace

Result<Movie> parseMovie(std::span<const uint8_t> file, const ParseOptions& options) {
    DecompressInfo info;
    auto bytes = decompressMovie(file, options.maxMovieBytes, &info);
    if (!bytes) return bytes.error();
    std::span<const uint8_t> all(*bytes);
    Movie m;
    m.fileHeader = info.header;
    m.version = info.header.version;
    BitReader r(all.subspan(8));
    m.frameSize = detail::readRect(r);
    m.frameRate88 = r.u16();
    m.frameCount = r.u16();
    if (!r.ok()) return makeError("movie header cut short", -1, 8 + int64_t(r.errorPos()));
    m.frameRate = m.frameRate88 / 256.0;
    if (!info.warning.empty()) detail::addError(m.errors, makeError(info.warning, -1, int64_t(all.size())));
    if (info.endedEarly) {
        m.endedEarly = true;
        detail::addError(m.errors, makeError("movie ends after " + std::to_string(all.size()) +
                                                 " bytes, before its declared length " +
                                                 std::to_string(info.header.declaredLength),
                                             -1, int64_t(all.size())));
    }
    ParseContext ctx{m.version, options.maxParsedBytes};
    size_t tagsAt = 8 + r.pos();
    m.tags = parseStream(all.subspan(tagsAt), int64_t(tagsAt), ctx, 0, m.errors, &m.endedEarly);
    return m;
}

std::vector<Tag> parseTags(std::span<const uint8_t> data, uint8_t swfVersion, std::vector<Error>& errors,
                           int64_t baseOffset, const ParseOptions& options) {
    ParseContext ctx{swfVersion, options.maxParsedBytes};
    return parseStream(data, baseOffset, ctx, 0, errors, nullptr);
}

}  // namespace swf
