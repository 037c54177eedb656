// Sound and video tags: format fields and still-encoded payloads.
#include "swf/tag_readers.h"

namespace swf::detail {

namespace {

// The four format fields of DefineSound and SoundStreamHead: format UB4 (or UB4 reserved), rate UB2,
// size UB1, type UB1.
SoundFormat readFormatBits(BitReader& r, bool withFormat) {
    SoundFormat f;
    uint8_t v = static_cast<uint8_t>(withFormat ? r.ub(4) : 0);
    f.format = v;
    f.rate = static_cast<uint8_t>(r.ub(2));
    f.is16Bit = r.flag();
    f.stereo = r.flag();
    return f;
}

SoundInfo readSoundInfo(BitReader& r) {
    SoundInfo s;
    uint8_t f = r.u8();
    s.syncStop = f & 0x20;
    s.syncNoMultiple = f & 0x10;
    if (f & 0x01) s.inPoint = r.u32();
    if (f & 0x02) s.outPoint = r.u32();
    if (f & 0x04) s.loopCount = r.u16();
    if (f & 0x08) {
        uint8_t n = r.u8();
        for (int i = 0; i < n && r.ok(); ++i) {
            SoundInfo::EnvelopePoint p;
            p.pos44 = r.u32();
            p.leftLevel = r.u16();
            p.rightLevel = r.u16();
            if (r.ok()) s.envelope.push_back(p);
        }
    }
    return s;
}

}  // namespace

DefineSound readDefineSound(BitReader& r) {
    DefineSound d;
    d.id = r.u16();
    d.format = readFormatBits(r, true);
    d.sampleCount = r.u32();
    d.data = toBytes(r.rest());
    return d;
}

StartSound readStartSound(BitReader& r, int version) {
    StartSound s;
    if (version == 1) {
        s.soundId = r.u16();
    } else {
        s.className = r.string();
    }
    s.info = readSoundInfo(r);
    return s;
}

DefineButtonSound readDefineButtonSound(BitReader& r) {
    DefineButtonSound b;
    b.buttonId = r.u16();
    for (auto& e : b.sounds) {
        // Some writers stop after the last sound they use.
        if (!r.ok() || r.atEnd()) break;
        e.soundId = r.u16();
        if (e.soundId) e.info = readSoundInfo(r);
    }
    return b;
}

SoundStreamHead readSoundStreamHead(BitReader& r, int version) {
    SoundStreamHead h;
    h.version = static_cast<uint8_t>(version);
    r.ub(4);
    h.playback = readFormatBits(r, false);
    h.stream = readFormatBits(r, true);
    h.samplesPerBlock = r.u16();
    // The seek latency is there for MP3 streams, when the tag has room for it.
    if (h.stream.format == 2 && r.ok() && r.remaining() >= 2) h.latencySeek = r.s16();
    return h;
}

SoundStreamBlock readSoundStreamBlock(BitReader& r) {
    return {toBytes(r.rest())};
}

DefineVideoStream readDefineVideoStream(BitReader& r) {
    DefineVideoStream v;
    v.id = r.u16();
    v.frameCount = r.u16();
    v.width = r.u16();
    v.height = r.u16();
    r.ub(4);
    v.deblocking = static_cast<uint8_t>(r.ub(3));
    v.smoothing = r.flag();
    v.codec = r.u8();
    return v;
}

VideoFrame readVideoFrame(BitReader& r) {
    VideoFrame v;
    v.streamId = r.u16();
    v.frame = r.u16();
    v.data = toBytes(r.rest());
    return v;
}

}  // namespace swf::detail
