#include "mcl/mcl_converter.h"

#include <algorithm>
#include <deque>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

#include "mcl/ffmpeg/ff_log.h"
#include "mcl/mcl_error_state.h"

using mcl::MclError;
using mcl::MclStatus;

namespace {

// Sound files asked of the audio source at most; the system's list holds one.
constexpr int32_t kMaxSoundFiles = 64;
// Retries of one failing step the error callback may ask for before the step counts as ignored.
constexpr int kMaxRetries = 3;
// Frames in a row that fail to encode or write before the conversion stops whatever the callback says: a
// full disk would otherwise ask once for every remaining frame.
constexpr int kMaxConsecutiveErrors = 10;

}  // namespace

struct MclConverter::VideoTrack {
    std::unique_ptr<mcl::ff::VideoEncoder> encoder;
    std::unique_ptr<mcl::ff::FrameConverter> converter;
    std::unique_ptr<MclPictureFitter> fitter;
    mcl::ff::FramePtr frame;
    mcl::ff::PacketPtr packet;
    AVStream* stream = nullptr;
    int64_t pts = 0;

    MclStatus drain(mcl::ff::OutputFile& file) {
        for (;;) {
            const int rc = encoder->receive(packet.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
            if (rc < 0) return mcl::MclStatusFromAv(rc, "video encoder");
            MclStatus st = file.write(packet.get(), encoder->context()->time_base, stream);
            av_packet_unref(packet.get());
            if (!st.ok()) return st;
        }
    }

    // Converts the picture once and hands it to the encoder `repeats` times, one output frame each.
    MclStatus write(mcl::ff::OutputFile& file, const MclImage& image, int64_t repeats) {
        const uint8_t* pixels = nullptr;
        int stride = 0;
        MclStatus st = fitter->fit(image, &pixels, &stride);
        if (!st.ok()) return st;
        int rc = av_frame_make_writable(frame.get());  // the encoder may still hold the last frame
        if (rc < 0) return mcl::MclStatusFromAv(rc, "video frame");
        converter->convert(pixels, stride, frame.get());
        for (int64_t i = 0; i < repeats; ++i) {
            frame->pts = pts++;
            rc = encoder->send(frame.get());
            if (rc < 0) return mcl::MclStatusFromAv(rc, "video encoder");
            st = drain(file);
            if (!st.ok()) return st;
        }
        return {};
    }
};

struct MclConverter::SoundTrack {
    std::unique_ptr<mcl::ff::AudioEncoder> encoder;
    AVStream* stream = nullptr;
    mcl::ff::AudioFifoPtr fifo;
    mcl::ff::FramePtr frame;
    mcl::ff::PacketPtr packet;
    size_t reader = 0;     // the file being read
    bool started = false;  // the audio function callback has been told about `reader`
    int64_t sent = 0;      // samples handed to the encoder (or queued for it)
    int64_t shift = 0;     // added to the encoder's timestamps (its priming, where the file cannot mark it)

    // The encoder's own thread (see the top of mcl_converter.h), under `mutex`.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<mcl::ff::FramePtr> queue;   // filled frames waiting for the encoder
    std::vector<mcl::ff::FramePtr> spare;  // frames the encoder is done with, for reuse
    bool stop = false;                     // no more frames come
    bool failed = false;                   // a frame failed: the rest are dropped
    bool failureReported = false;          // the caller has put it to the error callback
    mcl::MclStatus failure;
    std::thread thread;
    static constexpr size_t kMaxQueued = 48;  // about a second of MP3 frames

