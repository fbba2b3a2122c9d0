#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "items/BarsAndFlow.h"
#include "items/ItemFactory.h"
#include "song/Song.h"
#include "song/SongReader.h"
#include "song/Staff.h"
#include "stream/MemoryStream.h"

namespace scq {
namespace {

std::unique_ptr<Staff> NamedStaff(const char* name, const char* group = "Standard") {
    auto staff = std::make_unique<Staff>();
    std::snprintf(staff->staffName, sizeof staff->staffName, "%s", name);
    std::snprintf(staff->groupName, sizeof staff->groupName, "%s", group);
    return staff;
}

std::string Bits(const StaffSelection& set, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += set.test(i) ? '1' : '0';
    return s;
}

const BarLineItem* BarAt(const Staff& staff, int index) {
    return dynamic_cast<const BarLineItem*>(staff.itemAt(index));
}

// An item that records the order in which items are destroyed.
class ProbeItem : public NotationItem {
public:
    ProbeItem(int id, std::vector<int>* log) : id_(id), log_(log) {}
    ~ProbeItem() override { log_->push_back(id_); }
    int typeCode() const override { return kEndingItem; }

private:
    int id_;
    std::vector<int>* log_;
};

TEST(SongModel, NewSongDefaults) {
    Song song;
    EXPECT_EQ(song.staffCount(), 0);
    EXPECT_EQ(song.lastStaffIndex(), -1);
    EXPECT_EQ(song.staffAt(0), nullptr);
    EXPECT_EQ(Bits(song.staffSelection, 255), "1" + std::string(254, '0'));
    EXPECT_EQ(song.songFlags, 0xD4);
    EXPECT_STREQ(song.author, "Staveforge Engraver");
    EXPECT_STREQ(song.copyright2, "All Rights Reserved");
    EXPECT_STREQ(song.title, "");
    EXPECT_STREQ(song.comments, "");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char expected[92];
    std::snprintf(expected, sizeof expected, "Copyright %04d Staveforge Software",
                  local.tm_year + 1900);
    EXPECT_STREQ(song.copyright1, expected);
    EXPECT_EQ(song.barNumberStyle, 0);
    EXPECT_EQ(song.firstBarNumber, 1);
    EXPECT_EQ(song.pageOptionWord1, 8);
    for (float m : song.pageMargins) EXPECT_EQ(m, 0.5f);
    ASSERT_NE(song.fonts, nullptr);
    const int sizes[12] = {10, 8, 7, 24, 12, 8, 8, 8, 8, 8, 8, 8};
    const int styles[12] = {3, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(song.fonts->baseSize, 16);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(song.fonts->entries[i].size, sizes[i]) << i;
        EXPECT_EQ(song.fonts->entries[i].style, styles[i]) << i;
        EXPECT_STREQ(song.fonts->entries[i].name, "Times New Roman");
    }
}

TEST(SongModel, ScaleNearestRoundsHalvesAwayFromZero) {
    struct {
        int64_t a, b, c;
        int32_t r;
    } cases[] = {{10, 8, 5, 16}, {12, 8, 5, 19}, {13, 8, 5, 21}, {-13, 8, 5, -21},
                 {5, 16, 8, 10}, {9, 16, 20, 7}, {1, 1, 2, 1},   {-1, 1, 2, -1},
                 {1, -3, 2, -2}, {7, 0, 3, 0},   {1, 1, 0, 0}};
    for (const auto& c : cases) EXPECT_EQ(ScaleNearest(c.a, c.b, c.c), c.r) << c.a << "," << c.b;
}

TEST(SongModel, NewStaffDefaults) {
    Staff staff;
    ASSERT_EQ(staff.itemCount(), 2);
    ASSERT_NE(BarAt(staff, 0), nullptr);
    ASSERT_NE(BarAt(staff, 1), nullptr);
    EXPECT_EQ(BarAt(staff, 0)->barStyle, 0u);
    EXPECT_EQ(BarAt(staff, 1)->barStyle, 3u);
    EXPECT_EQ(BarAt(staff, 0)->repeatCount, 1u);
    EXPECT_EQ(BarAt(staff, 1)->repeatCount, 1u);
    EXPECT_EQ(staff.lastItem(), staff.itemAt(1));
    EXPECT_EQ(staff.itemAt(2), nullptr);
    EXPECT_EQ(staff.itemAt(-1), nullptr);
    EXPECT_STREQ(staff.staffName, "Staff");
    EXPECT_STREQ(staff.groupName, "Standard");
    EXPECT_EQ(staff.volume, 127);
    EXPECT_EQ(staff.stereoPan, 64);
    EXPECT_EQ(staff.upperBoundary, -12);
    EXPECT_EQ(staff.lowerBoundary, 12);
    EXPECT_EQ(staff.lineCount, 5);
    EXPECT_EQ(staff.lyrics, nullptr);
    EXPECT_EQ(staff.needsAudit, 0);
}

TEST(SongModel, SetEndingBarRestylesClosingBar) {
    Staff staff;
    staff.setEndingBar(4);
    EXPECT_EQ(BarAt(staff, 1)->barStyle, 0u);
    EXPECT_EQ(BarAt(staff, 1)->visibility, 3u);
    staff.setEndingBar(0);
    EXPECT_EQ(BarAt(staff, 1)->barStyle, 3u);
    EXPECT_EQ(BarAt(staff, 1)->visibility, 0u);
    staff.setEndingBar(1);
    EXPECT_EQ(BarAt(staff, 1)->barStyle, 7u);
    EXPECT_EQ(staff.endingBar, 1);
    EXPECT_EQ(BarAt(staff, 0)->barStyle, 0u);  // the opening bar line is never touched

    Staff empty{Staff::Unfilled{}};
    empty.setEndingBar(3);  // no list yet: only the value
    EXPECT_EQ(empty.endingBar, 3);
    EXPECT_EQ(empty.itemCount(), 0);
}

TEST(SongModel, RemoveItemRefusesBarLines) {
    Staff staff;
    staff.insertItem(std::make_unique<EndingItem>(1), 1);
    staff.insertItem(std::make_unique<EndingItem>(2), 2);
    ASSERT_EQ(staff.itemCount(), 4);
    for (int index : {-1, 0, 3, 4}) EXPECT_EQ(staff.removeItem(index), nullptr) << index;
    EXPECT_EQ(staff.itemCount(), 4);
    auto taken = staff.removeItem(2);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(dynamic_cast<EndingItem*>(taken.get())->endings, 2u);
    EXPECT_EQ(staff.itemCount(), 3);
    EXPECT_EQ(staff.lastItem()->typeCode(), kBarLineItem);
}

TEST(SongModel, DeleteItemsKeepsBothBarLines) {
    struct {
        int first, last;
        std::vector<uint32_t> left;  // endings of what stays between the bar lines
    } cases[] = {{1, 5, {}},     {1, 100, {}},      {0, 3, {1, 2, 3, 4}}, {3, 2, {1, 2, 3, 4}},
                 {2, 3, {1, 4}}, {4, 4, {1, 2, 3}}, {5, 5, {1, 2, 3, 4}}, {-2, 2, {1, 2, 3, 4}}};
    for (const auto& c : cases) {
        Staff staff;
        for (uint32_t e = 1; e <= 4; ++e) {
            staff.insertItemAt(std::make_unique<EndingItem>(e), static_cast<int>(e));
        }
        staff.deleteItems(c.first, c.last);
        ASSERT_EQ(staff.itemCount(), static_cast<int>(c.left.size()) + 2) << c.first;
        EXPECT_NE(BarAt(staff, 0), nullptr);
        EXPECT_NE(BarAt(staff, staff.lastItemIndex()), nullptr);
        for (size_t i = 0; i < c.left.size(); ++i) {
            auto* e = dynamic_cast<EndingItem*>(staff.itemAt(static_cast<int>(i) + 1));
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->endings, c.left[i]) << c.first << "," << c.last;
        }
    }
}

// Whatever is done to a staff's list, the type codes kept beside it are its items' own.
TEST(SongModel, StaffKeepsEveryItemsTypeCode) {
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round) {
        Staff staff;
        for (int op = 0; op < 200; ++op) {
            const int code = static_cast<int>(rng() % kItemTypeCount);
            const int at = static_cast<int>(rng() % static_cast<unsigned>(staff.itemCount() + 1));
            switch (rng() % 6) {
                case 0: staff.appendItem(ItemFactory::create(code)); break;
                case 1: staff.insertItemAt(ItemFactory::create(code), at); break;
                case 2: staff.insertItem(ItemFactory::create(code), at); break;
                case 3: staff.removeItem(at); break;
                case 4: staff.deleteItems(at, at + static_cast<int>(rng() % 3)); break;
                default:
                    if (rng() % 20 == 0) staff.clearItems();
                    break;
            }
            for (int i = -1; i <= staff.itemCount(); ++i) {
                const NotationItem* item = staff.itemAt(i);
                ASSERT_EQ(staff.codeAt(i), item ? item->typeCode() : -1)
                    << "round " << round << ", operation " << op << ", index " << i;
            }
        }
    }
}

