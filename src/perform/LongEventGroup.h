#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "perform/SequenceEvent.h"

namespace scq {

// One stored event and the origin tag beside it.
struct StoredEvent {
    SequenceEvent event;
    uint16_t origin = 0;
};

// The moves that a group of `count` equal events (same time and tie rank) of an event
// sequence undergoes when its start, last settled at `from`, moves on by `steps` positions.
// The sequence behaves as pages of 1024 events; each move by one carries the event at the
// group's first page boundary, at offset (-start) mod 1024, to the group's end, unless it
// already is the last. Consecutive moves take offsets j, j - 1, ..., so a run of them takes
// a block of events ending at j to the end, reversed: `run(from, to)` does that for the
// positions from..to. A whole lap of 1024 moves reverses a group of at most 1025 events (the
// boundary meets every event but the last, from the back), so two laps change nothing.
template <class Run>
void ShiftEventGroup(uint32_t count, uint32_t from, uint32_t steps, Run&& run) {
    constexpr uint32_t kPage = 1024;
    constexpr uint32_t kMask = kPage - 1;
    if (count < 2) return;
    if (count <= kPage + 1) steps %= 2 * kPage;
    const uint32_t highest = count - 2 < kMask ? count - 2 : kMask;  // offsets that move
    uint32_t offset = (0u - from - 1u) & kMask;                      // that of the first move
    while (steps > 0) {
        if (offset > highest) {
            const uint32_t idle = steps < offset - highest ? steps : offset - highest;
            steps -= idle;
            offset -= idle;
            continue;
        }
        const uint32_t length = steps < offset + 1 ? steps : offset + 1;
        run(offset + 1 - length, offset);
        steps -= length;
        offset = (offset - length) & kMask;
    }
}

// The events of a large group of equal events in stored order. Every move takes events from
// the first 1024 positions to the end, from the back of a run, so the group keeps positions
// 0..j (j the offset of its next move) in an array whose end is where the moves leave, and
// the rest in a double-ended queue: moving an event, and refilling the front, cost one copy.
class LongEventGroup {
public:
    uint32_t size() const { return static_cast<uint32_t>(front_.size() + rest_.size()); }
    void push(const StoredEvent& e) { rest_.push_back(e); }
    void pop();
    // Makes `steps` moves of a group that started at `from` (see ShiftEventGroup); returns
    // the number of events copied.
    uint64_t shift(uint32_t from, uint32_t steps);
    template <class F>
    void forEach(F&& f) const {
        for (const StoredEvent& e : front_) f(e);
        for (const StoredEvent& e : rest_) f(e);
    }
    // Starts the group from events in order.
    void assign(const StoredEvent* events, size_t n);
    void clear();

private:
    // Makes the front hold exactly positions 0 .. want - 1; returns the events copied.
    uint32_t frontTo(uint32_t want);

    std::vector<StoredEvent> front_;
    std::deque<StoredEvent> rest_;
};

}  // namespace scq
