#include "perform/LongEventGroup.h"

#include <algorithm>
#include <utility>

namespace scq {

namespace {

// The end array is moved into the rope once it holds this many events.
constexpr size_t kBackLimit = 4096;

}  // namespace

void LongEventGroup::push(EventRope& ropes, const StoredEvent& e) {
    back_.push_back(e);
    if (back_.size() >= kBackLimit) flushBack(ropes);
}

void LongEventGroup::pop(EventRope& ropes) {
    if (!back_.empty()) {
        back_.pop_back();
    } else if (middle_ != EventRope::Empty) {
        middle_ = ropes.popBack(middle_);
    } else {
        front_.pop_back();
    }
}

void LongEventGroup::flushBack(EventRope& ropes) {
    middle_ = ropes.join(middle_, ropes.build(back_.data(), back_.size()));
    back_.clear();
}

void LongEventGroup::frontTo(EventRope& ropes, uint32_t want) {
    if (front_.size() > want) {
        const EventRope::Rope extra = ropes.build(front_.data() + want, front_.size() - want);
        middle_ = ropes.join(extra, middle_);
        front_.resize(want);
        return;
    }
    uint32_t need = want - static_cast<uint32_t>(front_.size());
    const uint32_t fromMiddle = std::min(need, ropes.size(middle_));
    if (fromMiddle > 0) {
        middle_ = ropes.takeFront(middle_, fromMiddle, front_);
        need -= fromMiddle;
    }
    if (need > 0) {
        front_.insert(front_.end(), back_.begin(), back_.begin() + need);
        back_.erase(back_.begin(), back_.begin() + need);
    }
}

void LongEventGroup::shift(EventRope& ropes, uint32_t from, uint32_t steps) {
    ShiftEventGroup(
        size(ropes), from, steps,
        [&](uint32_t first, uint32_t last) {
            // The front ends at `last`: the run leaves from its end, last position first.
            frontTo(ropes, last + 1);
            for (uint32_t i = first; i <= last; ++i) {
                back_.push_back(front_.back());
                front_.pop_back();
            }
            if (back_.size() >= kBackLimit) flushBack(ropes);
        },
        [&](uint32_t laps) {
            flushBack(ropes);
            middle_ = ropes.join(ropes.build(front_.data(), front_.size()), middle_);
            front_.clear();
            for (uint32_t k = 0; k < laps; ++k) middle_ = ropes.moveReversedToEnd(middle_, 0, 1023);
            return true;
        });
}

void LongEventGroup::release(EventRope& ropes) {
    ropes.release(middle_);
    middle_ = EventRope::Empty;
    front_.clear();
    back_.clear();
}

void LongEventGroup::assign(std::vector<StoredEvent>&& events) {
    front_.clear();
    middle_ = EventRope::Empty;
    back_ = std::move(events);
}

}  // namespace scq
