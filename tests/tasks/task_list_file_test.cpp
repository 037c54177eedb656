// The task-list file: exact text, round trip of every stored field, and the load rules.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tasks/task_list_file.h"
#include "tasks/ui_hooks.h"
#include "tasks_test_util.h"

using namespace taskstest;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// Options with a fake codec list and a point as separator, whatever the machine's locale.
struct Fixture {
    ScratchDir dir;
    FakeCodecs codecs = TypicalCodecs();
    TaskListOptions options(const std::string& sep = ".") {
        TaskListOptions o;
        o.decimalSeparator = sep;
        o.codecs = codecs.source();
        return o;
    }
    std::string movie(const std::string& name) { return dir.write(name, Movie().build()); }
};

// A task whose every stored field differs from its default and from zero.
TCovSettings Distinctive(const std::string& movie, int seed) {
    TCovSettings t;
    t.swfFilename = movie;
    t.swfPlayFilename = "/tmp/QMRplay.swf";
    t.swfFileType = sftProjectorCompressed;
    t.swfFileVersion = 8 + seed;
    t.swfFileSize = 123456 + seed;
    t.swfW = 640 + seed;
    t.swfH = 480 + seed;
    t.swfFrameRate = 25 + seed;
    t.swfTotalFrames = 999 + seed;
    t.adoFilename = "/music/sound track é.mp3";
    t.adoUseFilename = "/tmp/QMRado.wav";
    t.adoSource = asImport;
    t.adoFileType = aftWAV;
    t.adoWavChannel = 0;
    t.adoWavBits = 0;
    t.adoWavFreq = 2;
    t.adoMp3Channel = 3;
    t.adoMp3BitRate = 7;
    t.destFilename = "out put=x.mpg";
    t.destFilepath = "/videos/a b/";
    t.destType = dtMPEG;
    t.destSequenceMode = smFrameByFrame;
    t.destColorDepth = cd32BitAlpha;
    t.destAlphaMode = amBackgroundColor;
    t.destStartFrame = 3 + seed;
    t.destEndFrame = 900 + seed;
    t.destLastFrame = 55;
    t.destW = 320 + seed;
    t.destH = -240;
    t.destCropX = 1;
    t.destCropY = 2;
    t.destCropW = 300;
    t.destCropH = 200;
    t.destIsCrop = true;
    t.destIsUseOriginalSize = false;
    t.destIsKeepAspectRatio = true;
    t.destSplitSize = 2.5 + seed;
    t.destIsSplit = true;
    t.destAVICodec = 17;
    t.destAVIFrameRate = 30;
    t.destMPEGFrameRate = 6;
    t.destMPEGCodec = mpMPEG2Custom;
    t.destGIFFrameRate = 10;
    t.destGIFRepeatCount = 4;
    t.destGIFBackgroundColor = 0x00A0B0C0 + static_cast<uint32_t>(seed);
    t.destGIFTransparentColor = 0x1FFFFFFF;
    t.destGIFIsBackground = true;
    t.destGIFIsTransparent = true;
    t.destGIFIsInterlaced = true;
    t.destGIFIsLooping = false;
    t.destImageType = itJPEG;
    t.destImageJPEGQuality = 42;
    t.destVideoCodec = 1 + seed;
    t.destVideoQuality = 70 + seed;
    t.adoDirect = seed % 2 == 0;
    // The 20 consecutive 32-bit fields after the name; the packed block may be unaligned, so copy bytes.
    for (int i = 0; i < 20; ++i) {
        const bool isBool32 =
            i % 4 == 0;  // codecUsed, qualityUsed, bitRateUsed, byteRateUsed, keyFrameRateUsed
        int32_t avi = isBool32 ? -1 : 1000 * (seed + 1) + i;
        int32_t mpeg = isBool32 ? -1 : -2000 * (seed + 1) - i;
        std::memcpy(reinterpret_cast<char*>(&t.DestAVICodecInfo) + offsetof(TMclCodecInfo, codecUsed) + 4 * i,
                    &avi, 4);
        std::memcpy(
            reinterpret_cast<char*>(&t.DestMPEGCodecInfo) + offsetof(TMclCodecInfo, codecUsed) + 4 * i, &mpeg,
            4);
    }
    t.DestAVICodecInfo.fileFmtID = 6;
    t.DestMPEGCodecInfo.fileFmtID = 11;
    std::strcpy(t.DestAVICodecInfo.codecName, "Motion JPEG (ünïcode)");
    std::strcpy(t.DestMPEGCodecInfo.codecName, "MPEG-2 format");
    return t;
}

