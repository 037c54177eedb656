// The movie's own sound in conversions: MP3 event and stream sounds decode to FFmpeg's samples, the sound
// file a video carries starts each sound on its frame and lasts as long as the video, frame-by-frame
// conversion keeps the sound with the frames written, and disc presets without sound get a silent track.
#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "convert/movie_sound.h"
#include "convert_test_util.h"
#include "mp3_fixture.h"
#include "player/player.h"
#include "player/player_test_util.h"
#include "support/avm1_asm.h"
#include "support/swf_builder.h"
#include "support/swf_sound.h"
#include "tasks/temp_files.h"

namespace {

using namespace convtest;
using namespace testswf;

// The first audio stream of a file, decoded: its left channel as floats in -1..1.
struct Audio {
    bool ok = false;
    int rate = 0;
    std::string codec;  // FFmpeg's name of the codec
    std::vector<float> left;
    double seconds() const { return rate ? double(left.size()) / rate : 0; }
};

Audio ReadAudio(const std::string& path) {
    Audio a;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return a;
    avformat_find_stream_info(format, nullptr);
    int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) {
        avformat_close_input(&format);
        return a;
    }
    const AVCodecParameters* par = format->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(c, par);
    avcodec_open2(c, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(c, frame) == 0) {
            const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame->format));
            const int ch = frame->ch_layout.nb_channels;
            for (int i = 0; i < frame->nb_samples; ++i) {
                const int at = planar ? i : i * ch;
                float v = 0;
                switch (frame->format) {
                    case AV_SAMPLE_FMT_S16:
                    case AV_SAMPLE_FMT_S16P:
                        v = reinterpret_cast<const int16_t*>(frame->data[0])[at] / 32768.0f;
                        break;
                    case AV_SAMPLE_FMT_FLT:
                    case AV_SAMPLE_FMT_FLTP:
                        v = reinterpret_cast<const float*>(frame->data[0])[at];
                        break;
                    default:
                        break;
                }
                a.left.push_back(v);
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(c, packet);
            receive();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(c, nullptr);
    receive();
    a.rate = c->sample_rate;
    a.codec = avcodec_get_name(par->codec_id);
    a.ok = true;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&c);
    avformat_close_input(&format);
    return a;
}

// First sample whose magnitude reaches `level`, or -1.
long Onset(const Audio& a, float level) {
    for (size_t i = 0; i < a.left.size(); ++i)
        if (std::fabs(a.left[i]) >= level) return long(i);
    return -1;
}

std::vector<int16_t> Tone(size_t n, double freq, double amp) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = int16_t(std::lround(amp * std::sin(2 * M_PI * freq * double(i) / 44100.0)));
    return s;
}

Header MovieHeader(int frames, int fps = 12) {
    Header h;
    h.xmax = 80 * 20;
    h.ymax = 60 * 20;
    h.frameCount = uint16_t(frames);
    h.frameRate88 = uint16_t(fps << 8);
    return h;
}

// A movie of `frames` frames (at 12 fps unless told) that starts a 1 kHz tone burst (0.2 s) in frame
// `soundFrame`.
std::string WriteBurstMovie(const QString& folder, const std::string& name, int frames, int soundFrame,
                            uint16_t fps88 = 12 << 8) {
    Header h = MovieHeader(frames);
    h.frameRate88 = fps88;
    SwfBuilder b(h);
    b.backgroundColor(0xFFFFFF);
    b.tag(kTagDefineSound, defineSound(1, {3, 3, true, false}, 8820, pcm16(Tone(8820, 1000, 16000))));
    for (int f = 1; f <= frames; ++f) {
        if (f == soundFrame) b.tag(kTagStartSound, startSound(1));
        b.showFrame();
    }
    b.end();
    const std::string path = QDir(folder).filePath(QString::fromStdString(name)).toStdString();
    EXPECT_TRUE(writeFile(path, b.build()));
    return path;
}