    MclStatus drain(mcl::ff::OutputFile& file) {
        for (;;) {
            const int rc = encoder->receive(packet.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
            if (rc < 0) return mcl::MclStatusFromAv(rc, "sound encoder");
            // The encoder stamps its priming samples (MP3, AC-3, AAC, Opus) before zero. Neither AVI nor
            // MPEG program streams can say so, and a negative start would make the muxer move every stream,
            // the video by a whole frame (AVI then ends on an empty repeat chunk): there the sound starts at
            // zero instead (see MclOutputPlan::marksPriming). MP4 and MOV keep the encoder's timestamps:
            // their edit list skips the priming, so the sound starts and ends with the video.
            if (shift != 0) {
                if (packet->pts != AV_NOPTS_VALUE) packet->pts += shift;
                if (packet->dts != AV_NOPTS_VALUE) packet->dts += shift;
            }
            MclStatus st = file.write(packet.get(), encoder->context()->time_base, stream);
            av_packet_unref(packet.get());
            if (!st.ok()) return st;
        }
    }

    // Takes `samples` from the buffer into a frame for the encoder's thread; waits while the thread is a
    // second behind.
    MclStatus queueFrame(int samples) {
        mcl::ff::FramePtr f;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return queue.size() < kMaxQueued || failed; });
            if (!spare.empty()) {
                f = std::move(spare.back());
                spare.pop_back();
            }
        }
        if (!f) {
            f = mcl::ff::MakeFrame();
            if (!f) return MclStatus::Error(MclError::OutOfMemory, "sound frame");
            const AVFrame* model = frame.get();
            f->format = model->format;
            f->sample_rate = model->sample_rate;
            f->nb_samples = model->nb_samples;
            int rc = av_channel_layout_copy(&f->ch_layout, &model->ch_layout);
            if (rc >= 0) rc = av_frame_get_buffer(f.get(), 0);
            if (rc < 0) return mcl::MclStatusFromAv(rc, "sound frame");
        }
        f->nb_samples = samples;
        if (av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(f->extended_data), samples) < samples)
            return MclStatus::Error(MclError::Failed, "sound buffer ran short");
        f->pts = sent;
        sent += samples;
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(std::move(f));
        changed.notify_all();
        return {};
    }

    // The encoder's thread: encodes and writes the queued frames in order until told to stop.
    void encodeLoop(mcl::ff::OutputFile& file) {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return !queue.empty() || stop; });
            if (queue.empty()) return;
            mcl::ff::FramePtr f = std::move(queue.front());
            queue.pop_front();
            const bool skip = failed;
            lock.unlock();
            MclStatus st;
            if (!skip) {
                const int rc = encoder->send(f.get());
                st = rc < 0 ? mcl::MclStatusFromAv(rc, "sound encoder") : drain(file);
            }
            lock.lock();
            if (!st.ok() && !failed) {
                failed = true;
                failure = st;
            }
            spare.push_back(std::move(f));
            changed.notify_all();
        }
    }

    void startThread(mcl::ff::OutputFile& file) {
        thread = std::thread([this, &file] { encodeLoop(file); });
    }
    // Waits until every queued frame is encoded, then ends the thread.
    void stopThread() {
        if (!thread.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
            changed.notify_all();
        }
        thread.join();
    }
    // A failure of the encoder's thread not yet put to the error callback.
    bool takeFailure(MclStatus* st) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failed || failureReported) return false;
        failureReported = true;
        *st = failure;
        return true;
    }

    ~SoundTrack() { stopThread(); }
};

MclConverter::MclConverter(const MclConversionSettings& settings, const MclCallbacks& callbacks)
    : settings_(settings), callbacks_(callbacks) {}

MclConverter::~MclConverter() {
    // A callback threw out of run(): the frames already handed over are still written, nothing is asked.
    if (worker_.joinable()) stopWorker(true);
}

int32_t MclConverter::ask(const std::string& file, int32_t proposed) {
    int32_t action = proposed;
    if (callbacks_.error) callbacks_.error(0, file.c_str(), &action);
    if (action != kMclActionAbort && action != kMclActionRetry && action != kMclActionIgnore)
        action = proposed;
    return action;
}

int32_t MclConverter::report(const MclStatus& status, const std::string& file, int32_t proposed) {
    MclRecordError(status);
    return ask(file, proposed);
}

