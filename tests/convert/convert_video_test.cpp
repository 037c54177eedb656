// Video output end to end: AVI, MPEG, MP4, WebM and MOV files written through the media library, probed and
// decoded by FFmpeg (frames, size, rate, codec, sound), the error policy, and the recording pass hook.
#include <QDir>
#include <QFile>
#include <QLabel>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "convert/recording_hooks.h"
#include "convert_test_util.h"
#include "mcl/mcl_codecs.h"
#include "tasks/temp_files.h"

namespace {

using namespace convtest;

class VideoOutput : public ConvertTest {};

TEST_F(VideoOutput, EachKindOfFileWithItsFramesRateSizeCodecAndSound) {
    struct Case {
        const char* what;
        TDestType type;
        const char* aviCodec;  // name prefix; nullptr: the default block (uncompressed)
        TMPEGPreset preset;
        TSequenceMode mode;
        int start, end;
        bool sound;
        const char* codec;
        int width, height;
        double rate;
        int frames;            // -1: from the duration (kept duration at another rate)
        bool exactPictures;    // lossless: every frame equals the engine's picture
        int32_t mpegRate = 3;  // destMPEGFrameRate of the customised formats
    } cases[] = {
        {"AVI uncompressed", dtAVI, nullptr, mpVCDNTSC, smNormal, 1, 6, false, "rawvideo", 80, 60, 12, 6,
         true},
        {"AVI uncompressed from frame 3", dtAVI, nullptr, mpVCDNTSC, smNormal, 3, 6, false, "rawvideo", 80,
         60, 12, 4, true},
        {"AVI frame by frame", dtAVI, nullptr, mpVCDNTSC, smFrameByFrame, 2, 5, false, "rawvideo", 80, 60, 12,
         4, true},
        {"AVI MPEG-4 with sound", dtAVI, "MPEG-4 Part 2", mpVCDNTSC, smNormal, 1, 6, true, "mpeg4", 80, 60,
         12, 6, false},
        {"MPEG VCD NTSC with sound", dtMPEG, nullptr, mpVCDNTSC, smNormal, 1, 6, true, "mpeg1video", 352, 240,
         30000.0 / 1001, -1, false},
        {"MPEG DVD PAL", dtMPEG, nullptr, mpDVDPAL, smNormal, 1, 6, false, "mpeg2video", 720, 576, 25, -1,
         false},
        {"customised MPEG-1 at 25 fps, the task's size", dtMPEG, nullptr, mpMPEG1Custom, smNormal, 1, 6,
         false, "mpeg1video", 80, 60, 25, -1, false, 2},
    };
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 6);
    const std::string tone = WriteToneWav(QDir(dir.path()).filePath("tone.wav").toStdString(), 2.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        journal = {};
        const std::string name = c.type == dtAVI ? "square.avi" : "square.mpg";
        TCovSettings task = Task(movie, c.type, name);
        task.destMPEGCodec = c.preset;
        task.destMPEGFrameRate = c.mpegRate;
        task.destSequenceMode = c.mode;
        task.destStartFrame = c.start;
        task.destEndFrame = c.end;
        if (c.aviCodec) {
            ASSERT_TRUE(FindAviCodec(c.aviCodec, 80, 60, &task.DestAVICodecInfo));
        }
        if (c.sound) {
            task.adoSource = asImport;
            task.adoFilename = tone;
        }
        std::vector<QString> labels;
        auto connection = QObject::connect(frm.get(), &TInteractFrm::currentProgress,
                                           [&](int, int) { labels.push_back(frm->labCurrent->text()); });
        Run({&task});
        QObject::disconnect(connection);

        const Media m = ReadMedia(Out(name), c.exactPictures);
        ASSERT_TRUE(m.ok) << m.error;
        EXPECT_EQ(m.videoCodec, c.codec);
        EXPECT_EQ(m.width, c.width);
        EXPECT_EQ(m.height, c.height);
        EXPECT_NEAR(m.frameRate, c.rate, 0.01);
        const int range = c.end - c.start + 1;
        if (c.frames >= 0) {
            EXPECT_EQ(m.frames, c.frames);
        } else {
            // Kept duration: the movie's 6 frames at 12 fps last half a second at the output's rate too.
            EXPECT_NEAR(m.frames, range / 12.0 * c.rate, 1.0);
        }
        EXPECT_NEAR(m.frames / m.frameRate, range / 12.0, 1.0 / c.rate + 1e-6) << "the movie's duration";
        // Disc presets always carry sound: silence when the task has none.
        const bool silentTrack = !c.sound && c.type == dtMPEG && c.preset < mpMPEG1Custom;
        EXPECT_EQ(m.hasAudio, c.sound || silentTrack);
        if (c.exactPictures) {
            ASSERT_EQ(m.pictures.size(), size_t(range));
            for (int i = 0; i < range; ++i)
                EXPECT_EQ(
                    MaxChannelDifference(m.pictures[size_t(i)], ReferenceFrame(movie, c.start + i, {80, 60})),
                    0)
                    << "frame " << c.start + i;
        }
        // The current label counts the delivered frames up to the range, then the run resets it.
        ASSERT_GE(labels.size(), size_t(range) + 1);
        EXPECT_EQ(labels[1], "1/" + QString::number(range) + " Frames Done");
        EXPECT_EQ(labels[size_t(range)],
                  QString::number(range) + "/" + QString::number(range) + " Frames Done");
        EXPECT_EQ(frm->labCurrent->text(), "0 Frames Done");
        const QString kind = c.type == dtAVI ? "\" to AVI." : "\" to MPEG.";
        std::vector<QString> expected = {
            "Status:> Converting \"square.swf" + kind + " | " + QString::fromStdString(Out(name)),
            "Status:> Finish converting \"square.swf" + kind,
            "Status:> All Finished",
        };
        if (silentTrack)
            expected.insert(expected.begin() + 1,
                            "Status:> No sound for \"square.swf\": the disc gets a silent track");
        EXPECT_EQ(journal.lines, expected);
        ASSERT_EQ(journal.ends.size(), 1u);
        EXPECT_TRUE(journal.ends[0].done) << journal.ends[0].reason.toStdString();
        EXPECT_TRUE(QFile::exists(QString::fromStdString(tone))) << "an imported sound file stays";
    }
}

