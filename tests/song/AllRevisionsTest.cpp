#include <gtest/gtest.h>

#include "items/NotationItem.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "stream/MemoryStream.h"
#include "support/RichSongs.h"
#include "support/SongBuilder.h"

namespace scq {
namespace {

using test::Item;

// A song holding every one of the nineteen item kinds, written in the layout of each format
// revision, loads completely: every item record is read, none is lost or misaligned.
TEST(AllRevisionsTest, EveryKindLoadsAtEveryRevision) {
    const std::vector<Item> items = test::EveryKindItems();
    bool kinds[kItemTypeCount] = {};
    for (const Item& item : items) kinds[item.typeCode()] = true;
    for (bool seen : kinds) ASSERT_TRUE(seen) << "the song must hold every kind";

    // A negative revision passes the header check and reads as the oldest layout.
    for (int revision = -1; revision <= kNewestRevision; ++revision) {
        for (bool compressed : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "revision " << revision << (compressed ? " compressed" : " plain"));
            test::SongSpec songSpec;
            songSpec.revision = revision;
            songSpec.staffs = {test::MakeStaff("All", items),
                               test::MakeStaff("Next", {test::Note(0)})};
            test::Bytes bytes = test::BuildSong(songSpec);
            if (compressed) bytes = test::Compress(bytes);
            test::TempFile file(bytes);
            ASSERT_TRUE(file.ok());

            SongFileInfo info;
            std::unique_ptr<Song> song = LoadSongFile(file.path().c_str(), info);
            ASSERT_TRUE(song);
            EXPECT_EQ(info.status, revision == kNewestRevision ? kLoadNewest : kLoadOlder);
            ASSERT_EQ(song->staffCount(), 2);
            const Staff& all = *song->staffAt(0);
            ASSERT_EQ(all.itemCount(), static_cast<int>(items.size()) + 2);
            for (size_t i = 0; i < items.size(); ++i) {
                EXPECT_EQ(all.itemAt(static_cast<int>(i) + 1)->typeCode(), items[i].typeCode())
                    << "item " << i;
            }
            // The staff after it still reads from the right place.
            EXPECT_EQ(song->staffAt(1)->itemCount(), 3);
            EXPECT_STREQ(song->staffAt(1)->staffName, "Next");
        }
    }
}

}  // namespace
}  // namespace scq