TEST(SongModel, ItemsAreDestroyedLastFirst) {
    std::vector<int> log;
    {
        Staff staff{Staff::Unfilled{}};
        for (int i = 0; i < 4; ++i) staff.appendItem(std::make_unique<ProbeItem>(i, &log));
        staff.deleteItems(1, 2);
        EXPECT_EQ(log, (std::vector<int>{2, 1}));
        log.clear();
    }
    EXPECT_EQ(log, (std::vector<int>{3, 0}));
}

TEST(SongModel, FullAtElevenThousandNineHundred) {
    Staff staff;
    while (staff.itemCount() < 11899)
        staff.insertItemAt(std::make_unique<EndingItem>(), staff.lastItemIndex());
    EXPECT_FALSE(staff.isFull());
    EXPECT_EQ(staff.roomLeft(), 101);
    staff.insertItemAt(std::make_unique<EndingItem>(), staff.lastItemIndex());
    EXPECT_TRUE(staff.isFull());
    EXPECT_EQ(staff.roomLeft(), 100);
    EXPECT_EQ(staff.lastItem()->typeCode(), kBarLineItem);
}

TEST(SongModel, UniqueStaffNames) {
    Song song;
    song.addStaff(NamedStaff("Staff"));
    song.addStaff(NamedStaff("Staff"));
    EXPECT_EQ(song.makeStaffNameUnique(*song.staffAt(1)), 1);
    EXPECT_STREQ(song.staffAt(1)->staffName, "Staff-2");
    EXPECT_EQ(song.makeStaffNameUnique(*song.staffAt(0)), 0);
    EXPECT_STREQ(song.staffAt(0)->staffName, "Staff");
    Staff outsider;  // not in the song: renamed until no staff has its name
    EXPECT_EQ(song.makeStaffNameUnique(outsider), -1);
    EXPECT_STREQ(outsider.staffName, "Staff-3");

    // Further clashes count up through -10 and -100.
    Song many;
    for (int i = 0; i < 101; ++i) {
        many.addStaff(NamedStaff("Violin"));
        many.makeStaffNameUnique(*many.staffAt(i));
    }
    EXPECT_STREQ(many.staffAt(0)->staffName, "Violin");
    EXPECT_STREQ(many.staffAt(1)->staffName, "Violin-2");
    EXPECT_STREQ(many.staffAt(8)->staffName, "Violin-9");
    EXPECT_STREQ(many.staffAt(9)->staffName, "Violin-10");
    EXPECT_STREQ(many.staffAt(10)->staffName, "Violin-11");
    EXPECT_STREQ(many.staffAt(98)->staffName, "Violin-99");
    EXPECT_STREQ(many.staffAt(99)->staffName, "Violin-100");
    EXPECT_STREQ(many.staffAt(100)->staffName, "Violin-101");

    // A long name is cut to make room for the suffix; an empty one counts as "Staff".
    Song longNames;
    const char* longName = "ABCDEFGHIJKLMNOPQRSTUVWX";  // 24 characters
    longNames.addStaff(NamedStaff(longName));
    longNames.addStaff(NamedStaff(longName));
    longNames.makeStaffNameUnique(*longNames.staffAt(1));
    EXPECT_STREQ(longNames.staffAt(1)->staffName, "ABCDEFGHIJKLMNOPQRSTUV-2");
    longNames.addStaff(NamedStaff(""));
    longNames.addStaff(NamedStaff("Staff"));
    EXPECT_EQ(longNames.makeStaffNameUnique(*longNames.staffAt(2)), 2);
    EXPECT_STREQ(longNames.staffAt(2)->staffName, "Staff-2");
}

