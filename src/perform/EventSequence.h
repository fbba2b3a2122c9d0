#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <vector>

#include "perform/LongEventGroup.h"
#include "perform/SequenceEvent.h"

namespace scq {

// The time-ordered store of the events of a performance.
//
// The sequence behaves as 1024 pages of 1024 events: reading pages 0 to lastUsedPage() in
// order yields every stored event sorted by time and tie rank, and every page before the last
// used one is full. An event enters at its sorted place, behind the events it does not sort
// before; an insertion into a full page pushes that page's last event on to the next page,
// where it goes behind the events equal to it (same time and tie rank), and so on. That
// carry decides the order of equal events and which event is lost when every page is full.
//
// The pages are not kept as such. Events of one sort key form a group. A carry through the
// pages only ever moves, within each later group that straddles a page boundary, the event at
// the boundary to the group's end; those moves depend on nothing but the group's start
// position, so they are made lazily, when the group is next touched or read, and an insertion
// far from the end costs no more than one at the end. What the moves cost is counted: a
// crafted song can make them add up, and a render ends once they pass a work budget that no
// real song comes near (see workBudgetSpent).
class EventSequence {
public:
    static constexpr int PageSize = 1024;
    static constexpr int MaxPages = 1024;
    // Work budgets: events offered to a full sequence, events moved to keep equal events in
    // their stored order, and events offered in all, those the filter drops included (a
    // rendering that keeps only a few kinds never fills up). Past any of them the sequence
    // takes no more events.
    static constexpr uint32_t kFullWorkBudget = uint32_t{1} << 20;
    static constexpr uint64_t kMoveWorkBudget = uint64_t{1} << 22;
    static constexpr uint64_t kOfferWorkBudget = uint64_t{1} << 24;

    // What became of an offered event.
    enum class AddResult {
        Stored,     // stored; nothing was lost
        Dropped,    // filtered out, discarded or merged by the start offset; nothing was lost
        LostOther,  // stored, and the last stored event fell off the end of a full sequence
        LostThis,   // this event was lost: it sorts at or after the end of a full sequence
    };

    // `growBy`: how many pages are added at once when every allocated page is full (0: the
    // sequence never grows by itself).
    explicit EventSequence(int growBy);
    EventSequence(const EventSequence&) = delete;
    EventSequence& operator=(const EventSequence&) = delete;
    ~EventSequence();

    // Frees every page, then allocates min(n, 1024) empty pages (none for n <= 0) and returns
    // that number. The sequence is left reset.
    int allocatePages(int n);
    // Empties every page without freeing it; clears the full flag, start offset and filter.
    void reset();
    // Frees every page, then resets.
    void release();

    // Events whose kind k has bit (1 << k) set in the filter are dropped on adding.
    void addFilterBits(unsigned mask) { kindFilter_ |= static_cast<uint16_t>(mask); }
    // Playing from a position: events at or before `ticks` collapse to time 0, later ones
    // move earlier by `ticks`. 0 turns this off.
    void setStartOffset(int32_t ticks) { startOffset_ = ticks; }
    // Events of the kinds whose bits are set in `kinds` that the kind filter drops are appended
    // to `sink` (none for nullptr) in the order they are offered, instead of vanishing: one
    // rendering can hand on what its filter leaves out without storing anything differently.
    // Kept across reset.
    void setDroppedSink(std::vector<SequenceEvent>* sink, unsigned kinds) {
        droppedSink_ = sink;
        droppedKinds_ = sink ? static_cast<uint16_t>(kinds) : uint16_t{0};
    }
    // The tag stored beside every event added from now on (the performance tags each event
    // with its staff); 0 after construction and reset.
    void setOrigin(int origin) { origin_ = static_cast<uint16_t>(origin); }

