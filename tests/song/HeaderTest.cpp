#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <string>

#include "cli/MinimalSong.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "stream/MemoryStream.h"

namespace scq {
namespace {

using testing::HeaderBytes;
using testing::HeaderSpec;
using testing::InfoBytes;
using testing::SongBytes;

struct HeaderCase {
    const char* name;
    HeaderSpec header;
    LoadStatus status;
    const char* productName;  // checked when not null
};

HeaderSpec With(void (*change)(HeaderSpec&)) {
    HeaderSpec h;
    change(h);
    return h;
}

class ReadSongHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ReadSongHeaderTest, GivesTheStatus) {
    const HeaderCase& c = GetParam();
    const std::string bytes = HeaderBytes(c.header);
    MemoryStream s(bytes.data(), bytes.size());
    SongFileInfo info;
    info.formatRevision = 99;  // the read clears what was there
    const bool ok = ReadSongHeader(s, info);
    EXPECT_EQ(info.status, c.status);
    EXPECT_EQ(ok, c.status == kLoadNewest || c.status == kLoadOlder);
    if (c.productName) {
        EXPECT_STREQ(info.productName, c.productName);
    }
    if (ok) {
        EXPECT_EQ(info.formatRevision, c.header.revision);
        EXPECT_EQ(info.productVersion, c.header.productVersion);
        EXPECT_EQ(info.secondHeaderWord, c.header.secondWord);
        EXPECT_EQ(s.Tell(), static_cast<int64_t>(bytes.size()));  // the body follows directly
    }
}

const std::string k28(28, 'x');

INSTANTIATE_TEST_SUITE_P(
    Headers, ReadSongHeaderTest,
    ::testing::Values(
        HeaderCase{"newest", {}, kLoadNewest, "Staveforge Engraver"},
        HeaderCase{"shortProduct", With([](HeaderSpec& h) { h.product = "[Staveforge]"; }),
                   kLoadNewest, "Staveforge"},
        HeaderCase{"revision8", With([](HeaderSpec& h) { h.revision = 8; }), kLoadOlder, nullptr},
        HeaderCase{"revision0", With([](HeaderSpec& h) { h.revision = 0; }), kLoadOlder, nullptr},
        HeaderCase{"negativeRevision", With([](HeaderSpec& h) { h.revision = -3; }), kLoadOlder,
                   nullptr},
        HeaderCase{"revision17", With([](HeaderSpec& h) { h.revision = 17; }), kLoadNewerRevision,
                   nullptr},
        HeaderCase{"revision32767", With([](HeaderSpec& h) { h.revision = 32767; }),
                   kLoadNewerRevision, nullptr},
        HeaderCase{"secondMagic", With([](HeaderSpec& h) { h.magic = "[Staveforge Software]"; }),
                   kLoadNewest, nullptr},
        HeaderCase{"secondMagicCapitals",
                   With([](HeaderSpec& h) { h.magic = "[STAVEFORGE SOFTWARE]"; }), kLoadNewest,
                   nullptr},
        HeaderCase{"secondMagicMixed",
                   With([](HeaderSpec& h) { h.magic = "[staveFORGE software]"; }), kLoadNewest,
                   nullptr},
        HeaderCase{"firstMagicSmall", With([](HeaderSpec& h) { h.magic = "[staveforge inkwork]"; }),
                   kLoadNotSong, nullptr},
        HeaderCase{"magicWithoutBracket",
                   With([](HeaderSpec& h) { h.magic = "[Staveforge Inkwork"; }), kLoadNotSong,
                   nullptr},
        HeaderCase{"emptyMagic", With([](HeaderSpec& h) { h.magic = ""; }), kLoadNotSong, nullptr},
        HeaderCase{"leadingWordOne", With([](HeaderSpec& h) { h.leadingWord = 1; }),
                   kLoadBadLeadingWord, nullptr},
        HeaderCase{"leadingWord32767", With([](HeaderSpec& h) { h.leadingWord = 32767; }),
                   kLoadBadLeadingWord, nullptr},
        HeaderCase{"leadingWordMinusOne", With([](HeaderSpec& h) { h.leadingWord = -1; }),
                   kLoadNewest, nullptr},
        HeaderCase{"productTwoChars", With([](HeaderSpec& h) { h.product = "[]"; }), kLoadNotSong,
                   nullptr},
        HeaderCase{"productThreeChars", With([](HeaderSpec& h) { h.product = "[x]"; }),
                   kLoadUnknownProduct, "x"},
        HeaderCase{"product30Chars", With([](HeaderSpec& h) { h.product = "[" + k28 + "]"; }),
                   kLoadUnknownProduct, k28.c_str()},
        HeaderCase{"product31Chars", With([](HeaderSpec& h) { h.product = "[" + k28 + "x]"; }),
                   kLoadNotSong, nullptr},
        HeaderCase{"productOverlong",
                   With([](HeaderSpec& h) { h.product = "[" + std::string(300, 'y') + "]"; }),
                   kLoadNotSong, nullptr},
        HeaderCase{"productNoOpening",
                   With([](HeaderSpec& h) { h.product = "Staveforge Engraver]"; }), kLoadNotSong,
                   nullptr},
        HeaderCase{"productNoClosing",
                   With([](HeaderSpec& h) { h.product = "[Staveforge Engraver"; }), kLoadNotSong,
                   nullptr},
        HeaderCase{"productLowerCase",
                   With([](HeaderSpec& h) { h.product = "[staveforge engraver]"; }),
                   kLoadUnknownProduct, "staveforge engraver"},
        HeaderCase{"productOther", With([](HeaderSpec& h) { h.product = "[Other Editor]"; }),
                   kLoadUnknownProduct, "Other Editor"},
        // The name check comes before the revision is even read.
        HeaderCase{"productOtherNewRevision", With([](HeaderSpec& h) {
                       h.product = "[Other]";
                       h.revision = 40;
                   }),
                   kLoadUnknownProduct, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadSongHeaderTest, CutShortHeaders) {
    const std::string full = HeaderBytes();
    // A cut inside the magic is an unreadable magic.
    for (size_t cut : {size_t{0}, size_t{5}, size_t{20}}) {
        MemoryStream s(full.data(), cut);
        SongFileInfo info;
        EXPECT_FALSE(ReadSongHeader(s, info)) << cut;
        EXPECT_EQ(info.status, kLoadNotSong) << cut;
    }
    // After the magic nothing tests the error flag: a missing product string reads empty.
    MemoryStream afterMagic(full.data(), 23);
    SongFileInfo info;
    EXPECT_FALSE(ReadSongHeader(afterMagic, info));
    EXPECT_EQ(info.status, kLoadNotSong);
    // Cut inside the unused fields: the name passed, the revision reads as 0.
    const size_t cutBeforeRevision = full.size() - 4;
    MemoryStream late(full.data(), cutBeforeRevision);
    EXPECT_TRUE(ReadSongHeader(late, info));
    EXPECT_EQ(info.status, kLoadOlder);
    EXPECT_TRUE(late.HasError());
}

// ---------------------------------------------------------------------------------------------
// Loading from a stream

std::unique_ptr<Song> LoadBytes(const std::string& bytes, SongFileInfo& info) {
    MemoryStream s(bytes.data(), bytes.size());
    return LoadSongFromStream(s, info);
}

TEST(LoadSongFromStreamTest, AtMostOneByteMakesANewSong) {
    for (const std::string& bytes : {std::string(), std::string("x"), std::string(1, '\0')}) {
        SongFileInfo info;
        auto song = LoadBytes(bytes, info);
        ASSERT_NE(song, nullptr);
        EXPECT_EQ(info.status, kLoadEmpty);
        EXPECT_STREQ(info.productName, "Staveforge Engraver");
        EXPECT_EQ(info.formatRevision, 16);
        EXPECT_EQ(info.productVersion, 331);
        EXPECT_EQ(info.secondHeaderWord, 2);
        EXPECT_EQ(song->staffCount(), 1);
        EXPECT_TRUE(song->staffSelection.test(0));
        EXPECT_STREQ(song->author, "Staveforge Engraver");
    }
}

TEST(LoadSongFromStreamTest, TwoBytesAreNotASong) {
    SongFileInfo info;
    EXPECT_EQ(LoadBytes("ab", info), nullptr);
    EXPECT_EQ(info.status, kLoadNotSong);
}

TEST(LoadSongFromStreamTest, NewestAndOlderRevisions) {
    testing::InfoSpec texts;
    texts.comments = "Some comments";
    for (int revision : {16, 15, 8, 7, 6, 5, 3, 0, -1}) {
        HeaderSpec h;
        h.revision = revision;
        SongFileInfo info;
        auto song = LoadBytes(SongBytes(h, texts), info);
        ASSERT_NE(song, nullptr) << revision;
        EXPECT_EQ(info.status, revision == 16 ? kLoadNewest : kLoadOlder) << revision;
        EXPECT_EQ(song->olderRevision(), revision != 16) << revision;
        EXPECT_STREQ(song->title, "A Title");
        EXPECT_STREQ(song->comments, "Some comments");
        // No staff in the file: the loader adds one.
        EXPECT_EQ(song->staffCount(), 1) << revision;
    }
}

TEST(LoadSongFromStreamTest, RefusedHeadersGiveNoSong) {
    HeaderSpec h;
    h.revision = 17;
    SongFileInfo info;
    EXPECT_EQ(LoadBytes(SongBytes(h), info), nullptr);
    EXPECT_EQ(info.status, kLoadNewerRevision);
}

TEST(LoadSongFromStreamTest, ShortBodyIsCorruptButReturned) {
    const std::string full = SongBytes();
    const size_t headerSize = HeaderBytes().size();
    for (size_t cut : {headerSize, headerSize + 3, full.size() - 3}) {
        SongFileInfo info;
        auto song = LoadBytes(full.substr(0, cut), info);
        ASSERT_NE(song, nullptr) << cut;
        EXPECT_EQ(info.status, kLoadCorrupt) << cut;
        EXPECT_EQ(song->staffCount(), 1) << cut;
    }
}

// ---------------------------------------------------------------------------------------------
// Loading from a file

class LoadSongFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* dir = getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/scqhdr_" + std::to_string(getpid()) +
                ".scq";
    }
    void TearDown() override { std::remove(path_.c_str()); }
    void Write(const std::string& bytes) {
        FILE* f = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::string path_;
};

TEST_F(LoadSongFileTest, PlainAndCompressedLoadAlike) {
    testing::InfoSpec texts;
    texts.title = "Zipped";
    texts.comments = std::string(3000, 'c');  // longer than the buffer: cut to 1023
    const std::string plain = SongBytes({}, texts);
    for (bool compress : {false, true}) {
        Write(compress ? testing::Compress(plain) : plain);
        SongFileInfo info;
        auto song = LoadSongFile(path_.c_str(), info);
        ASSERT_NE(song, nullptr) << compress;
        EXPECT_EQ(info.status, kLoadNewest) << compress;
        EXPECT_STREQ(song->title, "Zipped");
        EXPECT_EQ(std::string(song->comments), std::string(1023, 'c'));
        EXPECT_TRUE(song->compressed());
    }
}

TEST_F(LoadSongFileTest, MissingStaffCountInAPlainFile) {
    // A 16-bit read at the end of a plain file does not raise the flag: a missing staff count
    // reads as 0 and the load succeeds.
    const std::string full = SongBytes();
    Write(full.substr(0, full.size() - 2));
    SongFileInfo info;
    auto song = LoadSongFile(path_.c_str(), info);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(info.status, kLoadNewest);
    EXPECT_EQ(song->staffCount(), 1);
}

TEST_F(LoadSongFileTest, ContainerEdgeCases) {
    struct Case {
        std::string bytes;
        LoadStatus status;
        bool song;
    };
    const std::string plain = SongBytes();
    const std::string packed = testing::Compress(plain);
    const Case cases[] = {
        {std::string("[SCZ]\0", 6), kLoadNotSong, false},
        {std::string("[SCZ]", 5), kLoadNotSong, false},
        // The magic in small letters is no container: read as plain, it is no song either.
        {std::string("[scz]\0", 6) + packed.substr(6), kLoadNotSong, false},
        // Truncated inside the body: what was inflated is kept, the load is corrupt.
        {packed.substr(0, packed.size() - 30), kLoadCorrupt, true},
        {std::string(), kLoadEmpty, true},
        {std::string("\0", 1), kLoadEmpty, true},
        {std::string("\0\0", 2), kLoadNotSong, false},
    };
    for (const Case& c : cases) {
        Write(c.bytes);
        SongFileInfo info;
        auto song = LoadSongFile(path_.c_str(), info);
        EXPECT_EQ(info.status, c.status) << c.bytes.size();
        EXPECT_EQ(song != nullptr, c.song) << c.bytes.size();
    }
}

TEST_F(LoadSongFileTest, MissingFileAndDirectory) {
    SongFileInfo info;
    info.productVersion = 5;
    EXPECT_EQ(LoadSongFile((path_ + ".missing").c_str(), info), nullptr);
    EXPECT_EQ(info.status, kLoadNotSong);
    EXPECT_EQ(info.productVersion, 0);
    EXPECT_EQ(LoadSongFile("/", info), nullptr);
    EXPECT_EQ(info.status, kLoadNotSong);
}

}  // namespace
}  // namespace scq
