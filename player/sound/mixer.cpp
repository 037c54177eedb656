#include "player/sound/mixer.h"

#include <algorithm>
#include <cmath>

namespace player::sound {

Mixer::VoiceId Mixer::start(PcmPtr pcm, VoiceParams params) {
    if (!pcm || pcm->frames() == 0 || pcm->rateNum <= 0 || pcm->rateDen <= 0) return 0;
    if (voices_.size() >= kMaxVoices) voices_.erase(voices_.begin());
    Voice v;
    v.id = next_++;
    v.pcm = std::move(pcm);
    v.loopsLeft = std::max(1, params.loops);
    int64_t length = v.pcm->frames44();
    v.end44 = std::clamp<int64_t>(params.outPoint44.value_or(length), 0, length);
    params.inPoint44 = std::clamp<int64_t>(params.inPoint44, 0, v.end44);
    v.pos44 = params.inPoint44;
    v.p = std::move(params);
    if (v.pos44 >= v.end44) return 0;
    voices_.push_back(std::move(v));
    return voices_.back().id;
}

void Mixer::stop(VoiceId id) {
    std::erase_if(voices_, [&](const Voice& v) { return v.id == id; });
}

void Mixer::stopTagged(const void* scope, uint32_t tag) {
    std::erase_if(voices_, [&](const Voice& v) { return v.p.tagScope == scope && v.p.tag == tag; });
}

bool Mixer::isPlaying(VoiceId id) const {
    return std::any_of(voices_.begin(), voices_.end(), [&](const Voice& v) { return v.id == id; });
}

bool Mixer::isTaggedPlaying(const void* scope, uint32_t tag) const {
    return std::any_of(voices_.begin(), voices_.end(),
                       [&](const Voice& v) { return v.p.tagScope == scope && v.p.tag == tag; });
}

void Mixer::stopOwned(const void* owner) {
    std::erase_if(voices_, [&](const Voice& v) {
        return v.p.owner == owner ||
               std::find(v.p.ancestors.begin(), v.p.ancestors.end(), owner) != v.p.ancestors.end();
    });
}

void Mixer::stopAll() {
    voices_.clear();
}

void Mixer::seek(VoiceId id, int64_t pos44) {
    for (Voice& v : voices_)
        if (v.id == id) v.pos44 = std::clamp<int64_t>(pos44, 0, v.end44);
}

int64_t Mixer::position44(VoiceId id) const {
    for (const Voice& v : voices_)
        if (v.id == id) return v.pos44;
    return -1;
}

void Mixer::setOwnerTransform(const void* owner, const SoundTransform& t) {
    for (auto& [o, tr] : owners_)
        if (o == owner) {
            tr = t;
            return;
        }
    owners_.emplace_back(owner, t);
}

const SoundTransform* Mixer::ownerTransform(const void* owner) const {
    for (const auto& [o, tr] : owners_)
        if (o == owner) return &tr;
    return nullptr;
}

void Mixer::clearOwner(const void* owner) {
    std::erase_if(owners_, [&](const auto& e) { return e.first == owner; });
}

namespace {

// Envelope gain of one channel at a position: linear between points, held before the first and after the
// last.
double envelopeAt(const std::vector<EnvelopePoint>& env, int64_t pos, bool right) {
    auto level = [&](const EnvelopePoint& p) { return right ? p.right : p.left; };
    if (env.empty()) return 1.0;
    if (pos <= env.front().pos44) return level(env.front());
    for (size_t i = 1; i < env.size(); ++i) {
        if (pos < env[i].pos44) {
            const EnvelopePoint& a = env[i - 1];
            const EnvelopePoint& b = env[i];
            double t = double(pos - a.pos44) / double(b.pos44 - a.pos44);
            return level(a) + (level(b) - level(a)) * t;
        }
    }
    return level(env.back());
}

}  // namespace

void Mixer::render(Voice& v, float* acc, size_t frames, bool& ended) {
    const Pcm& pcm = *v.pcm;
    const int ch = pcm.channels;
    const int64_t count = int64_t(pcm.frames());
    // Output sample n of the sound reads source position n * rate / 44100, kept as an exact fraction so
    // long sounds never drift.
    const int64_t num = pcm.rateNum;
    const int64_t den = 44100 * pcm.rateDen;
    // The channel matrix of the owner, then of each clip holding it, then the global one: out = M * in with
    // M = [ll rl; lr rr] * volume, all in percent.
    double m[4] = {1, 0, 0, 1};  // ll, rl, lr, rr
    auto apply = [&](const SoundTransform& t) {
        const double k = t.volume / 100.0 / 100.0;
        const double a = t.ll * k, b = t.rl * k, c = t.lr * k, d = t.rr * k;
        const double n[4] = {a * m[0] + b * m[2], a * m[1] + b * m[3], c * m[0] + d * m[2],
                             c * m[1] + d * m[3]};
        std::copy(n, n + 4, m);
    };
    if (!owners_.empty()) {
        if (const SoundTransform* t = ownerTransform(v.p.owner)) apply(*t);
        for (const void* a : v.p.ancestors)
            if (const SoundTransform* t = ownerTransform(a)) apply(*t);
    }
    apply(global_);
    const float ll = float(m[0]), rl = float(m[1]), lr = float(m[2]), rr = float(m[3]);
    const bool hasEnvelope = !v.p.envelope.empty();
    // The source position as a whole index and a remainder in 1/den steps, moved on by addition only.
    int64_t idx = 0, rem = 0;
    auto locate = [&] {
        const int64_t scaled = v.pos44 * num;
        idx = scaled / den;
        rem = scaled % den;
    };
    locate();
    const float invDen = 1.0f / float(den);
    const int16_t* samples = pcm.samples.data();
    for (size_t i = 0; i < frames; ++i) {
        if (v.pos44 >= v.end44) {
            if (--v.loopsLeft <= 0) {
                ended = true;
                return;
            }
            v.pos44 = v.p.inPoint44;
            locate();
        }
        float l = 0, r = 0;
        if (idx < count) {
            const float frac = float(rem) * invDen;
            const int64_t nextIdx = idx + 1 < count ? idx + 1 : count - 1;  // the last sample holds
            const int16_t* a = samples + size_t(idx) * size_t(ch);
            const int16_t* b = samples + size_t(nextIdx) * size_t(ch);
            l = float(a[0]) + (float(b[0]) - float(a[0])) * frac;
            r = ch == 2 ? float(a[1]) + (float(b[1]) - float(a[1])) * frac : l;
        }
        if (hasEnvelope) {
            l *= float(envelopeAt(v.p.envelope, v.pos44, false));
            r *= float(envelopeAt(v.p.envelope, v.pos44, true));
        }
        acc[2 * i] += l * ll + r * rl;
        acc[2 * i + 1] += r * rr + l * lr;
        ++v.pos44;
        rem += num;
        while (rem >= den) {
            rem -= den;
            ++idx;
        }
    }
    // A last loop that ended exactly with this mix ends now, so its completion is not a mix late.
    if (v.pos44 >= v.end44 && v.loopsLeft <= 1) ended = true;
}

void Mixer::skip(size_t frames) {
    std::vector<std::function<void()>> completed;
    for (size_t i = 0; i < voices_.size();) {
        Voice& v = voices_[i];
        int64_t left = int64_t(frames);
        bool ended = false;
        while (!ended) {
            const int64_t room = v.end44 - v.pos44;
            if (left < room) {
                v.pos44 += left;
                break;
            }
            left -= room;
            v.pos44 = v.end44;
            // As in render: the last loop ends where it reaches its end, others restart at the in point.
            if (v.loopsLeft <= 1 || --v.loopsLeft <= 0) {
                ended = true;
            } else {
                v.pos44 = v.p.inPoint44;
                if (left == 0) break;
            }
        }
        if (ended) {
            if (v.p.onComplete) completed.push_back(std::move(v.p.onComplete));
            voices_.erase(voices_.begin() + ptrdiff_t(i));
        } else {
            ++i;
        }
    }
    for (auto& f : completed)
        f();
}

void Mixer::mix(int16_t* out, size_t frames) {
    acc_.assign(frames * 2, 0.0f);
    std::vector<std::function<void()>> completed;
    for (size_t i = 0; i < voices_.size();) {
        bool ended = false;
        render(voices_[i], acc_.data(), frames, ended);
        if (ended) {
            if (voices_[i].p.onComplete) completed.push_back(std::move(voices_[i].p.onComplete));
            voices_.erase(voices_.begin() + ptrdiff_t(i));
        } else {
            ++i;
        }
    }
    // Clip, then round half away from zero.
    const float* acc = acc_.data();
    for (size_t i = 0, n = frames * 2; i < n; ++i) {
        float v = acc[i];
        if (!(v == v)) v = 0;  // a NaN from a script's transform is silence
        v = v < -32768.0f ? -32768.0f : (v > 32767.0f ? 32767.0f : v);
        out[i] = static_cast<int16_t>(v >= 0 ? v + 0.5f : v - 0.5f);
    }
    for (auto& f : completed)
        f();
}

}  // namespace player::sound
