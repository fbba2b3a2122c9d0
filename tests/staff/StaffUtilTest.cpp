#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "StaffBuild.h"
#include "staff/ItemRange.h"
#include "staff/StaffCursor.h"
#include "staff/StaffUtil.h"

namespace scq {
namespace {

using test::bit;
using test::kEighth;
using test::kQuarter;
using test::kWhole;
using test::StaffBuild;

// Two bars: | q q | q r |, indexes 0 bar, 1 q, 2 q, 3 bar, 4 q, 5 r, 6 closing bar.
StaffBuild twoBars() {
    StaffBuild b;
    b.note(0);
    b.note(1);
    b.bar();
    b.note(2);
    b.rest(kEighth);
    return b;
}

// ---- Numeric helpers ----

TEST(StaffUtil, DefaultVelocityCoversEveryLevelAndNothingElse) {
    const int expected[] = {10, 30, 45, 60, 75, 92, 108, 127};
    for (int level = 0; level < 8; ++level) EXPECT_EQ(defaultVelocity(level), expected[level]);
    for (int level : {-1, 8, 15, INT_MIN, INT_MAX}) EXPECT_EQ(defaultVelocity(level), 0) << level;
}

TEST(StaffUtil, UnitAndBeatTicks) {
    struct Case {
        int n, code;
        int32_t ticks;
    };
    for (const Case& c : {Case{1, 0, 768}, Case{3, 2, 576}, Case{2, 6, 24}, Case{5, 7, 0},
                          Case{5, -1, 0}, Case{99, 0, 76032}}) {
        EXPECT_EQ(unitTicks(c.n, c.code), c.ticks) << c.n << "/" << c.code;
    }
    const int32_t beats[] = {768, 384, 192, 96, 48, 24, 12, 6};
    for (int code = 0; code < 8; ++code) EXPECT_EQ(beatTicks(code), beats[code]) << code;
    EXPECT_EQ(beatTicks(-1), 0);
    EXPECT_EQ(beatTicks(40), 0);  // no shift by the width of an int
}

TEST(StaffUtil, NoteNames) {
    struct Case {
        int n;
        const char* name;
    };
    for (const Case& c : {Case{0, "C 0"}, Case{60, "C 5"}, Case{61, "C#5"}, Case{69, "A 5"},
                          Case{70, "A#5"}, Case{71, "B 5"}, Case{66, "F#5"}, Case{127, "G 10"}}) {
        EXPECT_EQ(noteName(c.n), c.name) << c.n;
    }
    const std::string& list = noteNameList();
    // 128 names, each ended by a zero byte, then one more zero.
    size_t at = 0;
    for (int n = 0; n < 128; ++n) {
        const std::string name(list.c_str() + at);
        EXPECT_EQ(name, noteName(n));
        at += name.size() + 1;
    }
    ASSERT_EQ(at + 1, list.size());
    EXPECT_EQ(list[at], '\0');
}

TEST(StaffUtil, PreconditionMessage) {
    ClefItem clef(0);
    try {
        makeContinuation(clef);
        FAIL() << "no exception";
    } catch (const precondition& e) {
        EXPECT_STREQ(e.what(), "Precondition failed VIROZA\\STAFFUTL 290: Bad Notation");
    }
}

TEST(StaffUtil, ContinuationOfNotesRestsAndChords) {
    NoteItem note(-3, kEighth, bit(DurationItem::kTieOut) | bit(DurationItem::kStaccato), 1);
    note.stemDirection = 2;
    auto piece = makeContinuation(note);
    ASSERT_EQ(piece->typeCode(), kNoteItem);
    auto& n = static_cast<NoteItem&>(*piece);
    EXPECT_EQ(n.staffPosition, -3);
    EXPECT_EQ(n.accidental, 1u);
    EXPECT_EQ(n.baseDuration, static_cast<unsigned>(kQuarter));
    EXPECT_EQ(n.stemDirection, 2u);
    EXPECT_EQ(n.attributes, bit(DurationItem::kTieOut));  // only the tie it inherited

    NoteItem untied(2, kWhole, 0, 5);
    auto plain = makeContinuation(untied);
    EXPECT_EQ(static_cast<NoteItem&>(*plain).attributes, 0);
    EXPECT_TRUE(untied.hasAttribute(DurationItem::kTieOut));

    RestItem rest(kEighth, 0);
    rest.stemDirection = 1;
    auto restPiece = makeContinuation(rest);
    ASSERT_EQ(restPiece->typeCode(), kRestItem);
    EXPECT_EQ(static_cast<RestItem&>(*restPiece).baseDuration, static_cast<unsigned>(kWhole));
    EXPECT_EQ(static_cast<RestItem&>(*restPiece).stemDirection, 1u);

    StaffBuild b;
    ChordItem& chord = b.chord({2, 0, -2});
    auto chordPiece = makeContinuation(chord);
    ASSERT_EQ(chordPiece->typeCode(), kChordItem);
    EXPECT_EQ(chordPiece->memberCount(), 3);
    EXPECT_TRUE(carriesTieOut(&chord));
    for (int i = 0; i < chord.memberCount(); ++i)
        EXPECT_TRUE(chord.member(i)->hasAttribute(DurationItem::kTieOut));

    ChordItem& single = b.chord({4});
    EXPECT_EQ(makeContinuation(single)->typeCode(), kNoteItem);
}

TEST(StaffUtil, CarriesTieOut) {
    StaffBuild b;
    NoteItem& tied = b.note(0, kQuarter, bit(DurationItem::kTieOut));
    NoteItem& free = b.note(0);
    ChordItem& chord = b.chord({0, 2});
    RestItem& rest = b.rest(kQuarter, bit(DurationItem::kTieOut));
    EXPECT_TRUE(carriesTieOut(&tied));
    EXPECT_FALSE(carriesTieOut(&free));
    EXPECT_FALSE(carriesTieOut(&chord));
    chord.member(1)->setAttribute(DurationItem::kTieOut);
    EXPECT_TRUE(carriesTieOut(&chord));
    EXPECT_FALSE(carriesTieOut(&rest));
    EXPECT_FALSE(carriesTieOut(nullptr));
}

// ---- Staff-level operations ----

TEST(StaffUtil, DestroyItemKeepsBothBarLines) {
    StaffBuild b = twoBars();
    Staff& s = b.staff();
    EXPECT_EQ(destroyItem(s, 0), 0);
    EXPECT_EQ(destroyItem(s, s.lastItemIndex()), 0);
    EXPECT_EQ(destroyItem(s, -4), 0);
    EXPECT_EQ(destroyItem(s, 99), 0);
    EXPECT_EQ(s.itemCount(), 7);
    EXPECT_EQ(destroyItem(s, 1), 1);
    EXPECT_EQ(s.itemCount(), 6);
    EXPECT_EQ(static_cast<NoteItem*>(s.itemAt(1))->staffPosition, 1);
}

TEST(StaffUtil, ExtentsAreClampedByTheLineCount) {
    struct Case {
        int lines, upper, lower, wantUpper, wantLower;
    };
    for (const Case& c : {Case{5, -3, 3, -5, 5}, Case{5, -150, 150, -100, 100},
                          Case{5, -20, 30, -20, 30}, Case{0, 4, -4, 0, 0}}) {
        Staff s;
        setLineCount(s, c.lines);
        setExtents(s, c.upper, c.lower);
        EXPECT_EQ(s.upperBoundary, c.wantUpper);
        EXPECT_EQ(s.lowerBoundary, c.wantLower);
    }
    Staff s;
    setExtents(s, -6, 6);
    setLineCount(s, 9);  // the room is re-clamped
    EXPECT_EQ(s.lineCount, 9);
    EXPECT_EQ(s.upperBoundary, -9);
    EXPECT_EQ(s.lowerBoundary, 9);
    setLineCount(s, 33);
    EXPECT_EQ(s.lineCount, 5);
}

TEST(StaffUtil, Searches) {
    StaffBuild b = twoBars();
    b.time(3, 2);
    b.note(3);
    const Staff& s = b.staff();  // 0 bar, 1 q, 2 q, 3 bar, 4 q, 5 r8, 6 3/4, 7 q, 8 bar
    EXPECT_EQ(findNextOfType(s, 0, kBarLineItem), 3);
    EXPECT_EQ(findNextOfType(s, 3, kBarLineItem), 8);
    EXPECT_EQ(findNextOfType(s, 8, kBarLineItem), -1);
    EXPECT_EQ(findPreviousOfType(s, 3, kBarLineItem), 0);
    EXPECT_EQ(findPreviousOfType(s, 0, kBarLineItem), -1);
    EXPECT_EQ(findNextDuration(s, 5), 7);
    EXPECT_EQ(findPreviousDuration(s, 4), 2);
    EXPECT_EQ(findPreviousDuration(s, 1), -1);
    EXPECT_EQ(findBarLine(s, 0), 0);
    EXPECT_EQ(findBarLine(s, 1), 3);
    EXPECT_EQ(findBarLine(s, 2), 8);
    EXPECT_EQ(findBarLine(s, 3), -1);
    EXPECT_EQ(ticksBetween(s, 1, 6), 192 * 3 + 96);
    EXPECT_EQ(ticksBetween(s, -5, 100), 192 * 4 + 96);
    EXPECT_EQ(indexAtTime(s, 0), 0);
    EXPECT_EQ(indexAtTime(s, 192), 2);
    EXPECT_EQ(indexAtTime(s, 200), 3);
    EXPECT_EQ(indexAtTime(s, 100000), 8);
    // Indexes far outside the list.
    EXPECT_EQ(findNextOfType(s, INT_MAX, kBarLineItem), -1);
    EXPECT_EQ(findNextOfType(s, INT_MIN, kBarLineItem), 0);
    EXPECT_EQ(findPreviousOfType(s, INT_MIN, kBarLineItem), -1);
    EXPECT_EQ(findPreviousOfType(s, INT_MAX, kBarLineItem), 8);
    EXPECT_EQ(findNextDuration(s, INT_MAX), -1);
    EXPECT_EQ(findPreviousDuration(s, INT_MIN), -1);
    EXPECT_EQ(timeSignatureAt(s, 6).beatsPerBar, 4);
    EXPECT_EQ(timeSignatureAt(s, 7).beatsPerBar, 3);
    EXPECT_EQ(timeSignatureAt(s, INT_MAX).beatsPerBar, 3);
    EXPECT_EQ(clefAt(s, INT_MIN), 0);
}

// ---- Cursor ----

TEST(StaffCursor, SeekStaysInsideTheList) {
    StaffBuild b = twoBars();
    StaffCursor c(b.staff());
    struct Case {
        int target, index;
    };
    for (const Case& k :
         {Case{-3, 0}, Case{4, 4}, Case{7 + 10, 6}, Case{INT_MAX, 6}, Case{INT_MIN, 0}}) {
        c.seek(k.target);
        EXPECT_EQ(c.index(), k.index) << k.target;
        EXPECT_EQ(c.item(), b.staff().itemAt(k.index));
    }
    c.seek(5);
    c.step(INT_MAX);
    EXPECT_EQ(c.index(), 6);
    c.step(INT_MIN);
    EXPECT_EQ(c.index(), 0);
}

TEST(StaffCursor, FindTypeAndFindDuration) {
    StaffBuild b = twoBars();
    StaffCursor c(b.staff());
    c.seek(b.last());
    EXPECT_FALSE(c.findType(kBarLineItem, +1));  // from the last index it does not move
    EXPECT_EQ(c.index(), b.last());
    EXPECT_TRUE(c.findType(kBarLineItem, -1));
    EXPECT_EQ(c.index(), 3);
    EXPECT_TRUE(c.findType(kBarLineItem, -1));
    EXPECT_EQ(c.index(), 0);
    EXPECT_FALSE(c.findType(kBarLineItem, -1));
    EXPECT_FALSE(c.findType(kBarLineItem, 0));
    EXPECT_TRUE(c.findDuration(+1));
    EXPECT_EQ(c.index(), 1);
    c.seek(4);
    EXPECT_FALSE(c.findType(kClefItem, +1));
    EXPECT_EQ(c.index(), b.last());
}

TEST(StaffCursor, CountingCursorAddsAndSubtracts) {
    StaffBuild b = twoBars();
    static_cast<BarLineItem*>(b.staff().itemAt(3))->setIncompleteBar(0);
    static_cast<BarLineItem*>(b.staff().itemAt(0))->setIncompleteBar(1);
    CountingCursor c(b.staff());
    c.seek(4);  // passed: bar (incomplete), q, q, bar
    EXPECT_EQ(c.ticks(), 384);
    EXPECT_EQ(c.bars(), 1);
    EXPECT_EQ(c.lyricItems(), 2);
    c.seek(6);  // plus q and an eighth rest (no syllable)
    EXPECT_EQ(c.ticks(), 384 + 192 + 96);
    EXPECT_EQ(c.lyricItems(), 3);
    c.step(-4);
    EXPECT_EQ(c.ticks(), 192);
    EXPECT_EQ(c.bars(), 0);
    EXPECT_EQ(c.lyricItems(), 1);
    c.reset();
    EXPECT_EQ(c.ticks(), 0);
    EXPECT_EQ(c.lyricItems(), 0);
}

// ---- Ranges ----

TEST(ItemRange, Make) {
    StaffBuild b = twoBars();  // last index 6
    Staff* s = &b.staff();
    struct Case {
        int a, b, first, last;
        bool valid;
    };
    for (const Case& c :
         {Case{9, 4, 4, 6, true}, Case{4, 9, 4, 6, true}, Case{5, -1, 5, -1, false},
          Case{3, 999, 3, 6, true}, Case{2, 2, 2, 2, true}, Case{-3, -5, -3, -5, false}}) {
        const ItemRange r = ItemRange::make(s, c.a, c.b);
        EXPECT_EQ(r.first, c.first) << c.a << "," << c.b;
        EXPECT_EQ(r.last, c.last) << c.a << "," << c.b;
        EXPECT_EQ(r.isValid(), c.valid);
        EXPECT_EQ(r.count(), c.valid ? c.last - c.first + 1 : 0);
    }
    const ItemRange none = ItemRange::make(nullptr, 1, 3);
    EXPECT_EQ(none.last, -1);
    EXPECT_FALSE(none.isValid());
    EXPECT_EQ(ItemRange::makeWhole(s).last, 6);
    EXPECT_EQ(ItemRange::makeWhole(nullptr).last, -1);

    StaffCursor c1(*s), c2(*s);
    c1.seek(5);
    c2.seek(2);
    const ItemRange fc = ItemRange::fromCursors(c1, c2);
    EXPECT_EQ(fc.first, 2);
    EXPECT_EQ(fc.last, 5);
    ItemRange cleared = fc;
    cleared.clear();
    EXPECT_EQ(cleared.count(), 0);
}

TEST(ItemRange, TicksLeaveOutTheLastItem) {
    StaffBuild b = twoBars();
    EXPECT_EQ(ItemRange::make(&b.staff(), 2, 5).ticks(), 192 + 192);  // items 2, 3 and 4
    EXPECT_EQ(ItemRange::make(&b.staff(), 1, 6).ticks(), 192 * 3 + 96);
    EXPECT_EQ(ItemRange::make(&b.staff(), 5, -1).ticks(), 0);
    EXPECT_EQ(ItemRange::make(nullptr, 1, 5).ticks(), 0);
}

TEST(ItemRange, BarAroundAndWidenToBars) {
    StaffBuild b = twoBars();
    ItemRange r = ItemRange::makeWhole(&b.staff());
    r.barAround(4);  // a note in the second bar
    EXPECT_EQ(r.first, 3);
    EXPECT_EQ(r.last, 5);
    r.barAround(3);  // the bar line itself opens its bar
    EXPECT_EQ(r.first, 3);
    EXPECT_EQ(r.last, 5);
    r.barAround(1);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, 2);

