#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "stream/CompressedSongStream.h"
#include "stream/MemoryStream.h"
#include "support/SongBuilder.h"

namespace scq {
namespace {

// Bytes that compress (runs) mixed with bytes that do not (a simple generator).
std::string Payload(size_t n) {
    std::string out(n, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = (i / 512) % 2 ? static_cast<char>('a' + i % 7) : static_cast<char>(x >> 24);
    }
    return out;
}

std::string Pack(const std::string& plain) {
    MemoryStream target;
    {
        CompressedSongWriter writer(target);
        writer.WriteBlock(plain.data(), plain.size());
        EXPECT_EQ(writer.Tell(), static_cast<int64_t>(plain.size()));
        EXPECT_FALSE(writer.HasError());
    }
    auto bytes = target.Contents();
    return std::string(bytes.begin(), bytes.end());
}

// Everything a stream delivers through ReadByte until the error flag rises.
std::string Drain(SongInputStream& s) {
    std::string out;
    for (;;) {
        int b = s.ReadByte();
        if (s.HasError()) break;
        out += static_cast<char>(b);
    }
    return out;
}

class CompressedRoundTrip : public ::testing::TestWithParam<size_t> {};

TEST_P(CompressedRoundTrip, ReadsBackByteIdentical) {
    const std::string plain = Payload(GetParam());
    const std::string packed = Pack(plain);
    ASSERT_EQ(packed.compare(0, 6, std::string("[SCZ]\0", 6)), 0);

    {  // byte by byte: at the clean end a byte read raises the flag
        MemoryStream source(packed.data(), packed.size());
        CompressedSongStream s(source);
        EXPECT_EQ(Drain(s), plain);
        EXPECT_EQ(s.state(), CompressedSongStream::kEnded);
        EXPECT_EQ(s.Tell(), static_cast<int64_t>(plain.size()));
    }
    {  // in blocks of odd sizes: a short block at the end leaves the flag clear
        MemoryStream source(packed.data(), packed.size());
        CompressedSongStream s(source);
        std::string got;
        std::vector<char> block(3001);
        size_t n;
        while ((n = s.ReadBlock(block.data(), block.size())) == block.size()) {
            got.append(block.data(), n);
        }
        got.append(block.data(), n);
        EXPECT_EQ(got, plain);
        EXPECT_FALSE(s.HasError());
        EXPECT_EQ(s.ReadBlock(block.data(), 1), 0u);
        EXPECT_FALSE(s.HasError());
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, CompressedRoundTrip,
                         ::testing::Values(1, 2, 100, 8191, 8192, 8193, 16384, 70000, 300000));

TEST(CompressedSongStreamTest, SeeksForwardAndBack) {
    const std::string plain = Payload(50000);
    const std::string packed = Pack(plain);
    MemoryStream source(packed.data(), packed.size());
    CompressedSongStream s(source);
    EXPECT_EQ(s.Size(), 2147483632);

    struct Step {
        int64_t to;
        bool ok;
    };
    const Step steps[] = {{30000, true}, {30001, true}, {5, true},     {0, true},
                          {49999, true}, {20000, true}, {50000, true}, {50001, false}};
    for (const Step& step : steps) {
        s.Rewind();
        // Read a little first so that every seek starts from somewhere else.
        s.ReadByte();
        EXPECT_EQ(s.Seek(step.to), step.ok) << step.to;
        if (!step.ok) {
            EXPECT_TRUE(s.HasError());
            continue;
        }
        EXPECT_EQ(s.Tell(), step.to);
        char buf[16] = {};
        size_t n = s.ReadBlock(buf, sizeof buf);
        EXPECT_EQ(std::string(buf, n), plain.substr(static_cast<size_t>(step.to), 16)) << step.to;
    }
    // Rewind after the error clears it and delivers the same bytes again.
    EXPECT_TRUE(s.Rewind());
    EXPECT_FALSE(s.HasError());
    EXPECT_EQ(Drain(s), plain);
    EXPECT_FALSE(s.Seek(-1));
}

TEST(CompressedSongStreamTest, TruncatedContainerDeliversItsPrefix) {
    const std::string plain = Payload(40000);
    const std::string packed = Pack(plain);
    for (size_t cut : {size_t{7}, size_t{20}, packed.size() / 3, packed.size() / 2,
                       packed.size() - 5, packed.size() - 1}) {
        MemoryStream source(packed.data(), cut);
        CompressedSongStream s(source);
        const std::string got = Drain(s);
        EXPECT_TRUE(s.HasError());
        EXPECT_EQ(s.state(), CompressedSongStream::kFailed) << cut;
        EXPECT_LE(got.size(), plain.size());
        EXPECT_EQ(got, plain.substr(0, got.size())) << cut;
        if (cut > packed.size() / 2) {
            EXPECT_GT(got.size(), 0u) << cut;
        }
        // A block read after the failure delivers nothing and keeps the flag.
        char buf[4];
        EXPECT_EQ(s.ReadBlock(buf, sizeof buf), 0u);
        EXPECT_TRUE(s.HasError());
    }
}

TEST(CompressedSongStreamTest, CorruptContainerFails) {
    const std::string plain = Payload(40000);
    const std::string packed = Pack(plain);
    struct Case {
        size_t at;
        char value;
    };
    // The zlib header, a byte in the middle, the checksum.
    const Case cases[] = {
        {6, '\x00'}, {7, '\xFF'}, {packed.size() / 2, '\x5A'}, {packed.size() - 2, '\x00'}};
    for (const Case& c : cases) {
        std::string bad = packed;
        if (bad[c.at] == c.value) bad[c.at] = static_cast<char>(~c.value);
        bad[c.at] = c.value;
        MemoryStream source(bad.data(), bad.size());
        CompressedSongStream s(source);
        const std::string got = Drain(s);
        EXPECT_TRUE(s.HasError()) << c.at;
        EXPECT_EQ(s.state(), CompressedSongStream::kFailed) << c.at;
        EXPECT_LE(got.size(), plain.size() + CompressedSongStream::kBufferSize) << c.at;
    }
}

TEST(CompressedSongStreamTest, NotAContainer) {
    const std::string cases[] = {std::string("[SCZ]\0", 6), std::string("[scz]\0xyz", 9),
                                 std::string(), std::string("plain song bytes")};
    for (const std::string& bytes : cases) {
        MemoryStream source(bytes.data(), bytes.size());
        CompressedSongStream s(source);
        EXPECT_EQ(s.ReadByte(), 0);
        EXPECT_TRUE(s.HasError());
        EXPECT_EQ(s.Tell(), 0);
        s.Rewind();
        char buf[8];
        EXPECT_EQ(s.ReadBlock(buf, sizeof buf), 0u);
        EXPECT_TRUE(s.HasError());
    }
}

TEST(CompressedSongStreamTest, ProbeMatchesTheMagicExactly) {
    struct Case {
        std::string bytes;
        bool compressed;
    };
    const Case cases[] = {{std::string("[SCZ]\0rest", 10), true},
                          {std::string("[SCZ]", 5), true},  // the end of data ends the string
                          {std::string("[scz]\0", 6), false},
                          {std::string("[SCZ] \0", 7), false},
                          {std::string("[SCZ", 4), false},
                          {std::string(), false},
                          {std::string(40, 'x'), false}};
    for (const Case& c : cases) {
        MemoryStream s(c.bytes.data(), c.bytes.size());
        s.ReadByte();  // the probe rewinds first
        EXPECT_EQ(IsCompressedSongStream(s), c.compressed) << c.bytes;
    }
}

TEST(CompressedSongStreamTest, OwnsItsSourceWhenGivenOne) {
    const std::string plain = Payload(1000);
    const std::string packed = Pack(plain);
    auto source = std::make_unique<MemoryStream>(packed.data(), packed.size());
    CompressedSongStream s(std::move(source));
    EXPECT_TRUE(s.ownsSource());
    EXPECT_EQ(Drain(s), plain);
    // Writing is refused.
    s.Rewind();
    s.WriteByte(1);
    EXPECT_TRUE(s.HasError());
}

TEST(CompressedSongWriterTest, ResetStartsANewContainer) {
    MemoryStream target;
    CompressedSongWriter writer(target);
    writer.WriteBlock("first container", 15);
    writer.Reset();
    EXPECT_EQ(writer.Tell(), 0);
    const std::string plain = Payload(20000);
    writer.WriteBlock(plain.data(), plain.size());
    writer.Finish();
    EXPECT_FALSE(writer.HasError());

    CompressedSongStream s(target);
    EXPECT_EQ(Drain(s), plain);

    // After finishing, further bytes are refused until a Reset.
    writer.WriteByte('x');
    EXPECT_TRUE(writer.HasError());
}

TEST(CompressedSongWriterTest, ReadingSeekingAndSizeAreRefused) {
    MemoryStream target;
    CompressedSongWriter writer(target);
    writer.WriteByte('a');
    EXPECT_FALSE(writer.HasError());
    EXPECT_EQ(writer.ReadByte(), 0);
    EXPECT_TRUE(writer.HasError());
    writer.Reset();
    EXPECT_FALSE(writer.HasError());
    EXPECT_FALSE(writer.Seek(0));
    EXPECT_TRUE(writer.HasError());
    writer.Reset();
    writer.Size();
    EXPECT_TRUE(writer.HasError());
}

TEST(CompressedSongWriterTest, NothingWrittenLeavesTheTargetUntouched) {
    MemoryStream target;
    { CompressedSongWriter writer(target); }
    EXPECT_EQ(target.Size(), 0);
}

}  // namespace
}  // namespace scq

namespace scq {
namespace {

// The test builder compresses and inflates with zlib on its own: each side reads the other's.
TEST(CompressedInteropTest, ReadsAndWritesWhatAnIndependentCoderDoes) {
    for (size_t n : {size_t{1}, size_t{9000}, size_t{100000}}) {
        const std::string plain = Payload(n);
        const test::Bytes plainBytes(plain.begin(), plain.end());

        const test::Bytes theirs = test::Compress(plainBytes);
        MemoryStream source(theirs.data(), theirs.size());
        CompressedSongStream s(source);
        EXPECT_EQ(Drain(s), plain) << n;

        const std::string ours = Pack(plain);
        auto inflated = test::Decompress(test::Bytes(ours.begin(), ours.end()));
        ASSERT_TRUE(inflated.has_value()) << n;
        EXPECT_EQ(*inflated, plainBytes) << n;
    }
}

}  // namespace
}  // namespace scq
