// The render steps only the staffs that have something to play in a slice and passes over the
// slices in which none has. Its result must be that of the plain walk that steps every player
// in every slice: these tests keep that walk and compare the two on generated songs.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "PerformSupport.h"
#include "items/DurationItems.h"
#include "song/Staff.h"

namespace scq::perf {
namespace {

using namespace scq::test;

// The walk slice by slice: every slice of 384 ticks steps every player in staff order,
// finished or not. It stops when no player has items left, after the slice that filled the
// sequence or spent the item budget, or before a bound beyond the tick bound.
uint32_t RenderSliceBySlice(PerformanceBuilder& b, EventSequence& sequence) {
    sequence.addTempo(0, 120);
    Song& song = *b.song();
    const int n = song.staffCount();
    for (int i = 0; i < n; ++i) {
        b.player(i).bind(song.staffAt(i));
        b.player(i).begin(sequence);
    }
    uint32_t budget = kMaxItemsPlayed;
    for (int64_t until = 384; until <= kMaxRenderTicks; until += 384) {
        bool itemsLeft = false;
        for (int i = 0; i < n; ++i) {
            if (b.player(i).step(sequence, static_cast<int32_t>(until), budget)) itemsLeft = true;
        }
        if (!itemsLeft || sequence.isFull() || budget == 0) break;
    }
    return kMaxItemsPlayed - budget;
}

struct Outcome {
    std::vector<SequenceEvent> events;
    bool full = false;
    uint32_t itemsPlayed = 0;
    uint32_t milliseconds = 0;
    std::vector<std::pair<int32_t, int>> players;  // each player's time and next item index
};

// Renders as the play time does, into a sequence of `pages` pages that grows by `growBy`.
Outcome Run(Song& song, bool sliceBySlice, unsigned filter, int pages = 16, int growBy = 16) {
    EventSequence sequence(growBy);
    sequence.allocatePages(pages);
    PerformanceBuilder b;
    b.attach(&song);
    sequence.addFilterBits(filter);
    Outcome o;
    if (sliceBySlice) {
        o.itemsPlayed = RenderSliceBySlice(b, sequence);
    } else {
        b.render(sequence);
        o.itemsPlayed = b.itemsPlayed();
    }
    sequence.forEach([&](const SequenceEvent& e) { o.events.push_back(e); });
    o.full = sequence.isFull();
    o.milliseconds = sequence.ElapsedMilliseconds();
    for (int i = 0; i < song.staffCount(); ++i) {
        o.players.emplace_back(b.player(i).state().time, b.player(i).index());
    }
    return o;
}

// Renders both ways and checks that they agree; returns the render's outcome.
Outcome ExpectSameAsSliceBySlice(Song& song, unsigned filter, int pages = 16, int growBy = 16) {
    const Outcome want = Run(song, true, filter, pages, growBy);
    const Outcome got = Run(song, false, filter, pages, growBy);
    EXPECT_EQ(got.events.size(), want.events.size());
    EXPECT_TRUE(got.events == want.events);
    EXPECT_EQ(got.full, want.full);
    EXPECT_EQ(got.itemsPlayed, want.itemsPlayed);
    EXPECT_EQ(got.milliseconds, want.milliseconds);
    EXPECT_EQ(got.players, want.players);
    return got;
}

// ---- generated songs ----

class SongMaker {
public:
    explicit SongMaker(uint32_t seed) : rng_(seed) {}

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return pick(0, 99) < percent; }

