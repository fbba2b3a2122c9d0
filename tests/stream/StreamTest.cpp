#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <string>

#include "stream/FileStream.h"
#include "stream/MemoryStream.h"

namespace scq {
namespace {

std::string TempPath(const char* tag) {
    const char* dir = getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/scqtest_" + tag + "_" +
                       std::to_string(getpid());
    return path;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

struct StringCase {
    const char* name;
    std::string bytes;  // what the stream holds
    size_t max;
    std::string stored;
    bool error;
    int nextByte;  // what the following ReadByte returns (-1: not checked)
};

class ReadStringTest : public ::testing::TestWithParam<StringCase> {};

TEST_P(ReadStringTest, StoresCutsAndStaysAligned) {
    const StringCase& c = GetParam();
    MemoryStream s(c.bytes.data(), c.bytes.size(), 4);
    char buf[64];
    s.ReadString(buf, c.max);
    EXPECT_EQ(std::string(buf), c.stored);
    EXPECT_EQ(s.HasError(), c.error);
    if (c.nextByte >= 0) {
        EXPECT_EQ(s.ReadByte(), c.nextByte);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Strings, ReadStringTest,
    ::testing::Values(StringCase{"fits", std::string("abc\0Z", 5), 4, "abc", false, 'Z'},
                      StringCase{"oneTooLong", std::string("abcd\0Z", 6), 4, "abc", false, 'Z'},
                      StringCase{"muchTooLong", std::string("abcdefgh\0Z", 10), 4, "abc", false,
                                 'Z'},
                      StringCase{"maxOne", std::string("abc\0Z", 5), 1, "", false, 'Z'},
                      StringCase{"endsInside", std::string("ab"), 8, "ab", true, -1},
                      StringCase{"empty", std::string("\0Z", 2), 8, "", false, 'Z'}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileStreamTest, EndOfFileRules) {
    std::string path = TempPath("eof");
    WriteFile(path, std::string("\x34\x12\x7f", 3));
    FileStream f(path.c_str(), FileStream::kRead | FileStream::kShareRead);
    ASSERT_FALSE(f.HasError());
    EXPECT_EQ(f.Size(), 3);
    EXPECT_EQ(f.ReadInt16(), 0x1234);
    // A 16-bit read that meets the end counts the missing byte as 0 and leaves the flag clear.
    EXPECT_EQ(f.ReadInt16(), 0x7f);
    EXPECT_FALSE(f.HasError());
    // A byte read at the end raises the flag; Rewind clears it and starts again at 0.
    EXPECT_EQ(f.ReadByte(), 0);
    EXPECT_TRUE(f.HasError());
    EXPECT_TRUE(f.Rewind());
    EXPECT_FALSE(f.HasError());
    EXPECT_EQ(f.ReadByte(), 0x34);
    unlink(path.c_str());
}

TEST(FileStreamTest, OpenFailuresRaiseTheFlag) {
    FileStream missing("/nonexistent/dir/file", FileStream::kRead);
    EXPECT_TRUE(missing.HasError());
    FileStream dir("/tmp", FileStream::kRead);
    EXPECT_TRUE(dir.HasError());
    EXPECT_EQ(dir.ReadByte(), 0);
}

TEST(FileStreamTest, WriteThenReadBack) {
    std::string path = TempPath("rw");
    {
        FileStream w(path.c_str(), FileStream::kWrite);
        w.WriteString("hello");
        w.WriteInt16(-2);
        w.WriteInt32(0x01020304);
        EXPECT_EQ(w.Tell(), 12);
        w.Close();
        EXPECT_FALSE(w.HasError());
    }
    FileStream r(path.c_str(), FileStream::kRead);
    char buf[16];
    r.ReadString(buf, sizeof buf);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(r.ReadInt16(), -2);
    EXPECT_EQ(r.ReadInt32(), 0x01020304);
    EXPECT_TRUE(r.Seek(1));
    EXPECT_EQ(r.ReadByte(), 'e');
    EXPECT_EQ(r.Tell(), 2);
    unlink(path.c_str());
}

TEST(StreamTest, ReadLineSkipsCarriageReturns) {
    std::string bytes = "ab\r\ncd";
    MemoryStream s(bytes.data(), bytes.size());
    char buf[8];
    EXPECT_EQ(s.ReadLine(buf, sizeof buf), 2u);
    EXPECT_STREQ(buf, "ab");
    char small[2];
    EXPECT_EQ(s.ReadLine(small, sizeof small), 2u);  // met two, stored one
    EXPECT_STREQ(small, "c");
}

TEST(MemoryStreamTest, ChunkBoundariesSeekAndReset) {
    MemoryStream s(3);
    for (int i = 0; i < 10; ++i) s.WriteByte(i);
    EXPECT_EQ(s.Size(), 10);
    EXPECT_FALSE(s.Seek(11));
    EXPECT_FALSE(s.HasError());
    ASSERT_TRUE(s.Seek(2));
    unsigned char block[6];
    EXPECT_EQ(s.ReadBlock(block, 6), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(block[i], i + 2);
    EXPECT_EQ(s.ReadBlock(block, 6), 2u);
    EXPECT_TRUE(s.HasError());
    s.Reset();
    EXPECT_EQ(s.Size(), 0);
    EXPECT_FALSE(s.HasError());
    EXPECT_EQ(s.ReadByte(), 0);
    EXPECT_TRUE(s.HasError());
}

TEST(MemoryStreamTest, CountingStreamMeasures) {
    CountingStream c;
    c.WriteString("abc");
    c.WriteInt16(7);
    EXPECT_EQ(c.Size(), 6);
    EXPECT_TRUE(c.Seek(5));
    c.ReadByte();
    EXPECT_FALSE(c.HasError());
    c.ReadByte();
    EXPECT_TRUE(c.HasError());
}

TEST(StreamTest, BaseOperationsFailOnAPlainStream) {
    SongInputStream s;
    EXPECT_EQ(s.ReadByte(), 0);
    EXPECT_TRUE(s.HasError());
    s.errorFlag = 0;
    EXPECT_FALSE(s.Seek(0));
    EXPECT_TRUE(s.HasError());
    unsigned char b[2] = {9, 9};
    s.errorFlag = 0;
    EXPECT_EQ(s.ReadBlock(b, 2), 0u);
    EXPECT_EQ(b[0], 0);  // the failing read's 0 is stored
}

}  // namespace
}  // namespace scq
