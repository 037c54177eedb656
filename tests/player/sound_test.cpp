// Movie sound: decoders against known samples and FFmpeg's decoders, event sounds landing on their
// frame's sample, SoundInfo (stop, no-multiple, in/out points, loops, envelope), stream sounds following
// their timeline across jumps, and frame cutting that never drifts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "player/media/audio_decoder.h"
#include "player/player.h"
#include "player/sound/mixer.h"
#include "player/sound/sound_decode.h"
#include "player/sound/sound_player.h"
#include "player_test_util.h"
#include "support/swf_sound.h"

namespace {

using namespace testswf;
using playertest::kDoAction;

std::vector<int16_t> constant(size_t n, int16_t v) {
    return std::vector<int16_t>(n, v);
}

std::vector<int16_t> sine(size_t n, double freq, double rate, double amp, int channels = 1) {
    std::vector<int16_t> s;
    for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c)
            s.push_back(int16_t(std::lround(amp * std::sin(2 * M_PI * freq * double(i) / rate + c))));
    return s;
}

SwfBuilder soundMovie(int frames, uint16_t fps88 = 12 << 8) {
    Header h;
    h.xmax = 100 * 20;
    h.ymax = 100 * 20;
    h.frameCount = uint16_t(frames);
    h.frameRate88 = fps88;
    return SwfBuilder(h);
}

// Every sample of a run of frames: loads the movie, takes frame 1's sound, then advances frames - 1 times.
// Chunk boundaries (in stereo samples) go to *starts when asked.
std::vector<int16_t> playFrames(const Bytes& movie, int frames, std::vector<size_t>* starts = nullptr,
                                player::Player* keep = nullptr) {
    player::Player local;
    player::Player& p = keep ? *keep : local;
    std::string error;
    EXPECT_TRUE(p.loadBytes(movie, "sound.swf", &error)) << error;
    std::vector<int16_t> out;
    for (int f = 0; f < frames; ++f) {
        if (f > 0) p.advance();
        if (starts) starts->push_back(out.size() / 2);
        p.takeSound(out);
    }
    return out;
}

SoundFormatSpec pcm44mono() {
    return {3, 3, true, false};
}

// --- decoders ---

TEST(SoundDecode, UncompressedFormats) {
    const std::vector<int16_t> mono = {0, 1000, -1000, 32767, -32768, 256};
    const std::vector<int16_t> stereo = {100, -100, 2000, -2000, 30000, -30000};
    struct Case {
        const char* name;
        SoundFormatSpec format;
        Bytes data;
        std::vector<int16_t> expected;
    };
    // 8-bit sound keeps the top byte only.
    std::vector<int16_t> mono8 = {0, 768, -1024, 32512, -32768, 256};
    // A smooth signal, so "native" byte order can be told apart.
    std::vector<int16_t> smooth = sine(2000, 440, 44100, 12000);
    const Case cases[] = {
        {"16-bit little-endian", {3, 3, true, false}, pcm16(mono), mono},
        {"16-bit stereo", {3, 3, true, true}, pcm16(stereo), stereo},
        {"8-bit unsigned", {3, 3, false, false}, pcm8(mono), mono8},
        {"native order, little-endian", {0, 3, true, false}, pcm16(smooth), smooth},
        {"native order, big-endian", {0, 3, true, false}, pcm16(smooth, true), smooth},
    };
    for (const Case& c : cases) {
        swf::DefineSound d;
        d.id = 1;
        d.format = {c.format.format, c.format.rate, c.format.is16Bit, c.format.stereo};
        d.sampleCount = uint32_t(c.expected.size() / (c.format.stereo ? 2 : 1));
        d.data = c.data;
        std::string log;
        player::sound::PcmPtr pcm = player::sound::decodeDefineSound(d, &log);
        ASSERT_TRUE(pcm) << c.name << ": " << log;
        EXPECT_EQ(pcm->samples, c.expected) << c.name;
        EXPECT_EQ(pcm->channels, c.format.stereo ? 2 : 1) << c.name;
    }
}

