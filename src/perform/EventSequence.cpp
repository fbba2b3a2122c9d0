#include "perform/EventSequence.h"

#include <new>

#include <algorithm>
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
    for (int i = 0; i <= lastAllocatedPage_; ++i) pages_[i]->count = 0;
    lastUsedPage_ = -1;
    full_ = false;
    startOffset_ = 0;
    kindFilter_ = 0;
}

void EventSequence::release() {
    for (auto& page : pages_) page.reset();
    lastAllocatedPage_ = -1;
    reset();
}

int EventSequence::pageEventCount(int page) const {
    if (page < 0 || page > lastAllocatedPage_) return 0;
    return pages_[page]->count;
}

size_t EventSequence::size() const {
    if (lastUsedPage_ < 0) return 0;
    return static_cast<size_t>(lastUsedPage_) * PageSize +
           static_cast<size_t>(pages_[lastUsedPage_]->count);
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
    const EventPage& first = *pages_[0];
    for (int i = 0; i < first.count && first.events[i].time == 0; ++i) {
        if (!MergesWith(first.events[i], event)) continue;
        const int oldRank = first.events[i].tieRank();
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
        return true;
    }
    return false;
}

void EventSequence::insertIntoPage(EventPage& page, const SequenceEvent& event) {
    SequenceEvent* const begin = page.events;
    SequenceEvent* const end = begin + page.count;
    SequenceEvent* place = end;
    while (place != begin && place[-1].sortsAfter(event)) --place;
    std::copy_backward(place, end, end + 1);
    *place = event;
    ++page.count;
}

// The carry is offered to the pages in order from page 0. Every page before the last used
// one is full, and a full page passes the carry on unless its last event sorts after it.
// Since the stored events are sorted, the last events of the full pages are too, so the
// first page that does anything with the carry is the first whose last event sorts after it,
// or the last used page when there is none. Offering starts there; from there on the carry
// moves exactly as it would when offered to every page.
int EventSequence::firstPageToOffer(const SequenceEvent& carry) const {
    const int used = lastUsedPage_;
    if (used <= 0) return 0;
    auto displaces = [&](int p) { return pages_[p]->events[PageSize - 1].sortsAfter(carry); };
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

bool EventSequence::insert(SequenceEvent carry) {
    for (int p = firstPageToOffer(carry); p <= lastAllocatedPage_; ++p) {
        EventPage& page = *pages_[p];
        lastUsedPage_ = std::max(lastUsedPage_, p);
        if (page.count < PageSize) {
            insertIntoPage(page, carry);
            return true;
        }
        const SequenceEvent last = page.events[PageSize - 1];
        if (last.sortsAfter(carry)) {
            page.count = PageSize - 1;
            insertIntoPage(page, carry);
            carry = last;
        }
    }

    const int first = lastAllocatedPage_ + 1;
    const int wanted = std::min(std::max(growBy_, 0), MaxPages - first);
    int added = 0;
    while (added < wanted && (pages_[first + added] = NewPage())) ++added;
    if (added > 0) {
        lastAllocatedPage_ = first + added - 1;
        insertIntoPage(*pages_[first], carry);
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
        const EventPage& page = *pages_[p];
        for (int i = 0; i < page.count && visited < end; ++i, ++visited) {
            const SequenceEvent& e = page.events[i];
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
