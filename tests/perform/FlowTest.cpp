#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "PerformSupport.h"
#include "items/BarsAndFlow.h"
#include "items/DurationItems.h"
#include "items/PerformanceMarks.h"
#include "perform/FlowTable.h"
#include "perform/PlayTime.h"

namespace scq::perf {
namespace {

using namespace scq::test;


// Quarter notes named by the letter they sound (treble clef).
NoteSpec A() {
    return Note(0);
}  // 71
NoteSpec B() {
    return Note(-1);
}  // 72
NoteSpec C() {
    return Note(-2);
}  // 74
NoteSpec D() {
    return Note(-3);
}  // 76

// A Local Repeat Close with a count as a file may store it (the editor stores 2 for 0 and 1).
BarLineSpec LocalClose(int count) {
    BarLineSpec b = Bar(bar::LocalRepeatClose);
    b.repeatCount = count;
    return b;
}

std::string Walk(const std::vector<SequenceEvent>& events) {
    std::string out;
    for (int p : Pitches(events)) {
        switch (p) {
            case 71:
                out += 'A';
                break;
            case 72:
                out += 'B';
                break;
            case 74:
                out += 'C';
                break;
            case 76:
                out += 'D';
                break;
            default:
                out += '?';
        }
    }
    return out;
}

struct WalkCase {
    const char* name;
    std::vector<Item> items;
    const char* walk;
    int endingBar = 0;
};

class Walks : public ::testing::TestWithParam<WalkCase> {};

TEST_P(Walks, PlayInOrder) {
    StaffSpec staff = MakeStaff("s", GetParam().items);
    staff.endingBar = GetParam().endingBar;
    auto song = LoadStaffs({staff});
    ASSERT_TRUE(song);
    EXPECT_EQ(Walk(Render(*song).events), GetParam().walk);
}

INSTANTIATE_TEST_SUITE_P(
    Flow, Walks,
    ::testing::Values(
        WalkCase{"localRepeatThreeTimes",
                 {Bar(bar::LocalRepeatOpen), A(), B(), Bar(bar::LocalRepeatClose, 3), C()},
                 "ABABABC"},
        WalkCase{"localCloseWithoutOpen", {A(), B(), Bar(bar::LocalRepeatClose, 2), C()}, "ABABC"},
        WalkCase{
            "localCountOnePlaysOnce", {Bar(bar::LocalRepeatOpen), A(), LocalClose(1), B()}, "AB"},
        WalkCase{
            "localCountZeroPlaysOnce", {Bar(bar::LocalRepeatOpen), A(), LocalClose(0), B()}, "AB"},
        WalkCase{"endingsOfAMasterRepeat",
                 {Bar(bar::MasterRepeatOpen), A(), Ending(0x01), B(), Bar(bar::MasterRepeatClose),
                  Ending(0x02), C(), Bar(bar::SectionClose), D()},
                 "ABACD"},
        WalkCase{"thirdPassSkipsBothEndings",
                 {Bar(bar::MasterRepeatOpen), A(), Ending(0x01), B(), Bar(bar::MasterRepeatClose),
                  Ending(0x02), C(), Bar(bar::MasterRepeatClose), D()},
                 "ABACAD"},
        WalkCase{"endingsRepeatUpToEightPasses",
                 {Bar(bar::MasterRepeatOpen), A(), Ending(0x01), B(), Bar(bar::Double), C(),
                  Bar(bar::MasterRepeatClose), D()},
                 "ABC"
                 "ACACACACACACAC"
                 "D"},
        WalkCase{"defaultEndingWhileReplaying",
                 {A(), Ending(0x01), B(), Bar(bar::Double), Ending(0x80), C(), Bar(bar::Double),
                  Flow(flow::DaCapo), D()},
                 "AB"
                 "ACD"},
        WalkCase{"segnoAndFine",
                 {A(), Flow(flow::Segno), B(), Flow(flow::Fine), C(), Flow(flow::DSAlFine), D()},
                 "ABCB"},
        WalkCase{
            "toCodaWithoutCoda", {A(), Flow(flow::ToCoda), B(), Flow(flow::DCAlCoda), C()}, "ABAC"},
        WalkCase{"toCodaJumpsToCoda",
                 {A(), Flow(flow::ToCoda), B(), Flow(flow::DCAlCoda), C(), Flow(flow::Coda), D()},
                 "ABAD"},
        WalkCase{
            "masterRepeatInsideReplayOnce",
            {Bar(bar::MasterRepeatOpen), A(), Bar(bar::MasterRepeatClose), B(), Flow(flow::DaCapo)},
            "AABAB"},
        WalkCase{"repeatsAfterTheCodaJumpAreTaken",
                 {A(), Flow(flow::ToCoda), B(), Flow(flow::DCAlCoda), Flow(flow::Coda),
                  Bar(bar::MasterRepeatOpen), C(), Bar(bar::MasterRepeatClose)},
                 "ABACC"},
        WalkCase{"onlyTheFirstJumpJumps",
                 {A(), Flow(flow::DaCapo), B(), Flow(flow::DaCapo), C()},
                 "AABC"},
        WalkCase{"dalSegnoWithoutSegnoSetsTheFlags",
                 {A(), Flow(flow::DalSegno), B(), Flow(flow::ToCoda), C(), Flow(flow::Coda), D()},
                 "ABD"},
        WalkCase{"fineBeforeAnyJumpIsPassed",
                 {A(), Flow(flow::Fine), B(), Flow(flow::DCAlFine), C()},
                 "ABA"},
        WalkCase{"closingMasterRepeatClose", {A(), B()}, "ABAB", 1},
        WalkCase{"closingCloseAfterACompleteRepeat",
                 {Bar(bar::MasterRepeatOpen), A(), Bar(bar::MasterRepeatClose), B()},
                 "AAB",
                 1},
        WalkCase{"localCloseMeetsMasterOpen",
                 {Bar(bar::MasterRepeatOpen), A(), Bar(bar::LocalRepeatClose, 2), B()},
                 "AB"},
        WalkCase{"localCloseSeesThroughACompleteMasterRepeat",
                 {Bar(bar::LocalRepeatOpen), A(), Bar(bar::MasterRepeatOpen), B(),
                  Bar(bar::MasterRepeatClose), Bar(bar::LocalRepeatClose, 2), C()},
                 "ABBABBC"},
        WalkCase{"masterCloseMeetsLocalOpen",
                 {Bar(bar::SectionOpen), A(), Bar(bar::LocalRepeatOpen), B(),
                  Bar(bar::MasterRepeatClose), C()},
                 "ABC"},
        WalkCase{"masterCloseStopsAtSectionBar",
                 {A(), Bar(bar::SectionClose), B(), Bar(bar::MasterRepeatClose), C()},
                 "ABBC"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlowState, EachStaffFollowsItsOwnRepeats) {
    StaffSpec repeated = MakeStaff("r", {A(), Bar(bar::LocalRepeatClose, 3)});
    StaffSpec plain = MakeStaff("p", {C(), C(), C(), C()});
    plain.channel = 1;
    auto song = LoadStaffs({repeated, plain});
    const auto notes = Notes(Render(*song).events);
    std::string walk0, walk1;
    for (const PlayedNote& n : notes)
        (n.channel == 0 ? walk0 : walk1) += std::to_string(n.on) + " ";
    EXPECT_EQ(walk0, "0 192 384 ");
    EXPECT_EQ(walk1, "0 192 384 576 ");
}

TEST(FlowState, PassCountersAfterAWalk) {
    auto song = LoadItems({Bar(bar::LocalRepeatOpen), A(), B(), Bar(bar::LocalRepeatClose, 3)});
    PerformanceBuilder b;
    const Rendered r = Render(*song, 0x0C, &b);
    EXPECT_EQ(Walk(r.events), "ABABAB");
    EXPECT_EQ(b.player(0).state().localPass, 1);
}

// The rules answer the same with and without the table the performance works out, and a
// walk that is not a performance (walkMode set) takes no local repeats.
TEST(FlowState, RulesWithoutATable) {
    auto song =
        LoadItems({Bar(bar::LocalRepeatOpen), A(), Bar(bar::LocalRepeatClose, 3), Ending(0x02), B(),
                   Bar(bar::Double), Flow(flow::DalSegno), Flow(flow::Segno)});
    Staff& staff = *song->staffAt(0);
    FlowTable table;
    table.build(staff);
    for (int i = 0; i < staff.itemCount(); ++i) {
        PlayState withTable;
        withTable.flowTable = &table;
        PlayState without;
        EXPECT_EQ(staff.itemAt(i)->nextPlayIndex(withTable, staff, i),
                  staff.itemAt(i)->nextPlayIndex(without, staff, i))
            << i;
    }
    PlayState audit;
    EXPECT_EQ(staff.itemAt(3)->nextPlayIndex(audit, staff, 3), 2);  // back to after the open
    audit.walkMode = 1;
    EXPECT_EQ(staff.itemAt(3)->nextPlayIndex(audit, staff, 3), 4);
    // A table made for another staff is not used.
    auto other = LoadItems({A()});
    PlayState foreign;
    foreign.flowTable = &table;
    EXPECT_FALSE(table.describes(*other->staffAt(0)));
    EXPECT_EQ(staff.itemAt(7)->nextPlayIndex(foreign, staff, 7), 8);  // the Segno
}

// ---- the flow table against the searches as the rules state them ----

int SearchBack(const std::vector<FlowMark>& m, int a, int target) {
    int f = a;
    bool mark = false;
    for (;;) {
        do {
            --f;
        } while (f > 0 && m[static_cast<size_t>(f)].sort != FlowMark::BarLine);
        if (f <= 0) return 1;
        const int s = m[static_cast<size_t>(f)].value;
        if (s == target) return f + 1;
        if (target == 6) {
            if (s == 2 || s == 3) return f + 1;
            if (s == 5) mark = true;
            if (s == 4 && !mark) return a + 1;
        } else {
            if (s == 5) return f + 1;
            if (s == 7) mark = true;
            if (s == 6 && !mark) return a + 1;
        }
    }
}

int SkipEnding(const std::vector<FlowMark>& m, int a) {
    for (int i = a + 1; i < static_cast<int>(m.size()); ++i) {
        const FlowMark& x = m[static_cast<size_t>(i)];
        if (x.sort == FlowMark::Ending) return i;
        if (x.sort != FlowMark::BarLine) continue;
        if (x.value == 1 || x.value == 2 || x.value == 6) return i;
        if (x.value == 3 || x.value == 7) return i + 1;
    }
    return a + 1;
}

TEST(FlowTable, MatchesTheSearchesOnRandomStaffs) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 4000; ++round) {
        const int count = 2 + static_cast<int>(rng() % 40);
        std::vector<FlowMark> m(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const bool edge = i == 0 || i == count - 1;
            switch (edge ? 1 : rng() % 4) {
                case 0:
                    break;
                case 1:
                    m[static_cast<size_t>(i)] = {FlowMark::BarLine, static_cast<int>(rng() % 10)};
                    break;
                case 2:
                    m[static_cast<size_t>(i)] = {FlowMark::Ending, 0};
                    break;
                default:
                    m[static_cast<size_t>(i)] = {FlowMark::FlowDirection,
                                                 static_cast<int>(rng() % 10)};
            }
        }
        FlowTable t;
        t.build(m);
        int segno = -1, coda = -1, jump = -1;
        for (int i = 0; i < count; ++i) {
            const FlowMark& x = m[static_cast<size_t>(i)];
            if (x.sort == FlowMark::BarLine && x.value == 5) {
                ASSERT_EQ(t.repeatTarget(i), SearchBack(m, i, 4)) << round << " at " << i;
            } else if (x.sort == FlowMark::BarLine && x.value == 7) {
                ASSERT_EQ(t.repeatTarget(i), SearchBack(m, i, 6)) << round << " at " << i;
            } else if (x.sort == FlowMark::Ending) {
                ASSERT_EQ(t.endingSkip(i), SkipEnding(m, i)) << round << " at " << i;
            } else if (x.sort == FlowMark::FlowDirection) {
                if (x.value == 1 && segno < 0) segno = i;
                if (x.value == 0 && coda < 0) coda = i;
                if (x.value >= 4 && jump < 0) jump = i;
            }
        }
        EXPECT_EQ(t.firstSegno(), segno);
        EXPECT_EQ(t.codaTarget(), coda >= 0 ? coda : (jump >= 0 ? jump + 1 : -1));
    }
}

// ---- hostile walks: every one ends by the render's bounds, quickly ----

TEST(Hostile, CodaLoopOverRestsEndsAtTheTickBound) {
    // The Coda stands first: the To Coda after the D.C. jumps back to it, and passing the D.C.
    // again makes the walk replay for ever.
    auto song = LoadItems(
        {Flow(flow::Coda), Rest(), Flow(flow::DCAlCoda), Rest(), Flow(flow::ToCoda), Rest()});
    PerformanceBuilder b;
    Rendered r;
    r = Render(*song, 0x0C, &b);
    EXPECT_EQ(r.milliseconds, 0u);
    EXPECT_LT(r.itemsPlayed, kMaxItemsPlayed);
    EXPECT_GE(b.player(0).state().time, kMaxRenderTicks - 384);
    EXPECT_LE(b.player(0).state().time, kMaxRenderTicks + 384);
    EXPECT_EQ(PlayTimeSeconds(*song, PlayTimeVariant::Scq), 0u);
}

TEST(Hostile, LoopWithoutDurationEndsAtTheItemBound) {
    auto song = LoadItems({A(), Flow(flow::Coda), Flow(flow::DCAlCoda), Flow(flow::ToCoda)});
    Rendered r;
    r = Render(*song);
    EXPECT_EQ(r.itemsPlayed, kMaxItemsPlayed);
    EXPECT_EQ(Walk(r.events), "AA");
    EXPECT_EQ(r.milliseconds, 916u);  // the second A ends at 192 + 160
}

TEST(Hostile, SkippedEndingBeforeALongRunOfNotes) {
    // Coda, an ending not taken, 11990 notes, a Double bar, D.C. al Coda, To Coda: the loop
    // skips the ending over the whole run of notes at every turn.
    std::vector<Item> items = {Flow(flow::Coda), Ending(0x02)};
    for (int i = 0; i < 11990; ++i) items.push_back(A());
    items.push_back(Bar(bar::Double));
    items.push_back(Flow(flow::DCAlCoda));
    items.push_back(Flow(flow::ToCoda));
    auto song = LoadItems(items);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->staffAt(0)->itemCount(), 11997);
    Rendered r;
    r = Render(*song);
    EXPECT_EQ(r.itemsPlayed, kMaxItemsPlayed);
    EXPECT_TRUE(Notes(r.events).empty());
}

TEST(Hostile, ControllerSweepOverTwoToTheThirtyOneTicks) {
    ControllerSpec c = Controller(2);
    c.sweepStyle = 1;
    c.timeUnit = 7;
    c.sweepStep = 1;
    c.point(0, 0, -32768).point(1, 32767, 32767);  // a 16-bit word: 65535 steps
    auto song = LoadItems({c, A()});
    ASSERT_TRUE(song);
    // Widen it past what a record holds: 2^31 - 2 ticks and 2^32 - 1 steps.
    auto* item = dynamic_cast<ControllerItem*>(song->staffAt(0)->itemAt(1));
    ASSERT_NE(item, nullptr);
    item->points[0].value = INT32_MIN;
    item->points[1].offset = 357913941;
    item->points[1].value = INT32_MAX;
    Rendered r;
    r = Render(*song);
    EXPECT_TRUE(r.full);
    EXPECT_EQ(r.events.size(), size_t{EventSequence::PageSize} * EventSequence::MaxPages);
}

TEST(Hostile, ManyLongestTempoRamps) {
    // A ramp over all 65535 tempo steps, one step a tick, played twenty times by a local
    // repeat: the sequence fills up with tempo events and the render stops.
    std::vector<Item> items = {Bar(bar::LocalRepeatOpen), TempoVariation(tvar::Ritardando)};
    for (int i = 0; i < 86; ++i) items.push_back(Rest(dur::Whole));  // 66048 ticks
    items.push_back(A());
    items.push_back(LocalClose(20));
    auto song = LoadItems(items);
    auto* v = dynamic_cast<TempoVariationItem*>(song->staffAt(0)->itemAt(2));
    ASSERT_NE(v, nullptr);
    v->startTempo = 0;
    v->endTempo = 65535;
    v->rampTicks = 65535;
    Rendered r;
    r = Render(*song);
    EXPECT_TRUE(r.full);
    EXPECT_EQ(Notes(r.events).size(), 15u);  // a ramp and a note every 66240 ticks
}

TEST(Hostile, LongRestsDoNotCostEmptySlices) {
    // Bars of 99 whole notes: each rest carries 76032 ticks; the render skips the slices in
    // which no staff has anything to play, and stops at the tick bound.
    std::vector<Item> items = {Time(99, 1), Rest(dur::Whole), Bar()};
    items.insert(items.begin(), Flow(flow::Coda));
    items.push_back(Flow(flow::DCAlCoda));
    items.push_back(Flow(flow::ToCoda));
    std::vector<StaffSpec> staffs;
    for (int i = 0; i < 64; ++i) staffs.push_back(MakeStaff("s", items));
    auto song = LoadStaffs(staffs);
    ASSERT_TRUE(song);
    for (int i = 0; i < song->staffCount(); ++i) {
        // As the audit measures a lone whole rest in a bar of 99/1.
        auto* rest = dynamic_cast<RestItem*>(song->staffAt(i)->itemAt(3));
        ASSERT_NE(rest, nullptr);
        rest->setMeasuredLength(99, 0);
    }
    PerformanceBuilder b;
    Rendered r;
    r = Render(*song, 0x0C, &b);
    EXPECT_GE(b.player(0).state().time, kMaxRenderTicks - 76032);
}

}  // namespace
}  // namespace scq::perf
