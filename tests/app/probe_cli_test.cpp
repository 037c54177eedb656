// `tolvikan probe`: one tab-separated line (or JSON object) per file; missing or broken files are reported
// on stderr with a non-zero status while the other files are still probed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "app/cmd_probe.h"
#include "support/swf_builder.h"

namespace {

namespace fs = std::filesystem;

class ProbeCli : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tolvikan-probe-cli-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const testswf::Bytes& bytes) {
        std::string path = (dir_ / name).string();
        EXPECT_TRUE(testswf::writeFile(path, bytes));
        return path;
    }

    int run(const std::vector<std::string>& args, std::string& out, std::string& err) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int status = cli::runProbe(args);
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        return status;
    }

    static testswf::Bytes movie(int w, int h, double fps, int frames, int version) {
        testswf::Header hd;
        hd.version = static_cast<uint8_t>(version);
        hd.xmax = w * 20;
        hd.ymax = h * 20;
        hd.frameRate88 = static_cast<uint16_t>(fps * 256);
        hd.frameCount = static_cast<uint16_t>(frames);
        testswf::SwfBuilder b(hd);
        return b.showFrame().end().build(testswf::Compression::Zlib);
    }

    fs::path dir_;
};

TEST_F(ProbeCli, PrintsOneLinePerFileAndGoesOnAfterErrors) {
    std::string a = write("a.swf", movie(550, 400, 12.5, 100, 9));
    std::string proj = write("b.EXE", testswf::makeProjector(movie(320, 240, 24, 5, 6)));
    std::string junk = write("junk.swf", testswf::Bytes(40, 'x'));
    std::string out, err;
    int status = run({a, (dir_ / "missing.swf").string(), proj, junk}, out, err);
    EXPECT_NE(status, 0);
    EXPECT_NE(err.find("missing.swf"), std::string::npos) << err;
    EXPECT_NE(err.find("junk.swf"), std::string::npos) << err;
    std::vector<std::string> lines;
    std::stringstream ss(out);
    for (std::string l; std::getline(ss, l);)
        lines.push_back(l);
    ASSERT_EQ(lines.size(), 3u) << out;
    testswf::Bytes first = movie(550, 400, 12.5, 100, 9);
    uint32_t declared = first[4] | (first[5] << 8) | (first[6] << 16) | (uint32_t(first[7]) << 24);
    EXPECT_EQ(lines[0], "swf-compressed\t9\t" + std::to_string(declared) + "\t550\t400\t12.5\t100\t" + a);
    EXPECT_NE(lines[0].find("\t550\t400\t12.5\t100\t"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1].rfind("projector-compressed\t6\t", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("\t320\t240\t24\t5\t"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2].rfind("invalid\t", 0), 0u) << lines[2];
}

TEST_F(ProbeCli, JsonAndUsage) {
    std::string a = write("a.swf", movie(100, 50, 30, 7, 8));
    std::string out, err;
    EXPECT_EQ(run({"--json", a}, out, err), 0) << err;
    EXPECT_NE(out.find("\"kind\":\"swf-compressed\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"width\":100,\"height\":50,\"frameRate\":30,\"frameCount\":7"), std::string::npos)
        << out;
    EXPECT_EQ(run({}, out, err), 2);
    EXPECT_EQ(run({"--bogus", a}, out, err), 2);
}

}  // namespace
