// tMsMixerSystem: the sound server's recording sources as a mixer model (PulseAudio sources stand for the
// recording lines of a sound card's mixer), with the two changes the recording set-up makes: which source
// records by default, and a source's volume. tMsMixerChooseSource picks the line to record the movie's sound
// from; SetDefaultRecordingSourceOn runs the whole command.
// Threads: the user-interface thread; each call waits for the server (bounded by a time-out).
// Never: changes a source's mute state, or any sink.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class unaPulseContext;

// The kind of a playback-side line whose sound can be recorded (a sink's monitor here).
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008;
// The line a sound card names for recording what it plays.
inline constexpr const char* kStereoMixLine = "Stereo Mix";

struct tMsMixerLine {
    uint32_t index = 0;
    std::string name;              // the server's name, e.g. "alsa_output.pci.analog-stereo.monitor"
    std::string description;       // the name shown to people, e.g. "Monitor of Built-in Audio"
    bool isMonitor = false;        // records what a sink plays
    std::string monitorOf;         // the sink's name for a monitor
    std::vector<uint32_t> volume;  // per channel; 0x10000 is full (100 %)
    bool mute = false;
};

// Full volume of a line, as the server counts it (100 %).
constexpr uint32_t kMixerFullVolume = 0x10000;

// The line to record from, or -1: a line of `componentType` (the wave-output kind means a monitor) or named
// exactly `lineName` (server name or description, case-sensitive). Among several, the monitor of the
// default sink (what the user hears) comes first, then a line with the exact name, then the first monitor.
int tMsMixerChooseSource(const std::vector<tMsMixerLine>& lines, const std::string& defaultSink,
                         uint32_t componentType, const std::string& lineName);

class tMsMixerSystem {
  public:
    // Connects to the sound server and lists its sources; null with `error` set when no server answers.
    static std::unique_ptr<tMsMixerSystem> open(std::string* error);
    ~tMsMixerSystem();
    tMsMixerSystem(const tMsMixerSystem&) = delete;
    tMsMixerSystem& operator=(const tMsMixerSystem&) = delete;

    // Lists the sources and the defaults again; false when the server did not answer.
    bool refresh();
    const std::vector<tMsMixerLine>& sources() const { return sources_; }
    const std::string& defaultSink() const { return defaultSink_; }
    const std::string& defaultSource() const { return defaultSource_; }

    // Makes `name` the source that recording uses when no source is named.
    bool setDefaultSource(const std::string& name);
    // Sets every channel of the source to `volume`; mute stays as it is.
    bool setVolume(const tMsMixerLine& line, uint32_t volume);

  private:
    tMsMixerSystem() = default;

    std::unique_ptr<unaPulseContext> pulse_;
    std::vector<tMsMixerLine> sources_;
    std::string defaultSink_;
    std::string defaultSource_;
};

enum class TRecordingSourceResult {
    rsDone,      // the line records alone, at full volume
    rsNoDevice,  // no sound system to talk to
    rsNoLine,    // the sound system has no line of that kind or name; nothing changed
    rsFailed,    // the server refused a change
};

// The recording set-up: choose the line (tMsMixerChooseSource), make it the default source, full volume.
// `detail` says what was done or why not, for a log line.
TRecordingSourceResult SetDefaultRecordingSourceOn(uint32_t componentType, const std::string& lineName,
                                                   std::string* detail);
