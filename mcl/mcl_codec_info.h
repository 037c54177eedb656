// The media library's codec block: filled and read by the library, copied and stored by the tasks layer.
// Its layout is binding (the task-list file stores it field by field and callers hand it back unchanged):
// packed, 212 bytes, little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct TMclCodecInfo {
    int32_t fileFmtID;
    char codecName[128];
    int32_t codecUsed;
    int32_t codecID;
    int32_t codecMin;
    int32_t codecMax;
    int32_t qualityUsed;
    int32_t quality;
    int32_t qualityMin;
    int32_t qualityMax;
    int32_t bitRateUsed;
    int32_t bitRate;
    int32_t bitRateMin;
    int32_t bitRateMax;
    int32_t byteRateUsed;
    int32_t byteRate;
    int32_t byteRateMin;
    int32_t byteRateMax;
    int32_t keyFrameRateUsed;
    int32_t keyFrameRate;
    int32_t keyFrameRateMin;
    int32_t keyFrameRateMax;
};
#pragma pack(pop)

static_assert(sizeof(TMclCodecInfo) == 212, "TMclCodecInfo must be 212 bytes");
static_assert(offsetof(TMclCodecInfo, codecName) == 4);
static_assert(offsetof(TMclCodecInfo, codecUsed) == 132);
static_assert(offsetof(TMclCodecInfo, codecID) == 136);
static_assert(offsetof(TMclCodecInfo, qualityUsed) == 148);
static_assert(offsetof(TMclCodecInfo, bitRateUsed) == 164);
static_assert(offsetof(TMclCodecInfo, byteRateUsed) == 180);
static_assert(offsetof(TMclCodecInfo, keyFrameRateUsed) == 196);
static_assert(offsetof(TMclCodecInfo, keyFrameRateMax) == 208);
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the codec block is stored little-endian");

// Media-library file-format identifiers used by this system.
constexpr int32_t kMclFormatAVI = 6;
constexpr int32_t kMclFormatMPEG = 11;

// The library's value for a setting that was not given.
constexpr uint32_t MclDefault = 0xAF100D7Cu;
