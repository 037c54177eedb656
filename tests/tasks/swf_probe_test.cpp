// Classification, header probe and projector extraction, as a table of movie files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "tasks/file_names.h"
#include "tasks/swf_probe.h"
#include "tasks/temp_files.h"
#include "tasks_test_util.h"

using namespace taskstest;
using testswf::Bytes;
using testswf::Compression;

namespace {

constexpr int32_t kUntouched = -7;  // what the probe must leave in fields it did not reach

struct ProbeCase {
    std::string what;
    std::string fileName;
    Bytes bytes;
    TSwfFileType type;
    bool failed;
    // Expected fields; kUntouched for "not written".
    int32_t version, fileSize, width, height, frameRate, totalFrames;
};

std::ostream& operator<<(std::ostream& os, const ProbeCase& c) {
    return os << c.what;
}

Bytes Built(const testswf::SwfBuilder& b, Compression c) {
    return b.build(c);
}

uint32_t LengthOf(const testswf::SwfBuilder& b) {
    return static_cast<uint32_t>(b.build().size());
}

testswf::SwfBuilder WithLength(testswf::SwfBuilder b, uint32_t length) {
    b.header().overrideLength = true;
    b.header().length = length;
    return b;
}

std::vector<ProbeCase> Cases() {
    const auto m = Movie(550, 400, 12 << 8, 100);
    const uint32_t len = LengthOf(m);
    const int32_t L = static_cast<int32_t>(len);
    std::vector<ProbeCase> cs;
    auto ok = [&](std::string what, std::string name, Bytes bytes, TSwfFileType type) {
        cs.push_back(
            {std::move(what), std::move(name), std::move(bytes), type, false, 10, L, 550, 400, 12, 100});
    };
    ok("plain movie", "a.swf", Built(m, Compression::None), sftSwf);
    ok("zlib movie", "a.swf", Built(m, Compression::Zlib), sftSwfCompressed);
    ok("LZMA movie", "a.swf", Built(m, Compression::Lzma), sftSwfCompressed);
    ok("capital .SWF", "A.SWF", Built(m, Compression::None), sftSwf);
    ok("mixed-case .Swf, zlib", "a.Swf", Built(m, Compression::Zlib), sftSwfCompressed);
    ok("projector, plain movie", "p.exe", testswf::makeProjector(Built(m, Compression::None)), sftProjector);
    ok("projector, zlib movie", "p.exe", testswf::makeProjector(Built(m, Compression::Zlib)),
       sftProjectorCompressed);
    ok("projector, LZMA movie", "p.exe", testswf::makeProjector(Built(m, Compression::Lzma)),
       sftProjectorCompressed);
    ok("capital .EXE", "P.EXE", testswf::makeProjector(Built(m, Compression::None)), sftProjector);
    ok("projector with a tiny stub", "p.exe", testswf::makeProjector(Built(m, Compression::Zlib), 0),
       sftProjectorCompressed);
    {
        // The movie's stream is followed by the trailer: the probe must stop at the movie's end.
        Bytes movie = Built(m, Compression::None);
        ok("projector, movie with bytes after its claimed end", "p.exe", testswf::makeProjector(movie),
           sftProjector);
    }

    auto invalid = [&](std::string what, std::string name, Bytes bytes) {
        cs.push_back({std::move(what), std::move(name), std::move(bytes), sftInvalid, true, kUntouched,
                      kUntouched, kUntouched, kUntouched, kUntouched, kUntouched});
    };
    invalid("valid movie under .txt", "a.txt", Built(m, Compression::None));
    invalid("valid movie without extension", "swf", Built(m, Compression::None));
    invalid("valid projector under .swf", "p.swf", testswf::makeProjector(Built(m, Compression::None)));
    invalid("valid movie under .exe (no trailer)", "a.exe", Built(m, Compression::None));
    invalid("unknown signature", "a.swf", Bytes{'G', 'W', 'S', 10, 0, 0, 0, 0});
    invalid("lower-case signature", "a.swf", Bytes{'f', 'w', 's', 10, 30, 0, 0, 0});
    invalid("projector without marker", "p.exe",
            testswf::makeProjectorRaw(Bytes(64, 0x90), Built(m, Compression::None), 0xFA123457u, len));
    invalid("projector whose movie has no signature", "p.exe",
            testswf::makeProjectorRaw(Bytes(64, 0x90), Bytes(40, 'x'), 0xFA123456u, 40));
    invalid("projector length 0", "p.exe", testswf::makeProjectorRaw(Bytes(64, 0x90), {}, 0xFA123456u, 0));

    // Header edge cases on plain movies.
    {
        auto b = Movie(550, 400);
        b.header().xmax = 550 * 20 + 19;
        b.header().ymax = 400 * 20 + 1;
        cs.push_back({"width not a multiple of 20 twips rounds down", "a.swf", Built(b, Compression::None),
                      sftSwf, false, 10, L, 550, 400, 12, 100});
    }
    for (int nbits : {15, 16, 24, 31}) {
        auto b = Movie(550, 400);
        b.header().forceNbits = nbits;
        int32_t l = static_cast<int32_t>(LengthOf(b));
        cs.push_back({"Nbits " + std::to_string(nbits), "a.swf", Built(b, Compression::Zlib),
                      sftSwfCompressed, false, 10, l, 550, 400, 12, 100});
    }
    {
        auto b = Movie(550, 400);
        b.header().xmin = 100 * 20;  // Xmin and Ymin are not used
        b.header().ymin = -50 * 20;
        cs.push_back({"Xmin and Ymin are ignored", "a.swf", Built(b, Compression::None), sftSwf, false, 10,
                      static_cast<int32_t>(LengthOf(b)), 550, 400, 12, 100});
    }
    cs.push_back({"12.5 fps reads 12", "a.swf",
                  Built(Movie(550, 400, 12 * 256 + 128, 100), Compression::None), sftSwf, false, 10, L, 550,
                  400, 12, 100});
    cs.push_back({"29.97 fps reads 29", "a.swf",
                  Built(Movie(550, 400, 29 * 256 + 248, 100), Compression::Lzma), sftSwfCompressed, false, 10,
                  L, 550, 400, 29, 100});
    cs.push_back({"65535 frames, unsigned", "a.swf", Built(Movie(1, 1, 1 << 8, 65535), Compression::None),
                  sftSwf, false, 10, static_cast<int32_t>(LengthOf(Movie(1, 1, 1 << 8, 65535))), 1, 1, 1,
                  65535});
    {
        testswf::Header hd;
        hd.version = 6;
        testswf::SwfBuilder bare(hd);  // header only, no tags: 21 bytes, shorter than the 29-byte area
        Bytes bytes = bare.build();
        cs.push_back({"movie that is only its header", "a.swf", bytes, sftSwf, false, 6,
                      static_cast<int32_t>(bytes.size()), 550, 400, 12, 1});
        Bytes cut(bytes.begin(), bytes.end() - 1);
        cs.push_back({"plain movie cut inside the frame count", "a.swf", cut, sftSwf, true, 6,
                      static_cast<int32_t>(bytes.size()), 550, 400, 12, kUntouched});
    }
    cs.push_back({"plain movie of only its signature", "a.swf", Bytes{'F', 'W', 'S'}, sftSwf, true,
                  kUntouched, kUntouched, kUntouched, kUntouched, kUntouched, kUntouched});
    cs.push_back({"plain movie cut in its length field", "a.swf", Bytes{'F', 'W', 'S', 9, 1, 2}, sftSwf, true,
                  9, kUntouched, kUntouched, kUntouched, kUntouched, kUntouched});

    // Compressed bodies must deliver the whole claimed length.
    auto compressedFailure = [&](std::string what, Bytes bytes, int32_t fileSize,
                                 TSwfFileType type = sftSwfCompressed, std::string name = "a.swf") {
        cs.push_back({std::move(what), std::move(name), std::move(bytes), type, true, 10, fileSize,
                      kUntouched, kUntouched, kUntouched, kUntouched});
    };
    for (Compression c : {Compression::Zlib, Compression::Lzma}) {
        const std::string tag = c == Compression::Zlib ? "zlib: " : "LZMA: ";
        Bytes full = Built(m, c);
        Bytes cut(full.begin(), full.end() - 6);
        compressedFailure(tag + "stream ends early though its first 21 bytes are readable", cut, L);
        compressedFailure(tag + "projector whose stream ends early", testswf::makeProjector(cut), L,
                          sftProjectorCompressed, "p.exe");
        {
            // A long movie whose stream is cut in half: its header is surely inflated, its end is not.
            auto longMovie = Movie(550, 400, 12 << 8, 100);
            Bytes noise(4000);
            for (size_t i = 0; i < noise.size(); ++i)
                noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
            longMovie.tag(777, noise);
            Bytes whole = Built(longMovie, c);
            Bytes half(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
            compressedFailure(tag + "long movie cut in half", half,
                              static_cast<int32_t>(LengthOf(longMovie)));
            cs.push_back({tag + "long movie whole", "a.swf", whole, sftSwfCompressed, false, 10,
                          static_cast<int32_t>(LengthOf(longMovie)), 550, 400, 12, 100});
        }
        compressedFailure(tag + "huge claimed length", Built(WithLength(m, 0xFFFFFFF0u), c),
                          static_cast<int32_t>(0xFFFFFFF0u));
        compressedFailure(tag + "claimed length one byte longer than the body",
                          Built(WithLength(m, len + 1), c), L + 1);
        cs.push_back({tag + "claimed length one byte shorter than the body", "a.swf",
                      Built(WithLength(m, len - 1), c), sftSwfCompressed, false, 10, L - 1, 550, 400, 12,
                      100});
        compressedFailure(tag + "claimed length below the header", Built(WithLength(m, 7), c), 7);
        Bytes damaged = full;
        for (size_t i = 12; i < damaged.size(); ++i)
            damaged[i] ^= 0x5A;
        compressedFailure(tag + "damaged data", damaged, L);
        compressedFailure(tag + "nothing after the header", Bytes(full.begin(), full.begin() + 8), L);
    }
    {
        Bytes z = Built(m, Compression::Lzma);
        z[13] = z[14] = z[15] = z[16] = 0xFF;  // a 4 GiB dictionary
        cs.push_back({"LZMA: 4 GiB dictionary still decodes within the body length", "a.swf", z,
                      sftSwfCompressed, false, 10, L, 550, 400, 12, 100});
        Bytes bad = Built(m, Compression::Lzma);
        bad[12] = 0xFF;  // lc/lp/pb out of range
        compressedFailure("LZMA: invalid properties", bad, L);
    }
    return cs;
}

class ProbeTable : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeTable, ClassifiesAndProbes) {
    const ProbeCase& c = GetParam();
    ScratchDir dir;
    std::string path = dir.write(c.fileName, c.bytes);
    EXPECT_EQ(GetSwfFileType(path), c.type);