void ExpectStoredFieldsEqual(const TCovSettings& a, const TCovSettings& b) {
    EXPECT_EQ(a.swfFilename, b.swfFilename);
    EXPECT_EQ(a.swfFileType, b.swfFileType);
    EXPECT_EQ(a.swfFileVersion, b.swfFileVersion);
    EXPECT_EQ(a.swfFileSize, b.swfFileSize);
    EXPECT_EQ(a.swfW, b.swfW);
    EXPECT_EQ(a.swfH, b.swfH);
    EXPECT_EQ(a.swfFrameRate, b.swfFrameRate);
    EXPECT_EQ(a.swfTotalFrames, b.swfTotalFrames);
    EXPECT_EQ(a.adoFilename, b.adoFilename);
    EXPECT_EQ(a.adoSource, b.adoSource);
    EXPECT_EQ(a.adoFileType, b.adoFileType);
    EXPECT_EQ(a.adoWavChannel, b.adoWavChannel);
    EXPECT_EQ(a.adoWavBits, b.adoWavBits);
    EXPECT_EQ(a.adoWavFreq, b.adoWavFreq);
    EXPECT_EQ(a.adoMp3Channel, b.adoMp3Channel);
    EXPECT_EQ(a.adoMp3BitRate, b.adoMp3BitRate);
    EXPECT_EQ(a.destFilename, b.destFilename);
    EXPECT_EQ(a.destFilepath, b.destFilepath);
    EXPECT_EQ(a.destType, b.destType);
    EXPECT_EQ(a.destSequenceMode, b.destSequenceMode);
    EXPECT_EQ(a.destColorDepth, b.destColorDepth);
    EXPECT_EQ(a.destAlphaMode, b.destAlphaMode);
    EXPECT_EQ(a.destStartFrame, b.destStartFrame);
    EXPECT_EQ(a.destEndFrame, b.destEndFrame);
    EXPECT_EQ(a.destW, b.destW);
    EXPECT_EQ(a.destH, b.destH);
    EXPECT_EQ(a.destCropX, b.destCropX);
    EXPECT_EQ(a.destCropY, b.destCropY);
    EXPECT_EQ(a.destCropW, b.destCropW);
    EXPECT_EQ(a.destCropH, b.destCropH);
    EXPECT_EQ(a.destIsCrop, b.destIsCrop);
    EXPECT_EQ(a.destIsUseOriginalSize, b.destIsUseOriginalSize);
    EXPECT_EQ(a.destIsKeepAspectRatio, b.destIsKeepAspectRatio);
    EXPECT_EQ(a.destSplitSize, b.destSplitSize);
    EXPECT_EQ(a.destIsSplit, b.destIsSplit);
    EXPECT_EQ(a.destAVICodec, b.destAVICodec);
    EXPECT_EQ(a.destAVIFrameRate, b.destAVIFrameRate);
    EXPECT_EQ(std::memcmp(&a.DestAVICodecInfo, &b.DestAVICodecInfo, sizeof(TMclCodecInfo)), 0);
    EXPECT_EQ(a.destMPEGFrameRate, b.destMPEGFrameRate);
    EXPECT_EQ(a.destMPEGCodec, b.destMPEGCodec);
    EXPECT_EQ(std::memcmp(&a.DestMPEGCodecInfo, &b.DestMPEGCodecInfo, sizeof(TMclCodecInfo)), 0);
    EXPECT_EQ(a.destGIFFrameRate, b.destGIFFrameRate);
    EXPECT_EQ(a.destGIFRepeatCount, b.destGIFRepeatCount);
    EXPECT_EQ(a.destGIFBackgroundColor, b.destGIFBackgroundColor);
    EXPECT_EQ(a.destGIFTransparentColor, b.destGIFTransparentColor);
    EXPECT_EQ(a.destGIFIsBackground, b.destGIFIsBackground);
    EXPECT_EQ(a.destGIFIsTransparent, b.destGIFIsTransparent);
    EXPECT_EQ(a.destGIFIsInterlaced, b.destGIFIsInterlaced);
    EXPECT_EQ(a.destGIFIsLooping, b.destGIFIsLooping);
    EXPECT_EQ(a.destImageType, b.destImageType);
    EXPECT_EQ(a.destImageJPEGQuality, b.destImageJPEGQuality);
    EXPECT_EQ(a.destVideoCodec, b.destVideoCodec);
    EXPECT_EQ(a.destVideoQuality, b.destVideoQuality);
    EXPECT_EQ(a.adoDirect, b.adoDirect);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find("\r\n", pos);
        EXPECT_NE(eol, std::string::npos) << "every line ends with CR LF";
        if (eol == std::string::npos) break;
        out.push_back(text.substr(pos, eol - pos));
        pos = eol + 2;
    }
    return out;
}

