// The recording window: a pass plays the task's frame range in real time and records what the desktop plays
// (a tone played into the private server's sink, or the movie's own sound) into a temporary WAV or MP3 file;
// pause freezes the movie and leaves the paused span out; cancel keeps a playable file; the task gets the
// file and the last frame played. Failures (no sound server, no encoder, a movie that cannot be played) are
// told to the user and logged, and the pass still ends with the task's fields set.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/record_frm.h"
#include "audio/una_blade_mp3_enc.h"
#include "capture/shockwave_flash_ex.h"
#include "mp3_test_audio.h"
#include "pulse_test_server.h"
#include "support/swf_sound.h"
#include "tasks/temp_files.h"
#include "tests/player/player_test_util.h"

#ifndef TOLVIKAN_FPS1_MOVIE
#error "the tests need the path of the built frame-event movie fps1"
#endif

namespace {

using namespace std::chrono_literals;
using pulse_test::WavFile;

constexpr double kTone = 880.0;
constexpr double kOther = 1320.0;
constexpr int kRate = 20;  // frames per second of the test movies

class RecordPass : public ::testing::Test {
  protected:
    void SetUp() override {
        // The pass's temporary files go to a folder of this test alone.
        savedTmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        hadTmp_ = std::getenv("TMPDIR") != nullptr;
        tmp_ = dir_.path() / "tmp";
        std::filesystem::create_directories(tmp_);
        setenv("TMPDIR", tmp_.c_str(), 1);
        ASSERT_EQ(GetTempDir(), tmp_.string() + "/");
    }
    void TearDown() override {
        frm.reset();
        if (hadTmp_)
            setenv("TMPDIR", savedTmp_.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

    void makeWindow(const QString& encoderPath = QStringLiteral(MP3ENC_PATH)) {
        TRecordFrm::Options options;
        options.mp3EncoderPath = encoderPath;
        options.showMessage = [this](const QString& text) { messages.push_back(text.toStdString()); };
        options.logLine = [this](const QString& line) { logs.push_back(line.toStdString()); };
        frm = std::make_unique<TRecordFrm>(options);
        frm->FpsMovieFile = QStringLiteral(TOLVIKAN_FPS1_MOVIE);
    }

    // A task over a movie of `frames` frames at kRate frames per second.
    // soundSeconds > 0: frame 1 starts an event sound of that many seconds of kTone (its own sound, played
    // by the pass's player).
    void makeTask(int frames, TAudioFileType type, int stopAt = 0, double soundSeconds = 0) {
        auto b = playertest::movie(40, 40, frames);
        b.header().frameRate88 = kRate << 8;
        if (soundSeconds > 0) {
            std::vector<int16_t> tone(size_t(soundSeconds * 44100));
            for (size_t i = 0; i < tone.size(); ++i)
                tone[i] = int16_t(std::lround(12000 * std::sin(2 * M_PI * kTone * double(i) / 44100)));
            b.tag(testswf::kTagDefineSound,
                  testswf::defineSound(1, {3, 3, true, false}, uint32_t(tone.size()), testswf::pcm16(tone)));
            b.tag(testswf::kTagStartSound, testswf::startSound(1));
        }
        b.tag(playertest::kDefineShape3, playertest::rectShape(1, 0, 0, 40, 40, 0x3366CC));
        b.tag(playertest::kPlaceObject2, playertest::place(1, 1));
        for (int f = 1; f <= frames; ++f) {
            if (f == stopAt)
                b.tag(playertest::kDoAction, testswf::ActionWriter().op(0x07).withEnd());  // stop()
            b.showFrame();
        }
        const auto movie = dir_.path() / "movie.swf";
        ASSERT_TRUE(testswf::writeFile(movie.string(), b.end().build()));
        task.swfPlayFilename = movie.string();
        task.swfW = 40;
        task.swfH = 40;
        task.adoSource = asRecord;
        task.adoFileType = type;
        task.adoWavChannel = 1;  // stereo
        task.adoWavBits = 1;     // 16 bits
        task.adoWavFreq = 1;     // 22050 Hz
        task.adoMp3Channel = 1;  // stereo
        task.adoMp3BitRate = 2;  // 128 kbit/s
        task.destStartFrame = 1;
        task.destEndFrame = frames;
        task.destSequenceMode = smNormal;
    }

    // Runs the pass modally as the conversion driver does; `during` runs at the given times into the pass.
    void runPass(std::vector<std::pair<int, std::function<void()>>> during = {}) {
        frm->SetTask(&task);
        bool watchdog = false;
        QTimer::singleShot(30000, frm.get(), [&] {
            watchdog = true;
            frm->close();
        });
        for (auto& [ms, action] : during)
            QTimer::singleShot(ms, frm.get(), action);
        QElapsedTimer clock;
        clock.start();
        frm->exec();
        ranSeconds = clock.elapsed() / 1000.0;
        EXPECT_FALSE(watchdog) << "the pass did not end by itself";
        EXPECT_FALSE(frm->isVisible());
    }

    // Temporary files the pass left in its temporary folder.
    std::vector<std::string> leftFiles() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(tmp_))
            names.push_back(e.path().filename().string());
        return names;
    }

