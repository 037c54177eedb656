// The probe report behind `tolvikan probe`.
#include <gtest/gtest.h>

#include "tasks/probe_report.h"
#include "tasks_test_util.h"

using namespace taskstest;
using testswf::Compression;

namespace {

TEST(ProbeReport, KindsAndHeaderFields) {
    ScratchDir dir;
    struct Case {
        std::string file;
        testswf::Bytes bytes;
        const char* kind;
        const char* compression;
    } cases[] = {
        {"a.swf", Movie(550, 400, 12 * 256 + 128, 100).build(), "swf", "none"},
        {"b.swf", Movie(550, 400, 12 * 256 + 128, 100).build(Compression::Zlib), "swf-compressed", "zlib"},
        {"c.swf", Movie(550, 400, 12 * 256 + 128, 100).build(Compression::Lzma), "swf-compressed", "lzma"},
        {"d.exe", testswf::makeProjector(Movie(550, 400, 12 * 256 + 128, 100).build()), "projector", "none"},
        {"e.exe", testswf::makeProjector(Movie(550, 400, 12 * 256 + 128, 100).build(Compression::Lzma)),
         "projector-compressed", "lzma"},
    };
    for (const Case& c : cases) {
        TProbeReport r = MakeProbeReport(dir.write(c.file, c.bytes));
        EXPECT_EQ(r.kind, c.kind) << c.file;
        EXPECT_EQ(r.compression, c.compression) << c.file;
        EXPECT_TRUE(r.complete) << c.file << ": " << r.error;
        EXPECT_EQ(r.version, 10);
        EXPECT_EQ(r.headerLength, static_cast<long long>(Movie().build().size()));
        EXPECT_EQ(r.width, 550);
        EXPECT_EQ(r.height, 400);
        EXPECT_DOUBLE_EQ(r.frameRate, 12.5);
        EXPECT_EQ(r.frameRateInt, 12);
        EXPECT_EQ(r.frameCount, 100);
        EXPECT_EQ(r.headerBytes, 8 + 9 + 4);
    }
}

TEST(ProbeReport, InvalidAndBrokenFilesDoNotThrow) {
    ScratchDir dir;
    TProbeReport missing = MakeProbeReport(dir.path("nothing.swf"));
    EXPECT_EQ(missing.kind, "invalid");
    EXPECT_FALSE(missing.complete);
    EXPECT_NE(missing.error.find("nothing.swf"), std::string::npos);

    TProbeReport text = MakeProbeReport(dir.write("a.txt", Movie().build()));
    EXPECT_EQ(text.kind, "invalid");
    EXPECT_FALSE(text.complete);

    testswf::Bytes cut = Movie().build(Compression::Zlib);
    cut.resize(cut.size() - 8);  // past the checksum into the data
    TProbeReport broken = MakeProbeReport(dir.write("cut.swf", cut));
    EXPECT_EQ(broken.kind, "swf-compressed");
    EXPECT_FALSE(broken.complete);
    EXPECT_FALSE(broken.error.empty());
    EXPECT_EQ(broken.version, 10);

    TProbeReport wild =
        MakeProbeReport(dir.write("w.exe", testswf::makeProjectorRaw({}, {}, 0xFA123456u, 1000)));
    EXPECT_EQ(wild.kind, "invalid");
    EXPECT_NE(wild.error.find("projector trailer"), std::string::npos) << wild.error;
}

TEST(ProbeReport, Format) {
    TProbeReport r;
    r.file = "/m/a.swf";
    r.kind = "swf-compressed";
    r.compression = "zlib";
    r.complete = true;
    r.version = 9;
    r.headerLength = 4000000000LL;
    r.width = 550;
    r.height = 400;
    r.frameRate = 29.96875;
    r.frameRateInt = 29;
    r.frameCount = 65535;
    r.headerBytes = 21;
    EXPECT_EQ(FormatProbeReport(r),
              "file: /m/a.swf\nkind: swf-compressed\ncompression: zlib\nversion: 9\nlength: "
              "4000000000\nwidth: 550\n"
              "height: 400\nframe-rate: 29.96875\nframe-rate-int: 29\nframes: 65535\nheader-bytes: "
              "21\ncomplete: yes\n");
    r.complete = false;
    r.error = "boom";
    EXPECT_NE(FormatProbeReport(r).find("complete: no\nerror: boom\n"), std::string::npos);
}

}  // namespace