class MovieSound : public ConvertTest {};

// FFmpeg's Nellymoser decoding of 64-byte packets, mono, as 16-bit samples.
std::vector<int16_t> DecodeNelly(const std::vector<uint8_t>& data, int rate) {
    std::vector<int16_t> out;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_NELLYMOSER);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = rate;
    av_channel_layout_default(&c->ch_layout, 1);
    avcodec_open2(c, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<uint8_t> buf(64 + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    for (size_t at = 0; at + 64 <= data.size(); at += 64) {
        std::copy(data.begin() + ptrdiff_t(at), data.begin() + ptrdiff_t(at + 64), buf.begin());
        packet->data = buf.data();
        packet->size = 64;
        avcodec_send_packet(c, packet);
        while (avcodec_receive_frame(c, frame) == 0) {
            for (int i = 0; i < frame->nb_samples; ++i) {
                const float v = reinterpret_cast<const float*>(frame->data[0])[i];
                out.push_back(int16_t(std::clamp(std::lround(double(v) * 32767.0), -32768L, 32767L)));
            }
            av_frame_unref(frame);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&c);
    return out;
}

TEST(MovieSoundDecode, Mp3EventAndStreamPlayFfmpegsSamples) {
    const std::vector<int16_t> signal = Tone(44100 / 3, 440, 12000);  // shorter than the 6 frames played
    mp3fixture::Encoded mp3 = mp3fixture::Encode(signal, 44100);
    ASSERT_TRUE(mp3.error.empty()) << mp3.error;
    std::vector<uint8_t> all;
    for (const auto& f : mp3.frames)
        all.insert(all.end(), f.begin(), f.end());
    const std::vector<int16_t> reference = mp3fixture::Decode(all, 44100);
    ASSERT_GT(reference.size(), signal.size());

    // The event sound: seek samples 0, the sample count of the signal.
    Bytes data = {0, 0};
    data.insert(data.end(), all.begin(), all.end());
    SwfBuilder event(MovieHeader(6));
    event.tag(kTagDefineSound, defineSound(1, {2, 3, true, false}, uint32_t(signal.size()), data));
    event.tag(kTagStartSound, startSound(1)).showFrame();
    for (int f = 2; f <= 6; ++f)
        event.showFrame();
    event.end();

    // The stream: MPEG frames handed out to the blocks of 12 fps frames (3675 samples each) by the sample
    // they start at; seek samples 0 throughout, so the stream runs on exactly as decoded.
    SwfBuilder stream(MovieHeader(6));
    stream.tag(kTagSoundStreamHead, soundStreamHead({2, 3, true, false}, 3675, int16_t(0)));
    size_t next = 0;
    for (int f = 0; f < 6; ++f) {
        ByteWriter block;
        std::vector<uint8_t> frames;
        uint16_t count = 0;
        while (next < mp3.frames.size() && int64_t(next) * mp3.samplesPerFrame < int64_t(f + 1) * 3675) {
            frames.insert(frames.end(), mp3.frames[next].begin(), mp3.frames[next].end());
            count = uint16_t(count + mp3.samplesPerFrame);
            ++next;
        }
        block.u16(count).s16(0).raw(frames);
        stream.tag(kTagSoundStreamBlock, block.bytes()).showFrame();
    }
    stream.end();

    for (bool isStream : {false, true}) {
        SCOPED_TRACE(isStream ? "stream" : "event sound");
        player::Player p;
        std::string error;
        ASSERT_TRUE(p.loadBytes((isStream ? stream : event).build(), "mp3.swf", &error)) << error;
        std::vector<int16_t> out;
        p.takeSound(out);
        for (int f = 2; f <= 6; ++f) {
            p.advance();
            p.takeSound(out);
        }
        ASSERT_EQ(out.size(), size_t(6 * 3675 * 2));
        const size_t n = std::min(out.size() / 2, isStream ? reference.size() : signal.size());
        for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(out[2 * i], reference[i]) << "sample " << i;
            ASSERT_EQ(out[2 * i + 1], reference[i]) << "sample " << i;
        }
        // The event sound ends at its sample count.
        if (!isStream) {
            EXPECT_EQ(out[2 * signal.size()], 0);
        }
    }
}

TEST(MovieSoundDecode, NellymoserPlaysFfmpegsSamplesResampled) {
    // 11025 Hz: every fourth output sample is a decoded sample exactly, the three between interpolate.
    const std::vector<int16_t> signal = Tone(11025 / 2, 300, 9000);
    mp3fixture::Encoded nelly = mp3fixture::EncodeWith("nellymoser", signal, 11025);
    ASSERT_TRUE(nelly.error.empty()) << nelly.error;
    std::vector<uint8_t> data;
    for (const auto& f : nelly.frames)
        data.insert(data.end(), f.begin(), f.end());
    const std::vector<int16_t> reference = DecodeNelly(data, 11025);
    ASSERT_GE(reference.size(), signal.size());

    SwfBuilder b(MovieHeader(1));
    b.tag(kTagDefineSound, defineSound(1, {6, 1, true, false}, uint32_t(signal.size()), data));
    b.tag(kTagStartSound, startSound(1)).showFrame().end();
    player::Player p;
    std::string error;
    ASSERT_TRUE(p.loadBytes(b.build(), "nelly.swf", &error)) << error;
    std::vector<int16_t> out;
    p.takeSound(out);
    ASSERT_EQ(out.size(), size_t(3675 * 2));
    for (size_t i = 0; i < 3675 / 4; ++i) {
        ASSERT_EQ(out[2 * 4 * i], reference[i]) << "sample " << i;
        const int between = (3 * reference[i] + reference[i + 1]) / 4;
        ASSERT_NEAR(out[2 * (4 * i + 1)], between, 1) << "sample " << i;
    }
}

// Samples the sound encoder of a file puts before the sound's first sample (its priming), as a decoder that
// knows nothing of it plays them: AVI and MPEG program streams cannot mark them. 0 where the container marks
// the priming and FFmpeg's reader skips it.
int PrimingOf(const std::string& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(format, nullptr);
    const std::string container = format->iformat->name;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    int priming = -1;
    if (index >= 0) {
        const AVCodecParameters* par = format->streams[index]->codecpar;
        const AVCodecID id = par->codec_id;
        const char* encoder = id == AV_CODEC_ID_MP3 ? "libmp3lame" : avcodec_get_name(id);
        const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
        if (container != "avi" && container != "mpeg") {
            priming = 0;
        } else if (codec) {
            AVCodecContext* c = avcodec_alloc_context3(codec);
            c->sample_rate = par->sample_rate;
            av_channel_layout_copy(&c->ch_layout, &par->ch_layout);
            c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
            c->bit_rate = par->bit_rate > 0 ? par->bit_rate : 224000;
            if (avcodec_open2(c, codec, nullptr) >= 0) priming = c->initial_padding;
            avcodec_free_context(&c);
        }
    }
    avformat_close_input(&format);
    return priming;
}

// Every kind of video file that carries sound, with the movie's own sound taken directly: the sound is as
// long as the video (within a frame), and a sound started in frame k plays (k - 1) / fps seconds in, within a
// millisecond once the encoder's priming is taken off.
TEST_F(MovieSound, EveryOutputKindCarriesEachSoundOnItsFrame) {
    struct Case {
        const char* name;
        TDestType type;
        TMPEGPreset preset;
        const char* aviCodec;  // name prefix; nullptr: the task's default (uncompressed)
        const char* audioCodec;
        int sampleRate;
        int32_t movCodec = 0;
    };
    const Case cases[] = {
        {"plain.avi", dtAVI, mpVCDNTSC, nullptr, "mp3", 44100},
        {"mpeg4.avi", dtAVI, mpVCDNTSC, "MPEG-4 Part 2", "mp3", 44100},
        {"vcd-ntsc.mpg", dtMPEG, mpVCDNTSC, nullptr, "mp2", 44100},
        {"vcd-pal.mpg", dtMPEG, mpVCDPAL, nullptr, "mp2", 44100},
        {"svcd.mpg", dtMPEG, mpSVCDNTSC, nullptr, "mp2", 44100},
        {"dvd.mpg", dtMPEG, mpDVDPAL, nullptr, nullptr, 48000},  // AC-3 where FFmpeg has it, else MP2
        {"mpeg1.mpg", dtMPEG, mpMPEG1Custom, nullptr, "mp2", 44100},
        {"mpeg2.mpg", dtMPEG, mpMPEG2Custom, nullptr, nullptr, 48000},
        {"h264.mp4", dtMP4, mpVCDNTSC, nullptr, "aac", 44100},
        {"vp9.webm", dtWebM, mpVCDNTSC, nullptr, "opus", 48000},
        {"prores.mov", dtMOV, mpVCDNTSC, nullptr, "pcm_s16le", 44100, 0},
        {"animation.mov", dtMOV, mpVCDNTSC, nullptr, "pcm_s16le", 44100, 1},
    };
    // 24 frames at 12 fps; the burst starts in frame 1 of one movie and in frame 7 of the other.
    const std::string movies[] = {WriteBurstMovie(Folder(), "first.swf", 24, 1),
                                  WriteBurstMovie(Folder(), "later.swf", 24, 7)};
    for (const Case& c : cases) {
        for (int which : {0, 1}) {
            const int frame = which == 0 ? 1 : 7;
            SCOPED_TRACE(std::string(c.name) + ", sound in frame " + std::to_string(frame));
            const std::string name = std::to_string(frame) + c.name;
            TCovSettings task = Task(movies[which], c.type, name);
            task.destMPEGCodec = c.preset;
            task.destVideoCodec = c.movCodec;
            if (c.aviCodec) {
                ASSERT_TRUE(FindAviCodec(c.aviCodec, 80, 60, &task.DestAVICodecInfo));
            }
            task.adoSource = asRecord;
            task.adoDirect = true;
            Run({&task});
            const Media m = ReadMedia(Out(name));
            ASSERT_TRUE(m.ok) << m.error;
            ASSERT_TRUE(m.hasAudio);
            const Audio a = ReadAudio(Out(name));
            ASSERT_TRUE(a.ok);
            if (c.audioCodec) {
                EXPECT_EQ(a.codec, c.audioCodec);
            }
            EXPECT_EQ(a.rate, c.sampleRate);
            // Two seconds of video, and of sound within a frame of the video's rate.
            EXPECT_NEAR(m.frames / m.frameRate, 2.0, 1.0 / m.frameRate + 1e-6);
            const int priming = PrimingOf(Out(name));
            ASSERT_GE(priming, 0);
            EXPECT_NEAR(double(long(a.left.size()) - priming) / a.rate, m.frames / m.frameRate,
                        1.0 / m.frameRate + 1e-6);
            const long onset = Onset(a, 0.3f);
            ASSERT_GE(onset, 0) << "the burst is heard";
            EXPECT_NEAR(double(onset - priming) / a.rate, (frame - 1) / 12.0, 0.001)
                << "priming " << priming << ", onset at sample " << onset;
        }
    }
}

TEST_F(MovieSound, EachSoundStartsOnItsFrameInTheVideo) {
    // The encoder's priming is measured on a movie whose sound starts in frame 1; the same burst started in
    // frame 7 must come (7 - 1) / 12 s later, within a millisecond.
    const std::string first = WriteBurstMovie(Folder(), "first.swf", 12, 1);
    const std::string later = WriteBurstMovie(Folder(), "later.swf", 12, 7);
    long onsets[2] = {};
    int i = 0;
    for (const std::string& movie : {first, later}) {
        const std::string name = "burst" + std::to_string(i) + ".avi";
        TCovSettings task = Task(movie, dtAVI, name);
        task.adoSource = asRecord;
        task.adoDirect = true;
        Run({&task});
        const Audio a = ReadAudio(Out(name));
        ASSERT_TRUE(a.ok);
        ASSERT_EQ(a.rate, 44100);
        onsets[i] = Onset(a, 0.3f);
        ASSERT_GE(onsets[i], 0);
        // The sound lasts as long as the video (12 frames at 12 fps), give or take a frame.
        const Media m = ReadMedia(Out(name));
        EXPECT_NEAR(a.seconds(), m.frames / m.frameRate, 1.0 / 12);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(task.adoUseFilename)))
            << "the sound file is deleted";
        ++i;
    }
    EXPECT_NEAR(double(onsets[1] - onsets[0]) / 44100.0, 6.0 / 12.0, 0.001);
}

