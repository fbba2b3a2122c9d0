// Songs at and past the limits of the format: the most staffs, the most items, the largest
// chord and lyrics block, and texts far longer than their fields. Each loads (or is refused)
// in bounded time with memory proportional to the file.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "HeapCounter.h"
#include "Hostile.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "items/TextAndPedal.h"
#include "song/Staff.h"
#include "support/RichSongs.h"

namespace scq::test {
namespace {

// A load may take this many bytes of memory per byte of the file, plus a fixed allowance: an
// item of a few bytes in the file becomes an object of some tens of bytes in memory.
constexpr size_t kBytesPerFileByte = 16;
constexpr size_t kFixedAllowance = 8 << 20;

struct LimitRun {
    Loaded loaded;
    size_t fileSize = 0;
    size_t heapGrowth = 0;
    double seconds = 0;
};

// Loads the bytes from a file, as the program does, audits the song and measures both play
// times; records the heap's peak growth and the time taken (the time only as a property: its
// bound is the benchmarks' to keep).
LimitRun LoadLimitSong(const Bytes& bytes) {
    LimitRun run;
    run.fileSize = bytes.size();
    TempFile file(bytes);
    EXPECT_TRUE(file.ok());
    Stopwatch clock;
    HeapPeakScope heap;
    run.loaded.song = LoadSongFile(file.path().c_str(), run.loaded.info);
    if (run.loaded.song) {
        EXPECT_EQ(CheckWellFormed(*run.loaded.song), "");
        AuditAndPlay(*run.loaded.song);
    }
    run.heapGrowth = heap.growth();
    run.seconds = clock.seconds();
    EXPECT_LT(run.heapGrowth, kBytesPerFileByte * run.fileSize + kFixedAllowance)
        << "file of " << run.fileSize << " bytes";
    testing::Test::RecordProperty("file_bytes", std::to_string(run.fileSize));
    testing::Test::RecordProperty("heap_growth_bytes", std::to_string(run.heapGrowth));
    testing::Test::RecordProperty("seconds", std::to_string(run.seconds));
    return run;
}

// The bytes of a song of `staffs` copies of one staff, without building every copy.
Bytes RepeatStaff(const StaffSpec& staff, int staffs) {
    SongSpec song;
    song.staffCount = staffs;
    Bytes bytes = BuildSong(song);
    const Bytes one = BuildStaff(staff, 16);
    bytes.reserve(bytes.size() + one.size() * static_cast<size_t>(staffs));
    for (int i = 0; i < staffs; ++i) bytes.insert(bytes.end(), one.begin(), one.end());
    return bytes;
}

TEST(Limits, MostStaffs) {
    LimitRun run = LoadLimitSong(RepeatStaff(MakeStaff("Staff", {Note(0)}), 32767));
    ASSERT_EQ(run.loaded.info.status, kLoadNewest);
    ASSERT_EQ(run.loaded.song->staffCount(), 32767);
    EXPECT_EQ(run.loaded.song->staffAt(32766)->itemCount(), 3);
}

TEST(Limits, MostItemsInOneStaff) {
    // The stored count 32767 is the most a 16-bit count holds: 32765 items and the bar lines.
    LimitRun run = LoadLimitSong(BuildSong(LargeSong(1, 32765)));
    ASSERT_EQ(run.loaded.info.status, kLoadNewest);
    // Items past 12000 are kept while loading.
    EXPECT_EQ(run.loaded.song->staffAt(0)->itemCount(), 32767);
}

TEST(Limits, FullStaffsOfTheLargestSelection) {
    const Bytes bytes = RepeatStaff(LargeSong(1, 11998).staffs[0], 255);
    LimitRun run = LoadLimitSong(bytes);
    ASSERT_EQ(run.loaded.info.status, kLoadNewest);
    ASSERT_EQ(run.loaded.song->staffCount(), 255);
    for (int i = 0; i < 255; ++i) ASSERT_EQ(run.loaded.song->staffAt(i)->itemCount(), 12000);
}

TEST(Limits, LargestChord) {
    std::vector<Item> members;
    for (int i = 0; i < 32767; ++i) {
        members.push_back(Note(i % 40 - 20, dur::Quarter, attr::ChordMem));
    }
    SongSpec song;
    song.staffs = {MakeStaff("Chords", {Chord(std::move(members)), Note(0)})};
    LimitRun run = LoadLimitSong(BuildSong(song));
    ASSERT_EQ(run.loaded.info.status, kLoadNewest);
    const Staff& staff = *run.loaded.song->staffAt(0);
    ASSERT_EQ(staff.itemCount(), 4);
    EXPECT_EQ(staff.itemAt(1)->memberCount(), 32767);
    EXPECT_EQ(staff.itemAt(2)->typeCode(), kNoteItem);
}

TEST(Limits, LongestLyricsBlock) {
    LyricsSpec lyrics;
    for (int i = 0; i < 32767; ++i) lyrics.lines.push_back(LyricLine("la"));
    StaffSpec staff = MakeStaff("Voice", {Note(0), Note(1)});
    staff.lyrics = lyrics;
    SongSpec song;
    song.staffs = {staff};
    LimitRun run = LoadLimitSong(BuildSong(song));
    ASSERT_EQ(run.loaded.info.status, kLoadNewest);
    const Staff& loaded = *run.loaded.song->staffAt(0);
    ASSERT_TRUE(loaded.lyrics);
    EXPECT_EQ(loaded.lyrics->lines.size(), 9u);
    // The dropped lines were read, so the items that follow are in place.
    EXPECT_EQ(loaded.itemCount(), 4);
}

// Every text field of the file holds 100000 bytes: each keeps what its field holds and the
// file stays aligned.
TEST(Limits, LongTextsInEveryField) {
    const std::string big(100000, 'x');
    SongSpec song;
    song.header.unusedText1 = big;
    song.header.unusedText2 = big;
    song.info.title = song.info.author = song.info.copyright1 = song.info.copyright2 = big;
    song.info.comments = song.info.optionString = song.info.discardedString = big;
    song.info.marginsText = big;
    for (FontSpec& font : song.info.fonts) font.name = big;
    StaffSpec staff = MakeStaff(big, {Text(big), Tempo(100, tbase::Quarter, big), Note(0)});
    staff.groupName = big;
    song.staffs = {staff, MakeStaff("Second", {Note(1)})};
    LimitRun run = LoadLimitSong(BuildSong(song));
    ASSERT_EQ(run.loaded.info.status, kLoadNewest);
    const Song& loaded = *run.loaded.song;
    EXPECT_EQ(std::strlen(loaded.title), sizeof loaded.title - 1);
    EXPECT_EQ(std::strlen(loaded.author), sizeof loaded.author - 1);
    EXPECT_EQ(std::strlen(loaded.copyright1), sizeof loaded.copyright1 - 1);
    EXPECT_EQ(std::strlen(loaded.copyright2), sizeof loaded.copyright2 - 1);
    EXPECT_EQ(std::strlen(loaded.comments), sizeof loaded.comments - 1);
    ASSERT_EQ(loaded.staffCount(), 2);
    const Staff& first = *loaded.staffAt(0);
    EXPECT_EQ(std::strlen(first.staffName), sizeof first.staffName - 1);
    EXPECT_EQ(std::strlen(first.groupName), sizeof first.groupName - 1);
    ASSERT_EQ(first.itemCount(), 5);
    EXPECT_EQ(static_cast<TextItem*>(first.itemAt(1))->text.size(), TextItem::kMaxTextLength);
    EXPECT_EQ(static_cast<TempoItem*>(first.itemAt(2))->tempoText.size(), 79u);
    EXPECT_EQ(std::strcmp(loaded.staffAt(1)->staffName, "Second"), 0);
    EXPECT_EQ(loaded.staffAt(1)->itemCount(), 3);
}

TEST(Limits, LongProductStringIsNotASong) {
    SongSpec song;
    song.header.productString = "[" + std::string(100000, 'x') + "]";
    LimitRun run = LoadLimitSong(BuildSong(song));
    EXPECT_EQ(run.loaded.info.status, kLoadNotSong);
    EXPECT_FALSE(run.loaded.song);
}

// Counts that claim far more than the file holds cost only what the file holds.
TEST(Limits, ClaimedCountsCostWhatTheFileHolds) {
    StaffSpec staff = MakeStaff("Liar", {Note(0)});
    staff.storedItemCount = 32767;
    LyricsSpec lyrics;
    lyrics.lineCount = 32767;
    lyrics.lines = {LyricLine("a")};
    lyrics.lines[0].declaredSize = 32767;
    staff.lyrics = lyrics;
    SongSpec song;
    song.staffs = {staff};
    song.staffCount = 32767;
    LimitRun run = LoadLimitSong(BuildSong(song));
    EXPECT_EQ(run.loaded.info.status, kLoadCorrupt);
    // A lyric line's block is sized by its word, at most 32 KB; nothing else grows.
    EXPECT_LT(run.heapGrowth, size_t{1} << 20);
}

}  // namespace
}  // namespace scq::test