void MclConverter::collectSoundFiles() {
    if (!callbacks_.audioSource) return;
    std::vector<std::pair<std::string, int32_t>> files;
    for (int32_t index = 0; index < kMaxSoundFiles; ++index) {
        MclSource source;
        callbacks_.audioSource(&source, index);
        if (source.answer != MclSource::Answer::File) break;
        // An empty entry is the list's way of saying "no sound".
        if (!source.path.empty()) files.emplace_back(source.path, index);
    }
    for (const auto& [path, index] : files) {
        for (int attempt = 0;; ++attempt) {
            MclStatus st;
            std::unique_ptr<mcl::ff::AudioReader> reader = mcl::ff::AudioReader::create(path, &st);
            if (reader) {
                readers_.push_back(std::move(reader));
                readerIndex_.push_back(index);
                break;
            }
            const int32_t action = report(st, path, kMclActionIgnore);
            if (action == kMclActionAbort) {
                aborted_ = true;
                result_ = kMclErrorAborted;
                return;
            }
            if (action != kMclActionRetry || attempt >= kMaxRetries) break;  // ignored: no sound from it
        }
    }
}

bool MclConverter::pullFrame() {
    havePicture_ = false;
    if (!callbacks_.videoSource || aborted_) return false;
    if (!settleWorker(true)) return false;
    MclSource source;
    source.staging = &slotPicture();
    callbacks_.videoSource(&source, static_cast<int32_t>(clock_ ? clock_->delivered() : 0));
    if (source.answer != MclSource::Answer::Picture) return false;  // finished, or no answer at all
    if (source.frameRate > 0) pictureRate_ = source.frameRate;
    havePicture_ = true;
    return true;
}

MclStatus MclConverter::openSound() {
    const MclAudioPlan& a = plan_.audio;
    mcl::ff::AudioEncoderParams params;
    params.encoders = a.encoders;
    params.sampleRate = a.sampleRate;
    params.channels = a.channels;
    params.bitRate = a.bitRate;
    params.globalHeader = file_->wantsGlobalHeader();
    MclStatus st;
    auto sound = std::make_unique<SoundTrack>();
    sound->encoder = mcl::ff::AudioEncoder::create(params, &st);
    if (!sound->encoder) return st;
    AVCodecContext* ctx = sound->encoder->context();
    if (!plan_.marksPriming) sound->shift = ctx->initial_padding;
    sound->stream = file_->addStream(ctx, 0, &st);
    if (!sound->stream) return st;
    sound->fifo.reset(
        av_audio_fifo_alloc(ctx->sample_fmt, ctx->ch_layout.nb_channels, sound->encoder->frameSize()));
    sound->frame = mcl::ff::MakeFrame();
    sound->packet = mcl::ff::MakePacket();
    if (!sound->fifo || !sound->frame || !sound->packet)
        return MclStatus::Error(MclError::OutOfMemory, "sound buffers");
    AVFrame* f = sound->frame.get();
    f->format = ctx->sample_fmt;
    f->sample_rate = ctx->sample_rate;
    f->nb_samples = sound->encoder->frameSize();
    int rc = av_channel_layout_copy(&f->ch_layout, &ctx->ch_layout);
    if (rc >= 0) rc = av_frame_get_buffer(f, 0);
    if (rc < 0) return mcl::MclStatusFromAv(rc, "sound frame");

    const mcl::ff::AudioTarget target{ctx->sample_rate, ctx->ch_layout.nb_channels, ctx->sample_fmt};
    for (auto& reader : readers_)
        reader->setTarget(target);
    sound_ = std::move(sound);
    return {};
}

// A frame the sound encoder's thread failed to write: put to the error callback, and no more sound after it.
void MclConverter::settleSound() {
    MclStatus st;
    if (!sound_ || !sound_->takeFailure(&st)) return;
    if (report(st, settings_.outputPath, kMclActionIgnore) == kMclActionAbort) {
        aborted_ = true;
        result_ = kMclErrorAborted;
    }
    sound_->reader = readers_.size();
}