TEST_F(MovieSound, AFractionalFrameRateKeepsEachSoundOnItsFrameInTheVideo) {
    // A 12.5 fps movie is written at 12 fps (the task's whole frames per second): its sound follows the
    // video's frames, so the burst of frame 7 plays 6 / 12 s in, not 6 / 12.5.
    const std::string movie = WriteBurstMovie(Folder(), "twelve-and-a-half.swf", 24, 7, uint16_t(3200));
    TCovSettings task = Task(movie, dtAVI, "half.avi");
    ASSERT_EQ(task.swfFrameRate, 12);
    task.adoSource = asRecord;
    task.adoDirect = true;
    Run({&task});
    const Media m = ReadMedia(Out("half.avi"));
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_NEAR(m.frameRate, 12, 1e-6);
    const Audio a = ReadAudio(Out("half.avi"));
    ASSERT_TRUE(a.ok);
    const int priming = PrimingOf(Out("half.avi"));
    ASSERT_GE(priming, 0);
    EXPECT_NEAR(double(long(a.left.size()) - priming) / a.rate, m.frames / m.frameRate, 1.0 / 12);
    const long onset = Onset(a, 0.3f);
    ASSERT_GE(onset, 0);
    EXPECT_NEAR(double(onset - priming) / a.rate, 6.0 / 12, 0.001);
}

