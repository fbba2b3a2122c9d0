#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <ostream>
#include <random>
#include <vector>

#include "perform/EventSequence.h"

namespace scq {
namespace {

using E = SequenceEvent;

E NoteOn(int32_t time, int note, int velocity = 100) {
    return E::channelMessage(time, E::NoteOn, 0, 0, note, velocity);
}
E NoteOff(int32_t time, int note) {
    return E::channelMessage(time, E::NoteOff, 0, 0, note, 0);
}
E Control(int32_t time, int controller, int value, int channel = 0, int device = 0) {
    return E::channelMessage(time, E::ControlChange, channel, device, controller, value);
}
E Program(int32_t time, int program, int channel = 0, int device = 0) {
    return E::channelMessage(time, E::ProgramChange, channel, device, program, 0);
}

std::vector<E> Stored(const EventSequence& seq) {
    std::vector<E> out;
    seq.forEach([&](const E& e) { out.push_back(e); });
    return out;
}

// The adding of an event done the long way: the carry is offered to every page from the
// first. Pages are modelled as vectors; `maxPages` lets a test use a small capacity.
struct ReferenceSequence {
    std::vector<std::vector<E>> pages;
    int growBy = 0;
    int maxPages = EventSequence::MaxPages;
    int lastUsedPage = -1;
    bool full = false;

    static void InsertSorted(std::vector<E>& page, const E& e) {
        size_t place = page.size();
        while (place > 0 && page[place - 1].sortsAfter(e)) --place;
        page.insert(page.begin() + static_cast<std::ptrdiff_t>(place), e);
    }

    bool add(E carry) {
        for (size_t i = 0; i < pages.size(); ++i) {
            lastUsedPage = std::max(lastUsedPage, static_cast<int>(i));
            std::vector<E>& page = pages[i];
            if (page.size() < EventSequence::PageSize) {
                InsertSorted(page, carry);
                return true;
            }
            if (page.back().sortsAfter(carry)) {
                E out = page.back();
                page.pop_back();
                InsertSorted(page, carry);
                carry = out;
            }
        }
        int added = 0;
        while (added < growBy && static_cast<int>(pages.size()) < maxPages) {
            pages.emplace_back();
            ++added;
        }
        if (added > 0) {
            const size_t first = pages.size() - static_cast<size_t>(added);
            InsertSorted(pages[first], carry);
            lastUsedPage = std::max(lastUsedPage, static_cast<int>(first));
            return true;
        }
        full = true;
        return false;
    }

