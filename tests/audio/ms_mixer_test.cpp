// The recording-source command: which line is chosen (by kind or exact name), and on a real server that the
// chosen line becomes the default source at full volume with its mute state untouched; without a server the
// command reports that there is no device.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "audio/ms_mixer.h"
#include "pulse_test_server.h"

namespace {

tMsMixerLine Line(const std::string& name, const std::string& description,
                  const std::string& monitorOf = {}) {
    tMsMixerLine l;
    l.name = name;
    l.description = description;
    l.isMonitor = !monitorOf.empty();
    l.monitorOf = monitorOf;
    return l;
}

struct ChooseCase {
    const char* what;
    std::vector<tMsMixerLine> lines;
    std::string defaultSink;
    uint32_t componentType;
    int chosen;
};

void PrintTo(const ChooseCase& c, std::ostream* os) {
    *os << "chosen " << c.chosen;
}

class ChooseSource : public ::testing::TestWithParam<ChooseCase> {};

TEST_P(ChooseSource, PicksTheLineByKindOrExactName) {
    const ChooseCase& c = GetParam();
    EXPECT_EQ(tMsMixerChooseSource(c.lines, c.defaultSink, c.componentType, kStereoMixLine), c.chosen)
        << c.what;
}

const tMsMixerLine kMic = Line("alsa_input.mic", "Microphone");
const tMsMixerLine kLineIn = Line("alsa_input.line", "Line In");
const tMsMixerLine kStereoMix = Line("alsa_input.mix", "Stereo Mix");
const tMsMixerLine kStereoMixLower = Line("alsa_input.mix2", "stereo mix");
const tMsMixerLine kHdmiMonitor = Line("hdmi.monitor", "Monitor of HDMI", "hdmi");
const tMsMixerLine kSpeakersMonitor = Line("speakers.monitor", "Monitor of Speakers", "speakers");

INSTANTIATE_TEST_SUITE_P(
    Lines, ChooseSource,
    ::testing::Values(
        ChooseCase{"the default output's monitor first",
                   {kMic, kStereoMix, kHdmiMonitor, kSpeakersMonitor},
                   "speakers",
                   MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                   3},
        ChooseCase{"exact name before another output's monitor",
                   {kHdmiMonitor, kMic, kStereoMix},
                   "speakers",
                   MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                   2},
        ChooseCase{"any monitor when nothing else fits",
                   {kMic, kHdmiMonitor},
                   "speakers",
                   MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                   1},
        ChooseCase{"the name is compared with its letter case",
                   {kMic, kStereoMixLower, kLineIn},
                   "speakers",
                   MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                   -1},
        ChooseCase{
            "another kind: monitors do not count", {kSpeakersMonitor, kStereoMix}, "speakers", 0x1003, 1},
        ChooseCase{"another kind and no name: nothing", {kSpeakersMonitor, kMic}, "speakers", 0x1003, -1},
        ChooseCase{"no lines", {}, "speakers", MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, -1}),
    [](const ::testing::TestParamInfo<ChooseCase>& info) { return "Case" + std::to_string(info.index); });

// The private server's monitor, read back through the mixer model.
tMsMixerLine MonitorLine(const tMsMixerSystem& mixer) {
    for (const tMsMixerLine& l : mixer.sources())
        if (l.name == pulse_test::PulseServer::kMonitor) return l;
    ADD_FAILURE() << "the server lists no " << pulse_test::PulseServer::kMonitor;
    return {};
}

class MixerOnServer : public ::testing::Test {
  protected:
    void SetUp() override {
        TLV_REQUIRE_PULSE();
        server = pulse_test::PulseServer::get();
        // A microphone-like source records by default; the monitor is quiet and muted.
        ASSERT_TRUE(
            server->pactl("load-module module-null-source source_name=tlv_mic "
                          "'description=\"Test Microphone\"'"));
        ASSERT_TRUE(server->pactl("set-default-source tlv_mic"));
        ASSERT_TRUE(
            server->pactl(std::string("set-source-volume ") + pulse_test::PulseServer::kMonitor + " 40%"));
        ASSERT_TRUE(
            server->pactl(std::string("set-source-mute ") + pulse_test::PulseServer::kMonitor + " 1"));
    }
    void TearDown() override {
        if (!server) return;
        server->pactl(std::string("set-source-mute ") + pulse_test::PulseServer::kMonitor + " 0");
        server->pactl(std::string("set-source-volume ") + pulse_test::PulseServer::kMonitor + " 100%");
        server->pactl("unload-module module-null-source");
        server->pactl(std::string("set-default-source ") + pulse_test::PulseServer::kMonitor);
        server->settle();
    }

    pulse_test::PulseServer* server = nullptr;
};

TEST_F(MixerOnServer, TheDefaultOutputsMonitorRecordsAloneAtFullVolumeMuteUntouched) {
    std::string detail;
    EXPECT_EQ(SetDefaultRecordingSourceOn(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, kStereoMixLine, &detail),
              TRecordingSourceResult::rsDone)
        << detail;

    std::string why;
    const auto mixer = tMsMixerSystem::open(&why);
    ASSERT_NE(mixer, nullptr) << why;
    EXPECT_EQ(mixer->defaultSource(), pulse_test::PulseServer::kMonitor);
    const tMsMixerLine monitor = MonitorLine(*mixer);
    ASSERT_EQ(monitor.volume.size(), 2u);
    EXPECT_EQ(monitor.volume[0], kMixerFullVolume);
    EXPECT_EQ(monitor.volume[1], kMixerFullVolume);
    EXPECT_TRUE(monitor.mute);
}

TEST_F(MixerOnServer, ALineNamedStereoMixIsChosenWhenMonitorsDoNotCount) {
    ASSERT_TRUE(
        server->pactl("load-module module-null-source source_name=tlv_mix "
                      "'description=\"Stereo Mix\"'"));
    std::string detail;
    EXPECT_EQ(SetDefaultRecordingSourceOn(0, kStereoMixLine, &detail), TRecordingSourceResult::rsDone)
        << detail;
    std::string why;
    const auto mixer = tMsMixerSystem::open(&why);
    ASSERT_NE(mixer, nullptr) << why;
    EXPECT_EQ(mixer->defaultSource(), "tlv_mix");
    // The monitor was not chosen, so it keeps its volume.
    const tMsMixerLine monitor = MonitorLine(*mixer);
    ASSERT_FALSE(monitor.volume.empty());
    EXPECT_LT(monitor.volume[0], kMixerFullVolume);
}

TEST(MixerWithoutServer, ReportsThatThereIsNoDevice) {
    pulse_test::NoSoundServer noServer;
    std::string detail;
    EXPECT_EQ(SetDefaultRecordingSourceOn(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, kStereoMixLine, &detail),
              TRecordingSourceResult::rsNoDevice);
    EXPECT_FALSE(detail.empty());
}

}  // namespace
