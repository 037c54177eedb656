// `tolvikan convert` options: what the command line refuses, and what each option does to the task that
// FillTaskDefaults made for a movie (every field the option maps to), with a fake codec list.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/convert_options.h"
#include "convert_test_util.h"

using namespace converttest;
using cli::TConvertRequest;

namespace {

// --- the command line alone ---

struct ParseErrorCase {
    std::vector<std::string> args;
    std::string message;  // expected within the error
};

TEST(ConvertArgs, RefusesMalformedAndContradictoryOptions) {
    const std::vector<ParseErrorCase> cases = {
        {{"a.swf", "--size", "640"}, "tolvikan convert: --size needs WxH, got '640'"},
        {{"a.swf", "--size", "0x10"}, "--size needs WxH, got '0x10'"},
        {{"a.swf", "--size", "9000x100"}, "larger than 8192 pixels a side"},
        {{"a.swf", "--size"}, "--size needs a value"},
        {{"a.swf", "--frames", "5-2"}, "--frames 5-2: the first frame comes after the last"},
        {{"a.swf", "--frames", "0-3"}, "--frames needs FIRST-LAST"},
        {{"a.swf", "--frames", "1-"}, "--frames needs FIRST-LAST"},
        {{"a.swf", "--frames", "-4"}, "--frames needs FIRST-LAST"},
        {{"a.swf", "--mode", "fast"}, "--mode needs normal|skip|frame, got 'fast'"},
        {{"a.swf", "--crop", "1,2,3"}, "--crop needs X,Y,W,H"},
        {{"a.swf", "--crop", "0,0,0,5"}, "--crop needs X,Y,W,H"},
        {{"a.swf", "--crop", "-1,0,5,5"}, "--crop needs X,Y,W,H"},
        {{"a.swf", "--type", "mkv"}, "--type needs avi|mpeg|mp4|webm|mov|gif|images, got 'mkv'"},
        {{"a.swf", "--type", "WebM"}, ""},  // any letter case
        // An output whose extension names another kind is refused, never written as the wrong format.
        {{"a.swf", "--type", "avi", "-o", "x.mp4"},
         "--output x.mp4 names mp4 output, but --type avi asks for avi"},
        {{"a.swf", "--type", "gif", "--output", "a.AVI"}, "names avi output, but --type gif"},
        {{"a.swf", "--codec", "prores", "-o", "a.webm"}, "names webm output, but --codec asks for mov"},
        {{"a.swf", "-o", "clip.mov", "--codec", "animation"}, ""},
        {{"a.swf", "-o", "clip.bin", "--type", "mp4"}, ""},  // an extension of no kind names nothing
        {{"a.swf", "--quality", "50"}, "--quality applies to MP4, WebM and MOV output"},
        {{"a.swf", "--type", "webm", "--quality", "0"}, "--quality needs a number from 1 to 100"},
        {{"a.swf", "--codec", "vp9", "--type", "mp4"}, "--codec applies to webm output, not with --type mp4"},
        {{"a.swf", "--jobs", "0"}, "--jobs needs a number of jobs from 1 to 256"},
        {{"a.swf", "-j", "2", "--shard", "2/3", "--summary", "s.json"}, ""},
        {{"a.swf", "--shard", "3/2"}, "--shard needs I/N with I from 1 to N"},
        {{"a.swf", "--shard", "0/2"}, "--shard needs I/N"},
        {{"--from-list", "movies.txt"}, ""},
        {{"--tasks", "t.ini", "--from-list", "movies.txt"}, "give no movies with it"},
        {{"a.swf", "--mpeg-preset", "vhs"}, "--mpeg-preset needs vcd-ntsc|vcd-pal|svcd-ntsc"},
        {{"a.swf", "--image-format", "webp"}, "--image-format needs png|tga|bmp|jpeg, got 'webp'"},
        {{"a.swf", "--jpeg-quality", "0"}, "--jpeg-quality needs a number from 1 to 100"},
        {{"a.swf", "--jpeg-quality", "101"}, "--jpeg-quality needs a number from 1 to 100"},
        {{"a.swf", "--jpeg-quality", "50%"}, "--jpeg-quality needs a number from 1 to 100"},
        {{"a.swf", "--alpha", "max"}, "--alpha needs none|intensity|sqrt|background"},
        {{"a.swf", "--background", "red"}, "--background needs RRGGBB, got 'red'"},
        {{"a.swf", "--gif-fps", "0"}, "--gif-fps needs a frame rate from 1 to 100"},
        {{"a.swf", "--gif-loop", "-1"}, "--gif-loop needs a repeat count"},
        {{"a.swf", "--gif-loop", "70000"}, "--gif-loop needs a repeat count"},
        {{"a.swf", "--sound-format", "ogg"}, "--sound-format needs wav|mp3, got 'ogg'"},
        {{"a.swf", "--bogus"}, "unknown option --bogus"},
        {{"a.swf", "--json=1"}, "--json takes no value"},
        {{"a.swf", "-y", "-n"}, "-y and -n cannot be used together"},
        {{}, "no movie given"},
        {{"--size", "10x10"}, "no movie given"},
        {{"a.swf", "--type", "gif", "--codec", "XVID"}, "--codec applies to avi output, not with --type gif"},
        {{"a.swf", "--mpeg-preset", "vcd-pal", "--gif-fps", "10"},
         "--gif-fps applies to gif output, not with --mpeg-preset"},
        {{"a.swf", "--output", "x.gif", "--jpeg-quality", "5"}, ""},  // output's extension yields to options
        {{"a.swf", "--type", "gif", "--sound", "x.wav"}, "--sound applies to video output only"},
        {{"a.swf", "--type", "images", "--sound-format", "wav"},
         "--sound-format applies to video output only"},
        {{"a.swf", "--sound", "none", "--sound-format", "wav"}, "--sound-format applies to recorded sound"},
        {{"a.swf", "--mpeg-preset", "vcd-ntsc", "--size", "640x480"},
         "--size cannot be used with the MPEG preset vcd-ntsc"},
        {{"a.swf", "--type", "mpeg", "--keep-aspect"},
         "--keep-aspect cannot be used with the MPEG preset vcd-ntsc"},
        {{"a.swf", "--mpeg-preset", "svcd-pal", "--crop", "0,0,10,10"},
         "--crop cannot be used with the MPEG preset svcd-pal"},
        {{"a.swf", "--mpeg-preset", "mpeg2", "--crop", "0,0,10,10", "--size", "64x64"}, ""},
        {{"a.swf", "--tasks", "t.ini"}, "give no movies with it"},
        {{"--tasks", "t.ini", "--size", "10x10"}, "only -y, -n, --json, --background and the batch options"},
        {{"--tasks", "t.ini", "--jobs", "2", "--shard", "1/2", "--summary", "s.json"}, ""},
        {{"a.swf", "b.swf", "--list-codecs"}, "--list-codecs takes at most one movie"},
    };
    for (const ParseErrorCase& c : cases) {
        std::string joined;
        for (const std::string& a : c.args)
            joined += a + " ";
        TConvertRequest r;
        std::string error;
        bool ok = cli::parseConvertArgs(c.args, &r, &error);
        if (c.message.empty()) {
            EXPECT_TRUE(ok) << joined << error;
            continue;
        }
        EXPECT_FALSE(ok) << joined;
        EXPECT_EQ(error.rfind("tolvikan convert: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << joined << "-> " << error;
    }
}

TEST(ConvertArgs, ReadsValuesInBothFormsAndKeepsMovieOrder) {
    TConvertRequest r;
    std::string error;
    ASSERT_TRUE(cli::parseConvertArgs({"one.swf", "--size=64x48", "-y", "two.swf", "--frames", "7", "--",
                                       "-dash.swf", "--background", "#10A0ff", "--json"},
                                      &r, &error))
        << error;
    // After "--" everything is a movie, options included.
    EXPECT_EQ(r.movies, (std::vector<std::string>{"one.swf", "two.swf", "-dash.swf", "--background",
                                                  "#10A0ff", "--json"}));
    EXPECT_EQ(r.size, std::make_pair(64, 48));
    EXPECT_EQ(r.frames, std::make_pair(7, 7));
    EXPECT_EQ(r.overwrite, cli::TOverwrite::Yes);
    EXPECT_FALSE(r.background);
    EXPECT_FALSE(r.json);

    ASSERT_TRUE(
        cli::parseConvertArgs({"--tasks", "t.ini", "-n", "--json", "--background", "FF0000"}, &r, &error));
    EXPECT_EQ(r.tasksFile, "t.ini");
    EXPECT_EQ(r.overwrite, cli::TOverwrite::No);
    EXPECT_TRUE(r.json);
    EXPECT_EQ(r.background, 0xFF0000u);
}

// --- options applied to a movie's task ---

struct ApplyCase {
    std::vector<std::string> args;                                      // after the movie
    std::function<void(const TCovSettings&, const FakeCodecs&)> check;  // null: an error is expected
    std::string error = "";                                             // expected within the error
};

class ConvertApply : public ::testing::Test {
  protected:
    ScratchDir dir;
    std::string movie = dir.write("m.swf", EmptyMovie(320, 240, 12, 10));

    // Parses `args` with the movie first, fills the defaults and applies; returns the error ("" when none).
    std::string apply(std::vector<std::string> args, TCovSettings& task, FakeCodecs& codecs,
                      size_t movieCount = 1) {
        args.insert(args.begin(), movie);
        TConvertRequest r;
        std::string error;
        if (!cli::parseConvertArgs(args, &r, &error)) return error;
        FillTaskDefaults(task, movie, true, codecs.source());
        return cli::applyConvertOptions(r, movie, movieCount, task, codecs.source());
    }
};

TEST_F(ConvertApply, EachOptionSetsItsFields) {
    const std::string d = dir.path().string() + "/";
    std::string sound = dir.touch("track.wav");
    const std::vector<ApplyCase> cases = {
        {{},
         [&](const TCovSettings& t, const FakeCodecs&) {
             // Nothing given: FillTaskDefaults's task, but no recording pass unless asked for.
             EXPECT_EQ(t.destType, dtAVI);
             EXPECT_EQ(t.destFilepath, d);
             EXPECT_EQ(t.destFilename, "m.avi");
             EXPECT_EQ(t.destW, 320);
             EXPECT_EQ(t.destH, 240);
             EXPECT_TRUE(t.destIsUseOriginalSize);
             EXPECT_FALSE(t.destIsKeepAspectRatio);
             EXPECT_FALSE(t.destIsCrop);
             EXPECT_EQ(t.destStartFrame, 1);
             EXPECT_EQ(t.destEndFrame, 10);
             EXPECT_EQ(t.destSequenceMode, smNormal);
             EXPECT_EQ(t.destColorDepth, cd24Bit);
             EXPECT_EQ(t.adoSource, asNone);
             EXPECT_EQ(t.adoFileType, aftMP3);
             EXPECT_STREQ(t.DestAVICodecInfo.codecName, "Full Frames, Uncompressed");
             EXPECT_EQ(t.destAVICodec, 0);
         }},
        {{"--type", "gif", "--gif-fps", "25", "--gif-loop", "3", "--frames", "2-5"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destType, dtGIF);
             EXPECT_EQ(t.destFilename, "m.gif");
             EXPECT_EQ(t.destGIFFrameRate, 25);
             EXPECT_TRUE(t.destGIFIsLooping);
             EXPECT_EQ(t.destGIFRepeatCount, 3);
             EXPECT_EQ(t.destStartFrame, 2);
             EXPECT_EQ(t.destEndFrame, 5);
         }},
        {{"--gif-loop", "off"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destType, dtGIF);  // named by the GIF option
             EXPECT_FALSE(t.destGIFIsLooping);
             EXPECT_EQ(t.destGIFFrameRate, 12);  // the movie's own rate
         }},
        {{"--output", d + "out/clip.GIF"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destType, dtGIF);  // named by the extension
             EXPECT_EQ(t.destFilepath, d + "out/");
             EXPECT_EQ(t.destFilename, "clip.GIF");
         }},
        // An AVI file named .gif would be a file its name misdescribes: refused.
        {{"--type", "avi", "--output", d + "clip.gif"},
         nullptr,
         "names gif output, but --type avi asks for avi"},
        {{"--output", d + "videos/"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destFilepath, d + "videos/");
             EXPECT_EQ(t.destFilename, "m.avi");
         }},
        {{"--size", "640x360", "--keep-aspect"},
         [&](const TCovSettings& t, const FakeCodecs& c) {
             EXPECT_EQ(t.destW, 640);
             EXPECT_EQ(t.destH, 360);
             EXPECT_FALSE(t.destIsUseOriginalSize);
             EXPECT_TRUE(t.destIsKeepAspectRatio);
             // The codec list is asked at the frame size: the movie's 4:3 inside 640x360.
             EXPECT_EQ(c.lastW, 480);
             EXPECT_EQ(c.lastH, 360);
         }},
        {{"--crop", "10,20,100,50", "--mode", "frame"},
         [&](const TCovSettings& t, const FakeCodecs& c) {
             EXPECT_TRUE(t.destIsCrop);
             EXPECT_EQ(t.destCropX, 10);
             EXPECT_EQ(t.destCropY, 20);
             EXPECT_EQ(t.destCropW, 100);
             EXPECT_EQ(t.destCropH, 50);
             EXPECT_EQ(t.destSequenceMode, smFrameByFrame);
             EXPECT_EQ(c.lastW, 100);
             EXPECT_EQ(c.lastH, 50);
         }},
        {{"--size", "640x480", "--crop", "300,0,340,480"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destCropW, 340);  // inside the 640x480 picture the size makes
         }},
        {{"--crop", "300,0,40,10"}, nullptr, "--crop 300,0,40,10 lies outside the 320x240 picture"},
        {{"--codec", "MJPG", "--mode", "skip"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_STREQ(t.DestAVICodecInfo.codecName, "Motion JPEG");
             EXPECT_EQ(t.DestAVICodecInfo.codecID, 0x47504A4D);
             EXPECT_EQ(t.destAVICodec, 0x47504A4D);
             EXPECT_EQ(t.destSequenceMode, smSkipBackward);
         }},
        {{"--codec", "motion jpeg"},
         [&](const TCovSettings& t, const FakeCodecs&) { EXPECT_EQ(t.destAVICodec, 0x47504A4D); }},
        {{"--codec", "Full Frames, Uncompressed"},
         [&](const TCovSettings& t, const FakeCodecs&) { EXPECT_EQ(t.destAVICodec, 0); }},
        {{"--codec", "nope"}, nullptr, "no AVI codec 'nope' at 320x240"},
        {{"--alpha", "background", "--codec", "MJPG"}, nullptr, "no AVI codec 'MJPG' at 320x240 with alpha"},
        {{"--alpha", "sqrt"},
         [&](const TCovSettings& t, const FakeCodecs& c) {
             EXPECT_EQ(t.destColorDepth, cd32BitAlpha);
             EXPECT_EQ(t.destAlphaMode, amIntensitySqrt);
             EXPECT_EQ(c.lastBits, 32);
         }},
        {{"--type", "images", "--alpha", "intensity"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destType, dtImageSequence);
             EXPECT_EQ(t.destImageType, itPNG);
             EXPECT_EQ(t.destColorDepth, cd32BitAlpha);
             EXPECT_EQ(t.destAlphaMode, amIntensity);
             EXPECT_EQ(t.destFilepath, d + "m/");  // a folder named after the movie
         }},
        {{"--type", "images", "--image-format", "jpeg", "--jpeg-quality", "60", "--output", d + "pics"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destImageType, itJPEG);
             EXPECT_EQ(t.destImageJPEGQuality, 60);
             EXPECT_EQ(t.destFilepath, d + "pics/");
         }},
        {{"--jpeg-quality", "70"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destType, dtImageSequence);
             EXPECT_EQ(t.destImageType, itJPEG);
             EXPECT_EQ(t.destImageJPEGQuality, 70);
         }},
        {{"--image-format", "png", "--jpeg-quality", "50"},
         nullptr,
         "--jpeg-quality applies to JPEG images only"},
        {{"--image-format", "bmp", "--alpha", "intensity"},
         nullptr,
         "--alpha needs AVI, MPEG, WebM or MOV output"},
        {{"--type", "gif", "--alpha", "sqrt"}, nullptr, "--alpha needs AVI, MPEG, WebM or MOV output"},
        {{"--mpeg-preset", "dvd-pal"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destType, dtMPEG);
             EXPECT_EQ(t.destFilename, "m.mpg");
             EXPECT_EQ(t.destMPEGCodec, mpDVDPAL);
             EXPECT_EQ(t.destW, 720);
             EXPECT_EQ(t.destH, 576);
             EXPECT_EQ(t.destMPEGFrameRate, 2);
             EXPECT_FALSE(t.destIsUseOriginalSize);
             EXPECT_STREQ(t.DestMPEGCodecInfo.codecName, "MPEG-2 format");
         }},
        {{"--type", "mpeg"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destMPEGCodec, mpVCDNTSC);  // the default preset fixes the picture too
             EXPECT_EQ(t.destW, 352);
             EXPECT_EQ(t.destH, 240);
             EXPECT_EQ(t.destMPEGFrameRate, 3);
             EXPECT_STREQ(t.DestMPEGCodecInfo.codecName, "MPEG-1 format");
         }},
        {{"--mpeg-preset", "mpeg2", "--size", "640x480", "--keep-aspect"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destMPEGCodec, mpMPEG2Custom);
             EXPECT_EQ(t.destW, 640);
             EXPECT_TRUE(t.destIsKeepAspectRatio);
             EXPECT_STREQ(t.DestMPEGCodecInfo.codecName, "MPEG-2 format");
         }},
        {{"--sound", "none"},
         [&](const TCovSettings& t, const FakeCodecs&) { EXPECT_EQ(t.adoSource, asNone); }},
        {{"--sound", "record", "--sound-format", "wav"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.adoSource, asRecord);
             EXPECT_FALSE(t.adoDirect) << "the real-time recording pass";
             EXPECT_EQ(t.adoFileType, aftWAV);
         }},
        {{"--sound", "movie"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.adoSource, asRecord);
             EXPECT_TRUE(t.adoDirect) << "taken from the player";
         }},
        {{"--sound", sound},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.adoSource, asImport);
             EXPECT_EQ(t.adoFilename, sound);
         }},
        {{"--sound", d + "missing.wav"}, nullptr, "missing.wav: no such sound file"},
        {{"--type", "MP4"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destType, dtMP4);
             EXPECT_EQ(t.destFilename, "m.mp4");
             EXPECT_EQ(t.destVideoCodec, 0);
             EXPECT_EQ(t.destVideoQuality, kDefaultVideoQuality);
             EXPECT_EQ(t.adoSource, asNone);
         }},
        {{"-o", d + "clip.webm", "--quality", "80", "--alpha", "sqrt"},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destType, dtWebM);  // named by the extension
             EXPECT_EQ(t.destFilename, "clip.webm");
             EXPECT_EQ(t.destVideoQuality, 80);
             EXPECT_EQ(t.destColorDepth, cd32BitAlpha);
             EXPECT_EQ(t.destAlphaMode, amIntensitySqrt);
         }},
        {{"--codec", "Animation", "--sound", sound},
         [&](const TCovSettings& t, const FakeCodecs&) {
             EXPECT_EQ(t.destType, dtMOV);
             EXPECT_EQ(t.destVideoCodec, mcAnimation);
             EXPECT_EQ(t.destFilename, "m.mov");
             EXPECT_EQ(t.adoSource, asImport);
         }},
        {{"--type", "mp4", "--alpha", "sqrt"}, nullptr, "MP4 (H.264) has no alpha channel"},
    };
    for (const ApplyCase& c : cases) {
        std::string joined;
        for (const std::string& a : c.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        TCovSettings task;
        FakeCodecs codecs;
        std::string error = apply(c.args, task, codecs);
        if (c.check) {
            ASSERT_EQ(error, "");
            c.check(task, codecs);
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

TEST_F(ConvertApply, AMovieWithSoundKeepsItByDefault) {
    // DefineSound (code 14) of a few PCM samples: the movie has sound of its own.
    testswf::SwfBuilder b;
    b.tag(14, {1, 0, 0x3E, 4, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0}).showFrame().end();
    movie = dir.write("loud.swf", b.build());
    TCovSettings task;
    FakeCodecs codecs;
    ASSERT_EQ(apply({}, task, codecs), "");
    EXPECT_EQ(task.adoSource, asRecord);
    EXPECT_TRUE(task.adoDirect);
}

TEST_F(ConvertApply, SeveralMoviesNeedAnOutputFolder) {
    const std::string d = dir.path().string() + "/";
    TCovSettings task;
    FakeCodecs codecs;
    EXPECT_NE(apply({"--output", d + "one.avi"}, task, codecs, 2).find("give a folder"), std::string::npos);
    // An existing folder counts as a folder without its slash.
    dir.touch("out/placeholder");
    EXPECT_EQ(apply({"--output", d + "out"}, task, codecs, 2), "");
    EXPECT_EQ(task.destFilepath + task.destFilename, d + "out/m.avi");
    // Image sequences of several movies go to one folder per movie inside the given one.
    EXPECT_EQ(apply({"--type", "images", "--output", d + "frames"}, task, codecs, 2), "");
    EXPECT_EQ(task.destFilepath, d + "frames/m/");
}

TEST(ConvertShard, PartsFromTheCommandLineAndFromASlurmArray) {
    struct Case {
        std::string text;
        const char *id, *count, *first;
        int index, parts;  // 0 parts: refused
        std::string error;
    };
    const std::vector<Case> cases = {
        {"2/4", nullptr, nullptr, nullptr, 2, 4, ""},
        {"1/1", nullptr, nullptr, nullptr, 1, 1, ""},
        {"slurm", "3", "4", "1", 3, 4, ""},
        {"SLURM", "0", "4", "0", 1, 4, ""},  // an array from 0 is counted from its first index
        {"slurm", "2", "4", nullptr, 2, 4, ""},
        {"slurm", nullptr, nullptr, nullptr, 0, 0,
         "SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT are not set"},
        {"slurm", "5", "4", "1", 0, 0, "array task 5 is outside an array of 4 tasks"},
        {"slurm", "x", "4", "1", 0, 0, "are not numbers"},
        {"2", nullptr, nullptr, nullptr, 0, 0, "needs I/N"},
        {"1/0", nullptr, nullptr, nullptr, 0, 0, "needs I/N"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        auto shard = cli::parseShard(c.text, c.id, c.count, c.first, &error);
        if (c.parts == 0) {
            EXPECT_FALSE(shard);
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(shard) << error;
        EXPECT_EQ(shard->index, c.index);
        EXPECT_EQ(shard->count, c.parts);
    }
    // The parts of a list: each position in exactly one, and the parts differ in size by one at most.
    for (int parts : {1, 3, 4}) {
        std::vector<int> sizes(parts, 0);
        for (size_t position = 0; position < 10; ++position) {
            int owners = 0;
            for (int i = 1; i <= parts; ++i)
                if (cli::inShard({i, parts}, position)) {
                    ++owners;
                    ++sizes[i - 1];
                }
            EXPECT_EQ(owners, 1) << position << " of " << parts;
        }
        EXPECT_LE(
            *std::max_element(sizes.begin(), sizes.end()) - *std::min_element(sizes.begin(), sizes.end()), 1);
    }
}

TEST(ConvertCodecs, ListsNameAndIdentifier) {
    FakeCodecs codecs;
    auto list = cli::listAviCodecs(320, 240, 24, codecs.source());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "Full Frames, Uncompressed");
    EXPECT_EQ(list[0].id, "0");
    EXPECT_EQ(list[1].id, "FMP4");
    EXPECT_EQ(list[2].id, "MJPG");
    EXPECT_EQ(cli::listAviCodecs(320, 240, 32, codecs.source()).size(), 1u);
    EXPECT_EQ(cli::codecIdText(0x01020304), std::to_string(0x01020304));  // not printable: decimal
}

}  // namespace
