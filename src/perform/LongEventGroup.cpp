#include "perform/LongEventGroup.h"

namespace scq {

void LongEventGroup::pop() {
    if (!rest_.empty()) {
        rest_.pop_back();
    } else {
        front_.pop_back();
    }
}

uint32_t LongEventGroup::frontTo(uint32_t want) {
    uint32_t copied = 0;
    while (front_.size() > want) {
        rest_.push_front(front_.back());
        front_.pop_back();
        ++copied;
    }
    while (front_.size() < want) {
        front_.push_back(rest_.front());
        rest_.pop_front();
        ++copied;
    }
    return copied;
}

uint64_t LongEventGroup::shift(uint32_t from, uint32_t steps) {
    uint64_t copied = 0;
    ShiftEventGroup(size(), from, steps, [&](uint32_t first, uint32_t last) {
        // The front ends at `last`: the run leaves from its end, last position first.
        copied += frontTo(last + 1) + (last + 1 - first);
        for (uint32_t i = first; i <= last; ++i) {
            rest_.push_back(front_.back());
            front_.pop_back();
        }
    });
    return copied;
}

void LongEventGroup::assign(const StoredEvent* events, size_t n) {
    front_.clear();
    rest_.assign(events, events + n);
}

void LongEventGroup::clear() {
    front_.clear();
    rest_.clear();
}

}  // namespace scq