TEST(TaskListFile, EmptyListIsTheGeneralSectionAlone) {
    Fixture f;
    std::string path = f.dir.path("tolvikan.ini");
    SaveTaskList(path, std::vector<TaskListEntry>{}, f.options());
    EXPECT_EQ(ReadText(path), "[General]\r\nID=Tolvikan\r\nTaskCount=0\r\n\r\n");
}

TEST(TaskListFile, SectionsAndKeysInTheSpecsOrder) {
    Fixture f;
    TCovSettings t = Distinctive(f.movie("m.swf"), 0);
    std::string text = TaskListText({{&t, false}}, f.options());
    std::vector<std::string> keys;
    for (const std::string& line : Lines(text))
        keys.push_back(line.empty() || line[0] == '[' ? line : line.substr(0, line.find('=')));
    const std::vector<std::string> codecKeys = {
        "fileFmtID",        "codecName",    "codecUsed",       "codecID",        "codecMin",    "codecMax",
        "qualityUsed",      "quality",      "qualityMin",      "qualityMax",     "bitRateUsed", "bitRate",
        "bitRateMin",       "bitRateMax",   "byteRateUsed",    "byteRate",       "byteRateMin", "byteRateMax",
        "keyFrameRateUsed", "keyFrameRate", "keyFrameRateMin", "keyFrameRateMax"};
    std::vector<std::string> expected = {"[General]",
                                         "ID",
                                         "TaskCount",
                                         "",
                                         "[Task0]",
                                         "IsItemChecked",
                                         "swfFilename",
                                         "swfFileType",
                                         "swfFileVersion",
                                         "swfFileSize",
                                         "swfW",
                                         "swfH",
                                         "swfFrameRate",
                                         "swfTotalFrames",
                                         "adoFilename",
                                         "adoSource",
                                         "adoFileType",
                                         "adoWavChannel",
                                         "adoWavBits",
                                         "adoWavFreq",
                                         "adoMp3Channel",
                                         "adoMp3BitRate",
                                         "destFilename",
                                         "destFilepath",
                                         "destType",
                                         "destSequenceMode",
                                         "destColorDepth",
                                         "destAlphaMode",
                                         "destStartFrame",
                                         "destEndFrame",
                                         "destW",
                                         "destH",
                                         "destCropX",
                                         "destCropY",
                                         "destCropW",
                                         "destCropH",
                                         "destIsCrop",
                                         "destIsUseOriginalSize",
                                         "destIsKeepAspectRatio",
                                         "destSplitSize",
                                         "destIsSplit",
                                         "destAVICodec",
                                         "destAVIFrameRate",
                                         "destMPEGCodec",
                                         "destMPEGFrameRate",
                                         "destGIFFrameRate",
                                         "destGIFRepeatCount",
                                         "destGIFBackgroundColor",
                                         "destGIFTransparentColor",
                                         "destGIFIsBackground",
                                         "destGIFIsTransparent",
                                         "destGIFIsInterlaced",
                                         "destGIFIsLooping",
                                         "destImageType",
                                         "destImageJPEGQuality",
                                         "destVideoCodec",
                                         "destVideoQuality",
                                         "adoDirect",
                                         "",
                                         "[DestAVICodecInfo0]"};
    expected.insert(expected.end(), codecKeys.begin(), codecKeys.end());
    expected.insert(expected.end(), {"", "[DestMPEGCodecInfo0]"});
    expected.insert(expected.end(), codecKeys.begin(), codecKeys.end());
    expected.push_back("");
    EXPECT_EQ(keys, expected);

    // Value encodings as written.
    for (const char* line :
         {"IsItemChecked=0", "swfFileType=3", "destH=-240", "destIsCrop=1", "destIsUseOriginalSize=0",
          "destSplitSize=2.5", "destGIFBackgroundColor=00A0B0C0", "destGIFTransparentColor=1FFFFFFF",
          "codecUsed=1", "codecName=Motion JPEG (ünïcode)", "destFilename=out put=x.mpg",
          "destFilepath=/videos/a b/"})
        EXPECT_NE(text.find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line;
    // The run-time fields are never stored.
    EXPECT_EQ(text.find("QMRplay"), std::string::npos);
    EXPECT_EQ(text.find("swfPlayFilename"), std::string::npos);
    EXPECT_EQ(text.find("adoUseFilename"), std::string::npos);
    EXPECT_EQ(text.find("destLastFrame"), std::string::npos);
}

TEST(TaskListFile, SaveThenLoadReproducesEveryStoredFieldTheCheckBoxesAndTheOrder) {
    for (const char* sep : {".", ","}) {
        Fixture f;
        std::vector<TaskListEntry> saved;
        for (int i = 0; i < 3; ++i) {
            auto t =
                std::make_unique<TCovSettings>(Distinctive(f.movie("m" + std::to_string(i) + ".swf"), i));
            saved.push_back({std::move(t), i != 1});
        }
        // One task straight from the defaults, with a 32-bit boolean holding another non-zero value.
        auto plain = std::make_unique<TCovSettings>();
        FillTaskDefaults(*plain, f.movie("plain.swf"), true, f.codecs.source());
        saved.push_back({std::move(plain), true});

        std::string path = f.dir.path("list.ini");
        SaveTaskList(path, saved, f.options(sep));
        std::vector<TaskListEntry> loaded = LoadTaskList(path, f.options(sep));
        ASSERT_EQ(loaded.size(), saved.size());
        for (size_t i = 0; i < saved.size(); ++i) {
            SCOPED_TRACE("task " + std::to_string(i) + " separator " + sep);
            EXPECT_EQ(loaded[i].checked, saved[i].checked);
            ExpectStoredFieldsEqual(*loaded[i].task, *saved[i].task);
            EXPECT_EQ(loaded[i].task->swfPlayFilename, "");
            EXPECT_EQ(loaded[i].task->destLastFrame, 0);
        }
        // Saving the loaded list again gives the same bytes.
        std::string again = f.dir.path("again.ini");
        SaveTaskList(again, loaded, f.options(sep));
        EXPECT_EQ(ReadText(again), ReadText(path));
    }
}

TEST(TaskListFile, ThirtyTwoBitBooleanReadTrueIsStoredAsMinusOne) {
    Fixture f;
    TCovSettings t = Distinctive(f.movie("m.swf"), 0);
    t.DestAVICodecInfo.qualityUsed = 5;
    std::string path = f.dir.path("list.ini");
    SaveTaskList(path, {TaskListItemRef{&t, true}}, f.options());
    EXPECT_NE(ReadText(path).find("\r\nqualityUsed=1\r\n"), std::string::npos);
    auto loaded = LoadTaskList(path, f.options());
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].task->DestAVICodecInfo.qualityUsed, -1);
}