TEST(SoundDecode, AdpcmMatchesFfmpegAndTracksTheSignal) {
    // Longer than one 4096-sample block, so block headers in the middle are read too.
    for (bool stereo : {false, true}) {
        for (int bits = 2; bits <= 5; ++bits) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << (stereo ? "stereo" : "mono"));
            std::vector<int16_t> input = sine(9000, 300, 22050, 9000, stereo ? 2 : 1);
            Bytes data = adpcmEncode(input, bits, stereo);
            std::vector<int16_t> ours;
            ASSERT_TRUE(player::sound::decodeAdpcm(data, stereo, ours));
            // The last byte's padding bits may hold one more code (a DefineSound's sample count cuts it).
            ASSERT_GE(ours.size(), input.size());
            ASSERT_LE(ours.size(), input.size() + size_t(stereo ? 2 : 1));

            std::string error;
            auto ff = player::media::AudioDecoder::create(player::media::AudioDecoder::Codec::AdpcmSwf, 22050,
                                                          stereo ? 2 : 1, &error);
            ASSERT_TRUE(ff) << error;
            player::media::DecodedAudio theirs;
            ff->decode(data, theirs, &error);
            ff->flush(theirs);
            ASSERT_EQ(theirs.samples.size(), ours.size());
            size_t n = ours.size();
            for (size_t i = 0; i < n; ++i)
                ASSERT_EQ(ours[i], theirs.samples[i]) << "sample " << i;
            // Coarse codes follow the wave loosely, fine ones closely.
            double err = 0;
            for (size_t i = 0; i < input.size(); ++i)
                err += std::abs(double(ours[i]) - input[i]);
            EXPECT_LT(err / double(input.size()), bits == 2 ? 3000 : 900);
        }
    }
}

