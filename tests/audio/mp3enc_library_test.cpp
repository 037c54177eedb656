// mp3enc.so through its entry points alone, as any program loading it sees it: the exported names, the
// version record, which configuration records it accepts, stream handles, and the LAME tag written by
// beWriteVBRHeader.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "mp3_test_audio.h"
#include "mp3enc/blade_interface.h"

namespace {

class Library {
  public:
    Library() : handle_(dlopen(MP3ENC_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (handle_) dlclose(handle_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    void* symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
    template <typename F>
    F get(const char* name) const {
        return reinterpret_cast<F>(symbol(name));
    }

  private:
    void* handle_;
};

// The record as the recording pass fills it.
BE_CONFIG Config(uint32_t sampleRate, int32_t mode, uint32_t kbps) {
    BE_CONFIG c;
    std::memset(&c, 0, sizeof(c));
    c.dwConfig = BE_CONFIG_LAME;
    BE_CONFIG_LHV1& l = c.format.LHV1;
    l.dwStructVersion = 1;
    l.dwStructSize = sizeof(BE_CONFIG);
    l.dwSampleRate = sampleRate;
    l.nMode = mode;
    l.dwBitrate = kbps;
    l.dwMaxBitrate = kbps;
    l.nPreset = LQP_NOPRESET;
    l.nVBRQuality = 9;
    l.nVbrMethod = VBR_METHOD_NONE;
    l.bNoRes = -1;
    return c;
}

TEST(Mp3EncLibrary, LoadsByPathAndResolvesEveryEntryPoint) {
    Library lib;
    ASSERT_TRUE(lib.loaded()) << dlerror();
    for (const char* name : {TEXT_BEINITSTREAM, TEXT_BEENCODECHUNK, TEXT_BEDEINITSTREAM, TEXT_BECLOSESTREAM,
                             TEXT_BEVERSION, TEXT_BEWRITEVBRHEADER})
        EXPECT_NE(lib.symbol(name), nullptr) << name;
    EXPECT_EQ(std::string(MP3ENC_PATH).substr(std::string(MP3ENC_PATH).rfind('/') + 1),
              MP3ENC_LIBRARY_FILE_NAME);
}

TEST(Mp3EncLibrary, VersionRecordIsFilledWithinItsSize) {
    Library lib;
    auto beVersion = lib.get<BEVERSION>(TEXT_BEVERSION);
    ASSERT_NE(beVersion, nullptr);
    // Guard bytes after the record catch a layout that writes past 265 bytes.
    std::vector<uint8_t> buffer(sizeof(BE_VERSION) + 32, 0xA5);
    beVersion(reinterpret_cast<BE_VERSION*>(buffer.data()));
    for (size_t i = sizeof(BE_VERSION); i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], 0xA5) << "byte " << i;
    BE_VERSION v;
    std::memcpy(&v, buffer.data(), sizeof(v));
    EXPECT_EQ(v.byDLLMajorVersion, 1);
    EXPECT_EQ(v.byMajorVersion, 3);  // LAME 3.x
    EXPECT_GE(v.byMinorVersion, 98);
    EXPECT_GE(v.byMonth, 1);
    EXPECT_LE(v.byMonth, 12);
    EXPECT_GE(v.byDay, 1);
    EXPECT_LE(v.byDay, 31);
    EXPECT_GE(v.wYear, 2024);
    const void* nul = std::memchr(v.zHomepage, 0, sizeof(v.zHomepage));
    ASSERT_NE(nul, nullptr);
    EXPECT_NE(std::string(v.zHomepage).find("lame"), std::string::npos) << v.zHomepage;
}

struct InitCase {
    const char* name;
    std::function<void(BE_CONFIG&)> change;
    BE_ERR result;
    uint32_t samples;  // per chunk, all channels, when accepted
};

void PrintTo(const InitCase& c, std::ostream* os) {
    *os << c.name;
}

class InitStream : public testing::TestWithParam<InitCase> {};

TEST_P(InitStream, AcceptsWhatItCanEncodeExactly) {
    Library lib;
    auto beInitStream = lib.get<BEINITSTREAM>(TEXT_BEINITSTREAM);
    auto beCloseStream = lib.get<BECLOSESTREAM>(TEXT_BECLOSESTREAM);
    ASSERT_TRUE(beInitStream && beCloseStream);
    BE_CONFIG config = Config(44100, BE_MP3_MODE_STEREO, 128);
    GetParam().change(config);
    uint32_t samples = 0;
    uint32_t bufferSize = 0;
    HBE_STREAM stream = 0xFFFFFFFF;
    ASSERT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), GetParam().result);
    if (GetParam().result != BE_ERR_SUCCESSFUL) return;
    EXPECT_EQ(samples, GetParam().samples);
    EXPECT_GE(bufferSize, 7200u);
    EXPECT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
}

INSTANTIATE_TEST_SUITE_P(
    Configs, InitStream,
    testing::Values(
        InitCase{"Stereo44100At128", [](BE_CONFIG&) {}, BE_ERR_SUCCESSFUL, 2304},
        InitCase{"Mono22050At96",
                 [](BE_CONFIG& c) {
                     c.format.LHV1.dwSampleRate = 22050;
                     c.format.LHV1.nMode = BE_MP3_MODE_MONO;
                     c.format.LHV1.dwBitrate = 96;
                 },
                 BE_ERR_SUCCESSFUL, 576},
        InitCase{"Joint11025At112",
                 [](BE_CONFIG& c) {
                     c.format.LHV1.dwSampleRate = 11025;
                     c.format.LHV1.nMode = BE_MP3_MODE_JSTEREO;
                     c.format.LHV1.dwBitrate = 112;
                 },
                 BE_ERR_SUCCESSFUL, 1152},
        // 320 kbit/s exists only in MPEG-1: the stream is made at 44100 Hz.
        InitCase{"Dual22050At320",
                 [](BE_CONFIG& c) {
                     c.format.LHV1.dwSampleRate = 22050;
                     c.format.LHV1.nMode = BE_MP3_MODE_DUALCHANNEL;
                     c.format.LHV1.dwBitrate = 320;
                 },
                 BE_ERR_SUCCESSFUL, 2304},
        // 144 kbit/s exists only in MPEG-2: the stream is made at 22050 Hz.
        InitCase{"Stereo44100At144", [](BE_CONFIG& c) { c.format.LHV1.dwBitrate = 144; }, BE_ERR_SUCCESSFUL,
                 1152},
        InitCase{"ExplicitResampleTo32000", [](BE_CONFIG& c) { c.format.LHV1.dwReSampleRate = 32000; },
                 BE_ERR_SUCCESSFUL, 2304},
        InitCase{"UnsupportedSampleRate", [](BE_CONFIG& c) { c.format.LHV1.dwSampleRate = 12345; },
                 BE_ERR_INVALID_FORMAT_PARAMETERS, 0},
        InitCase{"UnsupportedBitRate", [](BE_CONFIG& c) { c.format.LHV1.dwBitrate = 100; },
                 BE_ERR_INVALID_FORMAT_PARAMETERS, 0},
        InitCase{"ZeroBitRate", [](BE_CONFIG& c) { c.format.LHV1.dwBitrate = 0; },
                 BE_ERR_INVALID_FORMAT_PARAMETERS, 0},
        InitCase{"BitRateTooHighForResampleRate",
                 [](BE_CONFIG& c) {
                     c.format.LHV1.dwReSampleRate = 22050;
                     c.format.LHV1.dwBitrate = 320;
                 },
                 BE_ERR_INVALID_FORMAT_PARAMETERS, 0},
        InitCase{"UnknownMode", [](BE_CONFIG& c) { c.format.LHV1.nMode = 4; },
                 BE_ERR_INVALID_FORMAT_PARAMETERS, 0},
        InitCase{"VariableBitRate", [](BE_CONFIG& c) { c.format.LHV1.bEnableVBR = 1; },
                 BE_ERR_INVALID_FORMAT_PARAMETERS, 0},
        InitCase{"WrongStructSize", [](BE_CONFIG& c) { c.format.LHV1.dwStructSize = 330; },
                 BE_ERR_INVALID_FORMAT_PARAMETERS, 0},
        InitCase{"NotTheLameKind", [](BE_CONFIG& c) { c.dwConfig = 0; }, BE_ERR_INVALID_FORMAT, 0}),
    [](const testing::TestParamInfo<InitCase>& info) { return std::string(info.param.name); });

TEST(Mp3EncLibrary, StreamHandlesFollowTheCallOrder) {
    Library lib;
    auto beInitStream = lib.get<BEINITSTREAM>(TEXT_BEINITSTREAM);
    auto beEncodeChunk = lib.get<BEENCODECHUNK>(TEXT_BEENCODECHUNK);
    auto beDeinitStream = lib.get<BEDEINITSTREAM>(TEXT_BEDEINITSTREAM);
    auto beCloseStream = lib.get<BECLOSESTREAM>(TEXT_BECLOSESTREAM);
    ASSERT_TRUE(beInitStream && beEncodeChunk && beDeinitStream && beCloseStream);

    BE_CONFIG config = Config(44100, BE_MP3_MODE_STEREO, 128);
    uint32_t samples = 0;
    uint32_t bufferSize = 0;
    HBE_STREAM stream = 0;
    ASSERT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
    std::vector<int16_t> pcm(samples * 2, 0);
    std::vector<uint8_t> out(bufferSize);
    uint32_t written = 0;
    EXPECT_EQ(beEncodeChunk(stream, samples + 2, pcm.data(), out.data(), &written), BE_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(beEncodeChunk(stream, samples, pcm.data(), out.data(), &written), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(beEncodeChunk(stream + 1, samples, pcm.data(), out.data(), &written), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(beEncodeChunk(0, samples, pcm.data(), out.data(), &written), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(beDeinitStream(stream, out.data(), &written), BE_ERR_SUCCESSFUL);
    EXPECT_GT(written, 0u);
    EXPECT_EQ(beEncodeChunk(stream, samples, pcm.data(), out.data(), &written), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(beCloseStream(stream), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(beDeinitStream(stream, out.data(), &written), BE_ERR_INVALID_HANDLE);
}

// With the LAME tag written over the first frame, a decoder knows the encoder delay and padding and gives
// back exactly the samples encoded.
TEST(Mp3EncLibrary, WriteVbrHeaderMakesTheFileExact) {
    Library lib;
    auto beInitStream = lib.get<BEINITSTREAM>(TEXT_BEINITSTREAM);
    auto beEncodeChunk = lib.get<BEENCODECHUNK>(TEXT_BEENCODECHUNK);
    auto beDeinitStream = lib.get<BEDEINITSTREAM>(TEXT_BEDEINITSTREAM);
    auto beCloseStream = lib.get<BECLOSESTREAM>(TEXT_BECLOSESTREAM);
    auto beWriteVBRHeader = lib.get<BEWRITEVBRHEADER>(TEXT_BEWRITEVBRHEADER);
    ASSERT_TRUE(beInitStream && beEncodeChunk && beDeinitStream && beCloseStream && beWriteVBRHeader);

    BE_CONFIG config = Config(44100, BE_MP3_MODE_STEREO, 128);
    config.format.LHV1.bWriteVBRHeader = 1;
    uint32_t samples = 0;
    uint32_t bufferSize = 0;
    HBE_STREAM stream = 0;
    ASSERT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
    const int frames = 44100;
    std::vector<int16_t> pcm = mp3_test::Tone(44100, frames, {440, 660});
    std::vector<uint8_t> out(bufferSize);
    std::vector<uint8_t> file;
    for (size_t at = 0; at < pcm.size(); at += samples) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(samples, pcm.size() - at));
        uint32_t written = 0;
        ASSERT_EQ(beEncodeChunk(stream, n, pcm.data() + at, out.data(), &written), BE_ERR_SUCCESSFUL);
        file.insert(file.end(), out.begin(), out.begin() + written);
    }
    uint32_t written = 0;
    ASSERT_EQ(beDeinitStream(stream, out.data(), &written), BE_ERR_SUCCESSFUL);
    file.insert(file.end(), out.begin(), out.begin() + written);
    ASSERT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);

    mp3_test::TempDir dir;
    const auto path = dir.path() / "tagged.mp3";
    ASSERT_TRUE(mp3_test::WriteFile(path, file));
    ASSERT_EQ(beWriteVBRHeader(path.c_str()), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(std::filesystem::file_size(path), file.size());
    const mp3_test::Decoded decoded = mp3_test::DecodeFile(path);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.frames(), static_cast<size_t>(frames));
    EXPECT_EQ(beWriteVBRHeader((dir.path() / "absent.mp3").c_str()), BE_ERR_INVALID_FORMAT_PARAMETERS);
}

}  // namespace
