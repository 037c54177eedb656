// One run of MclConvert: asks the audio source for the sound files and opens them, pulls the frames from the
// video source, writes them (repeated or dropped to keep the duration, fitted to the output size), feeds the
// sound track alongside up to the video's time, and finishes the file. Every failure goes through the error
// callback with the file concerned; whatever the answer, a file whose header was written is finished
// (encoders drained, trailer and index written). Internal to mcl/.
//
// Threads: the callbacks, reading the sound files and every decision run on the caller's thread. Each
// delivered frame is handed to one worker thread, which fits, converts, encodes and writes it (in delivery
// order, so the file is the same as written in one thread) while the caller asks the video source for the
// next frame. At most kQueuedFrames frames wait for the worker; their pictures live in a fixed ring of
// buffers, reused for the whole run. A frame the worker fails to write holds the worker until the caller has
// put the failure to the error callback (before it asks for the frame that would reuse that frame's buffer,
// at the latest): "abort" drops the frames still queued, anything else lets the worker go on. No lock is held
// while a callback runs. The sound encoder has a thread of its own: the caller fills sound frames up to the
// video's time and queues them (about a second at most); the thread encodes and writes them in order, so an
// MP3 track costs the caller little beside the video. A frame it fails to write stops the sound; the caller
// puts the failure to the error callback at its next step.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mcl/ffmpeg/audio_encoder.h"
#include "mcl/ffmpeg/audio_reader.h"
#include "mcl/ffmpeg/frame_converter.h"
#include "mcl/ffmpeg/output_file.h"
#include "mcl/ffmpeg/video_encoder.h"
#include "mcl/mcl_conversion.h"
#include "mcl/mcl_frame_clock.h"
#include "mcl/mcl_output_plan.h"
#include "mcl/mcl_picture_fit.h"

class MclConverter {
  public:
    MclConverter(const MclConversionSettings& settings, const MclCallbacks& callbacks);
    ~MclConverter();
    MclConverter(const MclConverter&) = delete;
    MclConverter& operator=(const MclConverter&) = delete;

    // The whole conversion; returns 0 or the code of the failure (kMclError*).
    int32_t run();

    // Frames handed to the worker and not yet written, at most; one more buffer takes the next delivery.
    static constexpr int kQueuedFrames = 2;

  private:
    struct VideoTrack;
    struct SoundTrack;
    static constexpr int kSlots = kQueuedFrames + 1;

    int32_t ask(const std::string& file, int32_t proposed);
    // Records the failure and asks the error callback; returns the action chosen.
    int32_t report(const mcl::MclStatus& status, const std::string& file, int32_t proposed);

    void collectSoundFiles();
    bool pullFrame();
    mcl::MclStatus openOutput();
    mcl::MclStatus openSound();
    void writeFrame();
    void finish();

    // The worker and its queue (see the top of this file).
    void startWorker();
    void workerLoop();
    // Hands the picture of the current slot to the worker, to be written `repeats` times.
    void submitFrame(int64_t repeats);
    // Waits until the current slot is free (block) or only looks (!block); a failure the worker met on the
    // way goes to the error callback. Returns false once the conversion is aborted.
    bool settleWorker(bool block);
    // Waits until the worker has written every queued frame (their failures asked as they come), then ends
    // it. unattended: no callback may run any more (a callback threw); failures drop the rest silently.
    void stopWorker(bool unattended);
    MclImage& slotPicture() { return slots_[static_cast<size_t>(submitted_ % kSlots)].picture; }
    int64_t samplesAt(int64_t videoFrames) const;
    void writeSoundUntil(int64_t samples);
    void settleSound();

    MclConversionSettings settings_;
    MclCallbacks callbacks_;
    std::vector<std::unique_ptr<mcl::ff::AudioReader>> readers_;
    std::vector<int32_t> readerIndex_;  // each reader's index in the audio source's list

    // The ring of delivered pictures: frame n of the run lives in slot n % kSlots.
    struct Slot {
        MclImage picture;
        int64_t repeats = 0;
    };
    std::array<Slot, kSlots> slots_;
    double pictureRate_ = 0;
    bool havePicture_ = false;
    bool aborted_ = false;
    int32_t result_ = 0;
    bool finishing_ = false;    // the video has ended: the sound's last frame may be a short one
    bool soundFailed_ = false;  // openOutput failed on the sound track, not on the file or the video

    MclOutputPlan plan_;
    std::unique_ptr<mcl::ff::OutputFile> file_;
    std::unique_ptr<VideoTrack> video_;
    std::unique_ptr<SoundTrack> sound_;
    std::unique_ptr<MclFrameClock> clock_;

    // Shared with the worker, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;  // any of the fields below changed
    int64_t submitted_ = 0;            // frames handed over (the caller's slot is submitted_ % kSlots)
    int64_t done_ = 0;                 // frames the worker has finished with (written, failed or dropped)
    bool failurePending_ = false;      // the worker holds until the caller has answered this failure
    mcl::MclStatus failure_;
    int failuresInRow_ = 0;    // frames in a row that failed, counted by the worker in frame order
    bool dropQueued_ = false;  // abort: frames not yet written are dropped
    bool stopping_ = false;    // no more frames come; the worker ends once the queue is empty
    bool unattended_ = false;
    std::thread worker_;
};