MclStatus MclConverter::openOutput() {
    file_.reset();
    video_.reset();
    sound_.reset();
    soundFailed_ = false;
    if (settings_.outputPath.empty())
        return MclStatus::Error(MclError::InvalidArgument, "no output file was set");

    const MclImage& first = slotPicture();
    const bool alpha = havePicture_ && !first.alpha.empty();
    MclStatus st = MclPlanOutput(settings_, first.width, first.height, alpha, pictureRate_, &plan_);
    if (!st.ok()) return st;
    file_ = mcl::ff::OutputFile::create(plan_.muxer, settings_.outputPath, &st);
    if (!file_) return st;

    auto video = std::make_unique<VideoTrack>();
    mcl::ff::VideoEncoderParams params;
    params.width = plan_.width;
    params.height = plan_.height;
    params.frameRate = plan_.frameRate;
    params.sampleAspectRatio = plan_.sampleAspect;
    // One thread: FFmpeg's slice-threaded encoders cut the picture by the thread count, so a fixed count
    // keeps the file the same on every machine.
    params.threads = 1;
    video->encoder = mcl::ff::VideoEncoder::create(plan_.video, params, &st);
    if (!video->encoder) return st;
    const AVPixelFormat packed = plan_.video.alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    video->converter = mcl::ff::FrameConverter::create(plan_.width, plan_.height, packed,
                                                       video->encoder->pixelFormat(), &st);
    if (!video->converter) return st;
    video->fitter =
        std::make_unique<MclPictureFitter>(plan_.width, plan_.height, plan_.sampleAspect, plan_.video.alpha);
    video->frame = mcl::ff::MakeFrame();
    video->packet = mcl::ff::MakePacket();
    if (!video->frame || !video->packet) return MclStatus::Error(MclError::OutOfMemory, "video buffers");
    video->frame->format = video->encoder->pixelFormat();
    video->frame->width = plan_.width;
    video->frame->height = plan_.height;
    video->frame->sample_aspect_ratio = plan_.sampleAspect;
    const int rc = av_frame_get_buffer(video->frame.get(), 0);
    if (rc < 0) return mcl::MclStatusFromAv(rc, "video frame");
    video->stream = file_->addStream(video->encoder->context(), video->encoder->codecTag(), &st);
    if (!video->stream) return st;
    video_ = std::move(video);

    if (!readers_.empty() && !aborted_) {
        st = openSound();
        if (!st.ok()) {
            // The stream may already be in the file's list; the caller starts again without it.
            soundFailed_ = true;
            return st;
        }
    }
    st = file_->open(plan_.muxerOptions, plan_.maxDelayUs);
    if (!st.ok()) return st;
    clock_ = std::make_unique<MclFrameClock>(plan_.frameRate, settings_.keepDuration);
    return {};
}

int64_t MclConverter::samplesAt(int64_t videoFrames) const {
    if (!sound_) return 0;
    const int rate = sound_->encoder->context()->sample_rate;
    return av_rescale(videoFrames, static_cast<int64_t>(plan_.frameRate.den) * rate, plan_.frameRate.num);
}