TEST_F(VideoOutput, StopAndCancelLeavePlayableFiles) {
    struct Case {
        const char* what;
        TDestType type;
        bool stop;
    } cases[] = {
        {"stop, AVI", dtAVI, true},
        {"cancel, AVI", dtAVI, false},
        {"stop, MPEG", dtMPEG, true},
    };
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 6);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        journal = {};
        QDir(QDir(dir.path()).filePath("out")).removeRecursively();
        const std::string ext = c.type == dtAVI ? ".avi" : ".mpg";
        TCovSettings first = Task(movie, c.type, "first" + ext);
        TCovSettings second = Task(movie, c.type, "second" + ext);
        bool fired = false;
        auto connection = QObject::connect(frm.get(), &TInteractFrm::currentProgress, [&](int position, int) {
            if (position != 3 || fired || frm->CurTask != &first) return;
            fired = true;
            c.stop ? frm->StopConverting() : frm->CancelCurrentTask();
        });
        Run({&first, &second});
        QObject::disconnect(connection);
        const Media m = ReadMedia(Out("first" + ext));
        ASSERT_TRUE(m.ok) << m.error;
        if (c.type == dtAVI)
            EXPECT_EQ(m.frames, 3);
        else
            EXPECT_NEAR(m.frames / m.frameRate, 3 / 12.0, 1.0 / m.frameRate + 1e-6);
        EXPECT_EQ(QFile::exists(QString::fromStdString(Out("second" + ext))), !c.stop);
        const QString kind = c.type == dtAVI ? "\" to AVI." : "\" to MPEG.";
        const QString ending =
            c.stop ? "Status:> Stop converting" : "Status:> Cancel converting \"square.swf" + kind;
        // A disc without sound gets a silent track, which the log says first.
        const size_t at = c.type == dtMPEG ? 2 : 1;
        ASSERT_GE(journal.lines.size(), at + 2);
        EXPECT_EQ(journal.lines[at], ending);
        EXPECT_EQ(journal.lines[at + 1], (c.stop ? "Status:> Stopped converting \"square.swf"
                                                 : "Status:> Cancelled converting \"square.swf") +
                                             kind.chopped(1) + ": the file holds the frames so far.");
        ASSERT_FALSE(journal.ends.empty());
        EXPECT_TRUE(journal.ends[0].done);
        EXPECT_EQ(journal.ends[0].reason, c.stop ? "stopped" : "cancelled");
    }
}

