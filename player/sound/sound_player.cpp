#include "player/sound/sound_player.h"

#include <algorithm>
#include <cmath>

#include "player/core/characters.h"
#include "player/core/movie_def.h"
#include "player/sound/sound_decode.h"

namespace player::sound {

void SoundPlayer::setEnabled(bool on) {
    enabled_ = on;
    if (!on) {
        mixer_.stopAll();
        streams_.clear();
        pending_.clear();
    }
}

void SoundPlayer::reset(double frameRate) {
    mixer_.stopAll();
    streams_.clear();
    pending_.clear();
    for (const auto& [owner, alive] : clipAlive_)
        mixer_.clearOwner(owner);
    clipAlive_.clear();
    mixer_.setGlobalTransform({});
    forgetDecoded();
    movieRate_ = frameRate;
    frames_ = 0;
    cut_ = 0;
    cutBefore_ = 0;
    startClock();
}

void SoundPlayer::setClockRate(double fps) {
    clockRate_ = fps > 0 && std::isfinite(fps) ? fps : 0;
    // The frames cut so far keep their samples; the clock counts anew from here at the new rate.
    cutBefore_ += cut_;
    frames_ = 0;
    cut_ = 0;
    startClock();
}

void SoundPlayer::startClock() {
    // SWF frame rates are 8.8 fixed point; a movie that states none plays at 12 frames per second.
    const double rate = clockRate_ > 0 ? clockRate_ : movieRate_;
    fps256_ = rate > 0 ? std::clamp<int64_t>(std::llround(rate * 256), 1, 1000 * 256) : 12 * 256;
}

void SoundPlayer::forgetDecoded() {
    decoded_.clear();
    streamData_.clear();
}

void SoundPlayer::log(const std::string& line) {
    if (log_) log_(line);
}

PcmPtr SoundPlayer::decoded(const swf::DefineSound* def) {
    if (!def) return nullptr;
    auto it = decoded_.find(def);
    if (it != decoded_.end()) return it->second;
    std::string problem;
    PcmPtr pcm = decodeDefineSound(*def, &problem);
    // Malformed sound is skipped with one line; what could be decoded still plays.
    if (!problem.empty()) log(problem);
    decoded_.emplace(def, pcm);
    return pcm;
}

namespace {

VoiceParams paramsOf(const swf::SoundInfo& info) {
    VoiceParams p;
    if (info.inPoint) p.inPoint44 = *info.inPoint;
    if (info.outPoint) p.outPoint44 = int64_t(*info.outPoint);
    p.loops = info.loopCount ? std::max<int>(1, *info.loopCount) : 1;
    for (const auto& e : info.envelope)
        p.envelope.push_back({int64_t(e.pos44), e.leftLevel / 32768.0, e.rightLevel / 32768.0});
    // Points out of order would make the envelope run backwards; keep them by position.
    std::stable_sort(p.envelope.begin(), p.envelope.end(),
                     [](const EnvelopePoint& a, const EnvelopePoint& b) { return a.pos44 < b.pos44; });
    return p;
}

}  // namespace

void SoundPlayer::startTag(const MovieDef* movie, const swf::StartSound& tag, const void* owner) {
    if (!enabled_ || !movie) return;
    const swf::DefineSound* def =
        tag.className.empty() ? movie->sound(tag.soundId) : movie->exportedSound(tag.className);
    if (!def) {
        log(tag.className.empty()
                ? "StartSound names sound " + std::to_string(tag.soundId) + ", which is not defined"
                : "StartSound2 names class \"" + tag.className + "\", which is not a sound");
        return;
    }
    startEvent(def, tag.info, owner);
}

void SoundPlayer::playButtonSound(const MovieDef* movie, const swf::DefineButtonSound& sounds, int transition,
                                  const void* owner) {
    if (!enabled_ || !movie || transition < 0 || transition >= 4) return;
    const swf::DefineButtonSound::Entry& e = sounds.sounds[transition];
    if (e.soundId == 0) return;
    const swf::DefineSound* def = movie->sound(e.soundId);
    if (!def) {
        log("DefineButtonSound of button " + std::to_string(sounds.buttonId) + " names sound " +
            std::to_string(e.soundId) + ", which is not defined");
        return;
    }
    startEvent(def, e.info, owner);
}

int SoundPlayer::buttonTransition(int from, int to) {
    // Up and over: the pointer left or reached the button; over and down: pressed or released over it. A
    // button released outside goes from down (shown as over while dragged out) to up.
    if (from == 1 && to == 0) return 0;
    if (from == 0 && to == 1) return 1;
    if (from == 1 && to == 2) return 2;
    if (from == 2 && to == 1) return 3;
    if (from == 2 && to == 0) return 0;
    return -1;
}

void SoundPlayer::startEvent(const swf::DefineSound* def, const swf::SoundInfo& info, const void* owner) {
    if (info.syncStop) {
        mixer_.stopTagged(def, 0);
        return;
    }
    if (info.syncNoMultiple && mixer_.isTaggedPlaying(def, 0)) return;
    PcmPtr pcm = decoded(def);
    if (!pcm) return;
    VoiceParams p = paramsOf(info);
    p.owner = owner;
    p.tagScope = def;
    fillAncestors(p);
    mixer_.start(std::move(pcm), std::move(p));
}

void SoundPlayer::fillAncestors(VoiceParams& p) const {
    if (ancestry_ && p.owner) ancestry_(p.owner, p.ancestors);
}

void SoundPlayer::setClipTransform(const void* owner, std::weak_ptr<void> alive, const SoundTransform& t) {
    clipAlive_[owner] = std::move(alive);
    mixer_.setOwnerTransform(owner, t);
}

const SoundTransform* SoundPlayer::clipTransform(const void* owner) const {
    auto it = clipAlive_.find(owner);
    if (it == clipAlive_.end() || it->second.expired()) return nullptr;
    return mixer_.ownerTransform(owner);
}

void SoundPlayer::forgetDeadClips() {
    for (auto it = clipAlive_.begin(); it != clipAlive_.end();) {
        if (it->second.expired()) {
            mixer_.clearOwner(it->first);
            it = clipAlive_.erase(it);
        } else {
            ++it;
        }
    }
}

SoundPlayer::VoiceId SoundPlayer::startSound(const swf::DefineSound* def, double offsetSeconds, int loops,
                                             const void* owner, std::function<void()> onComplete) {
    PcmPtr pcm = decoded(def);
    if (!pcm) return 0;
    return startVoice(std::move(pcm), def, offsetSeconds, loops, owner, std::move(onComplete));
}

SoundPlayer::VoiceId SoundPlayer::startPcm(PcmPtr pcm, double offsetSeconds, int loops, const void* owner,
                                           std::function<void()> onComplete, const void* scope,
                                           bool ownerIsDisplayObject) {
    if (!scope) scope = pcm.get();
    return startVoice(std::move(pcm), scope, offsetSeconds, loops, owner, std::move(onComplete),
                      ownerIsDisplayObject);
}

SoundPlayer::VoiceId SoundPlayer::startVoice(PcmPtr pcm, const void* scope, double offsetSeconds, int loops,
                                             const void* owner, std::function<void()> onComplete,
                                             bool ownerIsDisplayObject) {
    if (!pcm) return 0;
    VoiceParams p;
    p.inPoint44 = std::isfinite(offsetSeconds) && offsetSeconds > 0 ? std::llround(offsetSeconds * kRate) : 0;
    p.loops = std::max(1, loops);
    p.owner = owner;
    p.tagScope = scope;
    p.onComplete = std::move(onComplete);
    if (ownerIsDisplayObject) fillAncestors(p);
    return mixer_.start(std::move(pcm), std::move(p));
}

void SoundPlayer::stopDefinition(const void* def) {
    if (!def) {
        stopAll();
        return;
    }
    mixer_.stopTagged(def, 0);
}

void SoundPlayer::stopAll() {
    mixer_.stopAll();
    for (auto& [owner, s] : streams_)
        s.voice = 0;
}

double SoundPlayer::positionMs(VoiceId id) const {
    int64_t p = mixer_.position44(id);
    return p < 0 ? -1 : double(p) * 1000.0 / kRate;
}

double SoundPlayer::durationMs(const swf::DefineSound* def) {
    if (!def) return 0;
    int64_t num = 0, den = 1;
    formatRate(def->format, num, den);
    if (def->sampleCount > 0 && num > 0) return double(def->sampleCount) * 1000.0 * double(den) / double(num);
    PcmPtr pcm = decoded(def);
    return pcm ? double(pcm->frames44()) * 1000.0 / kRate : 0;
}

const SoundPlayer::StreamData* SoundPlayer::streamData(const Timeline& timeline) {
    auto it = streamData_.find(&timeline);
    if (it != streamData_.end()) return it->second.pcm ? &it->second : nullptr;
    StreamData& d = streamData_[&timeline];
    const swf::SoundStreamHead* head = nullptr;
    for (const Frame& f : timeline.frames) {
        for (const swf::Tag* t : f.tags)
            if ((head = std::get_if<swf::SoundStreamHead>(&t->body))) break;
        if (head) break;
    }
    if (!head) return nullptr;
    StreamDecoder decoder(*head);
    std::string problem;
    std::vector<int64_t> starts(timeline.frames.size(), -1);
    if (decoder.supported()) {
        for (size_t i = 0; i < timeline.frames.size(); ++i)
            for (const swf::Tag* t : timeline.frames[i].tags)
                if (const auto* b = std::get_if<swf::SoundStreamBlock>(&t->body)) {
                    std::string blockProblem;
                    starts[i] = decoder.addBlock(b->data, &blockProblem);
                    if (problem.empty()) problem = blockProblem;
                    break;  // one block per frame
                }
    }
    std::string finishProblem;
    std::shared_ptr<Pcm> pcm = decoder.finish(&finishProblem);
    if (problem.empty()) problem = finishProblem;
    if (!problem.empty()) log("stream sound: " + problem);
    if (pcm->frames() == 0 || pcm->rateNum <= 0) return nullptr;
    for (int64_t& s : starts)
        if (s >= 0) s = s * kRate * pcm->rateDen / pcm->rateNum;
    d.frameStart44 = std::move(starts);
    d.samplesPerFrame44 = int64_t(kRate) * 256 / fps256_;
    d.pcm = std::move(pcm);
    return &d;
}

void SoundPlayer::timelineFrame(const Timeline& timeline, int frame, const void* owner,
                                std::weak_ptr<void> alive, uint64_t tick) {
    if (!enabled_) return;
    const StreamData* d = streamData(timeline);
    auto it = streams_.find(owner);
    if (!d) {
        if (it != streams_.end()) {
            mixer_.stop(it->second.voice);
            streams_.erase(it);
        }
        return;
    }
    Stream& s = streams_[owner];
    if (s.timeline != &timeline || s.alive.expired()) {
        // A new clip (perhaps at the address of one that is gone).
        mixer_.stop(s.voice);
        s = Stream{};
        s.timeline = &timeline;
        s.alive = std::move(alive);
    }
    const bool continuing = s.voice && mixer_.isPlaying(s.voice) && frame == s.lastFrame + 1;
    const size_t index = size_t(frame - 1);
    const int64_t target = frame >= 1 && index < d->frameStart44.size() ? d->frameStart44[index] : -1;
    if (target >= 0) {
        if (continuing) {
            // Playing on; a stream whose blocks hold more or less than a frame's time is pulled back in
            // step once it is a whole frame off.
            int64_t pos = mixer_.position44(s.voice);
            if (std::llabs(pos - target) > d->samplesPerFrame44) mixer_.seek(s.voice, target);
        } else {
            mixer_.stop(s.voice);
            VoiceParams p;
            p.inPoint44 = target;
            p.owner = owner;
            fillAncestors(p);
            s.voice = mixer_.start(d->pcm, std::move(p));
        }
    } else if (!continuing && s.voice) {
        // A jump to a frame without stream sound silences the stream.
        mixer_.stop(s.voice);
        s.voice = 0;
    }
    s.lastFrame = frame;
    s.lastTick = tick;
}

void SoundPlayer::endFrame(uint64_t tick) {
    if (!enabled_) {
        // Sounds scripts started still run their course, silently, so that their positions and completions
        // reach the scripts at the same frames as with sound on.
        if (mixer_.voiceCount())
            mixer_.skip(size_t(cutFrame()));
        else
            cutFrame();
        return;
    }
    // A stream plays only while its timeline moves: a stopped or removed clip's stream stops.
    for (auto it = streams_.begin(); it != streams_.end();) {
        if (it->second.alive.expired() || it->second.lastTick != tick) {
            mixer_.stop(it->second.voice);
            it = streams_.erase(it);
        } else {
            ++it;
        }
    }
    forgetDeadClips();
    const size_t n = size_t(cutFrame());
    const size_t at = pending_.size();
    pending_.resize(at + 2 * n);
    mixer_.mix(pending_.data() + at, n);
    // A host that takes nothing keeps only the last few seconds, trimmed once they reach twice that: a trim
    // every frame would move the whole buffer every frame.
    const size_t cap = size_t(kMaxPendingSeconds) * kRate * 2;
    if (pending_.size() > 2 * cap) pending_.erase(pending_.begin(), pending_.end() - ptrdiff_t(cap));
}

int64_t SoundPlayer::cutFrame() {
    ++frames_;
    const int64_t end = frames_ * kRate * 256 / fps256_;
    const int64_t n = std::max<int64_t>(0, end - cut_);
    cut_ = end;
    return n;
}

size_t SoundPlayer::take(std::vector<int16_t>& out) {
    size_t n = pending_.size() / 2;
    out.insert(out.end(), pending_.begin(), pending_.end());
    pending_.clear();
    return n;
}

}  // namespace player::sound
