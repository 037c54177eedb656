// "&Advanced": the desktop's volume control is started on its recording page when one is installed, and
// nothing happens when none is.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <QString>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "audio/volume_control.h"
#include "mp3_test_audio.h"

namespace {

using namespace std::chrono_literals;

// PATH replaced for the lifetime of the object.
class ScopedPath {
  public:
    explicit ScopedPath(const std::string& value) : saved_(std::getenv("PATH") ? std::getenv("PATH") : "") {
        setenv("PATH", value.c_str(), 1);
    }
    ~ScopedPath() { setenv("PATH", saved_.c_str(), 1); }

  private:
    std::string saved_;
};

TEST(VolumeControl, StartsPavucontrolOnItsRecordingPage) {
    mp3_test::TempDir dir;
    const auto program = dir.path() / "pavucontrol";
    const auto record = dir.path() / "arguments";
    {
        std::ofstream script(program);
        script << "#!/bin/sh\necho \"$@\" > '" << record.string() << ".tmp' && /bin/mv '" << record.string()
               << ".tmp' '" << record.string() << "'\n";
    }
    chmod(program.c_str(), 0755);
    ScopedPath path(dir.path().string());

    const TVolumeControlCommand command = FindVolumeControl();
    EXPECT_EQ(command.program.toStdString(), program.string());
    EXPECT_EQ(command.arguments, QStringList{QStringLiteral("--tab=2")});

    ASSERT_TRUE(OpenRecordingVolumeControl());
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!std::filesystem::exists(record) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    std::ifstream in(record);
    std::string arguments;
    std::getline(in, arguments);
    EXPECT_EQ(arguments, "--tab=2");
}

TEST(VolumeControl, DoesNothingWhenNoneIsInstalled) {
    mp3_test::TempDir dir;
    ScopedPath path(dir.path().string());
    EXPECT_TRUE(FindVolumeControl().program.isEmpty());
    EXPECT_FALSE(OpenRecordingVolumeControl());
}

}  // namespace