TEST(SongModel, NewStaffNameAndSearches) {
    Song song;
    song.addStaff(NamedStaff("Staff-1"));
    song.addStaff(NamedStaff("Staff-3"));
    song.addStaff(NamedStaff("Staff-1"));
    char name[32];
    EXPECT_EQ(song.newStaffName(name, sizeof name), -1);
    EXPECT_STREQ(name, "Staff-2");
    EXPECT_EQ(song.findStaffByName("Staff-1"), 0);
    EXPECT_EQ(song.findLastStaffByName("Staff-1"), 2);
    EXPECT_EQ(song.findStaffByName("staff-1"), -1);
    EXPECT_EQ(song.indexOfStaff(song.staffAt(1)), 1);
    Staff stranger;
    EXPECT_EQ(song.indexOfStaff(&stranger), -1);
}

TEST(SongModel, NextFreeChannel) {
    struct {
        std::vector<std::pair<int, int>> staffs;  // device, channel
        int device, expected;
    } cases[] = {
        {{{0, 15}}, 0, 0},         {{{0, 0}, {0, 1}, {0, 15}}, 0, 2},
        {{{1, 0}, {0, 15}}, 0, 0},                     // another device's channel is free here
        {{{0, 3}}, 0, 4},          {{{0, 40}}, 0, 9},  // candidates stay in 0..15
    };
    for (const auto& c : cases) {
        Song song;
        for (auto [device, channel] : c.staffs) {
            auto staff = std::make_unique<Staff>();
            staff->device = device;
            staff->channel = channel;
            song.addStaff(std::move(staff));
        }
        EXPECT_EQ(song.nextFreeChannel(c.device), c.expected);
    }
    Song full;  // every channel taken: the last staff's own channel
    for (int ch : {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3}) {
        auto staff = std::make_unique<Staff>();
        staff->channel = ch;
        full.addStaff(std::move(staff));
    }
    EXPECT_EQ(full.nextFreeChannel(0), 3);
    EXPECT_EQ(full.countStaffsOnChannel(0, 3), 1);
    EXPECT_EQ(full.lastStaffDevice(), 0);
}