TEST_F(MovieSound, ScriptSoundsCompleteOnTheSameFrameForPicturesAndSound) {
    // A 12.5 fps movie waits in frame 2 until a script's silent 4 s sound completes, then plays on to
    // frame 3, which shows a square and starts the burst. The pictures and the sound come from two
    // players; both must run the script's sound out by the video's 12 fps clock, or the square and the
    // burst come frames apart.
    Header h = MovieHeader(70);
    h.frameRate88 = uint16_t(3200);
    SwfBuilder b(h);
    b.backgroundColor(0xFFFFFF);
    b.tag(kTagDefineSound, defineSound(7, {3, 0, false, false}, 22050, pcm8(std::vector<int16_t>(22050, 0))));
    b.tag(56, exportAssets({{7, "quiet"}}));
    b.tag(kTagDefineSound, defineSound(1, {3, 3, true, false}, 8820, pcm16(Tone(8820, 1000, 16000))));
    b.tag(playertest::kDefineShape3, playertest::rectShape(2, 20, 15, 60, 45, 0x000000));
    b.tag(12, avm1test::assemble("push 's'; push 0 'Sound'; newobject; setvar; "
                                 "push 'quiet' 1 's'; getvar; push 'attachSound'; callmethod; pop; "
                                 "function done; play; end; "
                                 "push 's'; getvar; push 'onSoundComplete'; push 'done'; getvar; setmember; "
                                 "push 0 's'; getvar; push 'start'; callmethod; pop"));
    b.showFrame();
    b.tag(12, avm1test::assemble("stop")).showFrame();
    b.tag(kTagStartSound, startSound(1)).tag(playertest::kPlaceObject2, playertest::place(2, 1)).showFrame();
    for (int f = 4; f <= 70; ++f)
        b.showFrame();
    b.end();
    const std::string movie = QDir(Folder()).filePath("waits.swf").toStdString();
    ASSERT_TRUE(writeFile(movie, b.build()));

    TCovSettings task = Task(movie, dtAVI, "waits.avi");
    task.adoSource = asRecord;
    task.adoDirect = true;
    Run({&task});
    const Media m = ReadMedia(Out("waits.avi"), true);
    ASSERT_TRUE(m.ok) << m.error;
    int square = -1;
    for (size_t i = 0; i < m.pictures.size() && square < 0; ++i)
        if (qRed(m.pictures[i].pixel(40, 30)) < 128) square = int(i);
    ASSERT_GT(square, 40) << "frame 3 comes after the 4 s wait";
    const Audio a = ReadAudio(Out("waits.avi"));
    ASSERT_TRUE(a.ok);
    const long onset = Onset(a, 0.3f);
    ASSERT_GE(onset, 0);
    EXPECT_NEAR(double(onset - PrimingOf(Out("waits.avi"))) / a.rate, square / 12.0, 0.001);
}