    // Starts a tone of `seconds` in the private server's sink and lets it get going.
    void playTone(double seconds) {
        const auto wav = dir_.path() / "tone.wav";
        ASSERT_TRUE(mp3_test::WriteFile(wav, pulse_test::ToneWav(44100, 2, kTone, seconds)));
        ASSERT_TRUE(tone.start(wav)) << "paplay could not be started";
        std::this_thread::sleep_for(300ms);
    }

    mp3_test::TempDir dir_;
    std::filesystem::path tmp_;
    std::string savedTmp_;
    bool hadTmp_ = false;

    std::unique_ptr<TRecordFrm> frm;
    TCovSettings task;
    std::vector<std::string> messages;
    std::vector<std::string> logs;
    double ranSeconds = 0;
    pulse_test::TonePlayer tone;
};

void ExpectToneIn(const std::vector<float>& samples, int sampleRate, const char* what) {
    const auto [first, last] = mp3_test::LoudSpan(samples, 0.2f);
    ASSERT_LT(first, last) << what << " is silent";
    const double wanted = mp3_test::PowerAt(samples, first, last, kTone, sampleRate);
    const double other = mp3_test::PowerAt(samples, first, last, kOther, sampleRate);
    EXPECT_GT(wanted, 100 * other) << what;
}

TEST_F(RecordPass, WavPassRecordsWhatIsPlayedForTheFrameRange) {
    TLV_REQUIRE_PULSE();
    makeWindow();
    makeTask(30, aftWAV);
    playTone(4.0);
    runPass();

    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(task.destLastFrame, 31);
    ASSERT_FALSE(task.adoUseFilename.empty());
    EXPECT_TRUE(IsOwnTempFile(task.adoUseFilename)) << task.adoUseFilename;
    EXPECT_EQ(std::filesystem::path(task.adoUseFilename).extension(), ".wav");
    EXPECT_EQ(frm->prbRecord->value(), 30);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^30/30 Frames Done -- \\d+s / \\d+KB$"))
                    .match(frm->labRecord->text())
                    .hasMatch())
        << frm->labRecord->text().toStdString();

    const WavFile w = pulse_test::ReadWav(task.adoUseFilename);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.sampleRate, 22050u);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.dataSize, w.fileSize - 44);
    EXPECT_EQ(w.riffSize, w.fileSize - 8);
    // 30 frames at 20 a second: about a second and a half, recorded in real time.
    EXPECT_GT(w.seconds(), 1.0);
    EXPECT_LE(w.seconds(), ranSeconds);
    ExpectToneIn(w.channel(0), 22050, "left");
    ExpectToneIn(w.channel(1), 22050, "right");
}

