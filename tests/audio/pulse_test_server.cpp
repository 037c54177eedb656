#include "pulse_test_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <numbers>
#include <thread>

#include "audio/una_pulse_context.h"
#include "audio/una_wave_in_device.h"
#include "support/tone_wav.h"

extern char** environ;

namespace pulse_test {
namespace {

std::unique_ptr<PulseServer> gServer;
// Taken at start-up: tests may point TMPDIR at folders of their own, which go away with them.
const std::filesystem::path gBaseTemp = std::filesystem::temp_directory_path();
bool gTried = false;
std::string gSkipReason;

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string list = path;
    size_t at = 0;
    while (at <= list.size()) {
        const size_t end = std::min(list.find(':', at), list.size());
        const std::filesystem::path candidate = std::filesystem::path(list.substr(at, end - at)) / program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        at = end + 1;
    }
    return false;
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const std::string& e : extraEnv)
        env.push_back(e);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Waits for `pid` up to `timeout`; its exit status, or -1 when it did not end in time.
int waitFor(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        if (r < 0) return 128;
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void endProcess(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (waitFor(pid, std::chrono::seconds(5)) == -1) {
        kill(pid, SIGKILL);
        waitFor(pid, std::chrono::seconds(5));
    }
}

class StopServerAtExit : public ::testing::Environment {
  public:
    void TearDown() override { PulseServer::shutdown(); }
};

[[maybe_unused]] ::testing::Environment* const kStopServer =
    ::testing::AddGlobalTestEnvironment(new StopServerAtExit);

uint16_t get16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

PulseServer* PulseServer::get() {
    if (!gTried) {
        gTried = true;
        std::unique_ptr<PulseServer> server(new PulseServer);
        if (server->start()) gServer = std::move(server);
    }
    return gServer.get();
}

const std::string& PulseServer::skipReason() {
    return gSkipReason;
}

void PulseServer::shutdown() {
    if (gServer) gServer->stop();
    gServer.reset();
}

bool PulseServer::start() {
    if (!onPath("pulseaudio")) {
        gSkipReason = "the pulseaudio program is not installed";
        return false;
    }
    for (const char* tool : {"paplay", "parec", "pactl"}) {
        if (!onPath(tool)) {
            gSkipReason = std::string("the ") + tool + " program (pulseaudio-utils) is not installed";
            return false;
        }
    }
    std::string pattern = (gBaseTemp / "tlv_pulse_XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        gSkipReason = "cannot make a runtime folder";
        return false;
    }
    dir_ = pattern;
    std::filesystem::create_directories(dir_ / "home");
    std::filesystem::create_directories(dir_ / "state");
    const std::string socket = (dir_ / "native").string();
    address_ = "unix:" + socket;
    const std::string dir = dir_.string();
    pid_ = spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                  "--disable-shm=yes", "--log-target=file:" + dir + "/log",
                  "--load=module-null-sink sink_name=" + std::string(kSink) +
                      " sink_properties=device.description=Tolvikan_test_output",
                  "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket},
                 {"HOME=" + dir + "/home", "XDG_CONFIG_HOME=" + dir + "/home", "XDG_RUNTIME_DIR=" + dir,
                  "PULSE_RUNTIME_PATH=" + dir, "PULSE_STATE_PATH=" + dir + "/state"});
    if (pid_ <= 0) {
        gSkipReason = "cannot start pulseaudio";
        return false;
    }
    setenv("PULSE_SERVER", address_.c_str(), 1);
    std::string why;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitFor(pid_, std::chrono::milliseconds(0)) != -1) {
            pid_ = -1;
            gSkipReason = "pulseaudio ended at start-up (see its log in " + dir + ")";
            return false;
        }
        if (std::filesystem::exists(socket) &&
            unaPulseContext::connect("test", std::chrono::seconds(2), &why)) {
            // A null sink renders in blocks as long as the lowest latency any client asked for, and only
            // takes a new request at its next block; a sound card's output keeps short blocks. A client that
            // records the monitor at low latency all along makes the null sink behave like one.
            keeper_ = spawn({"parec", "--server=" + address_, "--latency-msec=20",
                             "--device=" + std::string(kMonitor), "/dev/null"},
                            {});
            settle();
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    gSkipReason = "pulseaudio did not answer: " + why;
    stop();
    return false;
}

void PulseServer::settle() {
    // The sink takes the keeper's request at the end of the long block it is in; from the first monitor
    // data on, it runs at low latency.
    unaWaveInDevice probe(kMonitor);
    if (!probe.open()) return;
    const auto ready = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (probe.outBytes() == 0 && std::chrono::steady_clock::now() < ready)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    probe.close();
}

void PulseServer::stop() {
    endProcess(keeper_);
    keeper_ = -1;
    endProcess(pid_);
    pid_ = -1;
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

bool PulseServer::pactl(const std::string& arguments) const {
    const std::string command = "pactl --server='" + address_ + "' " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

NoSoundServer::NoSoundServer() {
    if (const char* s = std::getenv("PULSE_SERVER")) {
        saved_ = s;
        had_ = true;
    }
    setenv("PULSE_SERVER", "unix:/nonexistent/tolvikan-test/native", 1);
}

NoSoundServer::~NoSoundServer() {
    if (had_)
        setenv("PULSE_SERVER", saved_.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

TonePlayer::~TonePlayer() {
    endProcess(pid_);
}

bool TonePlayer::start(const std::filesystem::path& wav) {
    PulseServer* server = PulseServer::get();
    if (!server) return false;
    pid_ = spawn({"paplay", "--server=" + server->address(), "--device=" + std::string(PulseServer::kSink),
                  wav.string()},
                 {});
    return pid_ > 0;
}

bool TonePlayer::wait() {
    if (pid_ <= 0) return false;
    const int rc = waitFor(pid_, std::chrono::seconds(30));
    if (rc == -1) return false;
    pid_ = -1;
    return rc == 0;
}

std::vector<uint8_t> ToneWav(int sampleRate, int channels, double freq, double seconds) {
    return testwav::ToneWav(sampleRate, channels, freq, static_cast<uint32_t>(sampleRate * seconds), 16383.0);
}

WavFile ReadWav(const std::filesystem::path& path) {
    WavFile w;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    w.fileSize = bytes.size();
    if (bytes.size() < 44) {
        w.error = "shorter than a WAV header: " + std::to_string(bytes.size()) + " bytes";
        return w;
    }
    const uint8_t* h = bytes.data();
    if (std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVEfmt ", 8) != 0 || get32(h + 16) != 16 ||
        std::memcmp(h + 36, "data", 4) != 0) {
        w.error = "not the 44-byte PCM WAV header";
        return w;
    }
    w.riffSize = get32(h + 4);
    w.formatTag = get16(h + 20);
    w.channels = get16(h + 22);
    w.sampleRate = get32(h + 24);
    w.byteRate = get32(h + 28);
    w.blockAlign = get16(h + 32);
    w.bits = get16(h + 34);
    w.dataSize = get32(h + 40);
    w.data.assign(bytes.begin() + 44, bytes.end());
    w.ok = true;
    return w;
}

std::vector<float> WavFile::channel(int c) const {
    std::vector<float> out;
    if (!blockAlign || c >= channels) return out;
    const size_t bytesPerSample = bits / 8;
    for (size_t at = size_t(c) * bytesPerSample; at + bytesPerSample <= data.size(); at += blockAlign) {
        if (bits == 8)
            out.push_back((int(data[at]) - 128) / 128.0f);
        else
            out.push_back(int16_t(get16(&data[at])) / 32768.0f);
    }
    return out;
}

}  // namespace pulse_test