TEST(SongModel, StaffSelectionMovesWithStaffs) {
    Song song;
    for (int i = 0; i < 3; ++i) song.addStaff(std::make_unique<Staff>());
    song.staffSelection.set(1, false);
    ASSERT_EQ(Bits(song.staffSelection, 4), "1010");
    Staff* inserted = new Staff;  // owned by the song right away
    song.insertStaff(std::unique_ptr<Staff>(inserted), 1);
    EXPECT_EQ(song.staffCount(), 4);
    EXPECT_EQ(song.staffAt(1), inserted);
    EXPECT_EQ(Bits(song.staffSelection, 5), "11010");

    auto removed = song.removeStaff(1);
    EXPECT_EQ(removed.get(), inserted);
    EXPECT_EQ(Bits(song.staffSelection, 5), "10100");
    EXPECT_EQ(song.removeStaff(3), nullptr);
    EXPECT_EQ(song.removeStaff(-1), nullptr);
    EXPECT_EQ(song.staffCount(), 3);

    song.insertStaff(std::move(removed), 99);  // past the end: appended like addStaff
    EXPECT_EQ(song.staffAt(3), inserted);
    EXPECT_EQ(Bits(song.staffSelection, 5), "10110");

    // Bit 254 drops out on insertion and keeps its value on removal.
    song.staffSelection.set(254);
    song.insertStaff(std::make_unique<Staff>(), 0);
    EXPECT_FALSE(song.staffSelection.test(254));
    song.staffSelection.set(254);
    song.removeStaff(0);
    EXPECT_TRUE(song.staffSelection.test(254));
    EXPECT_TRUE(song.staffSelection.test(253));
}