TEST_F(RecordPass, TheMoviesOwnSoundIsRecorded) {
    // Nothing else plays: what the pass records is the movie's sound, played by its player through the
    // sound server.
    TLV_REQUIRE_PULSE();
    makeWindow();
    makeTask(30, aftWAV, 0, 3.0);
    runPass();

    EXPECT_TRUE(messages.empty()) << messages.front();
    ASSERT_FALSE(task.adoUseFilename.empty());
    const WavFile w = pulse_test::ReadWav(task.adoUseFilename);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_GT(w.seconds(), 1.0);
    ExpectToneIn(w.channel(0), 22050, "left");
    ExpectToneIn(w.channel(1), 22050, "right");
}

struct Mp3Case {
    int32_t mp3Channel;
    int channels;
};

void PrintTo(const Mp3Case& c, std::ostream* os) {
    *os << c.channels << "ch";
}

class Mp3Pass : public RecordPass, public ::testing::WithParamInterface<Mp3Case> {};

TEST_P(Mp3Pass, RecordsAnMp3FileThatDecodesToThePassLengthAndChannels) {
    TLV_REQUIRE_PULSE();
    makeWindow();
    makeTask(30, aftMP3);
    task.adoMp3Channel = GetParam().mp3Channel;
    task.adoWavFreq = 0;  // 44100 Hz
    task.adoWavBits = 0;  // 8 bits for WAV; the encoder still gets 16-bit samples
    playTone(4.0);
    runPass();

    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(task.destLastFrame, 31);
    ASSERT_FALSE(task.adoUseFilename.empty());
    EXPECT_EQ(std::filesystem::path(task.adoUseFilename).extension(), ".mp3");
    // Everything the encoder delivered, its last blocks included, is in the file.
    EXPECT_EQ(std::filesystem::file_size(task.adoUseFilename), frm->Mp3Encoder->encodedDataSize());
    const mp3_test::Decoded d = mp3_test::DecodeFile(task.adoUseFilename);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.sampleRate, 44100);
    ASSERT_EQ(int(d.channels.size()), GetParam().channels);
    const double seconds = double(d.frames()) / d.sampleRate;
    EXPECT_GT(seconds, 1.0);
    EXPECT_LE(seconds, ranSeconds + 0.1);
    ExpectToneIn(d.channels[0], d.sampleRate, "first channel");
}

INSTANTIATE_TEST_SUITE_P(Modes, Mp3Pass, ::testing::Values(Mp3Case{0, 1}, Mp3Case{2, 2}),
                         [](const ::testing::TestParamInfo<Mp3Case>& info) {
                             return info.param.channels == 1 ? std::string("Mono")
                                                             : std::string("JointStereo");
                         });

TEST_F(RecordPass, ACancelledMp3PassLeavesAFilePlayersAccept) {
    TLV_REQUIRE_PULSE();
    makeWindow();
    makeTask(400, aftMP3);
    playTone(4.0);
    runPass({{1500, [this] { frm->menCancelClick(); }}});

    EXPECT_GT(frm->RecordFrames, 5);
    EXPECT_LT(frm->RecordFrames, 400);
    EXPECT_EQ(task.destLastFrame, 1 + frm->RecordFrames);
    ASSERT_FALSE(task.adoUseFilename.empty());
    EXPECT_EQ(std::filesystem::file_size(task.adoUseFilename), frm->Mp3Encoder->encodedDataSize());
    const mp3_test::Decoded d = mp3_test::DecodeFile(task.adoUseFilename);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_GT(double(d.frames()) / d.sampleRate, 0.5);
    ExpectToneIn(d.channels[0], d.sampleRate, "first channel");
}

