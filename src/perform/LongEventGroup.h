#pragma once

#include <cstdint>
#include <vector>

#include "perform/EventRope.h"

namespace scq {

// The moves that a group of `count` equal events (same time and tie rank) of an event
// sequence undergoes when its start, last settled at `from`, moves on by `steps` positions.
// The sequence behaves as pages of 1024 events; each move by one carries the event at the
// group's first page boundary, at offset (-start) mod 1024, to the group's end, unless it
// already is the last. Consecutive moves take offsets j, j - 1, ..., so a run of them takes
// a block of events ending at j to the end, reversed: `run(from, to)` does that for the
// positions from..to. A whole lap of 1024 moves reverses a group of at most 1025 events (the
// boundary meets every event but the last, from the back), so two laps change nothing; a
// longer group moves its first 1024 events per lap. `laps(k)`, offered k >= 2 whole laps of
// such a longer group, makes them and returns true, or returns false to have them made run
// by run.
template <class Run, class Laps>
void ShiftEventGroup(uint32_t count, uint32_t from, uint32_t steps, Run&& run, Laps&& laps) {
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
        if (offset == kMask && steps >= 2 * kPage && count > kPage + 1 && laps(steps / kPage)) {
            steps %= kPage;
            continue;
        }
        const uint32_t length = steps < offset + 1 ? steps : offset + 1;
        run(offset + 1 - length, offset);
        steps -= length;
        offset = (offset - length) & kMask;
    }
}

// The events of a large group of equal events (same time and tie rank) in stored order, for
// the moves that the page carries of an event sequence make on it: a block of positions
// within the first 1024 taken out, reversed and put at the end. Most such moves take one
// event from the front region to the end, so the group keeps its front and its end in plain
// arrays and only the middle in a rope: a move of d events costs d, and refilling the front
// from the rope costs a logarithm per 1024 events. Whole laps of 1024 moves, which a group
// meets when many events were stored before it since it was last settled, go through the
// rope at a logarithm each.
class LongEventGroup {
public:
    uint32_t size(const EventRope& ropes) const {
        return static_cast<uint32_t>(front_.size() + back_.size()) + ropes.size(middle_);
    }
    void push(EventRope& ropes, const StoredEvent& e);
    void pop(EventRope& ropes);
    // Makes `steps` moves of a group that started at `from`: see ShiftEventGroup.
    void shift(EventRope& ropes, uint32_t from, uint32_t steps);
    template <class F>
    void forEach(EventRope& ropes, F&& f) const {
        for (const StoredEvent& e : front_) f(e);
        ropes.forEach(middle_, [&](const SequenceEvent& e, uint16_t origin) {
            f(StoredEvent{e, origin});
        });
        for (const StoredEvent& e : back_) f(e);
    }
    // Gives the rope's nodes back and empties the group.
    void release(EventRope& ropes);
    // Starts the group from events in order.
    void assign(std::vector<StoredEvent>&& events);

private:
    // The front holds exactly positions 0 .. want - 1.
    void frontTo(EventRope& ropes, uint32_t want);
    void flushBack(EventRope& ropes);

    std::vector<StoredEvent> front_;
    EventRope::Rope middle_ = EventRope::Empty;
    std::vector<StoredEvent> back_;
};

}  // namespace scq