TEST(SongModel, GroupsMutesAndFlags) {
    Song song;
    song.addStaff(NamedStaff("a", "Strings"));
    song.addStaff(NamedStaff("b", "Winds"));
    song.addStaff(NamedStaff("c", "Strings"));
    StaffSelection set;
    set.set(200);
    EXPECT_EQ(song.selectGroup("Strings", set), 3);
    EXPECT_EQ(Bits(set, 4), "1010");
    EXPECT_FALSE(set.test(200));

    std::vector<std::string> groups{"stale"};
    song.collectGroupNames(groups);
    EXPECT_EQ(groups, (std::vector<std::string>{"Strings", "Winds"}));

    song.staffAt(1)->muted = 5;
    StaffSelection muted;
    song.mutedToSet(muted);
    EXPECT_EQ(Bits(muted, 4), "0100");
    muted.set(1, false);
    muted.set(2);
    song.setToMuted(muted);
    EXPECT_EQ(song.staffAt(1)->muted, 0);
    EXPECT_EQ(song.staffAt(2)->muted, 1);

    song.setOlderRevision(3);  // bit 0 of the argument
    EXPECT_TRUE(song.olderRevision());
    song.setOlderRevision(2);
    EXPECT_FALSE(song.olderRevision());
    song.setModified(1);
    EXPECT_TRUE(song.modified());
    song.setModified(0);
    EXPECT_FALSE(song.modified());
    EXPECT_EQ(song.songFlags, 0xD4);
}

TEST(SongModel, ItemRunRoundTrip) {
    Staff source;
    for (uint32_t e = 1; e <= 3; ++e) {
        source.insertItemAt(std::make_unique<EndingItem>(e), static_cast<int>(e));
    }
    MemoryStream m;
    WriteItemRun(m, source, 1, 3);

    struct {
        int insertAt;
        bool ok;
        int last;
        int count;
    } cases[] = {{1, true, 3, 5}, {2, true, 4, 5}, {0, false, -1, 2}, {3, false, 2, 2}};
    for (const auto& c : cases) {
        Staff target;
        target.insertItemAt(std::make_unique<EndingItem>(9), 1);
        m.Seek(0);
        int last = -100;
        EXPECT_EQ(ReadItemRun(target, c.insertAt, m, &last), c.ok) << c.insertAt;
        EXPECT_EQ(last, c.last) << c.insertAt;
        EXPECT_EQ(target.itemCount(), c.count + 1) << c.insertAt;
    }

    // A run that does not fit, or of a newer revision, reads nothing.
    Staff crowded;
    while (crowded.roomLeft() > 3)
        crowded.insertItemAt(std::make_unique<EndingItem>(), crowded.lastItemIndex());
    m.Seek(0);
    int last = 0;
    EXPECT_FALSE(ReadItemRun(crowded, 1, m, &last));
    EXPECT_EQ(last, 0);
    EXPECT_EQ(m.Tell(), 4);
    MemoryStream newer;
    newer.WriteInt16(17);
    newer.WriteInt16(0);
    newer.Seek(0);
    Staff staff;
    EXPECT_FALSE(ReadItemRun(staff, 1, newer, &last));

    // A run broken by an unknown type code keeps what came in before it.
    MemoryStream broken;
    broken.WriteInt16(16);
    broken.WriteInt16(3);
    broken.WriteInt16(kEndingItem);
    broken.WriteByte(0);
    broken.WriteInt16(7);
    broken.WriteInt16(99);
    broken.Seek(0);
    EXPECT_FALSE(ReadItemRun(staff, 1, broken, &last));
    EXPECT_EQ(last, 1);
    EXPECT_EQ(staff.itemCount(), 3);
}

}  // namespace
}  // namespace scq