TEST_F(VideoOutput, ErrorPolicyDecidesWhetherTheRunGoesOn) {
    // A sound file the library cannot read is an error it reports for that file.
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 3);
    const std::string broken = QDir(dir.path()).filePath("broken.wav").toStdString();
    {
        QFile f(QString::fromStdString(broken));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a sound file");
    }
    const QString question =
        "An error occurs while converting, in most time, please ignore it.\nFileName: \"" +
        QString::fromStdString(broken) + "\"";
    struct Case {
        const char* what;
        TErrorPolicy policy;
        int answer;  // to the question of "Ask me"
        bool asked;
        bool runGoesOn;
    } cases[] = {
        {"ignore", epIgnore, 0, false, true},
        {"abort", epAbort, 0, false, false},
        {"ask, answered ignore", epAskMe, 4, true, true},
        {"ask, answered abort", epAskMe, 2, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        journal = {};
        QDir(QDir(dir.path()).filePath("out")).removeRecursively();
        frm->setErrorPolicy(c.policy);
        frm->AskErrorAction = [&](const QString& text) {
            journal.messages.push_back(text);
            return c.answer;
        };
        TCovSettings first = Task(movie, dtAVI, "first.avi");
        first.adoSource = asImport;
        first.adoFilename = broken;
        TCovSettings second = Task(movie, dtGIF, "second.gif");
        Run({&first, &second});
        EXPECT_EQ(journal.messages, c.asked ? std::vector<QString>{question} : std::vector<QString>{});
        EXPECT_EQ(QFile::exists(QString::fromStdString(Out("second.gif"))), c.runGoesOn);
        ASSERT_FALSE(journal.ends.empty());
        if (c.runGoesOn) {
            const Media m = ReadMedia(Out("first.avi"));
            ASSERT_TRUE(m.ok) << m.error;
            EXPECT_EQ(m.frames, 3);
            EXPECT_FALSE(m.hasAudio);
            EXPECT_TRUE(journal.ends[0].done);
        } else {
            EXPECT_EQ(journal.ends.size(), 1u);
            EXPECT_FALSE(journal.ends[0].done) << "an aborted task is not reported as converted";
            EXPECT_EQ(journal.lines.back(), "Status:> All Finished");
            // The abort came before the first frame: the file is finished, with no frame in it.
            const Media m = ReadMedia(Out("first.avi"));
            EXPECT_TRUE(m.ok) << m.error;
            EXPECT_EQ(m.frames, 0);
        }
    }
    frm->setErrorPolicy(epIgnore);
}

