#include "perform/PerformanceBuilder.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "items/ItemKinds.h"
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
        // Nothing more is played once the item budget is spent, or once the sequence has
        // filled up and taken its budget of further events: it takes none now.
        if (budget == 0 || sequence.workBudgetSpent()) return false;
        --budget;
        // The item's own operations, called directly: this loop runs millions of times.
        VisitItemKind(*item, staff.codeAt(index_), [&](auto& x) {
            using K [[maybe_unused]] = KindOf<decltype(x)>;
            if (!muted || !x.K::hasNotes()) x.K::contributeToPerformance(state_, sequence);
            index_ = x.K::nextPlayIndex(state_, staff, index_);
            x.K::applyToStaffState(state_);
        });
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
        sequence.setOrigin(static_cast<int>(i));
        players_[i]->begin(sequence);
    }

    // The staffs are walked side by side in slices of 384 ticks: in each slice every staff
    // that still has items plays them, in staff order, up to the slice's bound. A staff at or
    // past the bound plays nothing in that slice and a finished one nothing ever again, so
    // only the staffs whose time is below the bound are stepped. The others wait in a
    // min-heap keyed by their time; a slice in which no staff is below the bound adds nothing
    // and is passed over.
    struct Waiting {
        int32_t time;
        uint32_t staff;
        bool operator>(const Waiting& o) const { return time > o.time; }
    };
    std::vector<Waiting> waiting;
    std::vector<uint32_t> due;  // the staffs to step in this slice
    waiting.reserve(n);
    due.reserve(n);
    // Every staff starts at time 0, below the first bound.
    for (size_t i = 0; i < n; ++i) due.push_back(static_cast<uint32_t>(i));

    uint32_t budget = kMaxItemsPlayed;
    int64_t until = perform::kSliceTicks;
    for (;;) {
        // Within a slice, events equal in time and tie rank keep the order in which the staffs
        // add them: staff order.
        if (due.size() > 1) std::sort(due.begin(), due.end());
        for (const uint32_t i : due) {
            StaffPlayer& p = *players_[i];
            sequence.setOrigin(static_cast<int>(i));
            if (p.step(sequence, static_cast<int32_t>(until), budget)) {
                // Still has items: its time has reached the bound.
                waiting.push_back({p.state().time, i});
                std::push_heap(waiting.begin(), waiting.end(), std::greater<>{});
            }
        }
        // With the item budget spent no staff can play again; without waiting staffs none
        // has items left; a full sequence ends the render after the slice that filled it.
        if (budget == 0 || waiting.empty() || sequence.isFull() || sequence.workBudgetSpent()) {
            break;
        }

        // The next slice that plays anything is the first whose bound passes the earliest
        // waiting time (which is at or past the current bound). The render stops where the
        // slice-by-slice walk would: before a bound beyond kMaxRenderTicks.
        const int64_t earliest = waiting.front().time;
        until += (std::max(earliest, until) - until) / perform::kSliceTicks * perform::kSliceTicks +
                 perform::kSliceTicks;
        if (until > kMaxRenderTicks) break;
        due.clear();
        while (!waiting.empty() && waiting.front().time < until) {
            due.push_back(waiting.front().staff);
            std::pop_heap(waiting.begin(), waiting.end(), std::greater<>{});
            waiting.pop_back();
        }
    }
    itemsPlayed_ = kMaxItemsPlayed - budget;
}

}  // namespace scq