    TSwfInfo info;
    info.version = info.fileSize = info.width = info.height = info.frameRate = info.totalFrames = kUntouched;
    TSwfProbeDetail detail;
    bool failed = ProbeSwfFile(path, info, &detail);
    EXPECT_EQ(failed, c.failed) << detail.error;
    EXPECT_EQ(failed, !detail.error.empty());
    EXPECT_EQ(info.fileType, c.type);
    EXPECT_EQ(info.version, c.version);
    EXPECT_EQ(info.fileSize, c.fileSize);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    EXPECT_EQ(info.frameRate, c.frameRate);
    EXPECT_EQ(info.totalFrames, c.totalFrames);
}

INSTANTIATE_TEST_SUITE_P(Movies, ProbeTable, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// Errors that reach the caller: they throw SwfFileError naming the file, and never read outside it.
struct ThrowCase {
    std::string what;
    std::string fileName;
    Bytes bytes;
    bool extractionThrows;  // false: extraction returns "" before it reads (extension)
};

class ThrowTable : public ::testing::TestWithParam<ThrowCase> {};

TEST_P(ThrowTable, ErrorsNameTheFile) {
    const ThrowCase& c = GetParam();
    ScratchDir dir;
    std::string path = dir.write(c.fileName, c.bytes);
    TSwfInfo info;
    for (int op = 0; op < 3; ++op) {
        try {
            if (op == 0) GetSwfFileType(path);
            if (op == 1) ProbeSwfFile(path, info);
            if (op == 2) {
                std::string out = ExtractSwfFromExe(path);
                EXPECT_FALSE(c.extractionThrows) << c.what;
                EXPECT_EQ(out, "");
                continue;
            }
            ADD_FAILURE() << c.what << ": operation " << op << " did not throw";
        } catch (const SwfFileError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            EXPECT_EQ(e.file(), path);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ThrowTable,
    ::testing::Values(
        ThrowCase{"trailer points before the file start", "p.exe",
                  testswf::makeProjectorRaw(Bytes(16, 0), Movie().build(), 0xFA123456u, 0x7FFFFFF0u), true},
        ThrowCase{"trailer points one byte before the file start", "p.exe",
                  testswf::makeProjectorRaw({}, Movie().build(), 0xFA123456u,
                                            static_cast<uint32_t>(Movie().build().size() + 1)),
                  true},
        ThrowCase{"trailer length 0xFFFFFFFF", "p.EXE",
                  testswf::makeProjectorRaw({}, {}, 0xFA123456u, 0xFFFFFFFFu), true},
        ThrowCase{"projector shorter than its trailer", "p.exe", Bytes{0x56, 0x34, 0x12}, true},
        ThrowCase{"empty .exe", "p.exe", Bytes{}, true},
        ThrowCase{".swf shorter than its signature", "a.swf", Bytes{'F', 'W'}, false},
        ThrowCase{"empty .swf", "a.swf", Bytes{}, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(SwfProbe, MissingFileThrows) {
    EXPECT_THROW(GetSwfFileType("/no/such/dir/movie.swf"), SwfFileError);
    TSwfInfo info;
    EXPECT_THROW(ProbeSwfFile("/no/such/dir/movie.swf", info), SwfFileError);
    EXPECT_THROW(ExtractSwfFromExe("/no/such/dir/game.exe"), SwfFileError);
    EXPECT_THROW(GetSwfFileType("/no/such/dir/movie.txt"),
                 SwfFileError);  // opened before the extension is looked at
}

TEST(SwfProbe, FolderIsNotAMovie) {
    ScratchDir dir;
    QDir().mkpath(QString::fromStdString(dir.path("folder.swf")));
    EXPECT_THROW(GetSwfFileType(dir.path("folder.swf")), SwfFileError);
}

TEST(SwfProbe, FifoIsRefusedWithoutWaitingForAWriter) {
    ScratchDir dir;
    std::string fifo = dir.path("pipe.swf");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(GetSwfFileType(fifo), SwfFileError);
}

TEST(SwfProbe, HugeClaimedLengthFailsQuickly) {
    ScratchDir dir;
    auto m = WithLength(Movie(), 0xFFFFFFFFu);
    std::string path = dir.write("huge.swf", m.build(Compression::Zlib));
    auto start = std::chrono::steady_clock::now();
    TSwfInfo info;
    EXPECT_TRUE(ProbeSwfFile(path, info));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(SwfProbe, LargeBodyIsReadToItsEndWithoutHoldingIt) {
    // 24 MiB of tags that compress to almost nothing: the probe must read all of it and still succeed.
    auto m = Movie(640, 480, 30 << 8, 7);
    m.tag(777, Bytes(24u << 20, 0), true);
    ScratchDir dir;
    std::string path = dir.write("big.swf", m.build(Compression::Zlib));
    TSwfInfo info;
    EXPECT_FALSE(ProbeSwfFile(path, info));
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.totalFrames, 7);
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class ExtractTable : public ::testing::TestWithParam<Compression> {};

TEST_P(ExtractTable, CopiesTheEmbeddedMovieToANewTemporaryFileEachTime) {
    ScratchDir dir;
    Bytes movie = Movie(300, 200).build(GetParam());
    std::string exe = dir.write("Game.EXE", testswf::makeProjector(movie, 1000));
    std::string a = ExtractSwfFromExe(exe);
    std::string b = ExtractSwfFromExe(exe);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_NE(a, b);
    for (const std::string& out : {a, b}) {
        EXPECT_TRUE(IsOwnTempFile(out)) << out;
        EXPECT_EQ(ExtractFileExt(out), ".swf");
        EXPECT_EQ(ReadAll(out), movie);
        TSwfInfo info;
        EXPECT_FALSE(ProbeSwfFile(out, info));
        EXPECT_EQ(info.width, 300);
        QFile::remove(QString::fromStdString(out));
    }
}

INSTANTIATE_TEST_SUITE_P(Signatures, ExtractTable,
                         ::testing::Values(Compression::None, Compression::Zlib, Compression::Lzma));

TEST(ExtractSwfFromExe, ReturnsEmptyAndWritesNothingForNonProjectors) {
    ScratchDir dir;
    Bytes movie = Movie().build();
    std::vector<std::string> files = {
        dir.write("movie.swf", movie),
        dir.write("movie.exe", movie),  // no trailer
        dir.write("bad.exe", testswf::makeProjector(movie, 64, 0x12345678u)),
        dir.write("junk.exe", testswf::makeProjectorRaw(Bytes(8, 1), Bytes(30, 'Q'), 0xFA123456u, 30)),
        dir.write("projector.bin", testswf::makeProjector(movie)),
    };
    PrivateTempDir temp;
    for (const std::string& f : files)
        EXPECT_EQ(ExtractSwfFromExe(f), "") << f;
    EXPECT_TRUE(QDir(QString::fromStdString(temp.path())).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

}  // namespace
