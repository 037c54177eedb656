#include "mp3_test_audio.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <numbers>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace mp3_test {
namespace {

struct FormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

float SampleAt(const AVFrame& frame, int channel, int index) {
    const int channels = frame.ch_layout.nb_channels;
    switch (frame.format) {
        case AV_SAMPLE_FMT_FLTP:
            return reinterpret_cast<const float*>(frame.extended_data[channel])[index];
        case AV_SAMPLE_FMT_FLT:
            return reinterpret_cast<const float*>(frame.extended_data[0])[index * channels + channel];
        case AV_SAMPLE_FMT_S16P:
            return reinterpret_cast<const int16_t*>(frame.extended_data[channel])[index] / 32768.0f;
        case AV_SAMPLE_FMT_S16:
            return reinterpret_cast<const int16_t*>(frame.extended_data[0])[index * channels + channel] /
                   32768.0f;
        default:
            return NAN;
    }
}

void Append(const AVFrame& frame, Decoded& out) {
    const int channels = frame.ch_layout.nb_channels;
    if (out.channels.empty()) out.channels.resize(static_cast<size_t>(channels));
    if (out.channels.size() != static_cast<size_t>(channels)) {
        out.error = "channel count changes inside the stream";
        return;
    }
    out.sampleRate = frame.sample_rate;
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < frame.nb_samples; ++i)
            out.channels[static_cast<size_t>(c)].push_back(SampleAt(frame, c, i));
}

}  // namespace

std::vector<int16_t> Tone(int sampleRate, int frames, const std::vector<double>& freqs) {
    std::vector<int16_t> pcm;
    pcm.reserve(static_cast<size_t>(frames) * freqs.size());
    for (int i = 0; i < frames; ++i)
        for (double f : freqs)
            pcm.push_back(static_cast<int16_t>(
                std::lround(16384.0 * std::sin(2.0 * std::numbers::pi * f * i / sampleRate))));
    return pcm;
}

Decoded DecodeFile(const std::filesystem::path& path) {
    av_log_set_level(AV_LOG_ERROR);
    Decoded out;
    AVFormatContext* rawFormat = nullptr;
    if (avformat_open_input(&rawFormat, path.c_str(), nullptr, nullptr) < 0) {
        out.error = "avformat_open_input failed";
        return out;
    }
    std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        out.error = "no stream info";
        return out;
    }
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec) {
        out.error = "no audio stream";
        return out;
    }
    if (format->streams[stream]->codecpar->codec_id != AV_CODEC_ID_MP3) {
        out.error = "not MP3";
        return out;
    }
    std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        out.error = "cannot open the decoder";
        return out;
    }
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            Append(*frame, out);
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(decoder.get(), packet.get()) == 0) drain();
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    out.ok = out.error.empty() && out.frames() > 0;
    if (out.error.empty() && !out.ok) out.error = "no samples decoded";
    return out;
}

double PowerAt(const std::vector<float>& signal, size_t begin, size_t end, double freq, int sampleRate) {
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * freq / sampleRate);
    double s1 = 0.0;
    double s2 = 0.0;
    for (size_t i = begin; i < end && i < signal.size(); ++i) {
        const double s0 = signal[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double n = static_cast<double>(end - begin);
    return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (n * n);
}

std::pair<size_t, size_t> LoudSpan(const std::vector<float>& signal, float threshold) {
    size_t first = signal.size();
    size_t last = 0;
    for (size_t i = 0; i < signal.size(); ++i) {
        if (std::fabs(signal[i]) < threshold) continue;
        if (first == signal.size()) first = i;
        last = i + 1;
    }
    return first == signal.size() ? std::pair<size_t, size_t>{0, 0} : std::pair<size_t, size_t>{first, last};
}

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mp3enc_test_XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace mp3_test