    struct Case {
        int first, last, wantFirst, wantLast;
    };
    for (const Case& c : {Case{2, 4, 1, 5}, Case{0, 6, 1, 5}, Case{4, -1, 4, 5}, Case{3, 3, 3, 3},
                          Case{5, 5, 4, 5}}) {
        ItemRange w{&b.staff(), c.first, c.last};
        w.widenToBars();
        EXPECT_EQ(w.first, c.wantFirst) << c.first << "," << c.last;
        EXPECT_EQ(w.last, c.wantLast) << c.first << "," << c.last;
    }
}

TEST(ItemRange, RangesReachingPastTheListStayInside) {
    StaffBuild b = twoBars();
    const ItemRange wide{&b.staff(), INT_MIN, INT_MAX};
    EXPECT_EQ(wide.ticks(), 192 * 3 + 96);
    EXPECT_EQ(wide.extents().top, -4);
    ItemRange group{&b.staff(), 1, INT_MAX};
    EXPECT_EQ(group.makeGroup(0), 0);
    ItemRange widened{&b.staff(), INT_MAX, INT_MAX};
    widened.widenToBars();
    EXPECT_LE(widened.last, b.last() - 1);
}

TEST(ItemRange, DeleteRange) {
    StaffBuild b = twoBars();
    ItemRange r = ItemRange::make(&b.staff(), 4, 5);  // the second bar's note and rest
    EXPECT_EQ(r.deleteRange(), 1);
    EXPECT_FALSE(r.isValid());
    EXPECT_EQ(b.staff().itemCount(), 5);
    // The bar left empty is marked by the audit around the deletion.
    EXPECT_EQ(static_cast<BarLineItem*>(b.staff().itemAt(3))->incompleteBar, 1u);
    ItemRange empty = ItemRange::make(&b.staff(), 3, -1);
    EXPECT_EQ(empty.deleteRange(), 0);
    EXPECT_EQ(b.staff().itemCount(), 5);
}

// ---- Grouping ----

struct GroupCase {
    const char* name;
    int kind;
    std::vector<int> durations;  // base durations of the notes of one bar
    int result;
    std::vector<unsigned> beam, triplet;
};

class MakeGroup : public testing::TestWithParam<GroupCase> {};

TEST_P(MakeGroup, PositionsAfterGrouping) {
    const GroupCase& c = GetParam();
    StaffBuild b;
    for (int d : c.durations) b.note(-2, d);
    ItemRange r = ItemRange::make(&b.staff(), 1, static_cast<int>(c.durations.size()));
    EXPECT_EQ(r.makeGroup(c.kind), c.result);
    for (size_t i = 0; i < c.durations.size(); ++i) {
        auto* n = static_cast<NoteItem*>(b.staff().itemAt(static_cast<int>(i) + 1));
        EXPECT_EQ(n->beamPosition, c.beam[i]) << i;
        EXPECT_EQ(n->tripletPosition, c.triplet[i]) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    StaffUtil, MakeGroup,
    testing::Values(
        GroupCase{"TwoEighths", 0, {kEighth, kEighth}, 1, {1, 3}, {0, 0}},
        GroupCase{"EighthAndQuarter", 0, {kEighth, kQuarter}, 0, {0, 0}, {0, 0}},
        GroupCase{"OneEighth", 0, {kEighth}, 0, {0}, {0}},
        GroupCase{
            "FourEighths", 0, {kEighth, kEighth, kEighth, kEighth}, 1, {1, 2, 2, 3}, {0, 0, 0, 0}},
        GroupCase{"ThreeEighthTriplet", 1, {kEighth, kEighth, kEighth}, 1, {1, 2, 3}, {1, 2, 3}},
        GroupCase{"TwoEighthTriplet", 1, {kEighth, kEighth}, 0, {0, 0}, {0, 0}},
        GroupCase{"QuarterTriplet", 1, {kQuarter, kQuarter, kQuarter}, 1, {0, 0, 0}, {1, 2, 3}}),
    [](const testing::TestParamInfo<GroupCase>& info) { return info.param.name; });

TEST(ItemRange, MakeGroupGivesOneStemToTheBeam) {
    StaffBuild b;
    b.note(-6, kEighth);  // high: the stems go down
    b.note(-1, kEighth);
    ItemRange r = ItemRange::make(&b.staff(), 1, 2);
    ASSERT_EQ(r.makeGroup(0), 1);
    EXPECT_EQ(static_cast<NoteItem*>(b.staff().itemAt(1))->stemDirection, 2u);
    EXPECT_EQ(static_cast<NoteItem*>(b.staff().itemAt(2))->stemDirection, 2u);

    StaffBuild low;
    low.note(5, kEighth);
    low.note(1, kEighth);
    ItemRange lr = ItemRange::make(&low.staff(), 1, 2);
    ASSERT_EQ(lr.makeGroup(0), 1);
    EXPECT_EQ(static_cast<NoteItem*>(low.staff().itemAt(1))->stemDirection, 1u);

    // An explicit stem wins; two that disagree prevent the group.
    StaffBuild expl;
    expl.note(5, kEighth).stemDirection = 2;
    expl.note(5, kEighth);
    ItemRange er = ItemRange::make(&expl.staff(), 1, 2);
    ASSERT_EQ(er.makeGroup(0), 1);
    EXPECT_EQ(static_cast<NoteItem*>(expl.staff().itemAt(2))->stemDirection, 2u);
    StaffBuild clash;
    clash.note(5, kEighth).stemDirection = 2;
    clash.note(5, kEighth).stemDirection = 1;
    ItemRange cr = ItemRange::make(&clash.staff(), 1, 2);
    EXPECT_EQ(cr.makeGroup(0), 0);
    EXPECT_EQ(static_cast<NoteItem*>(clash.staff().itemAt(1))->beamPosition, 0u);
}

TEST(ItemRange, MakeGroupRefusesBreakersAndRestsAtTheEdges) {
    StaffBuild b;
    b.note(0, kEighth);
    b.bar();
    b.note(0, kEighth);
    EXPECT_EQ(ItemRange::make(&b.staff(), 1, 3).makeGroup(0), 0);

    StaffBuild r;
    r.rest(kEighth);
    r.note(0, kEighth);
    r.note(0, kEighth);
    EXPECT_EQ(ItemRange::make(&r.staff(), 1, 3).makeGroup(0), 0);  // a beam starts on a note
    EXPECT_EQ(ItemRange::make(&r.staff(), 1, 3).makeGroup(1), 1);  // a triplet may
    EXPECT_EQ(ItemRange::make(nullptr, 1, 3).makeGroup(0), 0);
}

TEST(ItemRange, UngroupAtClearsTheWholeGroup) {
    StaffBuild b;
    for (unsigned p : {1u, 2u, 3u, 1u, 3u}) b.grouped(kEighth, static_cast<int>(p), 0);
    ItemRange r = ItemRange::makeWhole(&b.staff());
    r.ungroupAt(0, 2);  // a Middle of the first group
    const unsigned expected[] = {0, 0, 0, 1, 3};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(static_cast<NoteItem*>(b.staff().itemAt(i + 1))->beamPosition, expected[i]) << i;
    r.ungroupAt(0, 5);  // the End of the second
    EXPECT_EQ(static_cast<NoteItem*>(b.staff().itemAt(4))->beamPosition, 0u);
}

}  // namespace
}  // namespace scq
