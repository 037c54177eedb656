// Movie body decompression: the three signatures, streaming reads, cut-short and hostile files.
#include <gtest/gtest.h>

#include "support/swf_builder.h"
#include "support/swf_lzma.h"
#include "swf/decompress.h"

using namespace testswf;

namespace {

// A body that compresses but is not trivially repetitive.
Bytes sampleBody(size_t n) {
    Bytes b(n);
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = static_cast<uint8_t>((x >> 24) % 16 + (i % 50));
    }
    return b;
}

Bytes makeFws(const Bytes& body, uint8_t version = 8, uint32_t declared = 0) {
    ByteWriter w;
    w.u8('F').u8('W').u8('S').u8(version).u32(declared ? declared : uint32_t(8 + body.size())).raw(body);
    return w.bytes();
}

Bytes expectedMovie(const Bytes& body, uint8_t version) {
    ByteWriter w;
    w.u8('F').u8('W').u8('S').u8(version).u32(uint32_t(8 + body.size())).raw(body);
    return w.bytes();
}

struct Kind {
    const char* name;
    swf::Signature sig;
    uint8_t version;
    Bytes (*make)(const Bytes& body, uint8_t version, uint32_t declared);
};

const Kind kKinds[] = {
    {"FWS", swf::Signature::Uncompressed, 8,
     [](const Bytes& b, uint8_t v, uint32_t d) { return makeFws(b, v, d); }},
    {"CWS", swf::Signature::Zlib, 10, [](const Bytes& b, uint8_t v, uint32_t d) { return makeCws(b, v, d); }},
    {"ZWS+end marker", swf::Signature::Lzma, 13,
     [](const Bytes& b, uint8_t v, uint32_t d) { return makeZws(b, true, v, d); }},
    {"ZWS no end marker", swf::Signature::Lzma, 13,
     [](const Bytes& b, uint8_t v, uint32_t d) { return makeZws(b, false, v, d); }},
};

}  // namespace

TEST(Decompress, EverySignatureRoundTripsWholeAndInSmallReads) {
    Bytes body = sampleBody(200000);
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.name);
        Bytes file = k.make(body, k.version, 0);
        swf::DecompressInfo info;
        auto movie = swf::decompressMovie(file, swf::kMaxMovieBytes, &info);
        ASSERT_TRUE(movie.ok()) << movie.error().describe();
        EXPECT_EQ(*movie, expectedMovie(body, k.version));
        EXPECT_EQ(info.header.signature, k.sig);
        EXPECT_EQ(info.header.version, k.version);
        EXPECT_EQ(info.header.declaredLength, 8 + body.size());
        EXPECT_FALSE(info.endedEarly);
        EXPECT_TRUE(info.warning.empty()) << info.warning;

        // Odd-sized reads stitch back into the same body.
        auto reader = swf::BodyReader::open(file);
        ASSERT_TRUE(reader.ok());
        Bytes got;
        uint8_t buf[7];
        while (!reader->atEnd()) {
            size_t n = reader->read(buf, sizeof buf);
            got.insert(got.end(), buf, buf + n);
        }
        EXPECT_EQ(got, body);
        EXPECT_FALSE(reader->endedEarly());
        EXPECT_FALSE(reader->failed());
        EXPECT_EQ(reader->bytesRead(), body.size());
    }
}

// A movie probe reads the first bytes of a movie whose header claims far more than it holds: the reader must
// deliver them at once and report the shortfall only when the data runs out.
TEST(Decompress, HugeClaimedLengthReadsPrefixAndReportsEarlyEnd) {
    Bytes body = sampleBody(5000);
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.name);
        Bytes file = k.make(body, k.version, 0xFFFFFFF0u);
        auto reader = swf::BodyReader::open(file);
        ASSERT_TRUE(reader.ok());
        EXPECT_EQ(reader->header().declaredLength, 0xFFFFFFF0u);
        Bytes first = reader->read(100);
        EXPECT_EQ(first, Bytes(body.begin(), body.begin() + 100));
        EXPECT_FALSE(reader->atEnd());
        Bytes rest = reader->read(1u << 20);
        EXPECT_TRUE(reader->atEnd());
        EXPECT_TRUE(reader->endedEarly());
        first.insert(first.end(), rest.begin(), rest.end());
        EXPECT_EQ(first, body);
    }
}

