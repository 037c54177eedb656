// The entry points of mp3enc.so. Streams live in a small table under one lock, so a stale or foreign handle
// gives BE_ERR_INVALID_HANDLE instead of touching freed memory; encoding itself runs outside that lock.
#include <lame/lame.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "mp3enc/blade_interface.h"
#include "mp3enc/lame_stream.h"

#define MP3ENC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using mp3enc::LameStream;

constexpr size_t kMaxStreams = 64;

struct StreamTable {
    std::mutex lock;
    std::unique_ptr<LameStream> streams[kMaxStreams];
    // The LAME tag of the last stream closed with bWriteVBRHeader, for beWriteVBRHeader.
    std::vector<uint8_t> pendingTag;
};

StreamTable& table() {
    static StreamTable t;
    return t;
}

// The stream behind a handle, or null. Handles are 1-based slot numbers.
LameStream* find(HBE_STREAM handle) {
    if (handle == 0 || handle > kMaxStreams) return nullptr;
    std::lock_guard<std::mutex> guard(table().lock);
    return table().streams[handle - 1].get();
}

}  // namespace

MP3ENC_EXPORT BE_ERR beInitStream(BE_CONFIG* pbeConfig, uint32_t* dwSamples, uint32_t* dwBufferSize,
                                  HBE_STREAM* phbeStream) {
    if (!pbeConfig || !dwSamples || !dwBufferSize || !phbeStream) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    BE_ERR error = BE_ERR_SUCCESSFUL;
    std::unique_ptr<LameStream> stream;
    try {
        stream = LameStream::create(*pbeConfig, error);
    } catch (const std::bad_alloc&) {
        return BE_ERR_NO_MORE_HANDLES;
    }
    if (!stream) return error;
    std::lock_guard<std::mutex> guard(table().lock);
    for (size_t i = 0; i < kMaxStreams; ++i) {
        if (table().streams[i]) continue;
        *dwSamples = stream->samplesPerChunk();
        *dwBufferSize = stream->bufferSize();
        table().streams[i] = std::move(stream);
        *phbeStream = static_cast<HBE_STREAM>(i + 1);
        return BE_ERR_SUCCESSFUL;
    }
    return BE_ERR_NO_MORE_HANDLES;
}

MP3ENC_EXPORT BE_ERR beEncodeChunk(HBE_STREAM hbeStream, uint32_t nSamples, int16_t* pSamples,
                                   uint8_t* pOutput, uint32_t* pdwOutput) {
    LameStream* stream = find(hbeStream);
    if (!stream) return BE_ERR_INVALID_HANDLE;
    if (!pdwOutput || !pOutput || (nSamples > 0 && !pSamples)) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    return stream->encode(nSamples, pSamples, pOutput, *pdwOutput);
}

MP3ENC_EXPORT BE_ERR beDeinitStream(HBE_STREAM hbeStream, uint8_t* pOutput, uint32_t* pdwOutput) {
    LameStream* stream = find(hbeStream);
    if (!stream) return BE_ERR_INVALID_HANDLE;
    if (!pdwOutput || !pOutput) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    return stream->finish(pOutput, *pdwOutput);
}

MP3ENC_EXPORT BE_ERR beCloseStream(HBE_STREAM hbeStream) {
    if (hbeStream == 0 || hbeStream > kMaxStreams) return BE_ERR_INVALID_HANDLE;
    std::unique_ptr<LameStream> stream;
    {
        std::lock_guard<std::mutex> guard(table().lock);
        stream = std::move(table().streams[hbeStream - 1]);
        if (!stream) return BE_ERR_INVALID_HANDLE;
        std::vector<uint8_t> tag = stream->tagFrame();
        if (!tag.empty()) table().pendingTag = std::move(tag);
    }
    return BE_ERR_SUCCESSFUL;
}

MP3ENC_EXPORT void beVersion(BE_VERSION* pbeVersion) {
    if (!pbeVersion) return;
    std::memset(pbeVersion, 0, sizeof(*pbeVersion));
    lame_version_t lame{};
    get_lame_version_numerical(&lame);
    pbeVersion->byDLLMajorVersion = MP3ENC_VERSION_MAJOR;
    pbeVersion->byDLLMinorVersion = MP3ENC_VERSION_MINOR;
    pbeVersion->byMajorVersion = static_cast<uint8_t>(lame.major);
    pbeVersion->byMinorVersion = static_cast<uint8_t>(lame.minor);
    pbeVersion->byDay = MP3ENC_BUILD_DAY;
    pbeVersion->byMonth = MP3ENC_BUILD_MONTH;
    pbeVersion->wYear = MP3ENC_BUILD_YEAR;
    std::snprintf(pbeVersion->zHomepage, sizeof(pbeVersion->zHomepage), "%s", get_lame_url());
    pbeVersion->byAlphaLevel = static_cast<uint8_t>(lame.alpha);
    pbeVersion->byBetaLevel = static_cast<uint8_t>(lame.beta);
#if defined(__MMX__)
    pbeVersion->byMMXEnabled = 1;
#endif
}

MP3ENC_EXPORT BE_ERR beWriteVBRHeader(const char* lpszFileName) {
    if (!lpszFileName) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    std::vector<uint8_t> tag;
    {
        std::lock_guard<std::mutex> guard(table().lock);
        tag = table().pendingTag;
    }
    if (tag.empty()) return BE_ERR_INVALID_HANDLE;
    std::FILE* file = std::fopen(lpszFileName, "r+b");
    if (!file) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    // The tag replaces the placeholder frame LAME put first in the stream, of the same length.
    const bool written = std::fwrite(tag.data(), 1, tag.size(), file) == tag.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? BE_ERR_SUCCESSFUL : BE_ERR_INVALID_FORMAT_PARAMETERS;
}
