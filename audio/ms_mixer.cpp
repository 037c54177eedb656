#include "audio/ms_mixer.h"

#include <pulse/introspect.h>
#include <pulse/volume.h>

#include <chrono>

#include "audio/una_pulse_context.h"

static_assert(kMixerFullVolume == PA_VOLUME_NORM);

namespace {

constexpr std::chrono::seconds kServerTimeout{5};

struct ListState {
    std::vector<tMsMixerLine>* sources;
    std::string* defaultSink;
    std::string* defaultSource;
};

void sourceInfo(pa_context*, const pa_source_info* info, int eol, void* data) {
    if (eol || !info) return;
    auto* state = static_cast<ListState*>(data);
    tMsMixerLine line;
    line.index = info->index;
    line.name = info->name ? info->name : "";
    line.description = info->description ? info->description : "";
    line.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
    line.monitorOf = info->monitor_of_sink_name ? info->monitor_of_sink_name : "";
    for (uint8_t c = 0; c < info->volume.channels; ++c)
        line.volume.push_back(info->volume.values[c]);
    line.mute = info->mute != 0;
    state->sources->push_back(std::move(line));
}

void serverInfo(pa_context*, const pa_server_info* info, void* data) {
    if (!info) return;
    auto* state = static_cast<ListState*>(data);
    *state->defaultSink = info->default_sink_name ? info->default_sink_name : "";
    *state->defaultSource = info->default_source_name ? info->default_source_name : "";
}

void success(pa_context*, int ok, void* data) {
    *static_cast<int*>(data) = ok;
}

}  // namespace

int tMsMixerChooseSource(const std::vector<tMsMixerLine>& lines, const std::string& defaultSink,
                         uint32_t componentType, const std::string& lineName) {
    const bool monitorsCount = componentType == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
    int named = -1;
    int firstMonitor = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        const tMsMixerLine& l = lines[i];
        if (monitorsCount && l.isMonitor) {
            if (!defaultSink.empty() && l.monitorOf == defaultSink) return int(i);
            if (firstMonitor < 0) firstMonitor = int(i);
        }
        if (named < 0 && !lineName.empty() && (l.description == lineName || l.name == lineName))
            named = int(i);
    }
    return named >= 0 ? named : firstMonitor;
}

std::unique_ptr<tMsMixerSystem> tMsMixerSystem::open(std::string* error) {
    std::unique_ptr<tMsMixerSystem> mixer(new tMsMixerSystem);
    mixer->pulse_ = unaPulseContext::connect("Tolvikan mixer", kServerTimeout, error);
    if (!mixer->pulse_) return nullptr;
    if (!mixer->refresh()) {
        if (error) *error = "the sound server did not list its sources";
        return nullptr;
    }
    return mixer;
}

tMsMixerSystem::~tMsMixerSystem() = default;

bool tMsMixerSystem::refresh() {
    std::vector<tMsMixerLine> sources;
    std::string sink;
    std::string source;
    ListState state{&sources, &sink, &source};
    pa_operation* listing;
    pa_operation* server;
    {
        unaPulseContext::Lock lock(*pulse_);
        listing = pa_context_get_source_info_list(pulse_->context(), &sourceInfo, &state);
        server = pa_context_get_server_info(pulse_->context(), &serverInfo, &state);
    }
    const bool listed = pulse_->waitFor(listing, kServerTimeout);
    const bool answered = pulse_->waitFor(server, kServerTimeout);
    // waitFor cancels an operation that timed out, so no late answer writes into `state`.
    if (!listed || !answered) return false;
    sources_ = std::move(sources);
    defaultSink_ = std::move(sink);
    defaultSource_ = std::move(source);
    return true;
}

bool tMsMixerSystem::setDefaultSource(const std::string& name) {
    int ok = 0;
    pa_operation* op;
    {
        unaPulseContext::Lock lock(*pulse_);
        op = pa_context_set_default_source(pulse_->context(), name.c_str(), &success, &ok);
    }
    const bool done = pulse_->waitFor(op, kServerTimeout);
    return done && ok;
}

bool tMsMixerSystem::setVolume(const tMsMixerLine& line, uint32_t volume) {
    pa_cvolume v;
    pa_cvolume_set(&v, line.volume.empty() ? 1 : unsigned(line.volume.size()), volume);
    int ok = 0;
    pa_operation* op;
    {
        unaPulseContext::Lock lock(*pulse_);
        op = pa_context_set_source_volume_by_index(pulse_->context(), line.index, &v, &success, &ok);
    }
    const bool done = pulse_->waitFor(op, kServerTimeout);
    return done && ok;
}

TRecordingSourceResult SetDefaultRecordingSourceOn(uint32_t componentType, const std::string& lineName,
                                                   std::string* detail) {
    std::string why;
    std::unique_ptr<tMsMixerSystem> mixer = tMsMixerSystem::open(&why);
    auto say = [detail](std::string text) {
        if (detail) *detail = std::move(text);
    };
    if (!mixer) {
        say(why);
        return TRecordingSourceResult::rsNoDevice;
    }
    const int chosen = tMsMixerChooseSource(mixer->sources(), mixer->defaultSink(), componentType, lineName);
    if (chosen < 0) {
        say("no source records what is played, and none is named \"" + lineName + "\"");
        return TRecordingSourceResult::rsNoLine;
    }
    const tMsMixerLine& line = mixer->sources()[size_t(chosen)];
    if (!mixer->setDefaultSource(line.name)) {
        say("the sound server refused to record from " + line.name);
        return TRecordingSourceResult::rsFailed;
    }
    if (!mixer->setVolume(line, kMixerFullVolume)) {
        say("the sound server refused the recording volume of " + line.name);
        return TRecordingSourceResult::rsFailed;
    }
    say("recording from " + line.name + " (" + line.description + ") at full volume");
    return TRecordingSourceResult::rsDone;
}