TEST(SoundDecode, MalformedDataIsSkippedWithALogLine) {
    struct Case {
        const char* name;
        uint8_t format;
        Bytes data;
    };
    const Case cases[] = {
        {"ADPCM cut inside a block header", 1, {0x40, 0x12}},
        {"MP3 that is noise", 2, {0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0xFF, 0xFB, 0x00, 0x01, 0x02}},
        {"MP3 without its seek field", 2, {0x01}},
        {"Speex", 11, {1, 2, 3, 4}},
        {"unknown format", 9, {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        swf::DefineSound d;
        d.id = 7;
        d.format = {c.format, 1, true, false};
        d.sampleCount = 1000;
        d.data = c.data;
        std::string log;
        player::sound::decodeDefineSound(d, &log);
        EXPECT_FALSE(log.empty()) << c.name;
    }
    // A movie with such sound still plays, silently, and says why.
    SwfBuilder b = soundMovie(2);
    b.tag(kTagDefineSound, defineSound(1, {2, 3, true, false}, 5000, {0, 0, 1, 2, 3, 4, 5}));
    b.tag(kTagStartSound, startSound(1)).showFrame();
    b.showFrame().end();
    player::Player p;
    std::vector<int16_t> out = playFrames(b.build(), 2, nullptr, &p);
    EXPECT_EQ(out.size(), size_t(2 * 3675 * 2));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
    bool logged = false;
    for (const std::string& line : p.log())
        logged = logged || line.find("sound 1") != std::string::npos;
    EXPECT_TRUE(logged);
}

// --- event sounds ---

TEST(EventSound, StartsExactlyOnItsFramesFirstSample) {
    struct Case {
        uint16_t fps88;
        int frame;  // 1-based frame holding StartSound
    };
    const Case cases[] = {
        {12 << 8, 1}, {12 << 8, 4}, {25 << 8, 7}, {3200, 5} /* 12.5 fps */, {(30 << 8) - 77, 9}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fps " << c.fps88 / 256.0 << ", frame " << c.frame);
        SwfBuilder b = soundMovie(c.frame + 1, c.fps88);
        b.tag(kTagDefineSound, defineSound(1, pcm44mono(), 500, pcm16(constant(500, 10000))));
        for (int f = 1; f < c.frame; ++f)
            b.showFrame();
        b.tag(kTagStartSound, startSound(1)).showFrame();
        b.showFrame().end();
        std::vector<size_t> starts;
        std::vector<int16_t> out = playFrames(b.build(), c.frame + 1, &starts);
        const int64_t expectedStart = int64_t(c.frame - 1) * 44100 * 256 / c.fps88;
        ASSERT_EQ(int64_t(starts[size_t(c.frame - 1)]), expectedStart);
        size_t first = 0;
        while (first < out.size() && out[first] == 0)
            ++first;
        EXPECT_EQ(int64_t(first / 2), expectedStart);
        EXPECT_EQ(out[first], 10000);
        EXPECT_EQ(out[first + 1], 10000);  // mono reaches both speakers
        EXPECT_EQ(out[first + 2 * 499], 10000);
        EXPECT_EQ(out[first + 2 * 500], 0);
    }
}

TEST(EventSound, SoundInfoShapesThePlayback) {
    // A 44.1 kHz sound whose samples count up, so every output sample shows which source sample it is.
    std::vector<int16_t> ramp;
    for (int i = 0; i < 400; ++i)
        ramp.push_back(int16_t(1000 + i));
    struct Case {
        const char* name;
        SoundInfoSpec info;
        std::vector<int> expected;  // source index per output sample; -1 silent (first 20 + tail checked)
    };
    auto run = [](int from, int to, int times) {
        std::vector<int> v;
        for (int t = 0; t < times; ++t)
            for (int i = from; i < to; ++i)
                v.push_back(i);
        return v;
    };
    SoundInfoSpec inOut;
    inOut.inPoint = 100;
    inOut.outPoint = 150;
    SoundInfoSpec loops;
    loops.loops = 3;
    SoundInfoSpec inOutLoops = inOut;
    inOutLoops.loops = 2;
    const Case cases[] = {
        {"plain", {}, run(0, 400, 1)},
        {"in and out points", inOut, run(100, 150, 1)},
        {"three loops", loops, run(0, 400, 3)},
        {"loops restart at the in point", inOutLoops, run(100, 150, 2)},
    };
    for (const Case& c : cases) {
        SwfBuilder b = soundMovie(1);
        b.tag(kTagDefineSound, defineSound(3, pcm44mono(), 400, pcm16(ramp)));
        b.tag(kTagStartSound, startSound(3, c.info)).showFrame().end();
        std::vector<int16_t> out = playFrames(b.build(), 1);
        ASSERT_GE(out.size() / 2, c.expected.size() + 10) << c.name;
        for (size_t i = 0; i < c.expected.size(); ++i)
            ASSERT_EQ(out[2 * i], 1000 + c.expected[i]) << c.name << " at " << i;
        for (size_t i = c.expected.size(); i < out.size() / 2; ++i)
            ASSERT_EQ(out[2 * i], 0) << c.name << ": sound after its end at " << i;
    }
}

TEST(EventSound, EnvelopeFadesEachChannel) {
    SoundInfoSpec info;
    // Left fades in over 1000 samples, right fades out; both hold their last level afterwards.
    info.envelope = {{0, 0, 32768}, {1000, 32768, 0}};
    SwfBuilder b = soundMovie(1);
    b.tag(kTagDefineSound, defineSound(1, pcm44mono(), 2000, pcm16(constant(2000, 16000))));
    b.tag(kTagStartSound, startSound(1, info)).showFrame().end();
    std::vector<int16_t> out = playFrames(b.build(), 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 16000);
    EXPECT_NEAR(out[2 * 500], 8000, 1);
    EXPECT_NEAR(out[2 * 500 + 1], 8000, 1);
    EXPECT_NEAR(out[2 * 250], 4000, 1);
    EXPECT_NEAR(out[2 * 250 + 1], 12000, 1);
    EXPECT_EQ(out[2 * 1500], 16000);
    EXPECT_EQ(out[2 * 1500 + 1], 0);
}

TEST(EventSound, SyncStopAndNoMultiple) {
    // Frame 1 and 2 start the same long sound; frame 4 stops it.
    auto build = [](bool noMultiple) {
        SoundInfoSpec start;
        start.noMultiple = noMultiple;
        SoundInfoSpec stop;
        stop.syncStop = true;
        SwfBuilder b = soundMovie(5);
        b.tag(kTagDefineSound, defineSound(1, pcm44mono(), 44100, pcm16(constant(44100, 5000))));
        b.tag(kTagStartSound, startSound(1, start)).showFrame();
        b.tag(kTagStartSound, startSound(1, start)).showFrame();
        b.showFrame();
        b.tag(kTagStartSound, startSound(1, stop)).showFrame();
        b.showFrame().end();
        return b.build();
    };
    for (bool noMultiple : {false, true}) {
        std::vector<size_t> starts;
        std::vector<int16_t> out = playFrames(build(noMultiple), 5, &starts);
        EXPECT_EQ(out[2 * starts[0]], 5000);
        EXPECT_EQ(out[2 * starts[2]], noMultiple ? 5000 : 10000) << "frame 3";
        EXPECT_EQ(out[2 * starts[3]], 0) << "stopped in frame 4";
        EXPECT_EQ(out[2 * starts[4]], 0);
    }
}

TEST(EventSound, StopAllSoundsActionSilencesEverything) {
    // An event sound and the root's stream play from frame 1; stopAllSounds() in frame 3 ends both.
    ActionWriter stopAll;
    stopAll.op(0x09);
    SwfBuilder b = soundMovie(5);
    b.tag(kTagDefineSound, defineSound(1, pcm44mono(), 44100, pcm16(constant(44100, 3000))));
    b.tag(kTagSoundStreamHead, soundStreamHead(pcm44mono(), 3675));
    for (int f = 1; f <= 5; ++f) {
        b.tag(kTagSoundStreamBlock, pcm16(constant(3675, 1000)));
        if (f == 1) b.tag(kTagStartSound, startSound(1));
        if (f == 3) b.tag(kDoAction, stopAll.withEnd());
        b.showFrame();
    }
    b.end();
    std::vector<size_t> starts;
    std::vector<int16_t> out = playFrames(b.build(), 4, &starts);
    EXPECT_EQ(out[2 * starts[1]], 4000);
    EXPECT_EQ(out[2 * starts[2]], 0);
    // The stream comes back with the next frame's block; the event sound does not.
    EXPECT_EQ(out[2 * starts[3]], 1000);
}

TEST(EventSound, StartSound2FindsTheSoundByClassName) {
    SwfBuilder b = soundMovie(1);
    b.tag(kTagDefineSound, defineSound(4, pcm44mono(), 100, pcm16(constant(100, 7000))));
    b.tag(56, exportAssets({{4, "Beep"}}));
    b.tag(kTagStartSound2, startSound2("beep")).showFrame().end();
    std::vector<int16_t> out = playFrames(b.build(), 1);
    EXPECT_EQ(out[0], 7000);
}

TEST(EventSound, ResampledFromEveryRate) {
    // A 5.5 kHz sound lasts eight times as many output samples, 22 kHz twice as many.
    struct Case {
        uint8_t rate;
        int factorTimes2;  // output samples per source sample, times 2
    };
    for (const Case& c : {Case{0, 16}, Case{1, 8}, Case{2, 4}, Case{3, 2}}) {
        SwfBuilder b = soundMovie(1);
        b.tag(kTagDefineSound, defineSound(1, {3, c.rate, true, true}, 100, pcm16(constant(200, 3000))));
        b.tag(kTagStartSound, startSound(1)).showFrame().end();
        std::vector<int16_t> out = playFrames(b.build(), 1);
        size_t n = 0;
        while (n < out.size() / 2 && out[2 * n] != 0)
            ++n;
        EXPECT_EQ(int(n), 100 * c.factorTimes2 / 2) << "rate code " << int(c.rate);
    }
}

// --- stream sounds ---

// A root timeline whose stream block in frame f holds a constant 1000 * f, one frame's samples each
// (44.1 kHz mono at 12 fps: 3675 samples).
SwfBuilder streamMovie(int frames, const std::vector<std::pair<int, Bytes>>& actions = {}) {
    SwfBuilder b = soundMovie(frames);
    b.tag(kTagSoundStreamHead, soundStreamHead(pcm44mono(), 3675));
    for (int f = 1; f <= frames; ++f) {
        b.tag(kTagSoundStreamBlock, pcm16(constant(3675, int16_t(1000 * f))));
        for (const auto& [frame, a] : actions)
            if (frame == f) b.tag(kDoAction, a);
        b.showFrame();
    }
    b.end();
    return b;
}

TEST(StreamSound, FollowsItsTimelineAcrossAJump) {
    // Frame 4 jumps back with gotoAndPlay(2): the stream must play frame 2's block again.
    ActionWriter a;
    a.gotoFrame(1).play();
    std::vector<size_t> starts;
    std::vector<int16_t> out = playFrames(streamMovie(6, {{4, a.withEnd()}}).build(), 9, &starts);
    const int shown[] = {1, 2, 3, 2, 3, 2, 3, 2, 3};
    for (size_t i = 0; i < 9; ++i) {
        size_t begin = starts[i], end = i + 1 < starts.size() ? starts[i + 1] : out.size() / 2;
        EXPECT_EQ(out[2 * begin], 1000 * shown[i]) << "tick " << i;
        EXPECT_EQ(out[2 * (end - 1)], 1000 * shown[i]) << "tick " << i;
    }
}

TEST(StreamSound, StopsWhenItsTimelineStops) {
    ActionWriter a;
    a.stop();
    std::vector<size_t> starts;
    std::vector<int16_t> out = playFrames(streamMovie(6, {{3, a.withEnd()}}).build(), 5, &starts);
    EXPECT_EQ(out[2 * starts[2]], 3000);
    EXPECT_EQ(out[2 * starts[3]], 0);
    EXPECT_EQ(out[2 * starts[4]], 0);
}

TEST(StreamSound, SpriteStreamEndsWithTheSprite) {
    // A sprite with its own stream sits on the stage for frames 1-2 and is removed in frame 3.
    SwfBuilder sprite;
    sprite.tag(kTagSoundStreamHead, soundStreamHead(pcm44mono(), 3675));
    for (int f = 1; f <= 4; ++f)
        sprite.tag(kTagSoundStreamBlock, pcm16(constant(3675, 4000))).showFrame();
    sprite.end();
    SwfBuilder b = soundMovie(4);
    b.tag(playertest::kDefineSprite, defineSprite(9, 4, sprite));
    b.tag(playertest::kPlaceObject2, playertest::place(9, 1)).showFrame();
    b.showFrame();
    b.tag(playertest::kRemoveObject2, removeObject2(1)).showFrame();
    b.showFrame().end();
    std::vector<size_t> starts;
    std::vector<int16_t> out = playFrames(b.build(), 4, &starts);
    EXPECT_EQ(out[2 * starts[0]], 4000);
    EXPECT_EQ(out[2 * starts[1]], 4000);
    EXPECT_EQ(out[2 * starts[2]], 0);
}

TEST(StreamSound, TenMinutesAt12FpsDoNotDrift) {
    // 5512.5 Hz 8-bit: each frame holds 459.375 source samples, so blocks alternate in length and every
    // output sample maps back to an exact source position. Block f holds one value; at every eighth frame
    // the block edge falls exactly on the frame's first output sample.
    const int frames = 10 * 60 * 12;
    auto value = [](int f) { return int16_t(((f % 100) - 50) * 256); };
    SwfBuilder b = soundMovie(frames);
    b.tag(kTagSoundStreamHead, soundStreamHead({3, 0, false, false}, 459));
    for (int f = 0; f < frames; ++f) {
        int64_t from = int64_t(f) * 459375 / 1000, to = int64_t(f + 1) * 459375 / 1000;
        b.tag(kTagSoundStreamBlock, pcm8(constant(size_t(to - from), value(f))));
        b.showFrame();
    }
    b.end();
    player::Player p;
    std::string error;
    ASSERT_TRUE(p.loadBytes(b.build(), "long.swf", &error)) << error;
    // Checked frame by frame as the samples come, keeping only the previous frame's last sample.
    std::vector<int16_t> chunk;
    int16_t lastLeft = 0;
    int64_t total = 0;
    for (int f = 0; f < frames; ++f) {
        if (f > 0) p.advance();
        chunk.clear();
        const size_t n = p.takeSound(chunk);
        ASSERT_EQ(n, 3675u) << "frame " << f;
        if (f % 8 == 0 && f > 0) {
            ASSERT_EQ(chunk[0], value(f)) << "frame " << f;
            // One output sample earlier is 1/8 of a source sample before the edge.
            ASSERT_EQ(lastLeft, value(f - 1) + (value(f) - value(f - 1)) * 7 / 8) << "frame " << f;
        }
        lastLeft = chunk[chunk.size() - 2];
        total += int64_t(n);
    }
    EXPECT_EQ(total, int64_t(frames) * 3675);
}

// --- the frame clock and the mixer's script interface ---

TEST(SoundClock, FrameSamplesAddUpExactly) {
    for (uint16_t fps88 : {uint16_t(12 << 8), uint16_t(3200), uint16_t(7 << 8), uint16_t((29 << 8) + 248)}) {
        SwfBuilder b = soundMovie(2, fps88);
        b.showFrame().showFrame().end();
        std::vector<size_t> starts;
        std::vector<int16_t> out = playFrames(b.build(), 300, &starts);
        EXPECT_EQ(int64_t(out.size() / 2), int64_t(300) * 44100 * 256 / fps88) << fps88;
    }
}

TEST(SoundClock, AHostsRateCutsTheFramesInsteadOfTheMovies) {
    // A 12.5 fps movie whose frame 7 starts a sound, cut at 12 fps: every frame holds 3675 samples and the
    // sound starts 6 of them in; switched back to the movie's rate mid-run, the frames after count from
    // there at 3528.
    SwfBuilder b = soundMovie(12, uint16_t(3200));
    b.tag(kTagDefineSound, defineSound(1, pcm44mono(), 44100, pcm16(constant(44100, 5000))));
    for (int f = 1; f <= 12; ++f) {
        if (f == 7) b.tag(kTagStartSound, startSound(1));
        b.showFrame();
    }
    b.end();
    player::Player p;
    p.setSoundFrameRate(12);
    std::vector<size_t> starts;
    std::vector<int16_t> out = playFrames(b.build(), 8, &starts, &p);
    ASSERT_EQ(out.size() / 2, size_t(8 * 3675));
    EXPECT_EQ(out[2 * (6 * 3675 - 1)], 0);
    EXPECT_EQ(out[2 * 6 * 3675], 5000);
    p.setSoundFrameRate(0);
    std::vector<int16_t> more;
    for (int f = 0; f < 3; ++f) {
        p.advance();
        EXPECT_EQ(p.takeSound(more), 3528u) << f;
    }
}

// A host that never takes the sound (pictures only, sound left on) holds the last seconds, not all of it.
TEST(SoundClock, UntakenSamplesKeepOnlyTheLastSeconds) {
    player::sound::SoundPlayer sp;
    sp.reset(1);  // one second a frame
    const size_t kept = size_t(player::sound::SoundPlayer::kMaxPendingSeconds) * 44100;
    for (uint64_t tick = 1; tick <= 3 * player::sound::SoundPlayer::kMaxPendingSeconds; ++tick) {
        sp.endFrame(tick);
        ASSERT_LE(sp.pendingFrames(), 2 * kept) << tick;
        if (tick >= uint64_t(player::sound::SoundPlayer::kMaxPendingSeconds)) {
            ASSERT_GE(sp.pendingFrames(), kept) << tick;
        }
    }
    std::vector<int16_t> out;
    const size_t taken = sp.take(out);
    EXPECT_EQ(taken, out.size() / 2);
    EXPECT_GE(taken, kept);
    EXPECT_EQ(sp.pendingFrames(), 0u);
}

TEST(SoundMixer, ScriptVoicesReportPositionAndCompletion) {
    auto pcm = std::make_shared<player::sound::Pcm>();
    pcm->rateNum = 22050;
    pcm->channels = 1;
    pcm->samples = constant(2205, 10000);  // 100 ms
    player::sound::Mixer m;
    int completed = 0;
    player::sound::VoiceParams v;
    v.loops = 2;
    v.owner = &m;
    v.onComplete = [&] { ++completed; };
    auto id = m.start(pcm, v);
    player::sound::SoundTransform half;
    half.volume = 50;
    half.ll = 100, half.rr = 0, half.rl = 0, half.lr = 0;  // panned hard left
    m.setOwnerTransform(&m, half);
    std::vector<int16_t> out(2 * 4410);
    m.mix(out.data(), 4410);
    EXPECT_EQ(out[0], 5000);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(m.position44(id), 4410);
    EXPECT_EQ(completed, 0);
    m.mix(out.data(), 4410);
    EXPECT_EQ(completed, 1);
    EXPECT_FALSE(m.isPlaying(id));
}

TEST(SoundScript, StartStopPositionAndDuration) {
    // The calls the Sound object makes: a defined sound started 10 ms in, looped twice, then stopped by
    // its definition.
    swf::DefineSound def;
    def.id = 5;
    def.format = {3, 2, true, false};  // 22.05 kHz
    def.sampleCount = 2205;            // 100 ms
    def.data = pcm16(constant(2205, 6000));
    player::sound::SoundPlayer sp;
    sp.reset(12);
    EXPECT_DOUBLE_EQ(sp.durationMs(&def), 100.0);
    int done = 0;
    auto id = sp.startSound(&def, 0.010, 2, nullptr, [&] { ++done; });
    ASSERT_NE(id, 0u);
    EXPECT_DOUBLE_EQ(sp.positionMs(id), 10.0);
    sp.endFrame(1);  // 3675 samples: 83 ms
    std::vector<int16_t> out;
    sp.take(out);
    EXPECT_EQ(out[0], 6000);
    EXPECT_NEAR(sp.positionMs(id), 93.3, 0.1);
    sp.endFrame(2);
    EXPECT_EQ(done, 0) << "the second loop plays on";
    sp.stopDefinition(&def);
    EXPECT_LT(sp.positionMs(id), 0);
    sp.endFrame(3);
    out.clear();
    sp.take(out);
    EXPECT_TRUE(std::all_of(out.begin() + 3675 * 2, out.end(), [](int16_t v) { return v == 0; }));
    EXPECT_EQ(done, 0) << "a stopped sound does not complete";
    // A sound played to its end completes once.
    sp.startSound(&def, 0, 1, nullptr, [&] { ++done; });
    sp.endFrame(4);
    EXPECT_EQ(done, 0);
    sp.endFrame(5);
    sp.endFrame(6);
    EXPECT_EQ(done, 1);
}

}  // namespace