TEST(TaskListFile, MissingMovieIsDroppedAndTheNextSaveRenumbers) {
    Fixture f;
    std::vector<TaskListEntry> saved;
    std::vector<std::string> movies = {f.movie("a.swf"), f.movie("b.swf"), f.movie("c.swf")};
    for (int i = 0; i < 3; ++i)
        saved.push_back({std::make_unique<TCovSettings>(Distinctive(movies[i], i)), true});
    std::string path = f.dir.path("list.ini");
    SaveTaskList(path, saved, f.options());
    QFile::remove(QString::fromStdString(movies[1]));

    auto loaded = LoadTaskList(path, f.options());
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].task->swfFilename, movies[0]);
    EXPECT_EQ(loaded[1].task->swfFilename, movies[2]);
    ExpectStoredFieldsEqual(*loaded[1].task, *saved[2].task);

    SaveTaskList(path, loaded, f.options());
    std::string text = ReadText(path);
    EXPECT_NE(text.find("TaskCount=2\r\n"), std::string::npos);
    EXPECT_NE(text.find("[Task1]"), std::string::npos);
    EXPECT_NE(text.find("[DestMPEGCodecInfo1]"), std::string::npos);
    EXPECT_EQ(text.find("[Task2]"), std::string::npos);
    EXPECT_EQ(text.find("CodecInfo2]"), std::string::npos);
    EXPECT_NE(text.find("swfFilename=" + movies[2] + "\r\n"), std::string::npos);
}

