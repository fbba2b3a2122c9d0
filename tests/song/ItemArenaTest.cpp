// Items that the loader makes live in their staff's item arena. These check the one way such an
// item can leave its staff: it must come out as a heap copy that survives the song, holding
// the same record (the sanitizer build catches any use of the arena's freed blocks), and the
// blocks that arenas share.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "items/DurationItems.h"
#include "items/ItemArena.h"
#include "items/ItemFactory.h"
#include "items/TextAndPedal.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "stream/MemoryStream.h"
#include "support/SongBuilder.h"

namespace scq::test {
namespace {

Bytes RecordOf(const NotationItem& item) {
    MemoryStream memory(256);
    ItemFactory::writeItem(memory, item);
    const int64_t size = memory.Tell();
    memory.Seek(0);
    Bytes bytes(static_cast<size_t>(size));
    memory.ReadBlock(bytes.data(), bytes.size());
    return bytes;
}

TEST(ItemArena, RemovedItemsOutliveTheirSong) {
    SongSpec piano;
    piano.staffs = {MakeStaff("Piano", {Note(-2, dur::Eighth), Chord(dur::Half, {0, 2, 4}),
                                       Text("dolce", 2), RestChord(dur::Quarter,
                                                                   Chord(dur::Quarter, {1, 3}))})};
    const Bytes bytes = BuildSong(piano);
    for (int index = 1; index <= 4; ++index) {
        SongFileInfo info;
        std::unique_ptr<Song> song = LoadSongFromMemory(bytes.data(), bytes.size(), info);
        ASSERT_TRUE(song);
        Staff& staff = *song->staffAt(0);
        ASSERT_EQ(staff.itemCount(), 6);
        const NotationItem* held = staff.itemAt(index);
        EXPECT_TRUE(held->arenaHeld());
        const Bytes record = RecordOf(*held);
        const int members = const_cast<NotationItem*>(held)->memberCount();

        std::unique_ptr<NotationItem> taken = staff.removeItem(index);
        song.reset();
        ASSERT_TRUE(taken) << index;
        EXPECT_FALSE(taken->arenaHeld());
        EXPECT_EQ(RecordOf(*taken), record) << index;
        EXPECT_EQ(taken->memberCount(), members) << index;
    }
}

// Large staffs take their blocks from regions shared by every arena. Arenas that grow side by
// side share regions without overlapping (each text keeps what was written into it), and a
// region goes back as soon as the last arena holding one of its blocks is cleared.
TEST(ItemArena, SharedRegionsGoBackWithTheirLastBlock) {
    const size_t before = ItemArena::sharedRegions();
    // Enough texts for each arena to take shared blocks from more than one region.
    const size_t texts = 3 * ItemArena::kRegionBytes / sizeof(TextItem);
    ItemArena arenas[3];
    std::vector<std::unique_ptr<TextItem>> items[3];
    for (size_t i = 0; i < texts; ++i) {
        for (int a = 0; a < 3; ++a) {
            items[a].push_back(arenas[a].make<TextItem>());
            items[a].back()->textFont = static_cast<uint8_t>(a * 50 + i % 50);
        }
    }
    for (int a = 0; a < 3; ++a) {
        EXPECT_GT(arenas[a].sharedBytesHeld(), ItemArena::kRegionBytes);
        for (size_t i = 0; i < texts; ++i) {
            ASSERT_EQ(items[a][i]->textFont, a * 50 + i % 50) << a << " " << i;
        }
    }
    const size_t held = ItemArena::sharedRegions() - before;
    EXPECT_GE(held, 9u);
    for (int a = 0; a < 3; ++a) {
        items[a].clear();
        arenas[a].clear();
        EXPECT_EQ(arenas[a].sharedBytesHeld(), 0u);
        if (a < 2) {
            EXPECT_GT(ItemArena::sharedRegions(), before) << a;
        }
    }
    EXPECT_EQ(ItemArena::sharedRegions(), before);
}

}  // namespace
}  // namespace scq::test