    std::vector<E> stored() const {
        std::vector<E> out;
        for (const auto& page : pages) out.insert(out.end(), page.begin(), page.end());
        return out;
    }
};

// The elapsed time done the long way: chunk by chunk, with the walk stopping at the last
// event that is not a tempo change.
uint32_t ReferenceElapsed(const std::vector<E>& events) {
    size_t end = events.size();
    while (end > 0 && events[end - 1].kind() == TempoEvent) --end;
    uint32_t u = 500000;
    int64_t tempoTime = 0, lastTime = 0, pause = 0;
    uint32_t sum = 0;
    auto segment = [&](int64_t n) {
        for (; n > 0; n -= 96000) {
            const uint64_t c = static_cast<uint64_t>(std::min<int64_t>(n, 96000));
            sum += static_cast<uint32_t>(((u / 192) * c + ((u % 192) * c) / 192) / 1000);
        }
    };
    for (size_t i = 0; i < end; ++i) {
        const E& e = events[i];
        if (e.kind() == TempoEvent) {
            const int64_t n = e.time - tempoTime + 48 * pause;
            if (n != 0) {
                segment(n);
                tempoTime = e.time;
                pause = 0;
            }
            u = e.tempoValue();
        } else {
            lastTime = e.time;
            if (e.kind() == PauseEvent) pause += e.pauseUnits();
        }
    }
    if (lastTime > tempoTime || pause != 0) segment(lastTime - tempoTime + 48 * pause);
    return sum;
}

// ---------------------------------------------------------------------------------------
// Events

TEST(SequenceEventTest, ChannelMessageIsAssembledFieldByField) {
    E e;
    e.setKind(PauseEvent);
    e.setChannel(0x1A);  // low nibble only
    e.setType(E::ControlChange);
    e.setDevice(13);  // low 3 bits only
    e.setData1(7);
    e.setData2(300);                      // low 8 bits
    EXPECT_EQ(e.kind(), ChannelMessage);  // the type makes it a channel message
    EXPECT_EQ(e.byteA, 0xBA);
    EXPECT_EQ(e.type(), E::ControlChange);
    EXPECT_EQ(e.channel(), 0x0A);
    EXPECT_EQ(e.device(), 5);
    EXPECT_EQ(e.byteB, 7);
    EXPECT_EQ(e.byteC, 44);
    EXPECT_EQ(e.kindAndDevice, 0x05);
}

TEST(SequenceEventTest, ValueKindsPackLowByteFirst) {
    const E tempo = E::tempo(5, 0x123456);
    EXPECT_EQ(tempo.kindAndDevice, 0x10);
    EXPECT_EQ(tempo.byteA, 0x56);
    EXPECT_EQ(tempo.byteB, 0x34);
    EXPECT_EQ(tempo.byteC, 0x12);
    EXPECT_EQ(tempo.tempoValue(), 0x123456u);

    const E key = E::keySignature(0, -3, 7);
    EXPECT_EQ(key.kind(), KeySignatureEvent);
    EXPECT_EQ(key.byteA, 0xFD);
    EXPECT_EQ(key.byteB, 0xFF);
    EXPECT_EQ(key.key(), -3);
    EXPECT_EQ(key.modeFlag(), 1);

    const E sig = E::timeSignature(0, 6, 3);
    EXPECT_EQ(sig.kind(), TimeSignatureEvent);
    EXPECT_EQ(sig.beatsPerBar(), 6);
    EXPECT_EQ(sig.beatValueCode(), 3);

    const E pause = E::pause(0, 0x1ABCD);
    EXPECT_EQ(pause.kind(), PauseEvent);
    EXPECT_EQ(pause.pauseUnits(), 0xABCDu);
}

TEST(SequenceEventTest, TieRanks) {
    struct Case {
        E event;
        int rank;
    } cases[] = {
        {NoteOff(0, 60), 0},
        {NoteOn(0, 60, 0), 0},
        {Control(0, 64, 0), 1},
        {Control(0, 64, 64), 1},
        {Control(0, 64, 65), 3},
        {Control(0, 64, 127), 3},
        {Control(0, 7, 127), 2},
        {Program(0, 5), 2},
        {E::channelMessage(0, E::PitchBend, 0, 0, 0, 64), 2},
        {E::tempo(0, 500000), 2},
        {E::pause(0, 1), 2},
        {E::keySignature(0, 2, 0), 2},
        {NoteOn(0, 60, 1), 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.event.tieRank(), c.rank)
            << int(c.event.byteA) << " " << int(c.event.byteB) << " " << int(c.event.byteC);
    }
}

// ---------------------------------------------------------------------------------------
// Adding

TEST(EventSequenceTest, SameTickEventsComeOutByTieRankWhateverTheOrderAdded) {
    const E byRank[] = {NoteOff(96, 60), Control(96, 64, 0), Program(96, 3), Control(96, 64, 127),
                        NoteOn(96, 62)};
    std::vector<int> order = {0, 1, 2, 3, 4};
    int permutations = 0;
    do {
        EventSequence seq(0);
        seq.allocatePages(1);
        seq.add(NoteOn(0, 50));
        for (int i : order) seq.add(byRank[i]);
        seq.add(NoteOff(192, 50));
        const std::vector<E> got = Stored(seq);
        ASSERT_EQ(got.size(), 7u);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(got[1 + i], byRank[i]) << "position " << i;
        ++permutations;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(permutations, 120);
}

TEST(EventSequenceTest, EqualTimeAndRankKeepTheOrderAdded) {
    EventSequence seq(0);
    seq.allocatePages(1);
    seq.add(Program(10, 1));
    seq.add(E::tempo(10, 1));
    seq.add(NoteOn(20, 60));
    seq.add(Control(10, 7, 99));  // out of order, behind the equal ones at 10
    seq.add(Program(5, 9));
    const std::vector<E> got = Stored(seq);
    const std::vector<E> want = {Program(5, 9), Program(10, 1), E::tempo(10, 1), Control(10, 7, 99),
                                 NoteOn(20, 60)};
    EXPECT_EQ(got, want);
}

TEST(EventSequenceTest, FilteredKindsAreDropped) {
    EventSequence seq(0);
    seq.allocatePages(1);
    seq.addFilterBits(1u << PauseEvent);
    seq.addFilterBits(1u << TimeSignatureEvent);
    EXPECT_EQ(seq.kindFilter(), 0x14);
    EXPECT_TRUE(seq.addPause(10, 4));
    EXPECT_TRUE(seq.addTimeSignature(0, 4, 2));
    EXPECT_TRUE(seq.isEmpty());
    seq.addKeySignature(0, 1, 0);
    EXPECT_EQ(seq.size(), 1u);
    seq.reset();  // clears the filter
    EXPECT_EQ(seq.kindFilter(), 0);
    seq.addPause(10, 4);
    EXPECT_EQ(seq.size(), 1u);
}

TEST(EventSequenceTest, TempoFromBeatsPerMinute) {
    const struct {
        int bpm;
        uint32_t micros;
    } cases[] = {{120, 500000}, {60, 1000000},   {7, 8571428},  {4, 15000000}, {3, 15000000},
                 {0, 15000000}, {-50, 15000000}, {1000, 60000}, {60000001, 0}};
    for (const auto& c : cases) {
        EventSequence seq(0);
        seq.allocatePages(1);
        seq.addTempo(0, c.bpm);
        ASSERT_EQ(seq.size(), 1u);
        EXPECT_EQ(seq.at(0).kind(), TempoEvent);
        EXPECT_EQ(seq.at(0).tempoValue(), c.micros) << c.bpm;
    }
}

TEST(EventSequenceTest, The1025thEventMovesToPage1) {
    EventSequence seq(0);
    seq.allocatePages(4);
    for (int i = 0; i < 1024; ++i) seq.add(NoteOn(i, 60));
    EXPECT_EQ(seq.lastUsedPage(), 0);
    seq.add(NoteOn(5000, 61));
    EXPECT_EQ(seq.lastUsedPage(), 1);
    EXPECT_EQ(seq.pageEventCount(0), 1024);
    EXPECT_EQ(seq.pageEventCount(1), 1);
    EXPECT_EQ(seq.at(1024), NoteOn(5000, 61));
}

TEST(EventSequenceTest, AnEarlierEventDisplacesTheLastOfAFullPage) {
    EventSequence seq(0);
    seq.allocatePages(4);
    for (int i = 0; i < 1024; ++i) seq.add(NoteOn(2 * i, 60));
    seq.add(NoteOn(501, 61));
    EXPECT_EQ(seq.lastUsedPage(), 1);
    EXPECT_EQ(seq.pageEventCount(0), 1024);
    EXPECT_EQ(seq.pageEventCount(1), 1);
    EXPECT_EQ(seq.at(251), NoteOn(501, 61));
    EXPECT_EQ(seq.at(1024), NoteOn(2046, 60));  // the old last event of page 0
}

// A displaced event goes behind equal events that were added after it.
TEST(EventSequenceTest, DisplacedEventGoesBehindEqualLaterEvents) {
    EventSequence seq(0);
    seq.allocatePages(2);
    for (int i = 0; i < 1023; ++i) seq.add(NoteOn(i, 60));
    seq.add(Program(5000, 1));  // last of page 0
    seq.add(Program(5000, 2));  // first of page 1
    seq.add(NoteOn(10, 61));
    const size_t n = seq.size();
    ASSERT_EQ(n, 1026u);
    EXPECT_EQ(seq.at(n - 2), Program(5000, 2));
    EXPECT_EQ(seq.at(n - 1), Program(5000, 1));
}

// The same through a full page: the equal event became the first of page 1 after that page
// held later events.
TEST(EventSequenceTest, DisplacedEventGoesBehindAnEqualFirstEventOfAFullPage) {
    EventSequence seq(0);
    seq.allocatePages(3);
    for (int i = 0; i < 1023; ++i) seq.add(Program(i, 0));
    seq.add(Program(2000, 1));  // last of page 0
    for (int i = 0; i < 10; ++i) seq.add(Program(3000, 9));
    seq.add(Program(2000, 2));  // first of page 1
    for (int i = 0; i < 1013; ++i) seq.add(Program(3000 + i, 9));
    seq.add(Program(5000, 9));
    ASSERT_EQ(seq.pageEventCount(1), 1024);
    seq.add(Program(-1, 3));
    ASSERT_EQ(seq.size(), 2050u);
    EXPECT_EQ(seq.at(0), Program(-1, 3));
    EXPECT_EQ(seq.at(1024), Program(2000, 2));
    EXPECT_EQ(seq.at(1025), Program(2000, 1));
    EXPECT_EQ(seq.at(2048), Program(4012, 9));
    EXPECT_EQ(seq.at(2049), Program(5000, 9));
}

TEST(EventSequenceTest, GrowsByPagesAndLosesTheLastEventWhenFull) {
    EventSequence seq(16);
    EXPECT_EQ(seq.allocatePages(16), 16);
    const int total = EventSequence::PageSize * EventSequence::MaxPages;
    bool allStored = true;
    for (int i = 0; i < total; ++i) allStored &= seq.add(Program(i, i & 0x7F));
    EXPECT_TRUE(allStored);
    EXPECT_FALSE(seq.isFull());
    EXPECT_EQ(seq.pageCount(), EventSequence::MaxPages);
    EXPECT_EQ(seq.lastUsedPage(), EventSequence::MaxPages - 1);
    EXPECT_EQ(seq.size(), static_cast<size_t>(total));

    // An early event still gets in; the event that falls off the end is lost.
    EXPECT_FALSE(seq.add(Program(-1, 5)));
    EXPECT_TRUE(seq.isFull());
    EXPECT_EQ(seq.size(), static_cast<size_t>(total));
    EXPECT_EQ(seq.at(0), Program(-1, 5));
    EXPECT_EQ(seq.at(static_cast<size_t>(total) - 1), Program(total - 2, (total - 2) & 0x7F));
    EXPECT_FALSE(seq.add(Program(total, 0)));
    EXPECT_EQ(seq.at(static_cast<size_t>(total) - 1), Program(total - 2, (total - 2) & 0x7F));

    seq.reset();
    EXPECT_FALSE(seq.isFull());
    EXPECT_TRUE(seq.isEmpty());
    EXPECT_EQ(seq.pageCount(), EventSequence::MaxPages);  // pages stay allocated
}

// What became of each offered event, on a sequence of one page that is full after 1024.
TEST(EventSequenceTest, AddResultSaysWhichEventWasLost) {
    using R = EventSequence::AddResult;
    EventSequence seq(0);
    seq.allocatePages(1);
    seq.addFilterBits(1u << PauseEvent);
    for (int i = 0; i < 1023; ++i) ASSERT_EQ(seq.addEvent(Program(10 * i, 1)), R::Stored);
    struct Step {
        E event;
        R result;
        int32_t lastTimeAfter;
    } steps[] = {
        {E::pause(5, 1), R::Dropped, 10220},       // filtered
        {Program(20000, 2), R::Stored, 20000},     // the 1024th event fills the page
        {Program(20000, 3), R::LostThis, 20000},   // equal to the last: never stored
        {Program(30000, 3), R::LostThis, 20000},   // after the last
        {Program(15, 4), R::LostOther, 10220},     // earlier: pushes the last one off
        {NoteOff(10220, 9), R::LostOther, 10220},  // same time, lower tie rank: now last
    };
    for (const Step& step : steps) {
        EXPECT_EQ(seq.addEvent(step.event), step.result) << step.event.time;
        EXPECT_EQ(seq.at(seq.size() - 1).time, step.lastTimeAfter) << step.event.time;
    }
    EXPECT_TRUE(seq.isFull());
    EXPECT_EQ(seq.offeredWhileFull(), 4u);
}

// A full sequence takes a bounded number of offers; then it takes nothing, keeping what it has.
TEST(EventSequenceTest, FullSequenceStopsTakingEventsAfterItsBudget) {
    EventSequence seq(0);
    seq.allocatePages(1);
    for (int i = 0; i < 1024; ++i) seq.add(Program(1000 + i, 1));
    const std::vector<E> before = Stored(seq);
    uint32_t offered = 0;
    while (!seq.workBudgetSpent()) {
        seq.add(Program(5000, 2));  // lost at once, but counted
        ASSERT_LE(++offered, EventSequence::kFullWorkBudget);
    }
    EXPECT_EQ(offered, EventSequence::kFullWorkBudget);
    EXPECT_EQ(seq.addEvent(Program(0, 3)), EventSequence::AddResult::LostThis);
    EXPECT_TRUE(Stored(seq) == before);
    seq.reset();
    EXPECT_FALSE(seq.workBudgetSpent());
    EXPECT_TRUE(seq.add(Program(0, 3)));
}

// A rendering that keeps only a few kinds never fills up: what its filter drops counts towards
// a budget of its own, so a loop that offers events in no time still ends.
TEST(EventSequenceTest, DroppedEventsCountTowardsTheOfferBudget) {
    EventSequence seq(16);
    seq.allocatePages(16);
    seq.addFilterBits(1u << ChannelMessage);
    seq.add(SequenceEvent::tempo(0, 500000));
    uint64_t offered = 1;
    while (!seq.workBudgetSpent()) {
        EXPECT_EQ(seq.addEvent(Program(0, 1)), EventSequence::AddResult::Dropped);
        ASSERT_LE(++offered, EventSequence::kOfferWorkBudget);
    }
    EXPECT_EQ(seq.eventsOffered(), EventSequence::kOfferWorkBudget);
    EXPECT_EQ(seq.size(), 1u);
    EXPECT_FALSE(seq.isFull());
    EXPECT_EQ(seq.addEvent(SequenceEvent::tempo(1, 400000)), EventSequence::AddResult::LostThis);
    seq.reset();
    EXPECT_EQ(seq.eventsOffered(), 0u);
    EXPECT_FALSE(seq.workBudgetSpent());
}

// Every stored event keeps the origin tag it was added with, however the carries and losses
// moved it. Each event is unique, so its tag can be looked up.
TEST(EventSequenceTest, OriginTagsTravelWithTheirEvents) {
    for (int allocate : {1, 3}) {
        std::mt19937 rng(77u + static_cast<uint32_t>(allocate));
        EventSequence seq(allocate == 1 ? 1 : 0);
        seq.allocatePages(allocate);
        std::map<std::pair<int32_t, int>, int> tagOf;
        for (int i = 0; i < 9000; ++i) {
            const int32_t t = static_cast<int32_t>(i / 700 * 10 - 10 * (rng() % 4));
            const E e = Program(t, i & 0x7F, (i >> 7) & 0x0F, (i >> 11) & 7);
            const int tag = static_cast<int>(rng() % 60000);
            tagOf[{t, i}] = tag;
            seq.setOrigin(tag);
            seq.add(e);
        }
        size_t checked = 0;
        seq.forEachWithOrigin([&](const E& e, int origin) {
            const int serial = e.byteB | e.channel() << 7 | e.device() << 11;
            EXPECT_EQ(origin, tagOf.at({e.time, serial})) << e.time << "/" << serial;
            EXPECT_EQ(seq.originAt(checked), origin);
            ++checked;
        });
        EXPECT_EQ(checked, seq.size());
    }
}

TEST(EventSequenceTest, GrowthRespectsGrowByAndThePageLimit) {
    struct Case {
        int allocate;
        int growBy;
        int events;
        int pagesAfter;
        bool full;
    } cases[] = {
        {1, 0, 1024, 1, false},
        {1, 0, 1025, 1, true},
        {0, 0, 1, 0, true},
        {0, 3, 1, 3, false},
        {0, 3, 3073, 6, false},
        {2, -4, 2049, 2, true},
        {1020, 16, 1020 * 1024 + 1, 1024, false},
        {5000, 1, 1, 1024, false},
        {-7, 1, 1, 1, false},
    };
    for (const Case& c : cases) {
        EventSequence seq(c.growBy);
        seq.allocatePages(c.allocate);
        for (int i = 0; i < c.events; ++i) seq.add(NoteOff(i, 1));
        EXPECT_EQ(seq.pageCount(), c.pagesAfter) << c.allocate << "/" << c.growBy;
        EXPECT_EQ(seq.isFull(), c.full) << c.allocate << "/" << c.growBy;
        EXPECT_EQ(seq.size(), static_cast<size_t>(c.events - (c.full ? 1 : 0)));
    }
}

TEST(EventSequenceTest, AllocateReleaseAndReset) {
    EventSequence seq(2);
    EXPECT_TRUE(seq.isEmpty());
    EXPECT_EQ(seq.pageCount(), 0);
    EXPECT_EQ(seq.allocatePages(3), 3);
    seq.setStartOffset(10);
    seq.addFilterBits(0x4);
    seq.add(NoteOn(50, 60));
    EXPECT_FALSE(seq.isEmpty());
    EXPECT_EQ(seq.allocatePages(1), 1);  // frees what was there
    EXPECT_TRUE(seq.isEmpty());
    EXPECT_EQ(seq.startOffset(), 0);
    EXPECT_EQ(seq.kindFilter(), 0);
    EXPECT_EQ(seq.lastUsedPage(), -1);
    seq.release();
    EXPECT_EQ(seq.pageCount(), 0);
    EXPECT_EQ(seq.lastAllocatedPage(), -1);
    seq.add(NoteOn(1, 60));  // grows from nothing
    EXPECT_EQ(seq.pageCount(), 2);
    EXPECT_EQ(seq.size(), 1u);
}

// ---------------------------------------------------------------------------------------
// Start offset

TEST(EventSequenceTest, StartOffsetMovesDiscardsAndCollapses) {
    EventSequence seq(0);
    seq.allocatePages(1);
    seq.setStartOffset(1000);
    seq.add(Program(100, 1));
    seq.add(Control(200, 7, 50));
    seq.add(Control(300, 10, 64));
    seq.add(Control(400, 7, 90));        // replaces the first volume
    seq.add(Control(450, 7, 91, 0, 1));  // other device: its own event
    seq.add(Control(460, 7, 92, 1, 0));  // other channel: its own event
    seq.add(Program(500, 2));            // replaces the program
    seq.addTempo(600, 100);
    seq.addTempo(700, 60);       // replaces the tempo
    seq.add(NoteOn(900, 60));    // before the start: dropped
    seq.add(NoteOff(999, 60));   // dropped
    seq.add(NoteOn(1000, 61));   // at the start: kept at 0
    seq.add(NoteOn(1000, 61));   // note ons never merge
    seq.addPause(1000, 4);       // dropped
    seq.addPause(1001, 4);       // moved
    seq.add(NoteOff(1500, 61));  // moved
    const std::vector<E> want = {
        Program(0, 2),        Control(0, 7, 90),    Control(0, 10, 64), Control(0, 7, 91, 0, 1),
        Control(0, 7, 92, 1), E::tempo(0, 1000000), NoteOn(0, 61),      NoteOn(0, 61),
        E::pause(1, 4),       NoteOff(500, 61),
    };
    EXPECT_EQ(Stored(seq), want);

    seq.reset();
    EXPECT_EQ(seq.startOffset(), 0);
    seq.add(NoteOn(900, 60));
    EXPECT_EQ(seq.at(0).time, 900);
}

// A pedal setting that crosses the threshold changes its tie rank; the merged event moves so
// the stored order stays sorted.
TEST(EventSequenceTest, MergedPedalKeepsTheOrderSorted) {
    EventSequence seq(0);
    seq.allocatePages(1);
    seq.setStartOffset(100);
    seq.add(Control(10, 64, 0));
    seq.add(Program(20, 4));
    seq.add(Control(30, 64, 127));
    EXPECT_EQ(Stored(seq), (std::vector<E>{Program(0, 4), Control(0, 64, 127)}));
    seq.add(Control(40, 64, 10));
    EXPECT_EQ(Stored(seq), (std::vector<E>{Control(0, 64, 10), Program(0, 4)}));
}

TEST(EventSequenceTest, StartOffsetTimeWrapsWithoutOverflow) {
    EventSequence seq(0);
    seq.allocatePages(1);
    seq.setStartOffset(-2000000000);
    seq.add(NoteOn(2000000000, 60));
    ASSERT_EQ(seq.size(), 1u);
    EXPECT_EQ(seq.at(0).time, static_cast<int32_t>(4000000000u));
}

// ---------------------------------------------------------------------------------------
// Against the long way

struct RandomCase {
    uint32_t seed;
    int events;
    int allocate;
    int growBy;
    int maxJumpBack;  // how far an out-of-order event may go back
    int outOfOrderPercent;
};

void PrintTo(const RandomCase& c, std::ostream* os) {
    *os << "seed " << c.seed;
}

class RandomInsertTest : public ::testing::TestWithParam<RandomCase> {};

E RandomEvent(std::mt19937& rng, int32_t time, int serial) {
    switch (rng() % 7) {
        case 0:
            return NoteOn(time, serial & 0x7F, static_cast<int>(rng() % 2) * 100);
        case 1:
            return NoteOff(time, serial & 0x7F);
        case 2:
            return Control(time, 64, static_cast<int>(rng() % 128), 0, serial & 7);
        case 3:
            return E::tempo(time, static_cast<uint32_t>(serial));
        case 4:
            return E::pause(time, static_cast<unsigned>(serial));
        default:
            return Program(time, serial & 0x7F, (serial >> 7) & 0x0F, serial >> 11);
    }
}

// The sequence holds exactly what the literal carry rule gives: the same pages, counts, full
// flag and events in the same order, readable by index, sorted, and measured alike.
void ExpectSameAsLiteral(const EventSequence& seq, const ReferenceSequence& ref) {
    EXPECT_EQ(seq.isFull(), ref.full);
    ASSERT_EQ(seq.pageCount(), static_cast<int>(ref.pages.size()));
    for (int p = 0; p < seq.pageCount(); ++p) {
        EXPECT_EQ(seq.pageEventCount(p),
                  static_cast<int>(ref.pages[static_cast<size_t>(p)].size()));
    }
    const std::vector<E> got = Stored(seq);
    const std::vector<E> want = ref.stored();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], want[i]) << "position " << i;
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(seq.at(i), got[i]) << "position " << i;
    for (size_t i = 1; i < got.size(); ++i) ASSERT_FALSE(got[i - 1].sortsAfter(got[i])) << i;
    EXPECT_EQ(seq.ElapsedMilliseconds(), ReferenceElapsed(got));
}

TEST_P(RandomInsertTest, MatchesOfferingTheCarryToEveryPage) {
    const RandomCase& c = GetParam();
    std::mt19937 rng(c.seed);
    EventSequence seq(c.growBy);
    seq.allocatePages(c.allocate);
    ReferenceSequence ref;
    ref.pages.resize(static_cast<size_t>(c.allocate));
    ref.growBy = c.growBy;

    int32_t now = 0;
    for (int i = 0; i < c.events; ++i) {
        now += static_cast<int32_t>(rng() % 3);  // many equal times
        int32_t t = now;
        if (static_cast<int>(rng() % 100) < c.outOfOrderPercent) {
            t -= static_cast<int32_t>(rng() % static_cast<uint32_t>(c.maxJumpBack + 1));
        }
        const E e = RandomEvent(rng, t, i);
        ASSERT_EQ(seq.add(e), ref.add(e)) << "event " << i;
        ASSERT_EQ(seq.lastUsedPage(), ref.lastUsedPage) << "event " << i;
    }
    ExpectSameAsLiteral(seq, ref);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RandomInsertTest,
    ::testing::Values(RandomCase{1, 6000, 1, 1, 50, 10}, RandomCase{2, 6000, 2, 3, 3000, 5},
                      RandomCase{3, 8000, 0, 2, 20000, 2}, RandomCase{4, 5000, 8, 0, 5000, 30},
                      RandomCase{5, 3000, 2, 0, 4000, 20},  // runs full: losses compared
                      RandomCase{6, 4000, 1, 0, 100, 50},   // full early, many displacements
                      RandomCase{7, 9000, 3, 1, 9000, 100}));

// Carries through long runs of equal events. Events of equal time and tie rank are told apart
// by their serial number in the value bytes, so any change of their order shows.

enum class Pattern {
    FewKeys,             // three times, five tie ranks, any order
    RunsAcrossPages,     // runs of about 700 equal events, some added back into earlier runs
    WholePagesOfOneKey,  // runs of 2048 equal events, with earlier ones of any rank between
    EarlyIntoLarge,      // many pages in order, then events all over them
    ReplayedPasses,      // the same few times again and again (seed % 100 of them), as a
                         // repeat replays a sweep: groups grow past a page, touched rarely
    QuietLongGroups,     // three groups of 1500 equal events, then thousands of earlier
                         // events with one more for a group now and then
};

struct CascadeCase {
    const char* name;
    uint32_t seed;
    Pattern pattern;
    int events;
    int allocate;
    int growBy;
    int32_t startOffset;
};

void PrintTo(const CascadeCase& c, std::ostream* os) {
    *os << c.name;
}

// The match of an event collapsed to time 0, as the start-offset rule states it.
bool MergesAtStart(const E& stored, const E& e) {
    if (stored.time != e.time || stored.kind() != e.kind()) return false;
    if (e.kind() != ChannelMessage) return true;
    return stored.device() == e.device() && stored.byteA == e.byteA && stored.type() > E::NoteOn &&
           (stored.type() != E::ControlChange || stored.byteB == e.byteB);
}

// The start-offset rule on the reference: the merged event replaces the stored one and moves
// to its sorted place if its tie rank differs (behind equal events when it moves back).
bool ReferenceAdd(ReferenceSequence& ref, E e, int32_t offset) {
    if (offset != 0) {
        const int64_t t = e.time;
        if (t > offset) {
            e.time = static_cast<int32_t>(static_cast<uint32_t>(t - offset));
        } else {
            e.time = 0;
            if (e.kind() == PauseEvent) return true;
            if (e.kind() == ChannelMessage && e.type() <= E::NoteOn) {
                if (t != offset) return true;
            } else if (ref.lastUsedPage >= 0) {
                std::vector<E> flat = ref.stored();
                for (size_t i = 0; i < ref.pages[0].size() && flat[i].time == 0; ++i) {
                    if (!MergesAtStart(flat[i], e)) continue;
                    const int oldRank = flat[i].tieRank();
                    flat[i] = e;
                    size_t at = i;
                    if (e.tieRank() > oldRank) {
                        while (at + 1 < flat.size() && !flat[at + 1].sortsAfter(e)) {
                            std::swap(flat[at], flat[at + 1]);
                            ++at;
                        }
                    } else {
                        while (at > 0 && flat[at - 1].sortsAfter(e)) {
                            std::swap(flat[at], flat[at - 1]);
                            --at;
                        }
                    }
                    size_t next = 0;
                    for (auto& page : ref.pages) {
                        for (E& slot : page) slot = flat[next++];
                    }
                    return true;
                }
            }
        }
    }
    return ref.add(e);
}

// A merge that changes the tie rank moves the merged event; later events must still find
// their places behind it, also where it moved across a page boundary.
TEST(EventSequenceTest, EventsAddedAfterAMovedMergeFindTheirPlaces) {
    auto controllers = [](int n) {  // none merges with another
        std::vector<E> events;
        for (int i = 0; i < n; ++i) {
            events.push_back(Control(60, 1 + i % 63, 5, i / 63 % 16, i / 1008));
        }
        return events;
    };
    std::vector<std::vector<E>> scenarios;
    // Page 0 starts with a pedal down that merges into a pedal up; a pedal up of another
    // device then belongs behind it, not at the front.
    scenarios.push_back({Control(50, 64, 127)});
    for (int i = 0; i < 1100; ++i) scenarios.back().push_back(NoteOn(100, i & 0x7F));
    scenarios.back().push_back(Control(60, 64, 0));
    scenarios.back().push_back(Control(70, 64, 10, 0, 1));
    // The last event of full page 0 is a pedal down that merges into a pedal up and moves to
    // the front; a new controller then belongs at the front of page 1.
    scenarios.push_back(controllers(1023));
    scenarios.back().push_back(Control(50, 64, 127));
    for (int i = 0; i < 100; ++i) scenarios.back().push_back(NoteOn(100, i & 0x7F));
    scenarios.back().push_back(Control(60, 64, 0));
    scenarios.back().push_back(Control(70, 90, 1, 0, 3));
    // A pedal up at the front merges into a pedal down that moves behind two pages of
    // controllers, onto the end of full page 1; more controllers follow.
    scenarios.push_back({Control(50, 64, 0)});
    for (const E& e : controllers(2047)) scenarios.back().push_back(e);
    scenarios.back().push_back(NoteOn(100, 1));
    scenarios.back().push_back(Control(60, 64, 127));
    for (int i = 0; i < 3; ++i) scenarios.back().push_back(Control(70, 90, i, 0, 4));
    for (size_t s = 0; s < scenarios.size(); ++s) {
        EventSequence seq(1);
        seq.allocatePages(1);
        seq.setStartOffset(100);
        ReferenceSequence ref;
        ref.pages.resize(1);
        ref.growBy = 1;
        for (const E& e : scenarios[s]) ASSERT_EQ(seq.add(e), ReferenceAdd(ref, e, 100));
        EXPECT_TRUE(Stored(seq) == ref.stored()) << "scenario " << s;
    }
}

class CascadeTest : public ::testing::TestWithParam<CascadeCase> {};

TEST_P(CascadeTest, MatchesOfferingTheCarryToEveryPage) {
    const CascadeCase& c = GetParam();
    std::mt19937 rng(c.seed);
    EventSequence seq(c.growBy);
    seq.allocatePages(c.allocate);
    seq.setStartOffset(c.startOffset);
    ReferenceSequence ref;
    ref.pages.resize(static_cast<size_t>(c.allocate));
    ref.growBy = c.growBy;

    auto sameRank = [&](int32_t t, int i) {
        return rng() % 2 ? E::pause(t, static_cast<unsigned>(i))
                         : Program(t, i & 0x7F, (i >> 7) & 0x0F, (i >> 11) & 7);
    };
    for (int i = 0; i < c.events; ++i) {
        E e;
        switch (c.pattern) {
            case Pattern::FewKeys:
                e = RandomEvent(rng, static_cast<int32_t>(rng() % 3), i);
                break;
            case Pattern::RunsAcrossPages: {
                int32_t t = c.startOffset + 10 * (i / 700);
                if (rng() % 5 == 0) t -= 10 * static_cast<int32_t>(rng() % 6);
                e = rng() % 10 ? sameRank(t, i) : RandomEvent(rng, t, i);
                break;
            }
            case Pattern::WholePagesOfOneKey: {
                const int32_t t = c.startOffset + 4 * (i / 2048);
                if (rng() % 20 == 0) {
                    e = RandomEvent(rng, static_cast<int32_t>(rng() % static_cast<uint32_t>(t + 1)),
                                    i);
                } else {
                    e = sameRank(t, i);
                }
                break;
            }
            case Pattern::EarlyIntoLarge: {
                const int32_t t =
                    i < c.events * 4 / 5
                        ? i / 3
                        : static_cast<int32_t>(rng() % static_cast<uint32_t>(i / 3 + 1));
                e = RandomEvent(rng, c.startOffset + t, i);
                break;
            }
            case Pattern::QuietLongGroups: {
                const int32_t group = c.startOffset + 100 * (1 + i % 3);
                if (i < 4500 || i % 700 == 0) {
                    e = sameRank(group, i);
                } else {
                    e = RandomEvent(rng, c.startOffset + static_cast<int32_t>(rng() % 100), i);
                }
                break;
            }
            case Pattern::ReplayedPasses: {
                const int width = static_cast<int>(c.seed % 100);
                e = sameRank(c.startOffset + 5 * (i % width), i);
                if (rng() % 50 == 0) e = RandomEvent(rng, c.startOffset + 5 * (i % width), i);
                break;
            }
        }
        const bool stored = ReferenceAdd(ref, e, c.startOffset);
        ASSERT_EQ(seq.add(e), stored) << "event " << i;
        ASSERT_EQ(seq.lastUsedPage(), ref.lastUsedPage) << "event " << i;
    }
    ExpectSameAsLiteral(seq, ref);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CascadeTest,
    ::testing::Values(
        CascadeCase{"FewKeysGrowByOne", 11, Pattern::FewKeys, 6000, 1, 1, 0},
        CascadeCase{"FewKeysFullLosing", 12, Pattern::FewKeys, 5000, 3, 0, 0},
        CascadeCase{"FewKeysGrowBy16", 13, Pattern::FewKeys, 7000, 0, 16, 0},
        CascadeCase{"FewKeysOffset", 14, Pattern::FewKeys, 12000, 1, 1, 1},
        CascadeCase{"FewKeysOffsetFullLosing", 15, Pattern::FewKeys, 9000, 2, 0, 1},
        CascadeCase{"RunsAcrossPages", 21, Pattern::RunsAcrossPages, 12000, 2, 1, 0},
        CascadeCase{"RunsAcrossPagesFullLosing", 22, Pattern::RunsAcrossPages, 9000, 6, 0, 0},
        CascadeCase{"RunsAcrossPagesOffset", 23, Pattern::RunsAcrossPages, 9000, 1, 3, 35},
        CascadeCase{"WholePages", 31, Pattern::WholePagesOfOneKey, 14000, 1, 1, 0},
        CascadeCase{"WholePagesFullLosing", 32, Pattern::WholePagesOfOneKey, 12000, 8, 0, 0},
        CascadeCase{"WholePagesOffset", 33, Pattern::WholePagesOfOneKey, 10000, 2, 16, 8},
        CascadeCase{"EarlyIntoLarge", 41, Pattern::EarlyIntoLarge, 30000, 4, 1, 0},
        CascadeCase{"EarlyIntoLargeFullLosing", 42, Pattern::EarlyIntoLarge, 20000, 16, 0, 0},
        CascadeCase{"EarlyIntoLargeGrowBy16", 43, Pattern::EarlyIntoLarge, 25000, 0, 16, 0},
        CascadeCase{"EarlyIntoLargeOffset", 44, Pattern::EarlyIntoLarge, 20000, 2, 2, 300},
        CascadeCase{"EarlyIntoLargeNegativeOffset", 45, Pattern::EarlyIntoLarge, 12000, 1, 1, -50},
        CascadeCase{"QuietLongGroups", 51, Pattern::QuietLongGroups, 30000, 5, 16, 0},
        CascadeCase{"QuietLongGroupsFullLosing", 52, Pattern::QuietLongGroups, 30000, 12, 0, 0},
        CascadeCase{"ReplayedGrow", 107, Pattern::ReplayedPasses, 12000, 1, 1, 0},
        CascadeCase{"ReplayedFullLosing", 205, Pattern::ReplayedPasses, 15000, 4, 0, 0},
        CascadeCase{"ReplayedWide", 313, Pattern::ReplayedPasses, 20000, 2, 2, 0},
        CascadeCase{"ReplayedOneTime", 401, Pattern::ReplayedPasses, 5000, 3, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Elapsed time

struct ElapsedCase {
    const char* name;
    std::vector<E> events;
    unsigned filter;
    uint32_t ms;
};

void PrintTo(const ElapsedCase& c, std::ostream* os) {
    *os << c.name;
}

class ElapsedTest : public ::testing::TestWithParam<ElapsedCase> {};

TEST_P(ElapsedTest, Measures) {
    const ElapsedCase& c = GetParam();
    EventSequence seq(16);
    seq.allocatePages(16);
    seq.addFilterBits(c.filter);
    for (const E& e : c.events) seq.add(e);
    EXPECT_EQ(seq.ElapsedMilliseconds(), c.ms);
    EXPECT_EQ(ReferenceElapsed(Stored(seq)), c.ms);
}

// 1000 pauses of 65535 units hold the clock for more than 2^31 ticks; the segment is closed
// either by the end or by a tempo change.
std::vector<E> LongPauses(bool closedByTempo) {
    std::vector<E> events = {E::tempo(0, 1000000)};
    for (int i = 0; i < 1000; ++i) events.push_back(E::pause(i, 65535));
    if (closedByTempo) {
        events.push_back(E::tempo(1000, 250000));
        events.push_back(Program(1000, 1));  // behind the tempo change
    }
    return events;
}

const ElapsedCase kElapsedCases[] = {
    {"Empty", {}, 0, 0},
    {"TemposOnly", {E::tempo(0, 1000000), E::tempo(500, 250000), E::tempo(9000, 1)}, 0, 0},
    {"OneBeat", {NoteOn(0, 60), NoteOff(192, 60)}, 0, 500},
    {"PauseKept", {NoteOn(0, 60), NoteOff(192, 60), E::pause(192, 4)}, 0, 1000},
    {"PauseFiltered", {NoteOn(0, 60), NoteOff(192, 60), E::pause(192, 4)}, 0x1C, 500},
    {"TempoChange", {NoteOn(0, 60), E::tempo(384, 1000000), NoteOff(576, 60)}, 0, 2000},
    {"TempoAtSameTickReplacesValue",
     {NoteOn(0, 60), E::tempo(384, 1000000), E::tempo(384, 2000000), NoteOff(576, 60)},
     0,
     1000 + 2000},
    {"PauseClosedByTempoChange",
     {NoteOn(0, 60), E::pause(192, 4), E::tempo(384, 1000000), NoteOff(576, 60)},
     0,
     1500 + 1000},
    {"PauseAtTempoTickStillCounts",
     {E::tempo(0, 1000000), E::pause(0, 2), E::tempo(0, 500000), NoteOff(192, 60)},
     0,
     500 + 500},  // 96 pause ticks at the first tempo, then one beat
    {"TempoAfterLastNoteAddsNothing",
     {NoteOn(0, 60), NoteOff(192, 60), E::pause(192, 4), E::tempo(10000, 250000),
      E::tempo(20000, 4000000)},
     0,
     1000},
    {"LastEventBeforeZeroTime", {NoteOff(-192, 1)}, 0, 0},
    // 10000000 us per quarter: a full chunk is 4999968000 + 32000 before the division by 1000,
    // beyond 32 bits; it is computed exactly.
    {"SlowTempoChunkExact", {E::tempo(0, 10000000), NoteOff(96000, 1)}, 0, 5000000},
    {"SlowTempoSeveralChunks", {E::tempo(0, 15000000), NoteOff(200000, 1)}, 0, 15625000},
    // 625 chunks of 7500000 ms: 4687500000 wraps to 392532704.
    {"SumWrapsModulo2To32", {E::tempo(0, 15000000), NoteOff(60000000, 1)}, 0, 392532704u},
    // 999 + 48 x 65535000 ticks at 1000000 us: 32767 chunks of 500000 ms and 255203 ms, mod 2^32.
    {"PendingPauseBeyond32Bits", LongPauses(false), 0, 3498853315u},
    // 1000 + 48 x 65535000 ticks: 32767 chunks and 255208 ms.
    {"PendingPauseBeyond32BitsAtTempoChange", LongPauses(true), 0, 3498853320u},
};

INSTANTIATE_TEST_SUITE_P(Cases, ElapsedTest, ::testing::ValuesIn(kElapsedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ElapsedRandomTest, MatchesChunkByChunk) {
    std::mt19937 rng(42);
    for (int round = 0; round < 200; ++round) {
        EventSequence seq(4);
        seq.allocatePages(1);
        int32_t now = 0;
        const int count = 1 + static_cast<int>(rng() % 60);
        for (int i = 0; i < count; ++i) {
            now += static_cast<int32_t>(rng() % (round % 2 ? 400000 : 1000));
            switch (rng() % 4) {
                case 0:
                    seq.addTempo(now, static_cast<int>(rng() % 300));
                    break;
                case 1:
                    seq.addPause(now, rng() % 70000);
                    break;
                default:
                    seq.add(NoteOff(now, 1));
            }
        }
        EXPECT_EQ(seq.ElapsedMilliseconds(), ReferenceElapsed(Stored(seq))) << round;
    }
}

// A sink takes the events of its kinds that the filter drops, in the order offered, and
// nothing else; what the sequence stores is as without it, and it stays set across reset.
TEST(EventSequenceTest, DroppedSinkTakesFilteredKindsOnly) {
    const std::vector<E> offered = {E::timeSignature(50, 3, 2), NoteOn(10, 60),
                                    E::keySignature(5, -2, 0),  E::pause(7, 3),
                                    E::tempo(0, 400000),        E::timeSignature(0, 6, 3)};
    EventSequence plain(16);
    plain.allocatePages(1);
    EventSequence sunk(16);
    sunk.allocatePages(1);
    std::vector<E> dropped;
    sunk.setDroppedSink(&dropped, 1u << TimeSignatureEvent | 1u << KeySignatureEvent);
    for (int round = 0; round < 2; ++round) {
        dropped.clear();
        for (EventSequence* seq : {&plain, &sunk}) {
            seq->reset();
            seq->addFilterBits(1u << TimeSignatureEvent | 1u << KeySignatureEvent |
                               1u << PauseEvent);
            for (const E& e : offered) seq->add(e);
        }
        EXPECT_EQ(dropped, (std::vector<E>{offered[0], offered[2], offered[5]})) << round;
        ASSERT_EQ(sunk.size(), plain.size());
        for (size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(sunk.at(i), plain.at(i));
    }
    sunk.setDroppedSink(nullptr, 0);
    dropped.clear();
    sunk.add(offered[0]);
    EXPECT_TRUE(dropped.empty());
}

}  // namespace
}  // namespace scq