TEST(TaskListFile, SaveStoresTasksWhoseMovieIsGone) {
    Fixture f;
    TCovSettings t = Distinctive("/gone/movie.swf", 0);
    EXPECT_NE(TaskListText({{&t, true}}, f.options()).find("swfFilename=/gone/movie.swf\r\n"),
              std::string::npos);
}

// A file written by hand: one task section with the given extra lines, for the load rules.
std::string HandWritten(const std::string& movie, const std::string& taskLines,
                        const std::string& general = "ID=Tolvikan\r\nTaskCount=1\r\n") {
    return "[General]\r\n" + general + "\r\n[Task0]\r\nswfFilename=" + movie + "\r\n" + taskLines + "\r\n";
}

std::vector<TaskListEntry> LoadText(Fixture& f, const std::string& text, const std::string& sep = ".") {
    std::string path = f.dir.path("hand.ini");
    WriteText(path, text);
    return LoadTaskList(path, f.options(sep));
}

TEST(TaskListFile, BadColourDropsOnlyThatTask) {
    Fixture f;
    std::string a = f.movie("a.swf"), b = f.movie("b.swf"), c = f.movie("c.swf");
    std::string text =
        "[General]\r\nTaskCount=3\r\n\r\n"
        "[Task0]\r\nswfFilename=" +
        a +
        "\r\ndestGIFBackgroundColor=00112233\r\n\r\n"
        "[Task1]\r\nswfFilename=" +
        b +
        "\r\ndestGIFTransparentColor=white\r\n\r\n"
        "[Task2]\r\nswfFilename=" +
        c + "\r\ndestGIFBackgroundColor=\r\n\r\n";
    auto loaded = LoadText(f, text);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].task->swfFilename, a);
    EXPECT_EQ(loaded[0].task->destGIFBackgroundColor, 0x00112233u);
    EXPECT_EQ(loaded[0].task->destGIFTransparentColor, 0x00FFFFFFu);  // missing key: the default
    // Lists written before the sound could be taken from the player lack adoDirect: they take it directly.
    EXPECT_TRUE(loaded[0].task->adoDirect);
}

