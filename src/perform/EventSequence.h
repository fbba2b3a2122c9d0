#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "perform/SequenceEvent.h"

namespace scq {

// The time-ordered store of the events of a performance.
//
// Events live in pages of 1024, at most 1024 pages, so that no allocation exceeds one page
// however long the song; the table of pages is part of the object. Reading pages 0 to
// lastUsedPage() in order yields every stored event sorted by time and tie rank, and every
// page before the last used one is full. Events are expected to arrive nearly in time order:
// an event that belongs at the end costs constant time.
class EventSequence {
public:
    static constexpr int PageSize = 1024;
    static constexpr int MaxPages = 1024;

    // `growBy`: how many pages are added at once when every allocated page is full (0: the
    // sequence never grows by itself).
    explicit EventSequence(int growBy);
    EventSequence(const EventSequence&) = delete;
    EventSequence& operator=(const EventSequence&) = delete;
    ~EventSequence() = default;

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

    // True once an event has been lost for want of room.
    bool isFull() const { return full_; }
    bool isEmpty() const { return info_[0].count == 0; }

    // Stores the event at its sorted place: behind every event it does not sort before, so
    // that events of equal time and tie rank keep the order in which they arrive. When every
    // allocated page is full, `growBy` pages are added (never beyond 1024 in all); without
    // room the event that falls off the end is lost and the full flag is set. Returns false
    // exactly when this call lost an event; filtered or absorbed events count as handled.
    bool add(const SequenceEvent& event);

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

    // Read access.
    int lastAllocatedPage() const { return lastAllocatedPage_; }
    int lastUsedPage() const { return lastUsedPage_; }
    int pageCount() const { return lastAllocatedPage_ + 1; }
    // Events held by an allocated page, 0 for any other index.
    int pageEventCount(int page) const;
    int growBy() const { return growBy_; }
    uint16_t kindFilter() const { return kindFilter_; }
    int32_t startOffset() const { return startOffset_; }

    // Number of stored events, and the event at a position 0 to size() - 1 in stored order.
    size_t size() const;
    const SequenceEvent& at(size_t index) const {
        return slot(static_cast<int>(index / PageSize), static_cast<int>(index % PageSize));
    }
    // Calls f(const SequenceEvent&) for every stored event in order.
    template <class F>
    void forEach(F&& f) const {
        for (int p = 0; p <= lastUsedPage_; ++p) {
            for (int i = 0; i < info_[p].count; ++i) f(slot(p, i));
        }
    }

private:
    // A page is a ring of event slots: its events start at the slot `head` of its entry in
    // `info_`, so that an event entering at either end moves no other event.
    struct EventPage {
        SequenceEvent events[PageSize];
    };
    static_assert((PageSize & (PageSize - 1)) == 0, "a page's ring indexes by masking");
    static constexpr int Mask = PageSize - 1;

    // What the carry of an insertion needs to know about a page, kept apart from the events
    // so that passing a carry through many pages reads one compact table: the count, the
    // ring's head, the sort keys (see SortKey) of the first and last events, valid while the
    // page holds events, and how many events at the front share the first key (0: not known
    // yet; found when needed).
    struct PageInfo {
        uint64_t firstKey = 0;
        uint64_t lastKey = 0;
        int16_t count = 0;
        int16_t head = 0;
        int16_t firstRun = 0;
    };

    // Time and tie rank as one number: a sorts after b exactly when SortKey(a) > SortKey(b).
    static uint64_t SortKey(const SequenceEvent& e) {
        const uint32_t biased = static_cast<uint32_t>(e.time) ^ 0x80000000u;
        return static_cast<uint64_t>(biased) << 3 | static_cast<uint64_t>(e.tieRank());
    }

    SequenceEvent& slot(int page, int i) {
        return pages_[page]->events[(info_[page].head + i) & Mask];
    }
    const SequenceEvent& slot(int page, int i) const {
        return pages_[page]->events[(info_[page].head + i) & Mask];
    }
    SequenceEvent& ref(size_t index) {
        return slot(static_cast<int>(index / PageSize), static_cast<int>(index % PageSize));
    }
    void refreshKeys(int page);
    int leadingRun(int page);
    bool mergeAtStart(const SequenceEvent& event);
    bool insert(SequenceEvent carry);
    int firstPageToOffer(uint64_t key) const;
    void insertIntoPage(int page, const SequenceEvent& event, uint64_t key, bool nearFront);
    static std::unique_ptr<EventPage> NewPage();

    std::array<std::unique_ptr<EventPage>, MaxPages> pages_;
    std::array<PageInfo, MaxPages> info_{};
    int lastAllocatedPage_ = -1;
    int lastUsedPage_ = -1;
    bool full_ = false;
    int32_t startOffset_ = 0;
    uint16_t kindFilter_ = 0;
    int growBy_ = 0;
};

}  // namespace scq