// Encodes whole sound frames while they end at or before `limit` samples (all there is when limit < 0).
// The last, shorter frame is written only when the limit or the sound ends inside it.
void MclConverter::writeSoundUntil(int64_t limit) {
    settleSound();
    SoundTrack* s = sound_.get();
    if (!s) return;
    const int frameSize = s->encoder->frameSize();
    for (;;) {
        int64_t want = frameSize;
        if (limit >= 0) want = std::min<int64_t>(want, limit - s->sent);
        if (want <= 0) return;
        // Top up the buffer from the files in turn.
        while (av_audio_fifo_size(s->fifo.get()) < want && s->reader < readers_.size()) {
            mcl::ff::AudioReader& reader = *readers_[s->reader];
            if (!s->started) {
                s->started = true;
                if (callbacks_.audioFunc) {
                    const AVCodecContext* ctx = s->encoder->context();
                    callbacks_.audioFunc(readerIndex_[s->reader], ctx->sample_rate,
                                         ctx->ch_layout.nb_channels);
                }
            }
            const MclStatus st = reader.fill(s->fifo.get(), static_cast<int>(want));
            if (!st.ok()) {
                // The file broke off: what it gave so far stays; retrying cannot help mid-file.
                if (report(st, reader.path(), kMclActionIgnore) == kMclActionAbort) {
                    aborted_ = true;
                    result_ = kMclErrorAborted;
                }
            }
            if (!st.ok() || reader.ended()) {
                ++s->reader;
                s->started = false;
            }
            if (aborted_) return;
        }
        const int available = av_audio_fifo_size(s->fifo.get());
        const bool soundEnded = s->reader >= readers_.size();
        int samples = static_cast<int>(want);
        if (available < want) {
            if (!soundEnded || available == 0) return;
            samples = available;  // the sound's last, shorter frame
        } else if (want < frameSize && limit >= 0 && !finishing_) {
            return;  // a partial frame only once the video has ended
        }
        const MclStatus st = s->queueFrame(samples);
        if (!st.ok()) {
            if (report(st, settings_.outputPath, kMclActionIgnore) == kMclActionAbort) {
                aborted_ = true;
                result_ = kMclErrorAborted;
            }
            sound_->reader = readers_.size();  // no more sound after a failed frame
            return;
        }
        if (samples < frameSize) return;  // nothing may follow a shorter frame
    }
}

void MclConverter::writeFrame() {
    const int64_t repeats = clock_->next(pictureRate_);
    if (callbacks_.videoFunc) {
        const MclImage& picture = slotPicture();
        callbacks_.videoFunc(static_cast<int32_t>(clock_->delivered()), picture.width, picture.height);
    }
    if (repeats > 0) submitFrame(repeats);
    // Failures of the frames before are put to the error callback as soon as they are known.
    if (!settleWorker(false)) return;
    writeSoundUntil(samplesAt(clock_->written()));
    if (callbacks_.progress) {
        const int64_t soundMs =
            sound_ ? av_rescale(sound_->sent, 1000, sound_->encoder->context()->sample_rate) : 0;
        callbacks_.progress(static_cast<int32_t>(clock_->delivered()),
                            static_cast<int32_t>(clock_->written()),
                            static_cast<int32_t>(std::min<int64_t>(soundMs, INT32_MAX)), 0);
    }
}

void MclConverter::startWorker() {
    worker_ = std::thread([this] { workerLoop(); });
}

void MclConverter::submitFrame(int64_t repeats) {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_[static_cast<size_t>(submitted_ % kSlots)].repeats = repeats;
    ++submitted_;
    changed_.notify_all();
}

void MclConverter::workerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] {
            if (done_ == submitted_) return stopping_;
            return !failurePending_ || unattended_;
        });
        if (done_ == submitted_) return;  // stopping, and nothing is left
        if (dropQueued_ || failurePending_) {
            // Aborted, or a failure no one will answer any more: what is queued is not written.
            done_ = submitted_;
            changed_.notify_all();
            continue;
        }
        Slot& slot = slots_[static_cast<size_t>(done_ % kSlots)];
        lock.unlock();
        const MclStatus st = video_->write(*file_, slot.picture, slot.repeats);
        lock.lock();
        if (st.ok()) {
            failuresInRow_ = 0;
        } else {
            ++failuresInRow_;
            failure_ = st;
            failurePending_ = true;
        }
        ++done_;
        changed_.notify_all();
    }
}

