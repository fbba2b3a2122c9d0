// The crafted-song generator: every family loads at small scales in both forms, and the songs
// hold the shapes that make them costly (the full-size runs are test_crafted's).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "song/Song.h"
#include "song/SongFile.h"
#include "song/Staff.h"
#include "support/CraftedSongs.h"

namespace scq::test {
namespace {

struct Loaded {
    SongFileInfo info;
    std::unique_ptr<Song> song;
};

Loaded Load(const Bytes& bytes) {
    Loaded result;
    result.song = LoadSongFromMemory(bytes.data(), bytes.size(), result.info);
    return result;
}

const crafted::Family& Family(std::string_view name) {
    const crafted::Family* family = crafted::FindFamily(name);
    EXPECT_NE(family, nullptr) << name;
    return family ? *family : crafted::Families().front();
}

class CraftedFamily : public testing::TestWithParam<crafted::Family> {};

TEST_P(CraftedFamily, LoadsAtItsSmallestScalesInBothForms) {
    const crafted::Family& family = GetParam();
    ASSERT_GE(family.maxScale, family.fullPlainScale);
    ASSERT_GE(family.maxScale, family.fullCompressedScale);
    size_t previous = 0;
    for (int scale : {1, 2, 3}) {
        const Bytes plain = crafted::Build(family, scale, false, 3);
        const Bytes compressed = crafted::Build(family, scale, true, 3);
        EXPECT_GT(plain.size(), previous) << "scale " << scale;
        previous = plain.size();
        EXPECT_EQ(Decompress(compressed), plain) << "scale " << scale;
        for (const Bytes* bytes : {&plain, &compressed}) {
            Loaded loaded = Load(*bytes);
            ASSERT_TRUE(loaded.song) << "scale " << scale << ", status " << loaded.info.status;
            EXPECT_TRUE(loaded.info.status == kLoadNewest || loaded.info.status == kLoadOlder)
                << "scale " << scale << ", status " << loaded.info.status;
            for (int s = 0; s < loaded.song->staffCount(); ++s) {
                const Staff& staff = *loaded.song->staffAt(s);
                ASSERT_GE(staff.itemCount(), 2);
                EXPECT_EQ(staff.itemAt(0)->typeCode(), kBarLineItem);
                EXPECT_EQ(staff.lastItem()->typeCode(), kBarLineItem);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, CraftedFamily, testing::ValuesIn(crafted::Families()),
                         [](const testing::TestParamInfo<crafted::Family>& info) {
                             std::string name(info.param.name);
                             for (char& c : name) {
                                 if (c == '-') c = '_';
                             }
                             return name;
                         });

TEST(CraftedSongs, ReplayedSweepsHoldTheirShape) {
    const Loaded loaded = Load(crafted::Build(Family("replayed-sweeps"), 2, false, 7));
    ASSERT_TRUE(loaded.song);
    ASSERT_EQ(loaded.song->staffCount(), 1);
    Staff& staff = *loaded.song->staffAt(0);
    ASSERT_EQ(staff.itemCount(), 8);
    ASSERT_EQ(staff.itemAt(1)->typeCode(), kEndingItem);
    EXPECT_EQ(static_cast<EndingItem*>(staff.itemAt(1))->endings, 0xFFu);
    for (int block = 0; block < 2; ++block) {
        const int at = 2 + 2 * block;
        ASSERT_EQ(staff.itemAt(at)->typeCode(), kControllerItem);
        const auto& sweep = *static_cast<ControllerItem*>(staff.itemAt(at));
        EXPECT_EQ(sweep.controller, 1);
        EXPECT_EQ(sweep.sweepStyle, kSweepLinear);
        EXPECT_EQ(sweep.timeUnit, 0);
        EXPECT_EQ(sweep.sweepStep, 1);
        // Each block starts eight whole notes before the one before it.
        EXPECT_EQ(sweep.points[0].offset, 32767 - 8 * block);
        EXPECT_EQ(sweep.points[0].value, -32767);
        EXPECT_EQ(sweep.points[1].offset, 32767);
        EXPECT_EQ(sweep.points[1].value, 32767);
        EXPECT_EQ(sweep.points[2].active, 0);
        ASSERT_EQ(staff.itemAt(at + 1)->typeCode(), kBarLineItem);
        const auto& close = *static_cast<BarLineItem*>(staff.itemAt(at + 1));
        EXPECT_EQ(close.barStyle, unsigned{kBarLocalRepeatClose});
        EXPECT_EQ(close.repeatCount, 7);
    }
    ASSERT_EQ(staff.itemAt(6)->typeCode(), kBarLineItem);
    EXPECT_EQ(static_cast<BarLineItem*>(staff.itemAt(6))->barStyle,
              unsigned{kBarMasterRepeatClose});
}

// Their loops take no time: every item with a duration keeps a length of 0 after loading
// (grace notes, which older revisions cannot mark, and grace chords), or there is none.
TEST(CraftedSongs, LoopsOfNoTimeHoldNothingThatTakesTime) {
    for (const char* name :
         {"frozen-chords", "grace-loop", "tail-ahead", "point-loop", "flow-maze"}) {
        const Loaded loaded = Load(crafted::Build(Family(name), 40, false));
        ASSERT_TRUE(loaded.song) << name;
        int durations = 0;
        for (int s = 0; s < loaded.song->staffCount(); ++s) {
            const Staff& staff = *loaded.song->staffAt(s);
            for (int i = 0; i < staff.itemCount(); ++i) {
                const NotationItem& item = *staff.itemAt(i);
                if (!item.hasDuration()) continue;
                ++durations;
                EXPECT_EQ(item.durationTicks(), 0) << name << ", item " << i;
            }
        }
        const std::string_view n = name;
        EXPECT_EQ(durations > 0, n != "point-loop" && n != "flow-maze") << name;
    }
}

// One staff plays 8 x 255 passes of half notes and rests past the 2^30-tick bound; the others
// hold only their two bar lines.
TEST(CraftedSongs, IdleStaffsPlayPastTheTickBound) {
    const Loaded loaded = Load(crafted::Build(Family("idle-staffs"), 5, false));
    ASSERT_TRUE(loaded.song);
    ASSERT_EQ(loaded.song->staffCount(), 6);
    const Staff& player = *loaded.song->staffAt(0);
    int64_t ticks = 0;
    int closes = 0;
    for (int i = 0; i < player.itemCount(); ++i) {
        const NotationItem& item = *player.itemAt(i);
        ticks += item.durationTicks();
        if (item.typeCode() == kBarLineItem) {
            const auto& bar = static_cast<const BarLineItem&>(item);
            if (bar.barStyle == kBarLocalRepeatClose) {
                ++closes;
                EXPECT_EQ(bar.repeatCount, 255);
            }
        }
    }
    EXPECT_EQ(closes, 1);
    EXPECT_GE(ticks * 255 * 8, int64_t{1} << 30);
    EXPECT_LT((ticks - 384) * 255 * 8, int64_t{1} << 30) << "no more rests than it needs";
    for (int s = 1; s < 6; ++s) EXPECT_EQ(loaded.song->staffAt(s)->itemCount(), 2);
}

// Past one staff record's room, a family goes on in further staffs.
TEST(CraftedSongs, MemoryBombFillsStaffsToTheirRoom) {
    const Loaded loaded = Load(crafted::Build(Family("memory-bomb"), 32765 + 10, false));
    ASSERT_TRUE(loaded.song);
    ASSERT_EQ(loaded.song->staffCount(), 2);
    EXPECT_EQ(loaded.song->staffAt(0)->itemCount(), 32765 + 2);
    EXPECT_EQ(loaded.song->staffAt(1)->itemCount(), 10 + 2);
    EXPECT_EQ(loaded.song->staffAt(1)->itemAt(1)->typeCode(), kTextItem);
}

TEST(CraftedSongs, FitScaleFindsTheLargestScaleThatFits) {
    const crafted::Family& family = Family("replayed-sweeps");
    const size_t forty = crafted::Build(family, 40, false).size();
    EXPECT_EQ(crafted::FitScale(family, forty, false), 40);
    EXPECT_EQ(crafted::FitScale(family, forty - 1, false), 39);
    EXPECT_EQ(crafted::FitScale(family, crafted::Build(family, 1, false).size() - 1, false), 0);
    const int compressed = crafted::FitScale(family, 2000, true);
    ASSERT_GT(compressed, 0);
    EXPECT_LE(crafted::Build(family, compressed, true).size(), 2000u);
    EXPECT_GT(crafted::Build(family, compressed + 1, true).size(), 2000u);
}

}  // namespace
}  // namespace scq::test
