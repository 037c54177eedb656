// The movie's sound as the timelines drive it: event sounds started by StartSound tags (with their
// SoundInfo), one stream per timeline kept in step with its frames, decoded sounds cached per definition,
// and the samples of each frame cut exactly: frame n ends at sample floor(n * 44100 / fps), so no drift
// accumulates however long the movie plays.
//
// Owned by the stage and called on the player's thread only. It reads no clock; the host takes the mixed
// samples after each frame.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "player/sound/mixer.h"
#include "player/sound/pcm.h"
#include "swf/tags.h"

namespace player {

class MovieDef;
struct Timeline;

namespace sound {

class SoundPlayer {
  public:
    static constexpr int kRate = 44100;

    // A player with sound off produces no samples (hosts that only want pictures): the timelines' sounds
    // are not played, while sounds scripts start run their course silently (their positions and
    // completions are part of what the movie does).
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }
    void setLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }
    // Lists the clips holding an owner, nearest first (called when a voice starts, while the owner lives),
    // so the transforms of the clips around a sound apply to it.
    using Ancestry = std::function<void(const void* owner, std::vector<const void*>& out)>;
    void setAncestry(Ancestry ancestry) { ancestry_ = std::move(ancestry); }

    // Level 0 was (re)loaded: everything stops, the frame clock restarts at the movie's rate (or the rate
    // setClockRate chose).
    void reset(double frameRate);
    // The frame clock runs at `fps` instead of the movie's rate (0: the movie's rate), from the next frame
    // on; frames already cut keep their samples.
    void setClockRate(double fps);
    // A movie was loaded or unloaded somewhere: decoded sounds keyed by its definitions may be stale.
    void forgetDecoded();

    // --- hooks the timelines call ---
    // A StartSound or StartSound2 tag of `movie` reached in a frame of `owner`'s timeline.
    void startTag(const MovieDef* movie, const swf::StartSound& tag, const void* owner);
    // A button of `movie` changed state: plays the sound its DefineButtonSound gives the transition
    // (0 over-up to idle, 1 idle to over-up, 2 over-up to over-down, 3 over-down to over-up; see
    // ButtonTransition), with that entry's SoundInfo, owned by the button.
    void playButtonSound(const MovieDef* movie, const swf::DefineButtonSound& sounds, int transition,
                         const void* owner);
    // The transition a button's change of shown state (0 up, 1 over, 2 down) stands for; -1 for none.
    static int buttonTransition(int from, int to);
    // `owner`'s timeline shows `frame` (reached by playing or by a jump) during tick `tick`. `alive`
    // expires with the owner, which ends its stream.
    void timelineFrame(const Timeline& timeline, int frame, const void* owner, std::weak_ptr<void> alive,
                       uint64_t tick);
    // The tick is over: streams whose timeline did not move stop, and one frame's samples are mixed.
    void endFrame(uint64_t tick);

    // --- what the host takes ---
    // Moves the samples mixed so far (interleaved stereo, 44.1 kHz, 16-bit) to the end of `out`; returns
    // the number of stereo samples moved. Of the samples not taken, the last kMaxPendingSeconds are kept
    // (twice that at most).
    size_t take(std::vector<int16_t>& out);
    size_t pendingFrames() const { return pending_.size() / 2; }
    static constexpr int kMaxPendingSeconds = 10;
    // Stereo samples the frame clock has cut so far.
    int64_t samplesCut() const { return cutBefore_ + cut_; }

    // --- for script (the Sound object) ---
    using VoiceId = Mixer::VoiceId;
    // Starts a defined sound `offsetSeconds` into it, played `loops` times; `owner` is the clip whose
    // transform applies. Returns 0 when the sound cannot be played.
    VoiceId startSound(const swf::DefineSound* def, double offsetSeconds, int loops, const void* owner,
                       std::function<void()> onComplete = {});
    // The same for sound decoded elsewhere (a local MP3 file script loaded, see decodeMp3); `scope`
    // groups voices for stopDefinition (the pcm itself when null). An owner that is not a display object
    // (a Sound's own transform) has no clips around it.
    VoiceId startPcm(PcmPtr pcm, double offsetSeconds, int loops, const void* owner,
                     std::function<void()> onComplete = {}, const void* scope = nullptr,
                     bool ownerIsDisplayObject = true);
    void stopSound(VoiceId id) { mixer_.stop(id); }
    // Stops every voice of one defined sound (or all voices for null).
    void stopDefinition(const void* def);
    // Stops the voices of a clip and of the clips inside it.
    void stopOwned(const void* owner) { mixer_.stopOwned(owner); }
    void stopAll();
    // Position within the sound, in milliseconds (-1 when the voice is not playing), and a sound's length
    // (from the sample count the definition states, else from the decoded samples).
    double positionMs(VoiceId id) const;
    double durationMs(const swf::DefineSound* def);
    Mixer& mixer() { return mixer_; }

    // A clip's sound transform, as scripts set it; kept while `alive` lasts, so a new clip at the address
    // of a removed one starts with none.
    void setClipTransform(const void* owner, std::weak_ptr<void> alive, const SoundTransform& t);
    // Null when the clip has none of its own (the identity).
    const SoundTransform* clipTransform(const void* owner) const;

    // The decoded form of a definition (cached); null when it cannot be decoded.
    PcmPtr decoded(const swf::DefineSound* def);

  private:
    struct StreamData {
        PcmPtr pcm;
        std::vector<int64_t> frameStart44;  // per 1-based frame - 1: where its block starts; -1 for none
        int64_t samplesPerFrame44 = 0;
    };
    struct Stream {
        const Timeline* timeline = nullptr;
        std::weak_ptr<void> alive;
        VoiceId voice = 0;
        int lastFrame = 0;
        uint64_t lastTick = 0;
    };
    const StreamData* streamData(const Timeline& timeline);
    void startEvent(const swf::DefineSound* def, const swf::SoundInfo& info, const void* owner);
    void fillAncestors(VoiceParams& p) const;
    void forgetDeadClips();
    // Sets the clock's rate from setClockRate's or the movie's.
    void startClock();
    // Moves the frame clock on by one frame; returns that frame's number of samples.
    int64_t cutFrame();
    VoiceId startVoice(PcmPtr pcm, const void* scope, double offsetSeconds, int loops, const void* owner,
                       std::function<void()> onComplete, bool ownerIsDisplayObject = true);
    void log(const std::string& line);

    bool enabled_ = true;
    std::function<void(const std::string&)> log_;
    Ancestry ancestry_;
    std::map<const void*, std::weak_ptr<void>> clipAlive_;
    Mixer mixer_;
    std::map<const swf::DefineSound*, PcmPtr> decoded_;
    std::map<const Timeline*, StreamData> streamData_;
    std::map<const void*, Stream> streams_;
    std::vector<int16_t> pending_;
    int64_t fps256_ = 12 * 256;  // frame rate in 1/256ths (SWF stores 8.8 fixed point)
    double movieRate_ = 0;       // the movie's rate, as reset was given it
    double clockRate_ = 0;       // setClockRate's rate; 0: the movie's
    int64_t frames_ = 0;         // frames cut since the clock started (or changed rate)
    int64_t cut_ = 0;            // samples cut since the clock started (or changed rate)
    int64_t cutBefore_ = 0;      // samples cut before that
};

}  // namespace sound
}  // namespace player