    // True once an event has been lost for want of room.
    bool isFull() const { return full_; }
    bool isEmpty() const { return count_ == 0; }
    // True once kFullWorkBudget events have been offered to the sequence while it was full,
    // kMoveWorkBudget events have been moved to settle groups of equal events, or
    // kOfferWorkBudget events have been offered in all: it then takes no event at all, and
    // whoever fills it should stop, as if it had filled up. No real song comes near any of
    // them: a sequence fills up after a million events, a filter drops few of the events of a
    // rendering that keeps most kinds, and a real song moves few events (the large benchmark
    // song, 71 minutes of 64 staffs that fill the sequence, offers 64 events once full and
    // moves about 540,000, an eighth of the budget; with 255 such staffs it moves about
    // 720,000).
    bool workBudgetSpent() const {
        return offeredWhileFull_ >= kFullWorkBudget || moved_ >= kMoveWorkBudget ||
               offered_ >= kOfferWorkBudget;
    }
    // Events offered since the last reset, whatever became of them.
    uint64_t eventsOffered() const { return offered_; }
    // Events moved to settle groups so far.
    uint64_t eventsMoved() const { return moved_; }
    // Events offered while the sequence was full (not counting filtered ones).
    uint32_t offeredWhileFull() const { return offeredWhileFull_; }
    // Bit (1 << k) is set once an event of kind k has been offered since the last reset,
    // whether or not the filter let it in: two renderings whose filters differ only in kinds
    // that were never offered stored the same events.
    unsigned offeredKinds() const { return offeredKinds_; }

    // Stores the event at its sorted place (see the class comment). When every allocated page
    // is full, `growBy` pages are added (never beyond 1024 in all); without room the event
    // that falls off the end is lost and the full flag is set.
    AddResult addEvent(const SequenceEvent& event);
    // The same; false exactly when this call lost an event.
    bool add(const SequenceEvent& event) {
        const AddResult r = addEvent(event);
        return r == AddResult::Stored || r == AddResult::Dropped;
    }

    // A tempo of `bpm` quarter notes per minute, stored as 60000000 / bpm microseconds per
    // quarter; any bpm below 4 is taken as 4.
    bool addTempo(int32_t time, int bpm);
    bool addTimeSignature(int32_t time, int beats, int beatValueCode);
    // `modeFlag` is stored as 0 or 1.
    bool addKeySignature(int32_t time, int key, int modeFlag);
    // `units` of 48 ticks, low 16 bits.
    bool addPause(int32_t time, unsigned units);

    // Length of the performance in milliseconds, up to its last event that is not a tempo
    // change, with pauses stopping the clock 48 ticks per unit at the tempo in force. The
    // sum wraps modulo 2^32.
    uint32_t ElapsedMilliseconds() const;

    // Read access. The reading operations settle the order of the stored events first, so
    // they are not safe to call from two threads at once on one sequence.
    int lastAllocatedPage() const { return allocatedPages_ - 1; }
    int lastUsedPage() const;
    int pageCount() const { return allocatedPages_; }
    // Events held by an allocated page, 0 for any other index.
    int pageEventCount(int page) const;
    int growBy() const { return growBy_; }
    uint16_t kindFilter() const { return kindFilter_; }
    int32_t startOffset() const { return startOffset_; }

    // Number of stored events, and the event at a position 0 to size() - 1 in stored order.
    size_t size() const { return count_; }
    const SequenceEvent& at(size_t index) const { return flat().events[index]; }
    // The origin tag of the event at a position.
    int originAt(size_t index) const { return flat().origins[index]; }
    // Calls f(const SequenceEvent&) for every stored event in order.
    template <class F>
    void forEach(F&& f) const {
        forEachSlot([&](const Slot& s) { f(s.event); });
    }
    // Calls f(const SequenceEvent&, int origin) for every stored event in order.
    template <class F>
    void forEachWithOrigin(F&& f) const {
        forEachSlot([&](const Slot& s) { f(s.event, int{s.origin}); });
    }

private:
    using Slot = StoredEvent;
    // Every event of one sort key, in stored order as of the moment the group started at
    // `syncedStart` (the number of events before it). Moving the start on by one moves the
    // event at the group's first page boundary to its end; settle() makes those moves. A
    // group of one event keeps it in `single`; a larger one is a vector of `smalls_` while it
    // is small (`store` its index) and a long group of `longs_` once it grows past
    // kSmallGroup events (`store` its index, with kLongBit set).
    struct Group {
        uint64_t key = 0;
        uint32_t count = 0;
        uint32_t syncedStart = 0;
        uint32_t store = kNoStore;
        Slot single;
    };
    static constexpr uint32_t kNoStore = 0xFFFFFFFFu;
    static constexpr uint32_t kLongBit = 0x80000000u;
    static constexpr uint32_t kSmallGroup = 64;
    // The groups in key order, in chunks, with a Fenwick tree over the chunks' event counts
    // for the number of events before any group. Chunks are at least half full except at the
    // end, so the chunk table stays small and the tree cheap to rebuild.
    // Within a chunk, the events of each block of kBlock groups are summed too, so that the
    // events before a group take a few additions, not a walk over half the chunk. Blocks past
    // the chunk's last group hold 0.
    struct Chunk {
        static constexpr uint32_t kCapacity = 512;
        static constexpr uint32_t kBlock = 32;
        uint32_t size = 0;
        uint32_t events = 0;
        uint32_t blockEvents[kCapacity / kBlock] = {};
        Group groups[kCapacity];

