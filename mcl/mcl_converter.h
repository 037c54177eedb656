// One run of MclConvert: asks the audio source for the sound files and opens them, pulls the frames from the
// video source, writes them (repeated or dropped to keep the duration, fitted to the output size), feeds the
// sound track alongside up to the video's time, and finishes the file. Every failure goes through the error
// callback with the file concerned; whatever the answer, a file whose header was written is finished
// (encoders drained, trailer and index written). Internal to mcl/. Runs on the caller's thread; holds no lock
// while a callback runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
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

  private:
    struct VideoTrack;
    struct SoundTrack;

    int32_t ask(const std::string& file, int32_t proposed);
    // Records the failure and asks the error callback; returns the action chosen.
    int32_t report(const mcl::MclStatus& status, const std::string& file, int32_t proposed);

    void collectSoundFiles();
    bool pullFrame();
    mcl::MclStatus openOutput();
    mcl::MclStatus openSound();
    void writeFrame();
    void finish();
    int64_t samplesAt(int64_t videoFrames) const;
    void writeSoundUntil(int64_t samples);

    MclConversionSettings settings_;
    MclCallbacks callbacks_;
    std::vector<std::unique_ptr<mcl::ff::AudioReader>> readers_;
    std::vector<int32_t> readerIndex_;  // each reader's index in the audio source's list

    MclImage picture_;  // the delivered frame, one buffer reused for every frame
    double pictureRate_ = 0;
    bool havePicture_ = false;
    bool aborted_ = false;
    int32_t result_ = 0;
    int consecutiveErrors_ = 0;
    bool finishing_ = false;    // the video has ended: the sound's last frame may be a short one
    bool soundFailed_ = false;  // openOutput failed on the sound track, not on the file or the video

    MclOutputPlan plan_;
    std::unique_ptr<mcl::ff::OutputFile> file_;
    std::unique_ptr<VideoTrack> video_;
    std::unique_ptr<SoundTrack> sound_;
    std::unique_ptr<MclFrameClock> clock_;
};
