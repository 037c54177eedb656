#include "convert_test_util.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "capture/shockwave_flash.h"
#include "mcl/mcl_codecs.h"
#include "player/player_test_util.h"
#include "support/tone_wav.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace convtest {

namespace {

constexpr uint32_t kSquareColour[] = {0xD02020, 0x20A040, 0x2040D0, 0xE0A000, 0x8020C0, 0x00A0A0};

}  // namespace

uint32_t SquareColour(int frame) {
    return kSquareColour[(frame - 1) % 6];
}
int SquareX(int frame) {
    return 4 + 8 * (frame - 1);
}
int SquareY(int frame) {
    return 8 + 4 * (frame - 1);
}

std::string WriteMovingSquareMovie(const QString& folder, const std::string& name, int frames, int w, int h,
                                   int fps, uint32_t background, int stopAt) {
    using namespace playertest;
    auto b = movie(w, h, frames, 8, background);
    b.header().frameRate88 = static_cast<uint16_t>(fps << 8);
    for (int f = 1; f <= frames; ++f) {
        auto id = static_cast<uint16_t>(f);
        b.tag(kDefineShape3,
              rectShape(id, SquareX(f), SquareY(f), SquareX(f) + 20, SquareY(f) + 20, SquareColour(f)));
        if (f > 1) b.tag(kRemoveObject2, testswf::removeObject2(1));
        b.tag(kPlaceObject2, place(id, 1));
        if (f == stopAt) b.tag(kDoAction, testswf::ActionWriter().stop().withEnd());
        b.showFrame();
    }
    const std::string path = QDir(folder).filePath(QString::fromStdString(name)).toStdString();
    EXPECT_TRUE(testswf::writeFile(path, b.end().build())) << path;
    return path;
}

bool FindAviCodec(const char* prefix, int w, int h, TMclCodecInfo* block) {
    const int count = MclCodecsInit(kMclFormatAVI, w, h, 24);
    for (int i = 1; i <= count; ++i) {
        TMclCodecInfo info{};
        if (MclCodecsGetInfo(kMclFormatAVI, &info, i) == 0 &&
            std::strncmp(info.codecName, prefix, std::strlen(prefix)) == 0) {
            *block = info;
            return true;
        }
    }
    return false;
}

std::string WriteToneWav(const std::string& path, double seconds) {
    EXPECT_TRUE(testwav::WriteToneWav(path, 44100, 2, 440, static_cast<uint32_t>(seconds * 44100), 8000))
        << path;
    return path;
}

QImage ReferenceFrame(const std::string& movie, int frame, QSize size) {
    TShockwaveFlash player;
    player.resize(size);
    player.Movie(QString::fromStdString(movie));
    player.StopPlay();
    player.GotoFrame(frame);
    return player.currentPicture(size).convertToFormat(QImage::Format_RGB888);
}

int MaxChannelDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 256;
    const QImage x = a.convertToFormat(QImage::Format_RGB888), y = b.convertToFormat(QImage::Format_RGB888);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i)
            worst = std::max(worst, std::abs(int(p[i]) - int(q[i])));
    }
    return worst;
}

Media ReadMedia(const std::string& path, bool keepPictures) {
    Media m;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        m.error = "cannot open " + path;
        return m;
    }
    AVCodecContext* decoder = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;
    auto finish = [&] {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
    };
    if (avformat_find_stream_info(format, nullptr) < 0) {
        m.error = "no stream info";
        finish();
        return m;
    }
    m.container = format->iformat->name;
    if (format->duration != AV_NOPTS_VALUE) m.duration = double(format->duration) / AV_TIME_BASE;
    int videoIndex = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* par = format->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            m.hasAudio = true;
            m.audioCodec = avcodec_get_name(par->codec_id);
            m.sampleRate = par->sample_rate;
        }
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && videoIndex < 0) videoIndex = int(i);
    }
    if (videoIndex < 0) {
        m.error = "no video stream";
        finish();
        return m;
    }
    AVStream* stream = format->streams[videoIndex];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    m.videoCodec = avcodec_get_name(stream->codecpar->codec_id);
    if (const char* name = av_get_pix_fmt_name(AVPixelFormat(stream->codecpar->format))) m.pixelFormat = name;
    if (const AVDictionaryEntry* e = av_dict_get(stream->metadata, "alpha_mode", nullptr, 0))
        m.alphaMode = e->value;
    m.width = stream->codecpar->width;
    m.height = stream->codecpar->height;
    AVRational rate = stream->avg_frame_rate.num ? stream->avg_frame_rate : stream->r_frame_rate;
    if (rate.num && rate.den) m.frameRate = av_q2d(rate);
    if (!codec) {
        m.error = "no decoder for " + m.videoCodec;
        finish();
        return m;
    }
    decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, stream->codecpar);
    if (avcodec_open2(decoder, codec, nullptr) < 0) {
        m.error = "cannot open the decoder";
        finish();
        return m;
    }
    auto take = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            ++m.frames;
            if (keepPictures) {
                scaler = sws_getCachedContext(scaler, frame->width, frame->height,
                                              AVPixelFormat(frame->format), frame->width, frame->height,
                                              AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
                QImage picture(frame->width, frame->height, QImage::Format_RGB888);
                uint8_t* dst[4] = {picture.bits(), nullptr, nullptr, nullptr};
                int dstStride[4] = {int(picture.bytesPerLine()), 0, 0, 0};
                sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
                m.pictures.push_back(picture);
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == videoIndex && avcodec_send_packet(decoder, packet) >= 0) take();
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    take();
    m.ok = true;
    finish();
    return m;
}

void ConvertTest::SetUp() {
    ASSERT_TRUE(dir.isValid());
    frm = std::make_unique<TInteractFrm>();
    frm->setFpsMovieFile(QStringLiteral(TOLVIKAN_FRAME_EVENT_MOVIE));
    frm->FastClock = true;
    frm->ShowMessage = [this](const QString& text) { journal.messages.push_back(text); };
    frm->AskErrorAction = [this](const QString& text) {
        journal.messages.push_back(text);
        return 4;
    };
    frm->ChooseColor = [](QColor*) { return false; };
    frm->OpenVolumeControl = [] {};
    QObject::connect(frm.get(), &TInteractFrm::statusLine,
                     [this](const QString& line) { journal.lines.push_back(line); });
    QObject::connect(frm.get(), &TInteractFrm::taskEnded,
                     [this](int index, bool done, const QString& reason) {
                         journal.ends.push_back({index, done, reason});
                     });
}

void ConvertTest::TearDown() {
    frm.reset();
}

TCovSettings ConvertTest::Task(const std::string& movie, TDestType type, const std::string& fileName) {
    TCovSettings task;
    FillTaskDefaults(task, movie, true);
    task.adoSource = asNone;
    task.destType = type;
    task.destFilepath = QDir(dir.path()).filePath("out").toStdString() + "/";
    task.destFilename = fileName;
    return task;
}

std::string ConvertTest::Out(const std::string& name) const {
    return QDir(dir.path()).filePath("out/" + QString::fromStdString(name)).toStdString();
}

void ConvertTest::Run(std::vector<TCovSettings*> tasks) {
    std::vector<TTaskItem> items;
    for (TCovSettings* t : tasks)
        items.push_back({true, t});
    frm->setTaskItems(items);
    frm->RunTasks();
}

}  // namespace convtest