bool MclConverter::settleWorker(bool block) {
    if (!worker_.joinable()) return !aborted_;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (failurePending_) {
            const MclStatus st = failure_;
            const int inRow = failuresInRow_;
            lock.unlock();
            result_ = MclRecordError(st);
            const int32_t action = ask(settings_.outputPath, kMclActionAbort);
            const bool abort = action == kMclActionAbort || inRow >= kMaxConsecutiveErrors;
            lock.lock();
            if (abort) {
                aborted_ = true;
                dropQueued_ = true;
            }
            failurePending_ = false;
            changed_.notify_all();
            continue;
        }
        if (aborted_) return false;
        if (!block || submitted_ - done_ < kSlots) return true;
        changed_.wait(lock);
    }
}

void MclConverter::stopWorker(bool unattended) {
    if (!worker_.joinable()) return;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        stopping_ = true;
        unattended_ = unattended;
        changed_.notify_all();
        while (!unattended && (done_ < submitted_ || failurePending_)) {
            if (failurePending_) {
                lock.unlock();
                settleWorker(false);
                lock.lock();
                continue;
            }
            changed_.wait(lock);
        }
    }
    worker_.join();
}

void MclConverter::finish() {
    stopWorker(false);
    finishing_ = true;
    MclStatus st;
    if (video_) {
        st = video_->encoder->send(nullptr) < 0
                 ? MclStatus::Error(MclError::Failed, "draining the video encoder")
                 : video_->drain(*file_);
        if (!st.ok()) result_ = MclRecordError(st);
    }
    if (sound_ && clock_) {
        // An aborted conversion keeps the sound that belongs to the frames it wrote, no more (frames still
        // queued when it was aborted were dropped).
        const bool cut = settings_.truncateAudio || aborted_;
        const int64_t frames = aborted_ && video_ ? video_->pts : clock_->written();
        const bool wasAborted = aborted_;
        aborted_ = false;  // lets the sound be written to its end; a new abort stops it again
        writeSoundUntil(cut ? samplesAt(frames) : -1);
        aborted_ = aborted_ || wasAborted;
    }
    if (sound_) {
        sound_->stopThread();
        settleSound();
        // FFmpeg's LAME wrapper warns on every drain that LAME gives one frame more than it was handed (its
        // encoder delay); a failure still shows in the result.
        mcl::ff::QuietLog quiet;
        st = sound_->encoder->send(nullptr) < 0
                 ? MclStatus::Error(MclError::Failed, "draining the sound encoder")
                 : sound_->drain(*file_);
        if (!st.ok()) result_ = MclRecordError(st);
    }
    if (file_) {
        st = file_->finish();
        if (!st.ok()) {
            result_ = MclRecordError(st);
            ask(settings_.outputPath, kMclActionAbort);
        }
    }
}

int32_t MclConverter::run() {
    mcl::ff::InstallLog();  // the encoders' lines go where the caller's sink says, never raw to the terminal
    collectSoundFiles();
    pullFrame();

    for (int attempt = 0;; ++attempt) {
        const MclStatus st = openOutput();
        if (st.ok()) break;
        if (soundFailed_) {
            // The sound track cannot be written in this file: the video goes on without it.
            const int32_t action = report(st, readers_.front()->path(), kMclActionIgnore);
            readers_.clear();
            if (action == kMclActionAbort) {
                aborted_ = true;
                result_ = kMclErrorAborted;
            }
            continue;
        }
        const int32_t code = MclRecordError(st);
        const int32_t action = ask(settings_.outputPath, kMclActionAbort);
        if (action == kMclActionRetry && attempt < kMaxRetries) continue;
        file_.reset();
        return code;
    }

    startWorker();
    if (sound_) sound_->startThread(*file_);
    while (havePicture_ && !aborted_) {
        writeFrame();
        if (aborted_) break;
        pullFrame();
    }
    finish();
    if (aborted_ && result_ == kMclErrorNone) result_ = kMclErrorAborted;
    if (result_ == kMclErrorAborted) {
        // Keep the cause readable: "<what failed> (aborted)".
        const std::string cause = MclLastErrorText();
        MclRecordError(kMclErrorAborted, cause.empty() ? "the conversion was aborted" : cause + " (aborted)");
    }
    return result_;
}