TEST(TaskListFile, NumbersInHexAndFallbacks) {
    Fixture f;
    std::string m = f.movie("a.swf");
    auto loaded =
        LoadText(f, HandWritten(m,
                                "swfW=0x1F\r\nswfH=$20\r\nswfTotalFrames=lots\r\nswfFileType=260\r\n"
                                "destType=$102\r\ndestImageJPEGQuality=abc\r\ndestStartFrame=-0x2\r\n"
                                "destSplitSize=soon\r\ndestIsCrop=0x10\r\ndestGIFIsLooping=zero\r\n"
                                "adoSource=-1\r\n"));
    ASSERT_EQ(loaded.size(), 1u);
    const TCovSettings& t = *loaded[0].task;
    EXPECT_EQ(t.swfW, 31);
    EXPECT_EQ(t.swfH, 32);
    EXPECT_EQ(t.swfTotalFrames, 0);         // the record's initial value
    EXPECT_EQ(t.swfFileType, sftInvalid);   // 260 keeps its low 8 bits: 4
    EXPECT_EQ(t.destType, dtGIF);           // the low byte of 0x102
    EXPECT_EQ(t.destImageJPEGQuality, 85);  // the default of FillTaskDefaults
    // A list written before MP4, WebM and MOV holds no keys of theirs: their defaults.
    EXPECT_EQ(t.destVideoCodec, 0);
    EXPECT_EQ(t.destVideoQuality, kDefaultVideoQuality);
    EXPECT_EQ(t.destStartFrame, -2);
    EXPECT_EQ(t.destSplitSize, 74.0);
    EXPECT_TRUE(t.destIsCrop);
    EXPECT_TRUE(t.destGIFIsLooping);  // unparsable: the default, true
    EXPECT_EQ(static_cast<int>(t.adoSource), 255);
    EXPECT_EQ(t.swfFrameRate, 1);      // missing: 1
    EXPECT_EQ(t.destAVIFrameRate, 1);  // defaults follow the movie fields just read
    EXPECT_EQ(t.destW, 31);
    EXPECT_EQ(t.destEndFrame, 0);
    EXPECT_TRUE(loaded[0].checked);  // missing IsItemChecked: true
}

TEST(TaskListFile, KeysAndSectionsMatchWithoutCase) {
    Fixture f;
    std::string m = f.movie("a.swf");
    std::string text =
        "[GENERAL]\r\ntaskcount=1\r\n\r\n[task0]\r\nSWFFILENAME=" + m +
        "\r\nisitemchecked=0\r\nSwfW=77\r\nDESTTYPE=3\r\n\r\n[destavicodecinfo0]\r\nCODECNAME=Lower\r\n"
        "CODECID=9\r\n";
    auto loaded = LoadText(f, text);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_FALSE(loaded[0].checked);
    EXPECT_EQ(loaded[0].task->swfW, 77);
    EXPECT_EQ(loaded[0].task->destType, dtImageSequence);
    EXPECT_STREQ(loaded[0].task->DestAVICodecInfo.codecName, "Lower");
    EXPECT_EQ(loaded[0].task->DestAVICodecInfo.codecID, 9);
    // Untouched keys of the codec block keep the default block.
    EXPECT_EQ(loaded[0].task->DestAVICodecInfo.quality, 7502);
    EXPECT_STREQ(loaded[0].task->DestMPEGCodecInfo.codecName, "MPEG-1 format");
}

TEST(TaskListFile, IdIsNotExamined) {
    Fixture f;
    std::string m = f.movie("a.swf");
    for (const std::string& general :
         {std::string("ID=Pellucine\r\nTaskCount=1\r\n"), std::string("TaskCount=1\r\n")}) {
        auto loaded = LoadText(f, HandWritten(m, "swfW=5\r\n", general));
        ASSERT_EQ(loaded.size(), 1u);
        EXPECT_EQ(loaded[0].task->swfW, 5);
    }
}

