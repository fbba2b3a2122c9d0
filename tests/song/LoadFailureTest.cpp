// Why and where a load failed: the reason and offset of the first failure, for a cut inside
// each kind of record, refused headers and damaged compressed data. (Files that cannot be read
// are tested through scqdump's outcomes.)

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "song/Song.h"
#include "song/SongFile.h"
#include "stream/FileStream.h"
#include "support/SongBuilder.h"

namespace scq::test {
namespace {

struct Failure {
    int status;
    std::string reason;
    int64_t offset;
};

Failure LoadFile(const Bytes& bytes) {
    TempFile file(bytes);
    SongFileInfo info;
    LoadSongFile(file.path().c_str(), info);
    return {info.status, info.error.reason, info.error.offset};
}

size_t Find(const Bytes& bytes, std::string_view text, size_t from = 0) {
    auto at = std::search(bytes.begin() + static_cast<long>(from), bytes.end(), text.begin(),
                          text.end());
    return static_cast<size_t>(at - bytes.begin());
}

// Three staffs: lyrics on the first, an unknown item kind to come in a variant of it.
SongSpec ThreeStaffs() {
    SongSpec song;
    song.info.title = "Cuts";
    StaffSpec one = MakeStaff("One", {Note(0), Note(1)});
    one.lyrics = Lyrics({"la-la-la-la"});
    song.staffs = {one, MakeStaff("Two", {Note(0), Note(2), Note(4)}), MakeStaff("Three", {Note(0)})};
    return song;
}

TEST(LoadFailure, CutInsideEachKindOfRecord) {
    const SongSpec song = ThreeStaffs();
    const Bytes bytes = BuildSong(song);
    const size_t header = BuildHeader(song.header, 16).size();
    const size_t staffTwo = Find(bytes, "Two");
    const size_t itemsOfTwo = staffTwo + BuildStaff(MakeStaff("Two"), 16).size();
    const size_t itemTwoOfTwo = itemsOfTwo + BuildItem(16, Note(0)).size();
    struct Case {
        size_t cut;
        int status;
        std::string reason;
    };
    const Case cases[] = {
        {30, kLoadNotSong, "file ended inside the header"},
        {header + 3, kLoadCorrupt, "file ended inside the song information"},
        {Find(bytes, "One") + 2, kLoadCorrupt, "file ended inside the staff record of staff 1"},
        {Find(bytes, "la-la") + 3, kLoadCorrupt, "file ended inside the lyrics of staff 1"},
        {staffTwo + 2, kLoadCorrupt, "file ended inside the staff record of staff 2"},
        {itemTwoOfTwo + 5, kLoadCorrupt, "file ended inside item 2 of staff 2"},
        {Find(bytes, "Three") + 1, kLoadCorrupt, "file ended inside the staff record of staff 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        ASSERT_LT(c.cut, bytes.size());
        const Failure f = LoadFile(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(c.cut)));
        EXPECT_EQ(f.status, c.status);
        EXPECT_EQ(f.reason, c.reason);
        EXPECT_EQ(f.offset, static_cast<int64_t>(c.cut));
    }
    const Failure whole = LoadFile(bytes);
    EXPECT_EQ(whole.reason + std::to_string(whole.offset), "-1");
}

TEST(LoadFailure, RefusedContent) {
    SongSpec unknownItem = ThreeStaffs();
    unknownItem.staffs[1].items = {Note(0), RawWords({25, 0, 0}), Note(1)};
    const Bytes withUnknown = BuildSong(unknownItem);
    const size_t codeAt = Find(withUnknown, "Two") + BuildStaff(MakeStaff("Two"), 16).size() +
                          BuildItem(16, Note(0)).size();

    SongSpec badWord;
    badWord.header.leadingWord = 1;
    SongSpec product;
    product.header.productString = "[Other Editor]";
    SongSpec newer;
    newer.header.formatRevision = 17;
    const Bytes notSong = {'H', 'e', 'l', 'l', 'o', 0, 1, 2, 3};

    struct Case {
        Bytes bytes;
        int status;
        std::string reason;
        int64_t offset;
    };
    const Case cases[] = {
        {withUnknown, kLoadCorrupt, "unknown item type code 25 in staff 2, item 2",
         static_cast<int64_t>(codeAt)},
        {BuildSong(badWord), kLoadBadLeadingWord,
         "header: the word after the magic text is not 0", 22},
        {BuildSong(product), kLoadUnknownProduct, "header: product name is not accepted", 24},
        {BuildSong(newer), kLoadNewerRevision,
         "format revision 17 is newer than this program reads (16)",
         static_cast<int64_t>(BuildHeader(newer.header, 16).size()) - 2},
        {notSong, kLoadNotSong, "not a song file (no song header)", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        const Failure f = LoadFile(c.bytes);
        EXPECT_EQ(f.status, c.status);
        EXPECT_EQ(f.reason, c.reason);
        EXPECT_EQ(f.offset, c.offset);
        // From memory, the same failure.
        SongFileInfo info;
        LoadSongFromMemory(c.bytes.data(), c.bytes.size(), info);
        EXPECT_EQ(info.error.reason, c.reason);
        EXPECT_EQ(info.error.offset, c.offset);
    }
}

TEST(LoadFailure, CompressedDataCutShortOrCorrupt) {
    SongSpec song = ThreeStaffs();
    const Bytes plain = BuildSong(song);
    const Bytes container = Compress(plain);
    // Cut inside the zlib stream: every byte zlib could deliver is read, then it fails.
    const Bytes cut(container.begin(), container.begin() + static_cast<long>(container.size() / 2));
    const Failure shortened = LoadFile(cut);
    EXPECT_EQ(shortened.status, kLoadCorrupt);
    EXPECT_EQ(shortened.reason, "compressed data is cut short");
    EXPECT_GT(shortened.offset, 0);
    EXPECT_LT(shortened.offset, static_cast<int64_t>(plain.size()));

    Bytes corrupt = container;
    for (size_t i = 10; i < 20; ++i) corrupt[i] ^= 0xFF;  // the zlib header and first block
    const Failure damaged = LoadFile(corrupt);
    EXPECT_EQ(damaged.reason, "compressed data is corrupt");
    EXPECT_GE(damaged.offset, 0);
    EXPECT_LT(damaged.offset, static_cast<int64_t>(plain.size()));

    SongFileInfo info;
    auto fromMemory = LoadSongFromMemory(container.data(), container.size(), info);
    ASSERT_NE(fromMemory, nullptr);
    EXPECT_TRUE(fromMemory->compressed());
}

// A truncated file asks the system for its end once, not once for every byte read past it.
TEST(LoadFailure, TheEndOfAFileIsRemembered) {
    SongSpec song = ThreeStaffs();
    song.staffs[0].items.assign(2000, Note(0));
    const Bytes bytes = BuildSong(song);
    TempFile file(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 3)));
    FileStream stream(file.path().c_str(), FileStream::kRead);
    SongFileInfo info;
    LoadSongFromStream(stream, info);
    EXPECT_EQ(info.status, kLoadCorrupt);
    EXPECT_LE(stream.readCalls(), 3u);
}

}  // namespace
}  // namespace scq::test