    // Staffs of different lengths: empty ones, ones without any duration, muted ones, long
    // rests and notes, repeats, endings, one jump at most, tempo and controller marks.
    std::vector<StaffSpec> staffs(int minStaffs, int maxStaffs, int maxItems) {
        std::vector<StaffSpec> out;
        const int n = pick(minStaffs, maxStaffs);
        for (int s = 0; s < n; ++s) {
            StaffSpec staff = MakeStaff("s" + std::to_string(s));
            staff.channel = pick(0, 15);
            staff.muted = chance(20) ? 1 : 0;
            staff.patch = chance(30) ? pick(1, 128) : 0;
            if (chance(20)) staff.volume = -1;
            if (!chance(15)) staff.items = items(pick(0, maxItems), chance(15));
            out.push_back(std::move(staff));
        }
        return out;
    }

private:
    std::vector<Item> items(int count, bool marksOnly) {
        std::vector<Item> out;
        bool jumped = false;
        for (int k = 0; k < count; ++k) {
            // A staff without durations holds no bar lines: repeats with nothing between
            // them would loop until the item budget is spent (tested once, below).
            const int kind = pick(0, marksOnly ? 4 : 14);
            switch (kind) {
                case 0:
                    out.push_back(Tempo(pick(30, 240)));
                    break;
                case 1:
                    out.push_back(test::Dynamic(pick(0, 7)));
                    break;
                case 2: {
                    ControllerSpec c = Controller(pick(0, 2));
                    c.sweepStyle = pick(0, 1);
                    c.timeUnit = pick(2, 5);
                    c.point(0, 0, pick(20, 120)).point(1, pick(0, 4), pick(20, 120));
                    out.push_back(c);
                    break;
                }
                case 3:
                    out.push_back(pick(0, 1) ? Fermata(pick(0, 8)) : BreathMark(pick(0, 4)));
                    break;
                case 4:
                    out.push_back(Instrument(pick(1, 128)));
                    break;
                case 5: {
                    const int styles[] = {bar::Single,           bar::Double,
                                          bar::SectionOpen,      bar::LocalRepeatOpen,
                                          bar::LocalRepeatClose, bar::MasterRepeatOpen,
                                          bar::MasterRepeatClose};
                    BarLineSpec b = Bar(styles[pick(0, 6)]);
                    b.repeatCount = pick(0, 4);
                    out.push_back(b);
                    break;
                }
                case 6:
                    out.push_back(Ending(pick(1, 0xFF)));
                    break;
                case 7: {
                    // Segno, Fine, To Coda, and at most one D.C. or D.S.; the Coda comes last
                    // (below), so that no To Coda leads back into a loop.
                    int f = pick(0, jumped ? 2 : 3);
                    const int kinds[] = {flow::Segno, flow::Fine, flow::ToCoda};
                    if (f == 3) {
                        jumped = true;
                        out.push_back(Flow(pick(flow::DaCapo, flow::DSAlFine)));
                    } else {
                        out.push_back(Flow(kinds[f]));
                    }
                    break;
                }
                case 8:
                    // A lone whole rest in a long bar: the staff is silent for many slices.
                    out.push_back(Time(pick(1, 40), 1));
                    out.push_back(Bar());
                    out.push_back(Rest(dur::Whole));
                    out.push_back(Bar());
                    out.push_back(Time(4, 4));
                    break;
                case 9:
                    out.push_back(Rest(pick(dur::Whole, dur::Sixteenth)));
                    break;
                case 10:
                    out.push_back(Chord(pick(dur::Whole, dur::Eighth), {2, 0, -3}));
                    break;
                default:
                    out.push_back(Note(pick(-6, 6), pick(dur::Whole, dur::Sixteenth),
                                       chance(20) ? attr::Dotted : 0));
                    break;
            }
        }
        if (chance(30)) {
            out.push_back(Flow(flow::Coda));
            out.push_back(Note(1, dur::Half));
        }
        return out;
    }

    std::mt19937 rng_;
};

TEST(SliceWalk, GeneratedSongsRenderAsSliceBySlice) {
    int filled = 0;
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        SongMaker maker(seed);
        // Every fourth song goes into a sequence of one page that cannot grow.
        const bool small = seed % 4 == 0;
        auto song = LoadStaffs(small ? maker.staffs(6, 12, 200) : maker.staffs(1, 8, 40));
        ASSERT_TRUE(song) << seed;
        for (const unsigned filter : {0x000Cu, 0x001Cu}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " filter " + std::to_string(filter));
            const Outcome o = small ? ExpectSameAsSliceBySlice(*song, filter, 1, 0)
                                    : ExpectSameAsSliceBySlice(*song, filter);
            if (o.full) ++filled;
        }
        if (HasFailure()) return;
    }
    EXPECT_GT(filled, 20);  // the full sequence is met often enough to be tested
}

