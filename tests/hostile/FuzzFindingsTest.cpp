// What the fuzz targets found, kept as regression tests.

#include <gtest/gtest.h>

#include <cstdint>

#include "FoundInputs.h"
#include "Hostile.h"
#include "perform/EventSequence.h"

namespace scq::test {
namespace {

// An event added far behind the end of a full sequence is carried through every page after
// its place. That once moved every event of every such page; it must cost little per page.
TEST(FuzzFindings, EventsBehindTheEndOfAFullSequenceAreCheap) {
    EventSequence sequence(16);
    ASSERT_EQ(sequence.allocatePages(16), 16);
    constexpr size_t kCapacity = size_t{EventSequence::PageSize} * EventSequence::MaxPages;
    for (size_t i = 0; i < kCapacity; ++i) {
        ASSERT_TRUE(sequence.addPause(static_cast<int32_t>(1000 + i), 1));
    }
    ASSERT_EQ(sequence.size(), kCapacity);
    ASSERT_FALSE(sequence.isFull());

    constexpr int kEarly = 5000;
    for (int i = 0; i < kEarly; ++i) {
        // Each lands in page 0, and the last event of the sequence falls off.
        EXPECT_FALSE(sequence.addPause(i % 500, 2));
    }
    EXPECT_TRUE(sequence.isFull());
    ASSERT_EQ(sequence.size(), kCapacity);

    // Sorted; the early events first, in the order of their times; the latest ones are gone.
    for (size_t i = 0; i + 1 < kCapacity; ++i) {
        ASSERT_FALSE(sequence.at(i).sortsAfter(sequence.at(i + 1))) << i;
    }
    EXPECT_EQ(sequence.at(0).time, 0);
    EXPECT_EQ(sequence.at(kEarly - 1).time, 499);
    EXPECT_EQ(sequence.at(kEarly).time, 1000);
    EXPECT_EQ(sequence.at(kCapacity - 1).time, static_cast<int32_t>(1000 + kCapacity - 1 - kEarly));
}

// Carrying through ring pages keeps the carry rules: an event of equal time and tie rank does
// not displace the last event of a full page, so the carry from page 0 is the one lost.
TEST(FuzzFindings, CarriesThroughRingPagesKeepTheirRules) {
    EventSequence sequence(0);
    ASSERT_EQ(sequence.allocatePages(2), 2);
    constexpr int kPage = EventSequence::PageSize;
    for (int i = 0; i < 2 * kPage; ++i) {
        ASSERT_TRUE(sequence.addPause(10, static_cast<unsigned>(i)));
    }
    EXPECT_FALSE(sequence.addPause(5, 7777));
    EXPECT_EQ(sequence.at(0).pauseUnits(), 7777u);
    for (int i = 1; i < 2 * kPage; ++i) {
        const unsigned expected = static_cast<unsigned>(i < kPage ? i - 1 : i);
        ASSERT_EQ(sequence.at(static_cast<size_t>(i)).pauseUnits(), expected) << i;
    }
    // An event that belongs in the middle of a page moves the shorter side of its ring.
    EventSequence small(0);
    ASSERT_EQ(small.allocatePages(1), 1);
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(small.addPause(2 * i, static_cast<unsigned>(i)));
    ASSERT_TRUE(small.addPause(21, 500));   // near the front
    ASSERT_TRUE(small.addPause(181, 501));  // near the back
    ASSERT_TRUE(small.addPause(-1, 502));   // first
    ASSERT_EQ(small.size(), 103u);
    EXPECT_EQ(small.at(0).pauseUnits(), 502u);
    EXPECT_EQ(small.at(12).pauseUnits(), 500u);
    EXPECT_EQ(small.at(93).pauseUnits(), 501u);
    EXPECT_EQ(small.at(102).pauseUnits(), 99u);
    for (size_t i = 0; i + 1 < small.size(); ++i) {
        ASSERT_FALSE(small.at(i).sortsAfter(small.at(i + 1))) << i;
    }
}

// The whole road on the song the load target found slow: under a second in an optimised
// build (it took twenty before the sequence was mended).
TEST(FuzzFindings, SlowFullSequenceSongPlaysInBoundedTime) {
    const Bytes bytes(std::begin(found::kSlowFullSequence), std::end(found::kSlowFullSequence));
    Loaded loaded = LoadFromMemory(bytes);
    ASSERT_TRUE(loaded.song);
    AuditAndPlay(*loaded.song);
}

}  // namespace
}  // namespace scq::test
