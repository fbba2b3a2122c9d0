// Memory as a resource a file can exhaust: every allocation of a load may fail and the load
// then fails cleanly; a load's item limit stops a file that holds too many items; an empty text
// costs one small block; and scqinfo, run out of memory, reports a failed load.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HeapCounter.h"
#include "Hostile.h"
#include "items/DurationItems.h"
#include "items/ItemArena.h"
#include "items/TextAndPedal.h"
#include "song/Staff.h"
#include "support/RichSongs.h"

namespace scq::test {
namespace {

struct Attempt {
    LoadStatus status = kLoadNotSong;
    LoadStop stop = kStopNone;
    bool song = false;
    bool refused = false;
    size_t granted = 0;
};

// Loads a file while operator new grants `allocations` allocations and `bytes` bytes; the song
// is destroyed before the heap is checked.
Attempt LoadWithHeap(const std::string& path, size_t allocations, size_t bytes) {
    Attempt a;
    SongFileInfo info;
    std::unique_ptr<Song> song;
    {
        FailingHeapScope heap(allocations, bytes);
        song = LoadSongFile(path.c_str(), info);
        a.refused = heap.refused();
        a.granted = heap.granted();
    }
    a.status = info.status;
    a.stop = info.stop;
    a.song = song != nullptr;
    return a;
}

// Items of a song, chord members and attached chords included.
size_t CountItems(const Song& song) {
    size_t n = 0;
    for (int s = 0; s < song.staffCount(); ++s) {
        const Staff& staff = *song.staffAt(s);
        for (int i = 0; i < staff.itemCount(); ++i) {
            NotationItem* item = staff.itemAt(i);
            ++n;
            if (item->typeCode() == kChordItem) n += static_cast<size_t>(item->memberCount());
            if (item->typeCode() == kRestChordItem) {
                const auto* rest = static_cast<const RestChordItem*>(item);
                if (rest->attachedChord) n += 1 + static_cast<size_t>(rest->memberCount());
            }
        }
    }
    return n;
}

// Every allocation a load makes is made to fail in turn, in plain and compressed files, old and
// new layouts: the load fails as out of memory, leaks nothing, and never ends the program.
TEST(LoadOutOfMemory, EveryAllocationOfALoadCanFail) {
    SongSpec compressed = RichSong(16);
    compressed.compressed = true;
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"revision 16", BuildSong(RichSong(16))},
        {"compressed", BuildSong(compressed)},
        {"revision 8", BuildSong(RichSong(8))},
        {"empty file", Bytes{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFile file(c.bytes);
        ASSERT_TRUE(file.ok());
        const Attempt full =
            LoadWithHeap(file.path(), FailingHeapScope::kUnlimited, FailingHeapScope::kUnlimited);
        ASSERT_TRUE(full.song);
        ASSERT_FALSE(full.refused);
        const size_t before = HeapInUse();
        // Every allocation for songs of a few hundred, a spread of them beyond.
        const size_t step = full.granted / 400 + 1;
        for (size_t n = 0; n <= full.granted; n += step) {
            const Attempt a = LoadWithHeap(file.path(), n, FailingHeapScope::kUnlimited);
            if (n < full.granted) {
                ASSERT_TRUE(a.refused) << n;
                EXPECT_FALSE(a.song) << n;
                EXPECT_EQ(a.status, kLoadOutOfMemory) << n;
                EXPECT_EQ(a.stop, kStopOutOfMemory) << n;
            }
            ASSERT_EQ(HeapInUse(), before) << "after failing allocation " << n;
        }
        // Byte budgets fail requests of every size, the large stream buffers among them.
        for (size_t bytes : {0, 100, 5000, 20000, 100000}) {
            const Attempt a = LoadWithHeap(file.path(), FailingHeapScope::kUnlimited, bytes);
            EXPECT_EQ(a.song, !a.refused) << bytes;
            if (a.refused) {
                EXPECT_EQ(a.status, kLoadOutOfMemory) << bytes;
            }
            ASSERT_EQ(HeapInUse(), before) << bytes << " bytes";
        }
        // Nothing of a failed load stays behind to disturb the next one.
        const Attempt again =
            LoadWithHeap(file.path(), FailingHeapScope::kUnlimited, FailingHeapScope::kUnlimited);
        EXPECT_TRUE(again.song);
        EXPECT_EQ(again.status, full.status);
        EXPECT_EQ(again.granted, full.granted);
    }
}

// The item limit counts every item read (chord members and attached chords too), stops the load
// as damaged at the first item past it and keeps everything read before.
TEST(ItemLimit, StopsTheLoadAtTheFirstItemPastTheLimit) {
    // Staff A reads 10 items: a note (1), a chord of three (4), a rest chord whose chord has two
    // members (4), a text (1). Staff B reads 2 notes.
    SongSpec song;
    song.staffs = {
        MakeStaff("A", {Note(0), Chord(dur::Quarter, {0, 2, 4}),
                        RestChord(dur::Quarter, Chord(dur::Quarter, {1, 3})), Text("x")}),
        MakeStaff("B", {Note(1), Note(2)})};
    TempFile file(BuildSong(song));
    ASSERT_TRUE(file.ok());
    struct Case {
        uint64_t limit;
        LoadStatus status;
        int staffs;
        int itemsA;  // the staff's list, bar lines included
        int itemsB;
    };
    const Case cases[] = {
        {0, kLoadNewest, 2, 6, 4},   {12, kLoadNewest, 2, 6, 4},  {1000, kLoadNewest, 2, 6, 4},
        {11, kLoadCorrupt, 2, 6, 3}, {10, kLoadCorrupt, 2, 6, 2}, {9, kLoadCorrupt, 1, 5, 0},
        {5, kLoadCorrupt, 1, 4, 0},  {3, kLoadCorrupt, 1, 3, 0},  {1, kLoadCorrupt, 1, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        LoadOptions options;
        options.maxItems = c.limit;
        SongFileInfo info;
        std::unique_ptr<Song> loaded = LoadSongFile(file.path().c_str(), info, nullptr, options);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(info.status, c.status);
        EXPECT_EQ(info.stop, c.status == kLoadCorrupt ? kStopTooManyItems : kStopNone);
        EXPECT_EQ(CheckWellFormed(*loaded), "");
        ASSERT_EQ(loaded->staffCount(), c.staffs);
        EXPECT_EQ(loaded->staffAt(0)->itemCount(), c.itemsA);
        if (c.staffs > 1) {
            EXPECT_EQ(loaded->staffAt(1)->itemCount(), c.itemsB);
        }
        // Four bar lines per two staffs are made by the reader, not read.
        if (c.limit != 0) {
            EXPECT_LE(CountItems(*loaded), c.limit + 2 * static_cast<uint64_t>(c.staffs));
        }
    }
    // A load without options, as scqinfo makes it, has no limit.
    SongFileInfo info;
    std::unique_ptr<Song> all = LoadSongFile(file.path().c_str(), info);
    EXPECT_EQ(info.status, kLoadNewest);
    EXPECT_EQ(info.stop, kStopNone);
    EXPECT_EQ(CountItems(*all), 16u);
}

// A hostile file's cheapest item, the empty text, takes its own bytes in the staff's item arena
// and its place in the staff's list: no text block, since every such text shares the
// placeholder.
TEST(ItemMemory, AnEmptyTextTakesOneSmallBlock) {
    constexpr int kTexts = 16382;  // with the bar lines, a list of exactly 16384
    TempFile file(BuildMemoryBomb(1, kTexts));
    ASSERT_TRUE(file.ok());
    SongFileInfo info;
    const size_t before = HeapInUse();
    std::unique_ptr<Song> song = LoadSongFile(file.path().c_str(), info);
    ASSERT_TRUE(song);
    // The blocks a staff shares with other staffs are not heap blocks; they count as well.
    const size_t sharedBytes = song->staffAt(0)->itemArena().sharedBytesHeld();
    EXPECT_GT(sharedBytes, 0u);
    const size_t perText = (HeapInUse() - before + sharedBytes) / kTexts;
    EXPECT_EQ(info.status, kLoadOlder);
    ASSERT_EQ(song->staffAt(0)->itemCount(), kTexts + 2);
    const auto* text = static_cast<const TextItem*>(song->staffAt(0)->itemAt(1));
    EXPECT_EQ(text->text, TextItem::kPlaceholder);
    EXPECT_TRUE(text->text.isShared());
    EXPECT_EQ(text->visibility, kVisNever);
    // A 24-byte item in the staff's item arena, whose last block may be up to half unused, and
    // an 8-byte list slot; a text block of its own would add at least 16 bytes.
    EXPECT_LE(perText, 40u);
    testing::Test::RecordProperty("heap_bytes_per_empty_text", std::to_string(perText));
}

// A chord's member list holds exactly its members: no room for what its count claimed, and
// no block at all when no member is a note.
TEST(ItemMemory, AChordKeepsNoRoomBeyondItsMembers) {
    std::vector<Item> twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back(Note(i - 6, dur::Quarter, attr::ChordMem));
    // Eight members claimed and read, two of them notes: the room for eight is given back.
    std::vector<Item> twoOfEight(6, Item(Rest()));
    twoOfEight.push_back(Note(0, dur::Quarter, attr::ChordMem));
    twoOfEight.push_back(Note(2, dur::Quarter, attr::ChordMem));
    SongSpec song;
    song.staffs = {
        MakeStaff("Chords", {Chord(dur::Quarter, {-2, 0, 2}), Chord(std::move(twelve)),
                             Chord(std::move(twoOfEight)), Chord({Rest(), Text("x"), Rest()})})};
    TempFile file(BuildSong(song));
    ASSERT_TRUE(file.ok());
    SongFileInfo info;
    std::unique_ptr<Song> loaded = LoadSongFile(file.path().c_str(), info);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(info.status, kLoadNewest);
    const Staff& chords = *loaded->staffAt(0);
    ASSERT_EQ(chords.itemCount(), 6);
    const int expected[] = {3, 12, 2, 0};
    for (int i = 0; i < 4; ++i) {
        const auto& members = static_cast<const ChordItem*>(chords.itemAt(i + 1))->members;
        EXPECT_EQ(members.size(), static_cast<size_t>(expected[i])) << i;
        EXPECT_EQ(members.capacity(), members.size()) << i;
    }
}

// scqinfo, given a file that needs more memory than it may take, reports a failed load in both
// modes instead of dying.
TEST(LoadOutOfMemory, ScqinfoReportsAFailedLoad) {
    if (BuiltWithAddressSanitizer()) GTEST_SKIP() << "no address space limit under the sanitizer";
    TempFile bomb(BuildMemoryBomb());
    TempFile small(BuildSong(SmallSong(1)));
    ASSERT_TRUE(bomb.ok() && small.ok());
    RunSettings settings;
    // 8.4 million items need well over 300 MB.
    settings.addressSpaceLimit = uint64_t{128} << 20;

    TempFile noInput;
    const ProgramRun single = RunProgram(SCQINFO_PATH, {bomb.path()}, noInput.path(), settings);
    EXPECT_EQ(single.signal, 0);
    EXPECT_EQ(single.exitCode, 1);
    EXPECT_EQ(single.out,
              "Error: The file \"" + bomb.path() + "\" could not be loaded: out of memory.\n");

    const std::string list = bomb.path() + "\n" + small.path() + "\n";
    TempFile input(Bytes(list.begin(), list.end()));
    const ProgramRun listed = RunProgram(SCQINFO_PATH, {"/list"}, input.path(), settings);
    EXPECT_EQ(listed.signal, 0);
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.err, bomb.path() + ": File could not be loaded\n");
    EXPECT_EQ(listed.out,
              "SCQ Filename\tTitle\tAuthor\n" + small.path() + "\tSmall Song 1\tAuthor 1\n");
}

}  // namespace
}  // namespace scq::test