TEST_F(VideoOutput, RecordingPassGivesTheSoundAndTheLastFrame) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 6);
    std::string recorded;
    int passes = 0;
    RecordingPassHook = [&](TCovSettings& task) {
        ++passes;
        recorded = GetTempFile();
        recorded = recorded.substr(0, recorded.size() - 4) + ".wav";
        WriteToneWav(recorded, 1.0);
        task.adoUseFilename = recorded;
        task.destLastFrame = task.destStartFrame + 3;  // four frames played while recording
    };
    TCovSettings task = Task(movie, dtAVI, "recorded.avi");
    task.adoSource = asRecord;
    task.adoDirect = false;   // the real-time pass, not the player's sound taken directly
    task.destLastFrame = 99;  // the driver clears what an earlier run left
    Run({&task});
    RecordingPassHook = nullptr;
    EXPECT_EQ(passes, 1);
    const Media m = ReadMedia(Out("recorded.avi"));
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_EQ(m.frames, 4);
    EXPECT_TRUE(m.hasAudio);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(recorded))) << "the recorded temporary file is deleted";
    ASSERT_GE(journal.lines.size(), 2u);
    EXPECT_EQ(journal.lines[0], "Status:> Recording from \"square.swf\"");

    // Without a recording window the line is written and the video comes without sound.
    journal = {};
    TCovSettings silent = Task(movie, dtAVI, "silent.avi");
    silent.adoSource = asRecord;
    silent.adoDirect = false;
    Run({&silent});
    const Media s = ReadMedia(Out("silent.avi"));
    ASSERT_TRUE(s.ok) << s.error;
    EXPECT_EQ(s.frames, 6);
    EXPECT_FALSE(s.hasAudio);
    EXPECT_EQ(journal.lines[0], "Status:> Recording from \"square.swf\"");
}

TEST_F(VideoOutput, AnImportedFileWithTheTemporaryPrefixStays) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 2);
    const std::string imported = WriteToneWav(QDir(dir.path()).filePath("QMRtone.wav").toStdString(), 1.0);
    TCovSettings task = Task(movie, dtAVI, "imported.avi");
    task.adoSource = asImport;
    task.adoFilename = imported;
    Run({&task});
    EXPECT_TRUE(ReadMedia(Out("imported.avi")).hasAudio);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(imported)));
}