TEST(TaskListFile, TaskCountLimitsWhatIsRead) {
    Fixture f;
    std::string m = f.movie("a.swf");
    EXPECT_TRUE(LoadText(f, HandWritten(m, "", "TaskCount=0\r\n")).empty());
    EXPECT_TRUE(LoadText(f, HandWritten(m, "", "TaskCount=-3\r\n")).empty());
    EXPECT_TRUE(LoadText(f, HandWritten(m, "", "\r\n")).empty());  // missing: 0
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadText(f, HandWritten(m, "", "TaskCount=2147483647\r\n")).size(), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(TaskListFile, SplitSizeFollowsTheDecimalSeparator) {
    Fixture f;
    TCovSettings t = Distinctive(f.movie("m.swf"), 0);
    EXPECT_NE(TaskListText({{&t, true}}, f.options(".")).find("\r\ndestSplitSize=2.5\r\n"),
              std::string::npos);
    EXPECT_NE(TaskListText({{&t, true}}, f.options(",")).find("\r\ndestSplitSize=2,5\r\n"),
              std::string::npos);
    std::string m = t.swfFilename;
    EXPECT_EQ(LoadText(f, HandWritten(m, "destSplitSize=2,5\r\n"), ",")[0].task->destSplitSize, 2.5);
    EXPECT_EQ(LoadText(f, HandWritten(m, "destSplitSize=2.5\r\n"), ".")[0].task->destSplitSize, 2.5);
    // Written on a system with the other separator: the default.
    EXPECT_EQ(LoadText(f, HandWritten(m, "destSplitSize=2.5\r\n"), ",")[0].task->destSplitSize, 74.0);
    EXPECT_EQ(LoadText(f, HandWritten(m, "destSplitSize=\r\n"), ".")[0].task->destSplitSize, 74.0);
    // The default options take the user's separator from the system locale.
    EXPECT_EQ(TaskListOptions().decimalSeparator, QLocale::system().decimalPoint().toStdString());
}

TEST(TaskListFile, SubstituteCharacterLinesAndLfEndingsAreRead) {
    Fixture f;
    std::string m = f.movie("a.swf");
    std::string text =
        "\x1A\r\n[General]\nTaskCount=1\n\x1A\n[Task0]\nswfFilename=" + m + "\n\x1A\nswfW=12\n\x1A";
    auto loaded = LoadText(f, text);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].task->swfW, 12);
}

TEST(TaskListFile, LongCodecNameIsCutSafely) {
    Fixture f;
    std::string m = f.movie("a.swf");
    std::string ascii(200, 'x');
    std::string utf8 = std::string(126, 'y') + "\xC3\xA9" + "zz";  // é straddles byte 127
    auto loaded = LoadText(f, HandWritten(m, "") + "[DestAVICodecInfo0]\r\ncodecName=" + ascii +
                                  "\r\n\r\n[DestMPEGCodecInfo0]\r\ncodecName=" + utf8 + "\r\n");
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(std::string(loaded[0].task->DestAVICodecInfo.codecName), std::string(127, 'x'));
    EXPECT_EQ(std::string(loaded[0].task->DestMPEGCodecInfo.codecName), std::string(126, 'y'));
    EXPECT_EQ(loaded[0].task->DestMPEGCodecInfo.codecName[127], '\0');
}

TEST(TaskListFile, MovieThatIsAFolderOrEmptyNameIsSkipped) {
    Fixture f;
    QDir().mkpath(QString::fromStdString(f.dir.path("folder.swf")));
    std::string text = "[General]\r\nTaskCount=3\r\n\r\n[Task0]\r\nswfFilename=" + f.dir.path("folder.swf") +
                       "\r\n\r\n[Task1]\r\nswfFilename=\r\n\r\n[Task2]\r\nswfW=3\r\n\r\n";
    EXPECT_TRUE(LoadText(f, text).empty());
}

TEST(TaskListFile, RecordingSourceIsTheLastStepOfEveryLoad) {
    Fixture f;
    int calls = 0;
    TaskListOptions o = f.options();
    o.setRecordingSource = [&] { ++calls; };
    EXPECT_TRUE(LoadTaskList(f.dir.path("missing.ini"), o).empty());
    EXPECT_EQ(calls, 1);
    std::string path = f.dir.path("one.ini");
    WriteText(path, HandWritten(f.movie("a.swf"), ""));
    o.setRecordingSource = [&] { ++calls; };
    EXPECT_EQ(LoadTaskList(path, o).size(), 1u);
    EXPECT_EQ(calls, 2);
}