TEST_F(RecordPass, PauseFreezesTheMovieAndLeavesThePausedSpanOut) {
    TLV_REQUIRE_PULSE();
    makeWindow();
    makeTask(40, aftWAV);
    playTone(6.0);
    int framesAtPause = -1;
    int ticksAtPause = -1;
    runPass({{700,
              [&] {
                  frm->menPauseClick();
                  EXPECT_FALSE(frm->RecordActive);
                  EXPECT_TRUE(frm->FlashCtl->SkipTimer);
                  EXPECT_EQ(frm->waveIn.consumer(), nullptr);
                  EXPECT_EQ(frm->menPause->text(), QStringLiteral("&Resume"));
                  framesAtPause = frm->RecordFrames;
                  ticksAtPause = frm->RecordTicks;
              }},
             {1900, [&] {
                  EXPECT_EQ(frm->RecordFrames, framesAtPause) << "frames counted while paused";
                  EXPECT_EQ(frm->RecordTicks, ticksAtPause) << "time counted while paused";
                  frm->menPauseClick();
                  EXPECT_TRUE(frm->RecordActive);
                  EXPECT_FALSE(frm->FlashCtl->SkipTimer);
                  EXPECT_EQ(frm->waveIn.consumer(), &frm->waveRiff);
                  EXPECT_EQ(frm->menPause->text(), QStringLiteral("&Pause"));
              }}});

    EXPECT_EQ(task.destLastFrame, 41);
    const WavFile w = pulse_test::ReadWav(task.adoUseFilename);
    ASSERT_TRUE(w.ok) << w.error;
    // 40 frames take two seconds of recording; the 1.2 s pause is not in the file.
    EXPECT_GT(w.seconds(), 1.5);
    EXPECT_LT(w.seconds(), ranSeconds - 0.9);
    EXPECT_LE(frm->RecordTicks, int(10 * (ranSeconds - 1.0)));
}

struct ModeCase {
    TSequenceMode mode;
    bool restarted;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << "mode " << int(c.mode);
}

class SequenceMode : public RecordPass, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(SequenceMode, AMovieThatStopsItselfIsRestartedOnlyWhenTheModeSaysSo) {
    TLV_REQUIRE_PULSE();
    makeWindow();
    makeTask(20, aftWAV, 3);
    task.destSequenceMode = GetParam().mode;
    int furthest = 0;
    std::vector<std::pair<int, std::function<void()>>> looks;
    for (int ms = 300; ms <= 900; ms += 100)
        looks.emplace_back(ms, [&] { furthest = std::max(furthest, frm->FlashCtl->CurrentFrame()); });
    runPass(looks);
    EXPECT_EQ(furthest > 3, GetParam().restarted) << "furthest frame " << furthest;
    EXPECT_EQ(task.destLastFrame, 21);  // the frame events count on while the movie stands
}

INSTANTIATE_TEST_SUITE_P(Modes, SequenceMode,
                         ::testing::Values(ModeCase{smNormal, false}, ModeCase{smSkipBackward, true},
                                           ModeCase{smFrameByFrame, true}),
                         [](const ::testing::TestParamInfo<ModeCase>& info) {
                             return "Mode" + std::to_string(int(info.param.mode));
                         });

struct RangeCase {
    int32_t start;
    int32_t end;
    int frames;     // frame events the pass waits for
    int lastFrame;  // destLastFrame it leaves
};

void PrintTo(const RangeCase& c, std::ostream* os) {
    *os << c.start << "-" << c.end;
}

class RangeWithoutServer : public RecordPass, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(RangeWithoutServer, ThePassPlaysTheRangeTellsTheCaptureFailureAndLeavesNoFile) {
    const RangeCase c = GetParam();
    pulse_test::NoSoundServer noServer;
    makeWindow();
    makeTask(12, aftWAV);
    task.destStartFrame = c.start;
    task.destEndFrame = c.end;
    int firstFrame = -1;
    QObject::connect(frm.get(), &TRecordFrm::passStarted,
                     [&] { firstFrame = frm->FlashCtl->CurrentFrame(); });
    runPass();