TEST_F(VideoOutput, ThePlayersOwnClockFeedsTheLibrarysFrameLoop) {
    // The library pulls frames while the movie's own timer drives the player, as in the window.
    frm->FastClock = false;
    const std::string movie = WriteMovingSquareMovie(Folder(), "paced.swf", 4, 80, 60, 30);
    TCovSettings task = Task(movie, dtAVI, "paced.avi");
    Run({&task});
    const Media m = ReadMedia(Out("paced.avi"), true);
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_NEAR(m.frameRate, 30, 0.01);
    ASSERT_EQ(m.pictures.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(MaxChannelDifference(m.pictures[size_t(i)], ReferenceFrame(movie, i + 1, {80, 60})), 0)
            << "frame " << i + 1;
}

TEST_F(VideoOutput, AlphaReachesAnUncompressedAviOnlyWhenAsked) {
    // 32-bit output with an alpha mode hands the library pictures with an alpha channel, which the
    // uncompressed codec keeps; 24-bit output ignores the alpha mode.
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 2);
    struct Case {
        const char* what;
        TColorDepth depth;
        TAlphaMode mode;
        const char* pixelFormat;
    } cases[] = {
        {"32 bits, intensity", cd32BitAlpha, amIntensity, "bgra"},
        {"24 bits", cd24Bit, amIntensity, "bgr24"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TCovSettings task = Task(movie, dtAVI, std::string(c.what) + ".avi");
        task.destColorDepth = c.depth;
        task.destAlphaMode = c.mode;
        Run({&task});
        const Media m = ReadMedia(Out(std::string(c.what) + ".avi"));
        ASSERT_TRUE(m.ok) << m.error;
        EXPECT_EQ(m.frames, 2);
        EXPECT_EQ(m.pixelFormat, c.pixelFormat);
    }
}

// MP4, WebM and MOV tasks as the dialog and the task list store them (kind, MOV codec, colour depth and alpha
// mode, imported sound) reach the media library: the file holds the task's codec, its alpha channel where the
// task asks for one, every frame of the range and the sound cut at the picture's end.
TEST_F(VideoOutput, ContainerKindsKeepTheTasksCodecAlphaFramesAndSound) {
    struct Case {
        const char* name;
        TDestType type;
        int32_t movCodec;
        bool alpha;
        const char* codec;
        const char* pixelFormat;  // as FFmpeg's own decoder reports the stream
        const char* alphaMode;
        const char* audioCodec;
        const char* kind;
    } cases[] = {
        {"clip.mp4", dtMP4, 0, false, "h264", "yuv420p", "", "aac", "MP4"},
        {"clip.webm", dtWebM, 0, false, "vp9", "yuv420p", "", "opus", "WebM"},
        // VP9 keeps its alpha beside the picture: the stream is tagged, FFmpeg's decoder shows the colours.
        {"alpha.webm", dtWebM, 0, true, "vp9", "yuv420p", "1", "opus", "WebM"},
        {"prores.mov", dtMOV, mcProRes4444, true, "prores", "yuva444p12le", "", "pcm_s16le", "MOV"},
        {"animation.mov", dtMOV, mcAnimation, false, "qtrle", "rgb24", "", "pcm_s16le", "MOV"},
        {"animation-alpha.mov", dtMOV, mcAnimation, true, "qtrle", "argb", "", "pcm_s16le", "MOV"},
    };
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 6);
    const std::string tone = WriteToneWav(QDir(dir.path()).filePath("tone.wav").toStdString(), 2.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        journal = {};
        TCovSettings task = Task(movie, c.type, c.name);
        task.destVideoCodec = c.movCodec;
        task.destColorDepth = c.alpha ? cd32BitAlpha : cd24Bit;
        task.destAlphaMode = amIntensity;
        task.destStartFrame = 1;
        task.destEndFrame = 6;
        task.adoSource = asImport;
        task.adoFilename = tone;
        Run({&task});
        ASSERT_EQ(journal.ends.size(), 1u);
        EXPECT_TRUE(journal.ends[0].done) << journal.ends[0].reason.toStdString();
        ASSERT_FALSE(journal.lines.empty());
        EXPECT_EQ(journal.lines[0], "Status:> Converting \"square.swf\" to " + QString(c.kind) + ". | " +
                                        QString::fromStdString(Out(c.name)));

        const Media m = ReadMedia(Out(c.name));
        ASSERT_TRUE(m.ok) << m.error;
        EXPECT_EQ(m.videoCodec, c.codec);
        EXPECT_EQ(m.pixelFormat, c.pixelFormat);
        EXPECT_EQ(m.alphaMode, c.alphaMode);
        EXPECT_EQ(m.width, 80);
        EXPECT_EQ(m.height, 60);
        EXPECT_EQ(m.frames, 6);
        EXPECT_NEAR(m.frameRate, 12, 0.01);
        // The 2 s tone ends with the picture (Opus's priming may show as a few ms before it).
        EXPECT_NEAR(m.duration, 0.5, 0.01);
        EXPECT_TRUE(m.hasAudio);
        EXPECT_EQ(m.audioCodec, c.audioCodec);
    }
}

TEST_F(VideoOutput, AFileTheLibraryCannotWriteIsReportedAndTheRunGoesOn) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 2);
    QDir().mkpath(QString::fromStdString(Out("taken.avi")));  // a folder where the file should go
    TCovSettings blocked = Task(movie, dtAVI, "taken.avi");
    TCovSettings next = Task(movie, dtAVI, "next.avi");
    Run({&blocked, &next});
    ASSERT_EQ(journal.ends.size(), 2u);
    EXPECT_FALSE(journal.ends[0].done) << "not reported as converted";
    EXPECT_TRUE(journal.ends[0].reason.startsWith("error: ")) << journal.ends[0].reason.toStdString();
    EXPECT_TRUE(journal.ends[1].done);
    EXPECT_EQ(ReadMedia(Out("next.avi")).frames, 2);
    ASSERT_GE(journal.lines.size(), 3u);
    EXPECT_TRUE(journal.lines[1].startsWith("Status:> Error converting \"square.swf\" to AVI. | "))
        << journal.lines[1].toStdString();
    // The failed task is not "finished": the next line is the next task's.
    EXPECT_TRUE(journal.lines[2].startsWith("Status:> Converting \"square.swf\" to AVI. | "))
        << journal.lines[2].toStdString();
    EXPECT_TRUE(journal.messages.empty()) << "the default policy ignores library errors";
}

}  // namespace
