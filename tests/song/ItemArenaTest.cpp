// Items that the loader makes live in their staff's item arena. These check the one way such an
// item can leave its staff: it must come out as a heap copy that survives the song, holding
// the same record (the sanitizer build catches any use of the arena's freed blocks).

#include <gtest/gtest.h>

#include <memory>

#include "items/DurationItems.h"
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

}  // namespace
}  // namespace scq::test