TEST_F(MovieSound, FrameRangesAndModesKeepTheSoundWithTheFramesWritten) {
    // The burst starts in frame 7; converting from frame 4 puts it 3 frames in, in every sequence mode.
    const std::string movie = WriteBurstMovie(Folder(), "burst.swf", 12, 7);
    for (TSequenceMode mode : {smNormal, smFrameByFrame, smSkipBackward}) {
        SCOPED_TRACE(int(mode));
        TCovSettings task;
        FillTaskDefaults(task, movie, true);
        task.swfPlayFilename = movie;
        task.destSequenceMode = mode;
        task.destStartFrame = 4;
        task.destEndFrame = 12;
        const std::string wav = Out("range.wav");
        QDir().mkpath(QDir(Folder()).filePath("out"));
        TMovieSoundResult r = WriteMovieSound(task, 9, wav);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.frames, 9);
        EXPECT_EQ(r.samples, 9 * 3675);
        const Audio a = ReadAudio(wav);
        ASSERT_EQ(a.left.size(), size_t(9 * 3675));
        EXPECT_EQ(Onset(a, 1e-4f), 3 * 3675 + 1) << "the tone's first sample is 0 (phase 0)";
    }
}

TEST_F(MovieSound, DiscPresetsWithoutSoundGetASilentTrack) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 12);
    struct Case {
        TDestType type;
        TMPEGPreset preset;
        bool silentTrack;
    };
    for (const Case& c : {Case{dtMPEG, mpVCDPAL, true}, Case{dtMPEG, mpDVDNTSC, true},
                          Case{dtMPEG, mpMPEG1Custom, false}, Case{dtAVI, mpVCDPAL, false}}) {
        SCOPED_TRACE(int(c.preset));
        const std::string name =
            c.type == dtAVI ? "quiet.avi" : "quiet" + std::to_string(int(c.preset)) + ".mpg";
        TCovSettings task = Task(movie, c.type, name);
        task.destMPEGCodec = c.preset;
        // The movie has no sound: taking it directly gives nothing, and the disc gets silence instead.
        task.adoSource = asRecord;
        task.adoDirect = true;
        Run({&task});
        const Media m = ReadMedia(Out(name));
        ASSERT_TRUE(m.ok) << m.error;
        EXPECT_EQ(m.hasAudio, c.silentTrack);
        if (!c.silentTrack) continue;
        const Audio a = ReadAudio(Out(name));
        ASSERT_TRUE(a.ok);
        EXPECT_NEAR(a.seconds(), 1.0, 1.0 / 12) << "as long as the 12 frames at 12 fps";
        EXPECT_LT(Onset(a, 1e-3f), 0) << "silent";
    }
}

}  // namespace