TEST(TaskListFile, UnreadableFileThrowsNamingIt) {
    Fixture f;
    std::string path = f.dir.path("dir.ini");
    QDir().mkpath(QString::fromStdString(path));
    int calls = 0;
    TaskListOptions o = f.options();
    o.setRecordingSource = [&] { ++calls; };
    try {
        LoadTaskList(path, o);
        ADD_FAILURE() << "no error";
    } catch (const TaskListError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_EQ(calls, 0);
}

TEST(TaskListFile, SaveReplacesTheOldListWholeAndLeavesNoStrayFile) {
    Fixture f;
    std::string folder = f.dir.path("cfg/tolvikan");  // created on save
    std::string path = folder + "/tolvikan.ini";
    TCovSettings t = Distinctive(f.movie("a.swf"), 0);
    SaveTaskList(path, {TaskListItemRef{&t, true}}, f.options());
    SaveTaskList(path, std::vector<TaskListItemRef>{}, f.options());
    EXPECT_EQ(ReadText(path), "[General]\r\nID=Tolvikan\r\nTaskCount=0\r\n\r\n");
    EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden),
              QStringList{"tolvikan.ini"});
}

TEST(TaskListFile, SaveIntoAPathThatCannotBeWrittenThrowsAndKeepsTheOldList) {
    Fixture f;
    std::string blocker = f.dir.write("blocker", {1});
    TCovSettings t = Distinctive(f.movie("a.swf"), 0);
    EXPECT_THROW(SaveTaskList(blocker + "/sub/list.ini", {TaskListItemRef{&t, true}}, f.options()),
                 TaskListError);
    std::string folderTarget = f.dir.path("target.ini");
    QDir().mkpath(QString::fromStdString(folderTarget));
    EXPECT_THROW(SaveTaskList(folderTarget, {TaskListItemRef{&t, true}}, f.options()), TaskListError);
}

TEST(TaskListFile, PumpsMessagesAfterEachTask) {
    Fixture f;
    int pumps = 0;
    PumpMessagesHook = [&] { ++pumps; };
    TCovSettings a = Distinctive(f.movie("a.swf"), 0), b = Distinctive(f.movie("b.swf"), 1);
    std::string path = f.dir.path("l.ini");
    SaveTaskList(path, {TaskListItemRef{&a, true}, TaskListItemRef{&b, true}}, f.options());
    EXPECT_EQ(pumps, 2);
    pumps = 0;
    FakeCodecs none;  // no codec lists: no pumping inside the defaults
    TaskListOptions o = f.options();
    o.codecs = none.source();
    EXPECT_EQ(LoadTaskList(path, o).size(), 2u);
    PumpMessagesHook = nullptr;
    EXPECT_EQ(pumps, 2);
}

TEST(TaskListFilePath, BesideTheExecutableOrInTheConfigFolder) {
    EXPECT_EQ(TaskListFilePathFor("/usr/bin/tolvikan", true, "", "/home/u"), "/usr/bin/tolvikan.ini");
    EXPECT_EQ(TaskListFilePathFor("/opt/t.d/tolvikan.exe", true, "", "/home/u"), "/opt/t.d/tolvikan.ini");
    EXPECT_EQ(TaskListFilePathFor("/usr/bin/tolvikan", false, "", "/home/u"),
              "/home/u/.config/tolvikan/tolvikan.ini");
    EXPECT_EQ(TaskListFilePathFor("/usr/bin/tolvikan", false, "/xdg/", "/home/u"),
              "/xdg/tolvikan/tolvikan.ini");
    EXPECT_EQ(TaskListFilePathFor("/usr/bin/tolvikan", false, "relative", "/home/u"),
              "/home/u/.config/tolvikan/tolvikan.ini");
    EXPECT_EQ(TaskListFilePathFor("", true, "/xdg", "/home/u"), "/xdg/tolvikan/tolvikan.ini");
    // The real one, for this test program.
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string folder = exe.substr(0, exe.rfind('/') + 1);
    if (::access(folder.c_str(), W_OK) == 0)
        EXPECT_EQ(TaskListFilePath(), exe + ".ini");
    else
        EXPECT_NE(TaskListFilePath().find("/tolvikan/tolvikan.ini"), std::string::npos);
}

}  // namespace