        // Sums the blocks from the one holding group `from` to the end anew.
        void resumFrom(uint32_t from);
    };
    struct Place {
        size_t chunk;
        uint32_t index;
    };
    struct Flat {
        std::vector<SequenceEvent> events;
        std::vector<uint16_t> origins;
    };

    // Time and tie rank as one number: a sorts after b exactly when SortKey(a) > SortKey(b).
    static uint64_t SortKey(const SequenceEvent& e) {
        const uint32_t biased = static_cast<uint32_t>(e.time) ^ 0x80000000u;
        return static_cast<uint64_t>(biased) << 3 | static_cast<uint64_t>(e.tieRank());
    }

    AddResult insert(const SequenceEvent& event);
    bool mergeAtStart(const SequenceEvent& event);
    void clearGroups();
    Group& groupAt(Place p) const;
    // Where the group of `key` is, or would be inserted.
    Place locate(uint64_t key, bool& found) const;
    Place lastPlace() const;
    bool lastKeyAtMost(uint64_t key, bool& equal) const;
    Place insertGroup(Place p, const Group& g);
    void removeGroup(Place p);
    // The group at `p` gained (or lost) `delta` events.
    void addToCount(Place p, int delta);
    // The chunk's event count changed by `delta` (its blocks already tell).
    void addToChunkCount(size_t chunk, int delta);
    uint32_t eventsBefore(Place p) const;
    // Brings the group's stored order up to date with its start position.
    void settle(Group& g, uint32_t start) const;
    void append(Group& g, const Slot& slot);
    void popBack(Group& g);
    void releaseStore(Group& g);
    template <class F>
    void forEachIn(const Group& g, F&& f) const;
    // Calls f(const Slot&) for every stored event in order, settling every group on the way.
    template <class F>
    void forEachSlot(F&& f) const;
    void rebuildTree();
    const Flat& flat() const;

    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::vector<uint64_t> chunkFirstKey_;
    std::vector<uint32_t> tree_;  // Fenwick tree over chunk counts, 1-based
    // Small groups come and go by the thousand: their vectors draw on a pool.
    std::pmr::unsynchronized_pool_resource pool_;
    mutable std::vector<std::pmr::vector<Slot>> smalls_;
    std::vector<uint32_t> freeSmalls_;
    mutable std::vector<LongEventGroup> longs_;
    // Events copied to settle groups: the work the carries cost.
    mutable uint64_t moved_ = 0;
    std::vector<uint32_t> freeLongs_;
    mutable Flat flat_;
    mutable bool flatValid_ = false;

    uint32_t count_ = 0;
    int allocatedPages_ = 0;
    bool full_ = false;
    uint32_t offeredWhileFull_ = 0;
    uint64_t offered_ = 0;
    int32_t startOffset_ = 0;
    uint16_t kindFilter_ = 0;
    uint16_t offeredKinds_ = 0;
    uint16_t origin_ = 0;
    uint16_t droppedKinds_ = 0;
    std::vector<SequenceEvent>* droppedSink_ = nullptr;
    int growBy_ = 0;
};

template <class F>
void EventSequence::forEachIn(const Group& g, F&& f) const {
    if (g.store == kNoStore) {
        f(g.single);
    } else if (g.store & kLongBit) {
        longs_[g.store & ~kLongBit].forEach(f);
    } else {
        for (const Slot& s : smalls_[g.store]) f(s);
    }
}

template <class F>
void EventSequence::forEachSlot(F&& f) const {
    uint32_t start = 0;
    for (const auto& chunk : chunks_) {
        for (uint32_t k = 0; k < chunk->size; ++k) {
            Group& g = chunk->groups[k];
            settle(g, start);
            forEachIn(g, f);
            start += g.count;
        }
    }
}

}  // namespace scq
