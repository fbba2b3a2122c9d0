// A load audits large staffs on a second thread while it reads the next staff. The song must
// come out exactly as when every staff is read and audited twice in turn on one thread.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "export/JsonWriter.h"
#include "export/SongDocument.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "song/SongReader.h"
#include "song/Staff.h"
#include "staff/Audit.h"
#include "stream/MemoryStream.h"
#include "support/RichSongs.h"

namespace scq::test {
namespace {

std::string StaffDocument(const Staff& staff) {
    std::string text;
    {
        json::BlockWriter block(&text);
        json::Writer w(block, false);
        json::WriteStaff(w, staff);
    }
    return text;
}

// A staff of random group marks, ties, slurs, ramps and bar lines: content on which the
// audit has much to settle.
StaffSpec RandomStaff(unsigned seed, int items) {
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const int marks[] = {0, attr::TieOut, attr::SlurOut, attr::Grace, attr::Dotted};
    std::vector<Item> list;
    while (static_cast<int>(list.size()) < items) {
        switch (pick(8)) {
            case 0:
                list.push_back(Bar());
                break;
            case 1:
                list.push_back(Rest(pick(5)).beam(pick(4)).triplet(pick(4)));
                break;
            case 2:
                list.push_back(Tempo(40 + pick(100)));
                break;
            case 3:
                list.push_back(TempoVariation(pick(4)));
                break;
            case 4:
                list.push_back(Dynamic(pick(8)));
                break;
            case 5:
                list.push_back(DynamicVariation(pick(4)));
                break;
            default:
                list.push_back(Note(pick(9) - 4, 2 + pick(4), marks[pick(5)])
                                   .beam(pick(4))
                                   .triplet(pick(4))
                                   .stem(pick(3)));
                break;
        }
    }
    return MakeStaff("Random", list);
}

TEST(LoadAudit, StaffsAuditedAsideEqualThoseAuditedInTurn) {
    // Large staffs around a small one (audited where it is read), plain and compressed.
    for (const bool compressed : {false, true}) {
        SongSpec song = LargeSong(1, 6000);
        song.staffs.push_back(RichSong().staffs[0]);
        song.staffs.push_back(RandomStaff(7, 5000));
        song.staffs.push_back(RandomStaff(8, 7000));
        song.compressed = compressed;
        const Bytes bytes = BuildSong(song);
        SongFileInfo info;
        std::unique_ptr<Song> loaded = LoadSongFromMemory(bytes.data(), bytes.size(), info);
        ASSERT_TRUE(loaded);
        ASSERT_EQ(loaded->staffCount(), 4);

        // The same staffs, each read and audited twice on this thread. The reference reads a
        // plain copy: the compressed file holds the same song.
        SongSpec plain = song;
        plain.compressed = false;
        const Bytes plainBytes = BuildSong(plain);
        MemoryStream s(plainBytes.data(), plainBytes.size());
        SongFileInfo header;
        ASSERT_TRUE(ReadSongHeader(s, header));
        Song expected;
        ReadSongInformation(expected, header.formatRevision, s);
        ASSERT_EQ(s.ReadInt16(), 4);
        for (int i = 0; i < 4; ++i) {
            Staff staff(Staff::Unfilled{});
            ReadStaff(staff, header.formatRevision, s, nullptr);
            auditStaff(staff, -1, -1);
            // Compared whole, without printing documents of thousands of items.
            EXPECT_TRUE(StaffDocument(*loaded->staffAt(i)) == StaffDocument(staff))
                << "staff " << i << (compressed ? " compressed" : "");
        }
    }
}

}  // namespace
}  // namespace scq::test
