// Timeline control and script tags.
#include <algorithm>

#include "swf/tag_readers.h"

namespace swf::detail {

Bytes toBytes(std::span<const uint8_t> s) {
    return Bytes(s.begin(), s.end());
}

SetBackgroundColor readSetBackgroundColor(BitReader& r) {
    return {readRGB(r)};
}

FrameLabel readFrameLabel(BitReader& r, const TagContext& t) {
    FrameLabel f;
    f.name = t.text(r);
    // SWF 6 named anchors: one more byte, 1.
    if (r.ok() && !r.atEnd()) f.anchor = r.u8() == 1;
    return f;
}

DefineSceneAndFrameLabelData readSceneAndFrameLabelData(BitReader& r, TagContext& t) {
    DefineSceneAndFrameLabelData d;
    uint32_t scenes = r.encodedU32();
    // Each entry takes at least two bytes; the remaining bytes bound any honest count.
    d.scenes.reserve(std::min<size_t>(scenes, r.remaining() / 2));
    for (uint32_t i = 0; i < scenes && r.ok() && t.parse.spendFor<DefineSceneAndFrameLabelData::Scene>(r, 1);
         ++i) {
        DefineSceneAndFrameLabelData::Scene s;
        s.frameOffset = r.encodedU32();
        s.name = r.string();
        d.scenes.push_back(std::move(s));
    }
    uint32_t labels = r.encodedU32();
    d.labels.reserve(std::min<size_t>(labels, r.remaining() / 2));
    for (uint32_t i = 0; i < labels && r.ok() && t.parse.spendFor<DefineSceneAndFrameLabelData::Label>(r, 1);
         ++i) {
        DefineSceneAndFrameLabelData::Label l;
        l.frame = r.encodedU32();
        l.name = r.string();
        d.labels.push_back(std::move(l));
    }
    return d;
}

FileAttributes readFileAttributes(BitReader& r) {
    FileAttributes f;
    // The flags live in the first byte; some writers store fewer than the usual four bytes.
    f.flags = r.u8();
    for (int i = 1; i < 4 && !r.atEnd(); ++i)
        f.flags |= uint32_t(r.u8()) << (8 * i);
    return f;
}

Metadata readMetadata(BitReader& r) {
    auto rest = r.rest();
    auto nul = std::find(rest.begin(), rest.end(), uint8_t(0));
    return {std::string(rest.begin(), nul)};
}

ExportAssets readExportAssets(BitReader& r, TagContext& t) {
    ExportAssets e;
    uint16_t n = r.u16();
    e.assets.reserve(std::min<size_t>(n, r.remaining() / 3));
    for (uint16_t i = 0; i < n && r.ok() && t.parse.spendFor<ExportAssets::Asset>(r, 1); ++i) {
        ExportAssets::Asset a;
        a.characterId = r.u16();
        a.name = t.text(r);
        e.assets.push_back(std::move(a));
    }
    return e;
}

namespace {

std::vector<Action> decodeForTag(std::span<const uint8_t> bytes, size_t start, BitReader& r, TagContext& t) {
    ActionDecode d = decodeActionsLenient(
        bytes, std::min<uint64_t>(kMaxActionsPerBlock, t.parse.bytesLeft / sizeof(Action)),
        t.parse.swfVersion != 0 && t.parse.swfVersion < 6);
    if (d.error)
        t.warn("actions: " + d.error->message, start + size_t(std::max<int64_t>(0, d.error->offset)));
    t.parse.spendFor<Action>(r, d.actions.size());
    return std::move(d.actions);
}

}  // namespace

DoAction readDoAction(BitReader& r, TagContext& t) {
    DoAction a;
    size_t start = r.pos();
    auto bytes = r.rest();
    a.actions = toBytes(bytes);
    a.records = decodeForTag(bytes, start, r, t);
    return a;
}

DoInitAction readDoInitAction(BitReader& r, TagContext& t) {
    DoInitAction a;
    a.spriteId = r.u16();
    size_t start = r.pos();
    auto bytes = r.rest();
    a.actions = toBytes(bytes);
    a.records = decodeForTag(bytes, start, r, t);
    return a;
}

}  // namespace swf::detail
