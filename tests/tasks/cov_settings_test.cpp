// TCovSettings defaults and the default codec choice.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "tasks/cov_settings.h"
#include "tasks/swf_probe.h"
#include "tasks/ui_hooks.h"
#include "tasks_test_util.h"

using namespace taskstest;

namespace {

std::string NameOf(const TMclCodecInfo& c) {
    return std::string(c.codecName, strnlen(c.codecName, sizeof c.codecName));
}

TEST(TCovSettings, NewRecordIsEmptyAndZero) {
    TCovSettings t;
    EXPECT_TRUE(t.swfFilename.empty());
    EXPECT_EQ(t.swfFileType, sftSwf);
    EXPECT_EQ(t.destLastFrame, 0);
    EXPECT_EQ(t.destSplitSize, 0.0);
    TMclCodecInfo zero{};
    EXPECT_EQ(std::memcmp(&t.DestAVICodecInfo, &zero, sizeof zero), 0);
    EXPECT_EQ(sizeof(t.swfFileType), 1u);
    EXPECT_EQ(sizeof(t.destMPEGCodec), 1u);
}

TEST(TCovSettings, EnumerationValuesAreTheStoredNumbers) {
    EXPECT_EQ(sftInvalid, 4);
    EXPECT_EQ(dtImageSequence, 3);
    EXPECT_EQ(smFrameByFrame, 2);
    EXPECT_EQ(cd32BitAlpha, 1);
    EXPECT_EQ(amBackgroundColor, 3);
    EXPECT_EQ(asImport, 2);
    EXPECT_EQ(aftMP3, 1);
    EXPECT_EQ(itJPEG, 3);
    EXPECT_EQ(mpSVCDPAL, 5);
    EXPECT_EQ(mpMPEG2Custom, 7);
}

TEST(FillTaskDefaults, MovieOf550x400At12FpsWith100Frames) {
    ScratchDir dir;
    std::string movie = dir.write("intro.swf", Movie(550, 400, 12 << 8, 100).build());
    FakeCodecs codecs = TypicalCodecs();
    TCovSettings t;
    t.swfPlayFilename = "keep-play";
    t.adoUseFilename = "keep-ado";
    t.destLastFrame = 77;
    t.adoFilename = "old.wav";
    FillTaskDefaults(t, movie, true, codecs.source());

    EXPECT_EQ(t.swfFilename, movie);
    EXPECT_EQ(t.swfFileType, sftSwf);
    EXPECT_EQ(t.swfFileVersion, 10);
    EXPECT_EQ(t.swfW, 550);
    EXPECT_EQ(t.swfH, 400);
    EXPECT_EQ(t.swfFrameRate, 12);
    EXPECT_EQ(t.swfTotalFrames, 100);

    EXPECT_EQ(t.destEndFrame, 100);
    EXPECT_EQ(t.destW, 550);
    EXPECT_EQ(t.destH, 400);
    EXPECT_EQ(t.destCropX, 0);
    EXPECT_EQ(t.destCropY, 0);
    EXPECT_EQ(t.destCropW, 550);
    EXPECT_EQ(t.destCropH, 400);
    EXPECT_EQ(t.destAVIFrameRate, 12);
    EXPECT_EQ(t.destGIFFrameRate, 12);
    EXPECT_EQ(t.destFilename, "intro.avi");
    EXPECT_EQ(t.destFilepath, dir.root() + "/");

    EXPECT_EQ(t.adoFilename, "");
    EXPECT_EQ(t.adoSource, asRecord);
    EXPECT_EQ(t.adoFileType, aftMP3);
    EXPECT_EQ(t.adoWavChannel, 1);
    EXPECT_EQ(t.adoWavBits, 1);
    EXPECT_EQ(t.adoWavFreq, 0);
    EXPECT_EQ(t.adoMp3Channel, 1);
    EXPECT_EQ(t.adoMp3BitRate, 1);
    EXPECT_EQ(t.destType, dtAVI);
    EXPECT_EQ(t.destSequenceMode, smNormal);
    EXPECT_EQ(t.destColorDepth, cd24Bit);
    EXPECT_EQ(t.destAlphaMode, amIntensitySqrt);
    EXPECT_EQ(t.destStartFrame, 1);
    EXPECT_FALSE(t.destIsCrop);
    EXPECT_TRUE(t.destIsUseOriginalSize);
    EXPECT_FALSE(t.destIsKeepAspectRatio);
    EXPECT_EQ(t.destSplitSize, 74.0);
    EXPECT_FALSE(t.destIsSplit);
    EXPECT_EQ(NameOf(t.DestAVICodecInfo), "Full Frames, Uncompressed");
    EXPECT_EQ(t.destAVICodec, 2);
    EXPECT_EQ(NameOf(t.DestMPEGCodecInfo), "MPEG-1 format");
    EXPECT_EQ(t.destMPEGCodec, mpVCDNTSC);
    EXPECT_EQ(t.destMPEGFrameRate, 3);
    EXPECT_EQ(t.destGIFRepeatCount, 0);
    EXPECT_EQ(t.destGIFBackgroundColor, 0x00FFFFFFu);
    EXPECT_EQ(t.destGIFTransparentColor, 0x00FFFFFFu);
    EXPECT_FALSE(t.destGIFIsBackground);
    EXPECT_FALSE(t.destGIFIsTransparent);
    EXPECT_FALSE(t.destGIFIsInterlaced);
    EXPECT_TRUE(t.destGIFIsLooping);
    EXPECT_EQ(t.destImageType, itPNG);
    EXPECT_EQ(t.destImageJPEGQuality, 85);
    EXPECT_EQ(t.destVideoCodec, 0);
    EXPECT_EQ(t.destVideoQuality, kDefaultVideoQuality);

    // The run-time fields are not touched.
    EXPECT_EQ(t.swfPlayFilename, "keep-play");
    EXPECT_EQ(t.adoUseFilename, "keep-ado");
    EXPECT_EQ(t.destLastFrame, 77);

    // The AVI list is asked for at the movie size, the MPEG list at 352 x 240, both at 24 bits.
    ASSERT_EQ(codecs.initSizes.size(), 6u);
    EXPECT_EQ(codecs.initSizes, (std::vector<int>{550, 400, 24, 352, 240, 24}));
}

TEST(FillTaskDefaults, ProjectorGetsItsBaseNameWithAvi) {
    ScratchDir dir;
    std::string exe =
        dir.write("game.v2.EXE", testswf::makeProjector(Movie(320, 240).build(testswf::Compression::Zlib)));
    FakeCodecs codecs = TypicalCodecs();
    TCovSettings t;
    FillTaskDefaults(t, exe, true, codecs.source());
    EXPECT_EQ(t.swfFileType, sftProjectorCompressed);
    EXPECT_EQ(t.destFilename, "game.v2.avi");
    EXPECT_EQ(t.swfW, 320);
}

TEST(FillTaskDefaults, WithoutProbeUsesTheMovieFieldsAlreadyThere) {
    FakeCodecs codecs = TypicalCodecs();
    TCovSettings t;
    t.swfFilename = "/nowhere/a.swf";
    t.swfW = 100;
    t.swfH = 50;
    t.swfFrameRate = 25;
    t.swfTotalFrames = 9;
    t.swfFileType = sftSwfCompressed;
    FillTaskDefaults(t, "/nowhere/other.swf", false, codecs.source());
    EXPECT_EQ(t.swfFilename, "/nowhere/a.swf");
    EXPECT_EQ(t.swfFileType, sftSwfCompressed);
    EXPECT_EQ(t.destW, 100);
    EXPECT_EQ(t.destCropH, 50);
    EXPECT_EQ(t.destEndFrame, 9);
    EXPECT_EQ(t.destAVIFrameRate, 25);
    EXPECT_EQ(t.destFilename, "other.avi");
    EXPECT_EQ(t.destFilepath, "/nowhere/");
}

TEST(FillTaskDefaults, DamagedMovieGivesZerosWhereTheProbeDidNotReach) {
    ScratchDir dir;
    testswf::Bytes movie = Movie().build(testswf::Compression::Zlib);
    movie.resize(movie.size() - 6);  // the zlib stream ends early
    std::string path = dir.write("cut.swf", movie);
    FakeCodecs codecs = TypicalCodecs();
    TCovSettings t;
    t.swfW = 999;
    FillTaskDefaults(t, path, true, codecs.source());
    EXPECT_EQ(t.swfFileType, sftSwfCompressed);
    EXPECT_EQ(t.swfFileVersion, 10);
    EXPECT_EQ(t.swfW, 0);
    EXPECT_EQ(t.destW, 0);
}

TEST(FillTaskDefaults, MissingFileThrowsAndLeavesTheRecordAndCursorAlone) {
    int begins = 0, ends = 0;
    BeginBusyCursorHook = [&] { ++begins; };
    EndBusyCursorHook = [&] { ++ends; };
    FakeCodecs codecs = TypicalCodecs();
    TCovSettings t;
    t.destW = 5;
    EXPECT_THROW(FillTaskDefaults(t, "/no/such/movie.swf", true, codecs.source()), SwfFileError);
    EXPECT_EQ(t.destW, 5);
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    BeginBusyCursorHook = nullptr;
    EndBusyCursorHook = nullptr;
}

TEST(FillTaskDefaults, NoAviCodecLeavesTheBlockAndCopiesItsId) {
    FakeCodecs codecs = TypicalCodecs();
    codecs.avi.clear();
    TCovSettings t;
    t.DestAVICodecInfo = Codec(6, "left over", 42);
    FillTaskDefaults(t, "/x/m.swf", false, codecs.source());
    EXPECT_EQ(NameOf(t.DestAVICodecInfo), "left over");
    EXPECT_EQ(t.destAVICodec, 42);
}

struct CodecCase {
    const char* what;
    int fmt;
    int variant;
    std::vector<std::string> names;  // index 1 first
    std::string expectName;
    int expectId;  // the index the block ends on, or 0 for "unchanged"
    std::vector<int> expectVisited;
};

class SelectDefaultCodecTable : public ::testing::TestWithParam<CodecCase> {};

TEST_P(SelectDefaultCodecTable, ScansFromTheLastIndexDown) {
    const CodecCase& c = GetParam();
    FakeCodecs codecs;
    auto& list = c.fmt == 6 ? codecs.avi : codecs.mpeg;
    for (size_t i = 0; i < c.names.size(); ++i)
        list.push_back(Codec(c.fmt, c.names[i], static_cast<int32_t>(i + 1)));
    alignas(4) TMclCodecInfo block = Codec(c.fmt, "before", 0);
    SelectDefaultCodec(c.fmt, c.variant, 640, 480, 24, block, codecs.source());
    EXPECT_EQ(NameOf(block), c.expectName) << c.what;
    EXPECT_EQ(block.codecID, c.expectId) << c.what;
    EXPECT_EQ(codecs.visited, c.expectVisited) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectDefaultCodecTable,
    ::testing::Values(
        CodecCase{"highest index with the wanted name wins",
                  6,
                  0,
                  {"Full Frames, Uncompressed", "x", "Full Frames, Uncompressed", "y"},
                  "Full Frames, Uncompressed",
                  3,
                  {4, 3}},
        CodecCase{"no codecs leaves the block unchanged", 6, 0, {}, "before", 0, {}},
        CodecCase{"no match keeps index 1", 6, 0, {"a", "b", "c"}, "a", 1, {3, 2, 1}},
        CodecCase{"match is case-sensitive", 6, 0, {"a", "full frames, uncompressed"}, "a", 1, {2, 1}},
        CodecCase{"match is exact, not a prefix",
                  6,
                  0,
                  {"Full Frames, Uncompressed (raw)", "b"},
                  "Full Frames, Uncompressed (raw)",
                  1,
                  {2, 1}},
        CodecCase{"MPEG variant 1 wants MPEG-1",
                  11,
                  1,
                  {"MPEG-1 format", "MPEG-2 format"},
                  "MPEG-1 format",
                  1,
                  {2, 1}},
        CodecCase{"MPEG variant 2 wants MPEG-2",
                  11,
                  2,
                  {"MPEG-2 format", "MPEG-1 format"},
                  "MPEG-2 format",
                  1,
                  {2, 1}},
        CodecCase{"MPEG variant 0 wants MPEG-2",
                  11,
                  0,
                  {"MPEG-1 format", "MPEG-2 format"},
                  "MPEG-2 format",
                  2,
                  {2}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(SelectDefaultCodec, NameFillingAll128BytesIsComparedWithoutReadingPastIt) {
    FakeCodecs codecs;
    TMclCodecInfo c = Codec(6, "", 1);
    std::memset(c.codecName, 'A', sizeof c.codecName);  // no NUL at all
    codecs.avi = {c};
    alignas(4) TMclCodecInfo block{};
    SelectDefaultCodec(6, 0, 1, 1, 24, block, codecs.source());
    EXPECT_EQ(block.codecName[127], 'A');
}

TEST(SelectDefaultCodec, PumpsMessagesBetweenVisits) {
    int pumps = 0;
    PumpMessagesHook = [&] { ++pumps; };
    FakeCodecs codecs;
    codecs.avi = {Codec(6, "a", 1), Codec(6, "b", 2), Codec(6, "c", 3)};
    alignas(4) TMclCodecInfo block{};
    SelectDefaultCodec(6, 0, 1, 1, 24, block, codecs.source());
    PumpMessagesHook = nullptr;
    EXPECT_EQ(pumps, 2);
}

TEST(TBusyCursor, EndsAlsoWhenAnExceptionLeaves) {
    int begins = 0, ends = 0;
    BeginBusyCursorHook = [&] { ++begins; };
    EndBusyCursorHook = [&] { ++ends; };
    try {
        TBusyCursor busy;
        throw std::runtime_error("x");
    } catch (const std::runtime_error&) {
    }
    BeginBusyCursorHook = nullptr;
    EndBusyCursorHook = nullptr;
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
}

}  // namespace

namespace {

// The default codec source is the media library itself (mcl/): its lists carry the names the defaults want.
TEST(FillTaskDefaults, WithTheMediaLibrarysOwnCodecList) {
    TCovSettings t;
    t.swfW = 550;
    t.swfH = 400;
    FillTaskDefaults(t, "/movies/a.swf", false);
    EXPECT_EQ(NameOf(t.DestAVICodecInfo), "Full Frames, Uncompressed");
    EXPECT_EQ(t.DestAVICodecInfo.fileFmtID, kMclFormatAVI);
    EXPECT_EQ(t.destAVICodec, t.DestAVICodecInfo.codecID);
    EXPECT_EQ(NameOf(t.DestMPEGCodecInfo), "MPEG-1 format");
    EXPECT_EQ(t.DestMPEGCodecInfo.fileFmtID, kMclFormatMPEG);
}

}  // namespace
