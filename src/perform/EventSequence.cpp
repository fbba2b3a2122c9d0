#include "perform/EventSequence.h"

#include <new>

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>

namespace scq {

namespace {

// Ticks are signed 32-bit; a wider intermediate stored into a tick wraps as two's complement.
int32_t WrapTicks(int64_t ticks) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(ticks)));
}

// Whether an event collapsed to time 0 replaces a stored event at time 0: the same kind, and
// for a channel message the same device, the same status byte (type above 1) and, for a
// control change, the same controller.
bool MergesWith(const SequenceEvent& stored, const SequenceEvent& event) {
    if (stored.time != event.time || stored.kind() != event.kind()) return false;
    if (event.kind() != ChannelMessage) return true;
    if (stored.device() != event.device() || stored.byteA != event.byteA) return false;
    if (stored.type() <= SequenceEvent::NoteOn) return false;
    return stored.type() != SequenceEvent::ControlChange || stored.byteB == event.byteB;
}

constexpr int64_t ChunkTicks = 96000;

// Milliseconds of `ticks` at `tempo` microseconds per quarter. The tempo is split into
// quotient and remainder by 192 and the ticks into chunks of at most 96000; each chunk is
// truncated on its own and the chunks add up modulo 2^32. Every full chunk gives the same
// value, so they are counted, not walked.
uint32_t SegmentMilliseconds(uint32_t tempo, int64_t ticks) {
    if (ticks <= 0) return 0;
    const uint64_t quotient = tempo / 192;
    const uint64_t remainder = tempo % 192;
    auto chunk = [&](uint64_t c) {
        return static_cast<uint32_t>((quotient * c + (remainder * c) / 192) / 1000);
    };
    const uint64_t n = static_cast<uint64_t>(ticks);
    const uint32_t fullChunks = static_cast<uint32_t>(n / ChunkTicks);
    return fullChunks * chunk(ChunkTicks) + chunk(n % ChunkTicks);
}

}  // namespace