    EXPECT_EQ(firstFrame, std::max(c.start, 1));
    EXPECT_EQ(frm->RecordFrames, c.frames);
    EXPECT_EQ(task.destLastFrame, c.lastFrame);
    EXPECT_EQ(frm->prbRecord->maximum(), c.end - c.start + 1);
    EXPECT_TRUE(task.adoUseFilename.empty());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Sound capture fails: ", 0), 0u) << messages[0];
    bool logged = false;
    for (const std::string& l : logs)
        logged = logged || l.find("sound capture failed") != std::string::npos;
    EXPECT_TRUE(logged);
    EXPECT_TRUE(leftFiles().empty()) << leftFiles().front();
    EXPECT_EQ(frm->RecordTicks, 0);  // nothing recorded, no recording time
}

// A start frame past 1 plays the range from that frame on and stops at its end frame, not after as many
// frames as the end frame's number.
INSTANTIATE_TEST_SUITE_P(Ranges, RangeWithoutServer,
                         ::testing::Values(RangeCase{1, 5, 5, 6}, RangeCase{4, 9, 6, 10},
                                           RangeCase{0, 3, 3, 3}),
                         [](const ::testing::TestParamInfo<RangeCase>& info) {
                             return "From" + std::to_string(info.param.start) + "To" +
                                    std::to_string(info.param.end);
                         });

TEST_F(RecordPass, WithoutTheEncoderAnMp3PassPlaysAndLeavesNoFileName) {
    pulse_test::NoSoundServer noServer;
    makeWindow(QStringLiteral("/nonexistent/tolvikan/" MP3ENC_LIBRARY_FILE_NAME));
    ASSERT_EQ(messages, std::vector<std::string>{"File ''" MP3ENC_LIBRARY_FILE_NAME "'' lost!"});
    EXPECT_EQ(frm->Mp3Encoder, nullptr);
    messages.clear();
    makeTask(6, aftMP3);
    runPass();
    EXPECT_EQ(task.destLastFrame, 7);
    EXPECT_TRUE(task.adoUseFilename.empty());
    EXPECT_TRUE(leftFiles().empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(RecordPass, AMovieThatCannotBePlayedEndsThePassAtOnceWithAMessage) {
    makeWindow();
    makeTask(6, aftWAV);
    task.swfPlayFilename = (dir_.path() / "missing.swf").string();
    runPass();
    EXPECT_EQ(task.destLastFrame, 1);
    EXPECT_TRUE(task.adoUseFilename.empty());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Recording cannot play the movie: ", 0), 0u) << messages[0];
    EXPECT_TRUE(leftFiles().empty());
}

TEST_F(RecordPass, APassCancelledWhilePausedIsFollowedByANormalPass) {
    pulse_test::NoSoundServer noServer;
    makeWindow();
    makeTask(200, aftWAV);
    runPass({{300, [this] { frm->menPauseClick(); }}, {600, [this] { frm->menCancelClick(); }}});
    EXPECT_LT(frm->RecordFrames, 200);
    EXPECT_EQ(task.destLastFrame, 1 + frm->RecordFrames);

    makeTask(8, aftWAV);
    bool running = false;
    QObject::connect(frm.get(), &TRecordFrm::passStarted, [&] {
        running = !frm->FlashCtl->SkipTimer && frm->waveIn.consumer() == &frm->waveRiff &&
                  frm->menPause->text() == QStringLiteral("&Pause") && frm->RecordFrames == 0;
    });
    runPass();
    EXPECT_TRUE(running);
    EXPECT_EQ(frm->RecordFrames, 8);
    EXPECT_EQ(task.destLastFrame, 9);
}

TEST_F(RecordPass, TheRecordingSourceCommandSaysWhenThereIsNoSoundSystem) {
    pulse_test::NoSoundServer noServer;
    makeWindow();
    EXPECT_EQ(frm->SetDefaultRecordingSource(), TRecordingSourceResult::rsNoDevice);
    EXPECT_EQ(messages, std::vector<std::string>{"No Recorder Device!"});
}

}  // namespace