TEST(SliceWalk, ManyStaffsMostlyEmptyOrSilent) {
    // Many staffs waiting at different times: which ones play in a slice, and in what order.
    for (uint32_t seed = 1000; seed < 1010; ++seed) {
        SCOPED_TRACE(seed);
        SongMaker maker(seed);
        std::vector<StaffSpec> staffs;
        for (int k = 0; k < 6; ++k) {
            for (StaffSpec& s : maker.staffs(1, 1, 30)) staffs.push_back(std::move(s));
            for (int e = maker.pick(0, 30); e > 0; --e) staffs.push_back(MakeStaff("empty"));
        }
        auto song = LoadStaffs(staffs);
        ASSERT_TRUE(song);
        ExpectSameAsSliceBySlice(*song, 0);
    }
}

// A staff that walks in a loop over rests until the render's tick bound.
StaffSpec RestLoop(int quarterRests) {
    std::vector<Item> items = {Flow(flow::Coda), Time(99, 1), Rest(dur::Whole), Bar()};
    for (int i = 0; i < quarterRests; ++i) items.push_back(Rest());
    items.push_back(Flow(flow::DCAlCoda));
    items.push_back(Flow(flow::ToCoda));
    return MakeStaff("loop", items);
}

TEST(SliceWalk, StopsAtTheTickBoundWhereTheSlicesStop) {
    // Loops of 76032 + 192 k ticks, beside staffs that end early or hold nothing. With k = 22
    // the loop is at the last bound below the tick bound exactly when the last slice ends, so
    // one slice more would play it.
    StaffSpec muted = MakeStaff("muted", {Note(0, dur::Whole), Note(0, dur::Whole)});
    muted.muted = 1;
    auto song = LoadStaffs({MakeStaff("short", {Note(0), Note(2, dur::Half)}), RestLoop(1),
                            MakeStaff("empty"), RestLoop(22), muted});
    ASSERT_TRUE(song);
    for (int staff : {1, 3}) {
        // As the audit measures a lone whole rest in a bar of 99/1.
        auto* rest = dynamic_cast<RestItem*>(song->staffAt(staff)->itemAt(3));
        ASSERT_NE(rest, nullptr);
        rest->setMeasuredLength(99, 0);
    }
    const Outcome o = ExpectSameAsSliceBySlice(*song, 0x000C);
    EXPECT_GT(o.players[1].first, kMaxRenderTicks - 76032);
    EXPECT_GE(o.players[1].second, 0);
    EXPECT_EQ(o.players[3].first, kMaxRenderTicks / 384 * 384);
}

TEST(SliceWalk, ItemBudgetSpentWithinASlice) {
    // Staff 1 reaches a loop without duration in its third slice and plays until the budget is
    // spent; staff 0 has played that slice, staff 2 has not.
    std::vector<Item> notes;
    for (int i = 0; i < 12; ++i) notes.push_back(Note(i % 5 - 2));
    auto song = LoadStaffs({MakeStaff("before", notes),
                            MakeStaff("loop", {Note(0), Note(0), Flow(flow::Coda),
                                               Flow(flow::DCAlCoda), Flow(flow::ToCoda)}),
                            MakeStaff("after", notes), MakeStaff("empty")});
    ASSERT_TRUE(song);
    const Outcome o = ExpectSameAsSliceBySlice(*song, 0x000C);
    EXPECT_EQ(o.itemsPlayed, kMaxItemsPlayed);
    EXPECT_EQ(Notes(o.events).size(), 6u + 4u + 4u);
}

}  // namespace
}  // namespace scq::perf
