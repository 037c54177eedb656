#include "mcl/mcl_codecs.h"

#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "mcl/ffmpeg/ff_log.h"
#include "mcl/ffmpeg/ff_raii.h"
#include "mcl/ffmpeg/video_encoder.h"
#include "mcl/mcl_codec_catalog.h"

namespace {

// Probe results are kept per (format, size, alpha): the settings dialog and FillTaskDefaults ask again and
// again for the same sizes, and opening x264 or Xvid at HD sizes costs tens of milliseconds each time.
struct ProbeKey {
    int fileFmtID;
    int width;
    int height;
    bool alpha;
    bool operator<(const ProbeKey& o) const {
        return std::tie(fileFmtID, width, height, alpha) < std::tie(o.fileFmtID, o.width, o.height, o.alpha);
    }
};

constexpr size_t kProbeCacheLimit = 64;

struct CodecLists {
    std::mutex mutex;
    std::vector<TMclCodecInfo> avi;
    std::vector<TMclCodecInfo> mpeg;
    std::map<ProbeKey, std::vector<TMclCodecInfo>> probed;

    std::vector<TMclCodecInfo>* listOf(int fileFmtID) {
        if (fileFmtID == kMclFormatAVI) return &avi;
        if (fileFmtID == kMclFormatMPEG) return &mpeg;
        return nullptr;
    }
};

CodecLists& Lists() {
    static CodecLists lists;
    return lists;
}

bool IsDibDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// The muxer takes the codec, and (for containers that name codecs by FourCC, like AVI's BITMAPINFOHEADER) the
// FourCC we write is one its tag table maps to that codec; tag 0 must be the codec's own entry (BI_RGB).
bool MuxerAccepts(const char* muxerName, AVCodecID id, uint32_t tag) {
    const AVOutputFormat* muxer = av_guess_format(muxerName, nullptr, nullptr);
    if (!muxer || avformat_query_codec(muxer, id, FF_COMPLIANCE_NORMAL) != 1) return false;
    if (!muxer->codec_tag) return true;
    if (tag == 0) {
        unsigned int first = 0;
        return av_codec_get_tag2(muxer->codec_tag, id, &first) && first == 0;
    }
    return av_codec_get_id(muxer->codec_tag, tag) == id;
}

bool Fits(const MclCodecDescriptor& d, int width, int height, int bits) {
    const std::optional<MclEncoderSetup> setup = MclEncoderSetupFor(MclCodecInfoFromDescriptor(d), bits);
    const AVCodec* codec = avcodec_find_encoder_by_name(d.encoder);
    if (!setup || !codec || (codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL)) return false;
    if (!MuxerAccepts(setup->muxer.c_str(), codec->id, setup->codecTag)) return false;

    // One thread: the size rules do not depend on threading, and the probe should not spawn workers.
    mcl::ff::VideoEncoderParams params;
    params.width = width;
    params.height = height;
    params.threads = 1;
    mcl::ff::QuietLog quiet;
    return mcl::ff::VideoEncoder::create(*setup, params, nullptr) != nullptr;
}

std::vector<TMclCodecInfo> Probe(int fileFmtID, int width, int height, int bits) {
    std::vector<TMclCodecInfo> list;
    for (const MclCodecDescriptor& d : MclCodecCatalog()) {
        if (d.fileFmtID == fileFmtID && Fits(d, width, height, bits))
            list.push_back(MclCodecInfoFromDescriptor(d));
    }
    return list;
}

}  // namespace

int MclCodecsInit(int fileFmtID, int width, int height, int bits) {
    CodecLists& lists = Lists();
    std::lock_guard lock(lists.mutex);
    std::vector<TMclCodecInfo>* list = lists.listOf(fileFmtID);
    if (!list) return kMclCodecsUnknownFormat;
    list->clear();
    if (width <= 0 || height <= 0 || width > kMclMaxFrameSide || height > kMclMaxFrameSide ||
        !IsDibDepth(bits))
        return 0;

    const ProbeKey key{fileFmtID, width, height, bits == 32};
    auto cached = lists.probed.find(key);
    if (cached == lists.probed.end()) {
        if (lists.probed.size() >= kProbeCacheLimit) lists.probed.clear();
        cached = lists.probed.emplace(key, Probe(fileFmtID, width, height, bits)).first;
    }
    *list = cached->second;
    return static_cast<int>(list->size());
}

int MclCodecsGetInfo(int fileFmtID, TMclCodecInfo* info, int index) {
    CodecLists& lists = Lists();
    std::lock_guard lock(lists.mutex);
    const std::vector<TMclCodecInfo>* list = lists.listOf(fileFmtID);
    if (!list) return kMclCodecsUnknownFormat;
    if (!info) return kMclCodecsNoBlock;
    if (index < 1 || static_cast<size_t>(index) > list->size()) return kMclCodecsBadIndex;
    std::memcpy(info, &(*list)[static_cast<size_t>(index) - 1], sizeof *info);
    return 0;
}