TEST(Decompress, CutShortFileGivesThePrefixAndFlagsIt) {
    Bytes body = sampleBody(100000);
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.name);
        Bytes file = k.make(body, k.version, 0);
        file.resize(file.size() / 2);
        swf::DecompressInfo info;
        auto movie = swf::decompressMovie(file, swf::kMaxMovieBytes, &info);
        ASSERT_TRUE(movie.ok()) << movie.error().describe();
        EXPECT_TRUE(info.endedEarly);
        ASSERT_GT(movie->size(), 8u);
        ASSERT_LT(movie->size(), 8 + body.size());
        EXPECT_TRUE(std::equal(movie->begin() + 8, movie->end(), body.begin()));
    }
}

TEST(Decompress, StopsAtTheDeclaredLength) {
    // Trailing bytes after the declared length (a projector trailer, padding) are not part of the movie.
    Bytes body = sampleBody(1000);
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.name);
        Bytes file = k.make(body, k.version, 8 + 600);
        file.insert(file.end(), 50, 0xEE);
        auto movie = swf::decompressMovie(file);
        ASSERT_TRUE(movie.ok()) << movie.error().describe();
        ASSERT_EQ(movie->size(), 608u);
        EXPECT_TRUE(std::equal(movie->begin() + 8, movie->end(), body.begin()));
    }
}

TEST(Decompress, LimitBoundsTheOutputNotTheClaim) {
    Bytes body(1 << 20, 0);  // compresses to almost nothing
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.name);
        Bytes file = k.make(body, k.version, 0);
        auto movie = swf::decompressMovie(file, 64 * 1024);
        ASSERT_FALSE(movie.ok());
        EXPECT_NE(movie.error().message.find("limit"), std::string::npos) << movie.error().message;

        // Within the limit the same movie is fine.
        EXPECT_TRUE(swf::decompressMovie(file, 2 << 20).ok());
    }
}

TEST(Decompress, BadHeadersAreRejected) {
    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"empty", {}},
        {"shorter than header", {'F', 'W', 'S', 8, 20}},
        {"unknown signature", {'X', 'W', 'S', 8, 20, 0, 0, 0, 0, 0, 0, 0}},
        {"not WS", {'F', 'X', 'S', 8, 20, 0, 0, 0, 0, 0, 0, 0}},
        {"length below header", {'F', 'W', 'S', 8, 7, 0, 0, 0}},
        {"ZWS without LZMA fields", {'Z', 'W', 'S', 13, 20, 0, 0, 0, 1, 0, 0}},
        {"ZWS bad lc/lp/pb", {'Z', 'W', 'S', 13, 20, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0, 0, 1, 0, 0, 0, 0}},
        {"CWS garbage from the start", {'C', 'W', 'S', 8, 20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto movie = swf::decompressMovie(c.file);
        ASSERT_FALSE(movie.ok());
        EXPECT_FALSE(movie.error().message.empty());
    }
}

TEST(Decompress, CorruptDataAfterGoodBytesKeepsTheGoodBytes) {
    Bytes body = sampleBody(100000);
    Bytes file = makeCws(body);
    for (size_t i = file.size() / 2; i < file.size() / 2 + 64; ++i)
        file[i] ^= 0x5A;
    swf::DecompressInfo info;
    auto movie = swf::decompressMovie(file, swf::kMaxMovieBytes, &info);
    ASSERT_TRUE(movie.ok()) << movie.error().describe();
    EXPECT_FALSE(info.warning.empty());
    // What came before the damage is intact; the damage itself is reported (at the latest by the checksum).
    ASSERT_GT(movie->size(), 1000u);
    EXPECT_TRUE(std::equal(movie->begin() + 8, movie->begin() + 1000, body.begin()));
}

TEST(Decompress, HostileLzmaDictionarySizeDoesNotAllocateIt) {
    Bytes body = sampleBody(3000);
    Bytes file = makeZws(body, true);
    // Claim a 4 GiB dictionary; a dictionary never needs to exceed the body, so this still decodes.
    file[13] = file[14] = file[15] = file[16] = 0xFF;
    auto movie = swf::decompressMovie(file);
    ASSERT_TRUE(movie.ok()) << movie.error().describe();
    EXPECT_EQ(*movie, expectedMovie(body, 13));
}