std::unique_ptr<EventSequence::EventPage> EventSequence::NewPage() {
    // A page that cannot be allocated is room that does not exist: the sequence then behaves
    // as one without room to grow.
    try {
        return std::make_unique<EventPage>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

EventSequence::EventSequence(int growBy) : growBy_(growBy) {
    reset();
}

int EventSequence::allocatePages(int n) {
    release();
    n = std::clamp(n, 0, MaxPages);
    int made = 0;
    while (made < n && (pages_[made] = NewPage())) ++made;
    lastAllocatedPage_ = made - 1;
    return made;
}

void EventSequence::reset() {
    for (int i = 0; i <= lastAllocatedPage_; ++i) info_[i] = PageInfo{};
    lastUsedPage_ = -1;
    full_ = false;
    startOffset_ = 0;
    kindFilter_ = 0;
}

void EventSequence::release() {
    for (auto& page : pages_) page.reset();
    info_.fill(PageInfo{});
    lastAllocatedPage_ = -1;
    reset();
}

int EventSequence::pageEventCount(int page) const {
    if (page < 0 || page > lastAllocatedPage_) return 0;
    return info_[page].count;
}

void EventSequence::refreshKeys(int page) {
    PageInfo& info = info_[page];
    if (info.count == 0) return;
    info.firstKey = SortKey(slot(page, 0));
    info.lastKey = SortKey(slot(page, info.count - 1));
    info.firstRun = 0;
}

// The events at the front of a page that share its first key, found by galloping and
// halving the first time they are asked for after the page changed.
int EventSequence::leadingRun(int page) {
    PageInfo& info = info_[page];
    if (info.firstRun == 0 && info.count > 0) {
        const SequenceEvent* const events = pages_[page]->events;
        auto same = [&](int i) { return SortKey(events[(info.head + i) & Mask]) == info.firstKey; };
        int lo = 1;  // events 0 to lo - 1 share the key
        int step = 1;
        while (lo + step - 1 < info.count && same(lo + step - 1)) {
            lo += step;
            step *= 2;
        }
        int hi = std::min<int>(info.count, lo + step - 1);
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (same(mid)) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        info.firstRun = static_cast<int16_t>(lo);
    }
    return info.firstRun;
}

size_t EventSequence::size() const {
    if (lastUsedPage_ < 0) return 0;
    return static_cast<size_t>(lastUsedPage_) * PageSize +
           static_cast<size_t>(info_[lastUsedPage_].count);
}

bool EventSequence::add(const SequenceEvent& event) {
    const int kind = event.kind();
    if ((kindFilter_ >> kind) & 1u) return true;

    SequenceEvent e = event;
    if (startOffset_ != 0) {
        const int64_t t = e.time;
        const int64_t s = startOffset_;
        if (t > s) {
            e.time = WrapTicks(t - s);
        } else {
            e.time = 0;
            if (kind == PauseEvent) return true;
            if (kind == ChannelMessage &&
                (e.type() == SequenceEvent::NoteOn || e.type() == SequenceEvent::NoteOff)) {
                if (t != s) return true;
            } else if (mergeAtStart(e)) {
                return true;
            }
        }
    }
    return insert(e);
}

bool EventSequence::addTempo(int32_t time, int bpm) {
    const unsigned beats = bpm < 4 ? 4u : static_cast<unsigned>(bpm);
    return add(SequenceEvent::tempo(time, 60000000u / beats));
}

bool EventSequence::addTimeSignature(int32_t time, int beats, int beatValueCode) {
    return add(SequenceEvent::timeSignature(time, beats, beatValueCode));
}

bool EventSequence::addKeySignature(int32_t time, int key, int modeFlag) {
    return add(SequenceEvent::keySignature(time, key, modeFlag));
}

bool EventSequence::addPause(int32_t time, unsigned units) {
    return add(SequenceEvent::pause(time, units));
}

// Page 0 is scanned over its leading time-0 events for one that the new event replaces. A
// replacement that changes the tie rank (a sustain pedal value crossing 65) is moved to its
// sorted place, so the stored order stays sorted.
bool EventSequence::mergeAtStart(const SequenceEvent& event) {
    if (lastUsedPage_ < 0) return false;
    for (int i = 0; i < info_[0].count && slot(0, i).time == 0; ++i) {
        if (!MergesWith(slot(0, i), event)) continue;
        const int oldRank = slot(0, i).tieRank();
        const int newRank = event.tieRank();
        size_t at = static_cast<size_t>(i);
        ref(at) = event;
        if (newRank > oldRank) {
            // Behind every event that does not sort after it, as a newly added one would be.
            const size_t n = size();
            while (at + 1 < n && !ref(at + 1).sortsAfter(event)) {
                std::swap(ref(at), ref(at + 1));
                ++at;
            }
        } else if (newRank < oldRank) {
            while (at > 0 && ref(at - 1).sortsAfter(event)) {
                std::swap(ref(at), ref(at - 1));
                --at;
            }
        }
        // The events moved between position i and their new places, which may cross pages.
        const int lastTouched = static_cast<int>(std::max(at, static_cast<size_t>(i)) / PageSize);
        for (int p = 0; p <= lastTouched; ++p) refreshKeys(p);
        return true;
    }
    return false;
}

// The event goes behind every event that it does not sort before. The page is sorted, so the
// place is found by galloping from the end the event most likely belongs at (the front for a
// carry from the page before, the back otherwise) and then halving; then the shorter side of
// the ring moves by one.
void EventSequence::insertIntoPage(int p, const SequenceEvent& event, uint64_t key,
                                   bool nearFront) {
    PageInfo& info = info_[p];
    SequenceEvent* const events = pages_[p]->events;
    auto after = [&](int i) { return SortKey(events[(info.head + i) & Mask]) > key; };
    int lo = 0;
    int hi = info.count;
    if (nearFront) {
        // The place is the first position whose event sorts after the new one.
        int step = 1;
        while (lo + step - 1 < hi && !after(lo + step - 1)) {
            lo += step;
            step *= 2;
        }
        hi = std::min(hi, lo + step - 1);
    } else {
        int step = 1;
        while (hi - step >= lo && after(hi - step)) {
            hi -= step;
            step *= 2;
        }
        lo = std::max(lo, hi - step + 1);
    }
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (after(mid)) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    const int place = lo;
    static_assert(std::is_trivially_copyable_v<SequenceEvent>);
    auto ring = [&](int i) { return (info.head + i) & Mask; };
    // Each step moves the longest run that is contiguous in the ring's storage.
    if (place < info.count - place) {
        // Positions 0..place-1 move one place toward the front.
        info.head = static_cast<int16_t>(ring(-1));
        for (int i = 0; i < place;) {
            const int to = ring(i);
            const int from = ring(i + 1);
            const int n = std::min({place - i, PageSize - to, PageSize - from});
            std::memmove(events + to, events + from,
                         sizeof(SequenceEvent) * static_cast<size_t>(n));
            i += n;
        }
    } else {
        // Positions place..count-1 move one place toward the back, the last one first.
        for (int i = info.count; i > place;) {
            const int to = ring(i);
            const int from = ring(i - 1);
            const int n = std::min({i - place, to + 1, from + 1});
            std::memmove(events + to - n + 1, events + from - n + 1,
                         sizeof(SequenceEvent) * static_cast<size_t>(n));
            i -= n;
        }
    }
    events[ring(place)] = event;
    ++info.count;
    // The keys of the ends change only where the event became one; the run at the front only
    // where the event joined or preceded it.
    if (place == 0) info.firstKey = key;
    if (place == info.count - 1) info.lastKey = key;
    if (place <= info.firstRun) info.firstRun = 0;
}

// The carry is offered to the pages in order from page 0. Every page before the last used
// one is full, and a full page passes the carry on unless its last event sorts after it.
// Since the stored events are sorted, the last events of the full pages are too, so the
// first page that does anything with the carry is the first whose last event sorts after it,
// or the last used page when there is none. Offering starts there; from there on the carry
// moves exactly as it would when offered to every page.
int EventSequence::firstPageToOffer(uint64_t key) const {
    const int used = lastUsedPage_;
    if (used <= 0) return 0;
    auto displaces = [&](int p) { return info_[p].lastKey > key; };
    if (!displaces(used - 1)) return used;
    int lo = 0;
    int hi = used - 1;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (displaces(mid)) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

// A full page that gets a carry from the page before holds no event that sorts before it.
// If its first event sorts after the carry, the carry goes to the front and the last event
// leaves: the ring's head steps back onto the last event's slot, so the two trade places there
// and no other event moves. If its first events are equal to the carry, the carry goes behind
// them: they step back by one with the head. The table of page information decides every
// step; the new carry's key is the page's old last key, so no tie rank is worked out on the
// way.
bool EventSequence::insert(SequenceEvent carry) {
    uint64_t key = SortKey(carry);
    bool carried = false;  // the carry is the last event of a page before: it belongs in front
    for (int p = firstPageToOffer(key); p <= lastAllocatedPage_; ++p) {
        PageInfo& info = info_[p];
        lastUsedPage_ = std::max(lastUsedPage_, p);
        if (info.count < PageSize) {
            insertIntoPage(p, carry, key, carried);
            return true;
        }
        if (info.lastKey <= key) continue;  // the carry passes on unchanged
        const uint64_t outKey = info.lastKey;
        if (p < lastAllocatedPage_) {
            const PageInfo& next = info_[p + 1];
            __builtin_prefetch(&pages_[p + 1]->events[(next.head - 1) & Mask], 1);
        }
        if (carried && info.firstKey >= key) {
            // Events 0 to run - 1 equal the carry (none when the first sorts after it); the
            // last event is not equal, so run < PageSize.
            const int run = info.firstKey == key ? leadingRun(p) : 0;
            SequenceEvent* const events = pages_[p]->events;
            const int oldHead = info.head;
            const int head = (oldHead - 1) & Mask;
            const SequenceEvent out = events[head];
            if (oldHead != 0 && oldHead + run <= PageSize) {
                std::memmove(events + head, events + oldHead,
                             sizeof(SequenceEvent) * static_cast<size_t>(run));
            } else {
                for (int i = 0; i < run; ++i) {
                    events[(head + i) & Mask] = events[(oldHead + i) & Mask];
                }
            }
            events[(head + run) & Mask] = carry;
            info.head = static_cast<int16_t>(head);
            info.firstKey = key;
            info.firstRun = static_cast<int16_t>(run + 1);
            info.lastKey = SortKey(events[(head - 1) & Mask]);
            carry = out;
        } else {
            const SequenceEvent last = slot(p, PageSize - 1);
            info.count = PageSize - 1;
            info.lastKey = SortKey(slot(p, PageSize - 2));
            if (info.firstRun == PageSize) info.firstRun = 0;  // the run lost its last event
            insertIntoPage(p, carry, key, carried);
            carry = last;
        }
        key = outKey;
        carried = true;
    }

    const int first = lastAllocatedPage_ + 1;
    const int wanted = std::min(std::max(growBy_, 0), MaxPages - first);
    int added = 0;
    while (added < wanted && (pages_[first + added] = NewPage())) ++added;
    if (added > 0) {
        lastAllocatedPage_ = first + added - 1;
        insertIntoPage(first, carry, key, false);
        lastUsedPage_ = std::max(lastUsedPage_, first);
        return true;
    }
    full_ = true;
    return false;
}

uint32_t EventSequence::ElapsedMilliseconds() const {
    // Tempo changes after the last other event are not part of the performance.
    size_t end = size();
    while (end > 0 && at(end - 1).kind() == TempoEvent) --end;

    uint32_t tempo = 500000;  // 120 quarter notes per minute
    int64_t tempoTime = 0;
    int64_t lastTime = 0;
    int64_t pendingPause = 0;  // 48-tick units
    uint32_t sum = 0;

    size_t visited = 0;
    for (int p = 0; p <= lastUsedPage_ && visited < end; ++p) {
        for (int i = 0; i < info_[p].count && visited < end; ++i, ++visited) {
            const SequenceEvent& e = slot(p, i);
            if (e.kind() == TempoEvent) {
                const int64_t length = e.time - tempoTime + 48 * pendingPause;
                if (length != 0) {
                    sum += SegmentMilliseconds(tempo, length);
                    tempoTime = e.time;
                    pendingPause = 0;
                }
                tempo = e.tempoValue();
            } else {
                lastTime = e.time;
                if (e.kind() == PauseEvent) pendingPause += e.pauseUnits();
            }
        }
    }
    if (lastTime > tempoTime || pendingPause != 0) {
        sum += SegmentMilliseconds(tempo, lastTime - tempoTime + 48 * pendingPause);
    }
    return sum;
}

}  // namespace scq
