// The byte queue re-cuts captured blocks into the encoder's chunks: bytes come out in order whatever the
// sizes of the writes and reads, and the pool of spare blocks stays bounded.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "audio/una_memory_stream.h"

namespace {

struct Cut {
    const char* name;
    std::vector<size_t> writes;
    size_t readSize;
};

void PrintTo(const Cut& c, std::ostream* os) {
    *os << c.name;
}

class MemoryStreamCuts : public testing::TestWithParam<Cut> {};

TEST_P(MemoryStreamCuts, BytesComeOutInOrder) {
    unaMemoryStream queue;
    std::vector<uint8_t> expected;
    uint8_t next = 0;
    for (size_t n : GetParam().writes) {
        std::vector<uint8_t> block(n);
        for (uint8_t& b : block)
            b = next++;
        EXPECT_EQ(queue.write(block.data(), block.size()), n);
        expected.insert(expected.end(), block.begin(), block.end());
    }
    ASSERT_EQ(queue.getSize(), expected.size());

    std::vector<uint8_t> peek(3);
    EXPECT_EQ(queue.read(peek.data(), peek.size(), false), std::min<size_t>(3, expected.size()));
    EXPECT_EQ(queue.getSize(), expected.size()) << "a read without remove leaves the queue as it was";

    std::vector<uint8_t> got;
    std::vector<uint8_t> buffer(GetParam().readSize);
    while (queue.getSize() > 0) {
        const size_t before = queue.getSize();
        const size_t n = queue.read(buffer.data(), buffer.size());
        ASSERT_EQ(n, std::min(before, buffer.size()));
        got.insert(got.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
        ASSERT_EQ(queue.getSize(), before - n);
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(queue.read(buffer.data(), buffer.size()), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MemoryStreamCuts,
    testing::Values(Cut{"CaptureBlocksIntoEncoderChunks", {17640, 17640, 17640, 333}, 4608},
                    Cut{"ReadsLargerThanBlocks", {5, 1, 7, 0, 3}, 10}, Cut{"OddReads", {100, 100}, 3},
                    Cut{"Empty", {}, 8}),
    [](const testing::TestParamInfo<Cut>& info) { return std::string(info.param.name); });

TEST(MemoryStream, SparePoolIsBounded) {
    unaMemoryStream queue;
    std::vector<uint8_t> block(64, 1);
    const std::vector<uint8_t> larger(66, 2);
    for (int i = 0; i < 200; ++i)
        queue.write(larger.data(), 64 + static_cast<size_t>(i % 3));
    queue.clear();
    EXPECT_EQ(queue.getSize(), 0u);
    EXPECT_EQ(queue.spareCount(), unaMemoryStream::kMaxSpareBlocks);
    // Steady streaming reuses the spare blocks.
    for (int i = 0; i < 20; ++i) {
        queue.write(block.data(), block.size());
        std::vector<uint8_t> out(64);
        EXPECT_EQ(queue.read(out.data(), out.size()), 64u);
        EXPECT_EQ(out, block);
    }
    EXPECT_EQ(queue.spareCount(), unaMemoryStream::kMaxSpareBlocks);
}

}  // namespace
