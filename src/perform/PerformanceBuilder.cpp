#include "perform/PerformanceBuilder.h"

#include <algorithm>

#include "items/NotationItem.h"
#include "perform/EventSequence.h"
#include "perform/PerformRules.h"
#include "song/Song.h"
#include "song/Staff.h"
#include "staff/Audit.h"

namespace scq {

namespace {

constexpr size_t kFirstPlayerRoom = 17;
constexpr size_t kPlayerGrowth = 16;

// A staff's transposition as the 6-bit signed field takes it.
int lowSixBitsSigned(int32_t value) {
    const int v = static_cast<int>(static_cast<uint32_t>(value) & 0x3Fu);
    return v >= 32 ? v - 64 : v;
}

}  // namespace

StaffPlayer::StaffPlayer() {
    bind(nullptr);
}

void StaffPlayer::bind(Staff* staff) {
    staff_ = staff;
    index_ = 0;
    savedIndex = 0;
    savedLevel = 0;
    state_.reset();
    state_.tieSetA.clear();
    state_.tieSetB.clear();
    if (staff_) {
        state_.channel = static_cast<unsigned>(staff_->channel) & 0xFu;
        state_.device = static_cast<unsigned>(staff_->device) & 0xFu;
    }
}

void StaffPlayer::begin(EventSequence& sequence) {
    if (!staff_) return;
    const Staff& s = *staff_;
    state_.reset();
    state_.channel = static_cast<unsigned>(s.channel) & 0xFu;
    state_.device = static_cast<unsigned>(s.device) & 0xFu;
    if (state_.walkMode == 0) state_.transposition = lowSixBitsSigned(s.transposition);
    flow_.build(s);
    state_.flowTable = &flow_;

    if (s.muted == 0) perform::addInstrumentEvents(sequence, state_, 0, s.instrument);
    if (s.volume >= 0) {
        sequence.add(perform::channelEvent(state_, 0, SequenceEvent::ControlChange, 7, s.volume));
    }
    if (s.stereoPan >= 0) {
        sequence.add(
            perform::channelEvent(state_, 0, SequenceEvent::ControlChange, 10, s.stereoPan));
    }
}

bool StaffPlayer::step(EventSequence& sequence, int32_t until, uint32_t& budget) {
    if (!staff_ || index_ < 0) return false;
    Staff& staff = *staff_;
    NotationItem* item = staff.itemAt(index_);
    if (!item) {
        index_ = -1;
        return false;
    }
    const bool muted = staff.muted != 0;
    while (state_.time < until) {
        if (budget == 0) return false;
        --budget;
        if (!muted || !item->hasNotes()) item->contributeToPerformance(state_, sequence);
        index_ = item->nextPlayIndex(state_, staff, index_);
        item->applyToStaffState(state_);
        item = index_ >= 0 ? staff.itemAt(index_) : nullptr;
        if (!item) {
            index_ = -1;
            return false;
        }
    }
    return true;
}

PerformanceBuilder::PerformanceBuilder() {
    players_.reserve(kFirstPlayerRoom);
}

PerformanceBuilder::~PerformanceBuilder() = default;

void PerformanceBuilder::attach(Song* song) {
    song_ = song;
    if (!song_) return;
    const size_t n = static_cast<size_t>(song_->staffCount());
    while (players_.size() < n) {
        if (players_.size() == players_.capacity()) {
            players_.reserve(players_.capacity() + kPlayerGrowth);
        }
        players_.push_back(std::make_unique<StaffPlayer>());
    }
    auditSong(*song_, 0);
    for (size_t i = 0; i < n; ++i) players_[i]->bind(song_->staffAt(static_cast<int>(i)));
}

void PerformanceBuilder::render(EventSequence& sequence) {
    itemsPlayed_ = 0;
    sequence.addTempo(0, 120);
    if (!song_) return;
    const size_t n = std::min(static_cast<size_t>(song_->staffCount()), players_.size());
    for (size_t i = 0; i < n; ++i) {
        players_[i]->bind(song_->staffAt(static_cast<int>(i)));
        players_[i]->begin(sequence);
    }

    uint32_t budget = kMaxItemsPlayed;
    int64_t until = 0;
    for (;;) {
        until += perform::kSliceTicks;
        if (until > kMaxRenderTicks) break;
        bool itemsLeft = false;
        for (size_t i = 0; i < n; ++i) {
            if (players_[i]->step(sequence, static_cast<int32_t>(until), budget)) {
                itemsLeft = true;
            }
        }
        if (!itemsLeft || sequence.isFull()) break;

        // Slices in which every staff that has items left is already at or past the bound
        // play nothing and add nothing: go straight to the first slice that plays.
        int64_t earliest = INT64_MAX;
        for (size_t i = 0; i < n; ++i) {
            if (players_[i]->index() >= 0)
                earliest = std::min<int64_t>(earliest, players_[i]->state().time);
        }
        if (earliest != INT64_MAX && earliest >= until) {
            until += (earliest - until) / perform::kSliceTicks * perform::kSliceTicks;
        }
    }
    itemsPlayed_ = kMaxItemsPlayed - budget;
}

}  // namespace scq
