// The mixer: plays voices (decoded sounds with a start point, an end point, loops, an envelope and a
// volume/pan transform) into 44.1 kHz 16-bit stereo. Deterministic: the output depends only on what was
// started and how many samples were asked for, never on a clock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "player/sound/pcm.h"

namespace player::sound {

// How a sound's channels reach the speakers, in percent (0..100), as Flash's sound transforms state it.
struct SoundTransform {
    double ll = 100, lr = 0, rr = 100, rl = 0;  // left-to-left, left-to-right, right-to-right, right-to-left
    double volume = 100;
    bool operator==(const SoundTransform&) const = default;
};

struct EnvelopePoint {
    int64_t pos44 = 0;               // in 44.1 kHz samples from the start of the sound
    double left = 1.0, right = 1.0;  // 0..1
};

struct VoiceParams {
    int64_t inPoint44 = 0;                // where playing starts (and every loop restarts)
    std::optional<int64_t> outPoint44;    // where it ends; the sound's end when absent
    int loops = 1;                        // times played; 0 means once
    std::vector<EnvelopePoint> envelope;  // empty: full volume
    const void* owner = nullptr;          // the clip whose transform applies (null: none)
    std::vector<const void*> ancestors;   // the clips holding it, nearest first: their transforms apply too
    uint32_t tag = 0;                     // the caller's mark (character id) for stop-by-sound
    const void* tagScope = nullptr;       // and its movie
    std::function<void()> onComplete;     // called once the last loop ends on its own
};

class Mixer {
  public:
    using VoiceId = uint64_t;  // never 0

    VoiceId start(PcmPtr pcm, VoiceParams params);
    void stop(VoiceId id);
    void stopTagged(const void* scope, uint32_t tag);
    bool isPlaying(VoiceId id) const;
    bool isTaggedPlaying(const void* scope, uint32_t tag) const;
    void stopAll();
    // Moves a voice to a position in 44.1 kHz samples from the sound's start (streams seeking).
    void seek(VoiceId id, int64_t pos44);
    // Position of a voice within its sound in 44.1 kHz samples; -1 for a voice that is not playing.
    int64_t position44(VoiceId id) const;
    size_t voiceCount() const { return voices_.size(); }

    // Stops the voices of a clip and of the clips inside it.
    void stopOwned(const void* owner);

    // A clip's transform applies to the voices it owns and to those of the clips inside it, combined with
    // theirs; the global transform applies to everything.
    void setOwnerTransform(const void* owner, const SoundTransform& t);
    const SoundTransform* ownerTransform(const void* owner) const;
    void clearOwner(const void* owner);
    void setGlobalTransform(const SoundTransform& t) { global_ = t; }
    const SoundTransform& globalTransform() const { return global_; }

    // Mixes `frames` stereo samples into out (2 * frames values), replacing what was there. Voices that
    // end are removed, and their completion callbacks run after the mix.
    void mix(int16_t* out, size_t frames);
    // Moves every voice on by `frames` samples without producing any (ends and completions as mix does).
    void skip(size_t frames);

    static constexpr size_t kMaxVoices = 64;  // the oldest event voice gives way beyond this

  private:
    struct Voice {
        VoiceId id = 0;
        PcmPtr pcm;
        VoiceParams p;
        int64_t pos44 = 0;  // position within the sound
        int loopsLeft = 1;
        int64_t end44 = 0;
    };
    void render(Voice& v, float* acc, size_t frames, bool& ended);

    std::vector<Voice> voices_;
    std::vector<std::pair<const void*, SoundTransform>> owners_;
    SoundTransform global_;
    std::vector<float> acc_;
    VoiceId next_ = 1;
};

}  // namespace player::sound
