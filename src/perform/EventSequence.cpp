#include "perform/EventSequence.h"

#include <algorithm>
#include <new>
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

namespace {

// The most chunks there can be: every chunk but the last holds at least half its capacity of
// groups, and there are at most one more group than the sequence can hold events.
constexpr size_t kMaxChunks = size_t{EventSequence::PageSize} * EventSequence::MaxPages / 256 +
                              2;  // chunks at least half full

}  // namespace

EventSequence::EventSequence(int growBy) : growBy_(growBy) {
    reset();
}

EventSequence::~EventSequence() = default;

int EventSequence::allocatePages(int n) {
    release();
    allocatedPages_ = std::clamp(n, 0, MaxPages);
    return allocatedPages_;
}

void EventSequence::clearGroups() {
    chunks_.clear();
    chunkFirstKey_.clear();
    tree_.assign(1, 0);
    for (std::pmr::vector<Slot>& slots : smalls_) slots.clear();
    freeSmalls_.clear();
    for (uint32_t i = static_cast<uint32_t>(smalls_.size()); i > 0; --i)
        freeSmalls_.push_back(i - 1);
    count_ = 0;
    flatValid_ = false;
}

void EventSequence::reset() {
    clearGroups();
    full_ = false;
    offeredWhileFull_ = 0;
    offered_ = 0;
    moved_ = 0;
    startOffset_ = 0;
    kindFilter_ = 0;
    offeredKinds_ = 0;
    origin_ = 0;
}

void EventSequence::release() {
    reset();
    smalls_.clear();
    smalls_.shrink_to_fit();
    pool_.release();
    freeSmalls_.clear();
    freeSmalls_.shrink_to_fit();
    longs_.shrink_to_fit();
    freeLongs_.shrink_to_fit();
    flat_ = Flat{};
    allocatedPages_ = 0;
}

int EventSequence::lastUsedPage() const {
    return count_ == 0 ? -1 : static_cast<int>((count_ - 1) / PageSize);
}

int EventSequence::pageEventCount(int page) const {
    if (page < 0 || page >= allocatedPages_) return 0;
    const int64_t before = int64_t{page} * PageSize;
    return static_cast<int>(std::clamp<int64_t>(int64_t{count_} - before, 0, PageSize));
}

EventSequence::AddResult EventSequence::addEvent(const SequenceEvent& event) {
    const int kind = event.kind();
    offeredKinds_ |= static_cast<uint16_t>(1u << kind);
    ++offered_;
    if ((kindFilter_ >> kind) & 1u) {
        if ((droppedKinds_ >> kind) & 1u) droppedSink_->push_back(event);
        return AddResult::Dropped;
    }
    if (workBudgetSpent()) return AddResult::LostThis;

    SequenceEvent e = event;
    if (startOffset_ != 0) {
        const int64_t t = e.time;
        const int64_t s = startOffset_;
        if (t > s) {
            e.time = WrapTicks(t - s);
        } else {
            e.time = 0;
            if (kind == PauseEvent) return AddResult::Dropped;
            if (kind == ChannelMessage &&
                (e.type() == SequenceEvent::NoteOn || e.type() == SequenceEvent::NoteOff)) {
                if (t != s) return AddResult::Dropped;
            } else if (mergeAtStart(e)) {
                return AddResult::Dropped;
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

// ---------------------------------------------------------------------------------------
// The groups in key order

EventSequence::Group& EventSequence::groupAt(Place p) const {
    return chunks_[p.chunk]->groups[p.index];
}

EventSequence::Place EventSequence::lastPlace() const {
    const size_t c = chunks_.size() - 1;
    return Place{c, chunks_[c]->size - 1};
}

// The common case of an event at or after every stored one: the last group, or a new one
// behind it.
bool EventSequence::lastKeyAtMost(uint64_t key, bool& equal) const {
    if (chunks_.empty()) return false;
    const uint64_t last = chunks_.back()->groups[chunks_.back()->size - 1].key;
    equal = key == last;
    return key >= last;
}

EventSequence::Place EventSequence::locate(uint64_t key, bool& found) const {
    found = false;
    if (chunks_.empty()) return Place{0, 0};
    size_t c = chunks_.size() - 1;
    if (key < chunkFirstKey_[c]) {
        const auto it = std::upper_bound(chunkFirstKey_.begin(), chunkFirstKey_.end(), key);
        c = it == chunkFirstKey_.begin() ? 0 : static_cast<size_t>(it - chunkFirstKey_.begin()) - 1;
    }
    const Chunk& ch = *chunks_[c];
    if (ch.groups[ch.size - 1].key < key) return Place{c, ch.size};
    uint32_t lo = 0;
    uint32_t hi = ch.size - 1;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (ch.groups[mid].key < key) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    found = ch.groups[lo].key == key;
    return Place{c, lo};
}

void EventSequence::Chunk::resumFrom(uint32_t from) {
    const uint32_t blocks = kCapacity / kBlock;
    for (uint32_t b = from / kBlock; b < blocks; ++b) {
        uint32_t sum = 0;
        const uint32_t end = std::min(size, (b + 1) * kBlock);
        for (uint32_t k = b * kBlock; k < end; ++k) sum += groups[k].count;
        blockEvents[b] = sum;
    }
}

void EventSequence::addToCount(Place p, int delta) {
    chunks_[p.chunk]->blockEvents[p.index / Chunk::kBlock] += static_cast<uint32_t>(delta);
    addToChunkCount(p.chunk, delta);
}

void EventSequence::addToChunkCount(size_t chunk, int delta) {
    chunks_[chunk]->events += static_cast<uint32_t>(delta);
    for (size_t i = chunk + 1; i < tree_.size(); i += i & (0 - i)) {
        tree_[i] += static_cast<uint32_t>(delta);
    }
}

void EventSequence::rebuildTree() {
    const size_t n = chunks_.size();
    tree_.assign(n + 1, 0);
    for (size_t i = 1; i <= n; ++i) {
        tree_[i] += chunks_[i - 1]->events;
        const size_t parent = i + (i & (0 - i));
        if (parent <= n) tree_[parent] += tree_[i];
    }
}

uint32_t EventSequence::eventsBefore(Place p) const {
    if (chunks_.empty()) return 0;
    const Chunk& ch = *chunks_[p.chunk];
    uint32_t before = 0;
    if (p.chunk + 1 == chunks_.size()) {
        before = count_ - ch.events;
    } else {
        for (size_t i = p.chunk; i > 0; i -= i & (0 - i)) before += tree_[i];
    }
    if (ch.size - p.index <= Chunk::kBlock) {
        // Near the end, where events arriving in order land: the few groups after it.
        before += ch.events;
        for (uint32_t g = p.index; g < ch.size; ++g) before -= ch.groups[g].count;
    } else {
        const uint32_t block = p.index / Chunk::kBlock;
        for (uint32_t b = 0; b < block; ++b) before += ch.blockEvents[b];
        for (uint32_t g = block * Chunk::kBlock; g < p.index; ++g) before += ch.groups[g].count;
    }
    return before;
}

// Everything that can fail to allocate is allocated before anything changes, so a failure
// leaves the sequence as it was.
EventSequence::Place EventSequence::insertGroup(Place p, const Group& g) {
    const bool newChunk = chunks_.empty() || chunks_[p.chunk]->size == Chunk::kCapacity;
    if (newChunk) {
        auto chunk = std::make_unique<Chunk>();
        const size_t room = std::max(chunks_.size() + 1, std::min(chunks_.size() * 2, kMaxChunks));
        chunks_.reserve(room);
        chunkFirstKey_.reserve(room);
        tree_.reserve(room + 1);
        if (chunks_.empty() || (p.chunk + 1 == chunks_.size() && p.index == chunks_.back()->size)) {
            // A new last chunk: the common case of events arriving in order.
            chunks_.push_back(std::move(chunk));
            chunkFirstKey_.push_back(g.key);
            tree_.push_back(0);
            const size_t i = tree_.size() - 1;
            uint32_t sum = 0;  // chunks i - lowbit(i) + 1 .. i - 1
            for (size_t k = i - 1; k > i - (i & (0 - i)); k -= k & (0 - k)) sum += tree_[k];
            tree_[i] = sum;
            p = Place{chunks_.size() - 1, 0};
        } else {
            // Split the full chunk in two halves.
            Chunk& full = *chunks_[p.chunk];
            const uint32_t half = Chunk::kCapacity / 2;
            std::copy(full.groups + half, full.groups + full.size, chunk->groups);
            chunk->size = full.size - half;
            full.size = half;
            chunk->events = 0;
            for (uint32_t k = 0; k < chunk->size; ++k) chunk->events += chunk->groups[k].count;
            full.events -= chunk->events;
            full.resumFrom(0);
            chunk->resumFrom(0);
            const uint64_t first = chunk->groups[0].key;
            chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(p.chunk + 1),
                           std::move(chunk));
            chunkFirstKey_.insert(chunkFirstKey_.begin() + static_cast<std::ptrdiff_t>(p.chunk + 1),
                                  first);
            rebuildTree();
            if (p.index > half) p = Place{p.chunk + 1, p.index - half};
        }
    }
    Chunk& ch = *chunks_[p.chunk];
    std::copy_backward(ch.groups + p.index, ch.groups + ch.size, ch.groups + ch.size + 1);
    ch.groups[p.index] = g;
    ++ch.size;
    if (p.index == 0) chunkFirstKey_[p.chunk] = g.key;
    if (p.index + 1 == ch.size) {
        // At the end, the common case: the blocks after it are empty.
        ch.blockEvents[p.index / Chunk::kBlock] += g.count;
    } else {
        ch.resumFrom(p.index);
    }
    addToChunkCount(p.chunk, static_cast<int>(g.count));
    return p;
}

void EventSequence::removeGroup(Place p) {
    Chunk& ch = *chunks_[p.chunk];
    addToChunkCount(p.chunk, -static_cast<int>(ch.groups[p.index].count));
    std::copy(ch.groups + p.index + 1, ch.groups + ch.size, ch.groups + p.index);
    --ch.size;
    ch.resumFrom(p.index);
    if (ch.size == 0) {
        const bool last = p.chunk + 1 == chunks_.size();
        chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(p.chunk));
        chunkFirstKey_.erase(chunkFirstKey_.begin() + static_cast<std::ptrdiff_t>(p.chunk));
        // No other node of the tree counts the last chunk: it simply goes.
        if (last) {
            tree_.pop_back();
        } else {
            rebuildTree();
        }
    } else if (p.index == 0) {
        chunkFirstKey_[p.chunk] = ch.groups[0].key;
    }
}

void EventSequence::settle(Group& g, uint32_t start) const {
    if (start == g.syncedStart) return;
    const uint32_t steps = start - g.syncedStart;
    g.syncedStart = start;
    if (g.store == kNoStore) return;
    if (g.store & kLongBit) {
        moved_ += longs_[g.store & ~kLongBit].shift(start - steps, steps);
    } else {
        std::pmr::vector<Slot>& slots = smalls_[g.store];
        ShiftEventGroup(g.count, start - steps, steps, [&](uint32_t from, uint32_t to) {
            const auto first = slots.begin() + from;
            const auto middle = slots.begin() + to + 1;
            std::rotate(first, middle, slots.end());
            std::reverse(slots.end() - (middle - first), slots.end());
            moved_ += slots.size() - from;
        });
    }
}

// May throw std::bad_alloc, leaving the group as it was.
void EventSequence::append(Group& g, const Slot& slot) {
    if (g.store == kNoStore) {
        // The free list always has room for every vector, so giving one back never fails.
        if (freeSmalls_.empty()) {
            smalls_.emplace_back(&pool_);
            if (freeSmalls_.capacity() < smalls_.size()) {
                freeSmalls_.reserve(std::max(smalls_.size(), 2 * freeSmalls_.capacity()));
            }
            freeSmalls_.push_back(static_cast<uint32_t>(smalls_.size() - 1));
        }
        const uint32_t index = freeSmalls_.back();
        std::pmr::vector<Slot>& slots = smalls_[index];
        slots.reserve(4);
        slots.push_back(g.single);
        slots.push_back(slot);
        freeSmalls_.pop_back();
        g.store = index;
    } else if (g.store & kLongBit) {
        longs_[g.store & ~kLongBit].push(slot);
    } else if (smalls_[g.store].size() < kSmallGroup) {
        smalls_[g.store].push_back(slot);
    } else {
        // Past the small size a group becomes a long one, whose moves cost little however
        // long it grows.
        if (freeLongs_.empty()) {
            longs_.emplace_back();
            if (freeLongs_.capacity() < longs_.size()) {
                freeLongs_.reserve(std::max(longs_.size(), 2 * freeLongs_.capacity()));
            }
            freeLongs_.push_back(static_cast<uint32_t>(longs_.size() - 1));
        }
        std::pmr::vector<Slot>& slots = smalls_[g.store];
        const uint32_t index = freeLongs_.back();
        longs_[index].assign(slots.data(), slots.size());
        longs_[index].push(slot);
        freeLongs_.pop_back();
        slots.clear();
        freeSmalls_.push_back(g.store);
        g.store = index | kLongBit;
    }
    ++g.count;
}

void EventSequence::popBack(Group& g) {
    if (g.store == kNoStore) {
    } else if (g.store & kLongBit) {
        longs_[g.store & ~kLongBit].pop();
    } else {
        smalls_[g.store].pop_back();
    }
    --g.count;
}

void EventSequence::releaseStore(Group& g) {
    if (g.store == kNoStore) return;
    if (g.store & kLongBit) {
        longs_[g.store & ~kLongBit].clear();
        freeLongs_.push_back(g.store & ~kLongBit);
    } else {
        smalls_[g.store].clear();
        freeSmalls_.push_back(g.store);
    }
    g.store = kNoStore;
}

// ---------------------------------------------------------------------------------------
// Adding

// The event joins the end of its group (behind every event it does not sort before). Every
// later group starts one position further on, which settle() accounts for when it is next
// touched. When the sequence was full, the event that ends up last is lost.
EventSequence::AddResult EventSequence::insert(const SequenceEvent& event) {
    const uint64_t key = SortKey(event);
    const uint32_t capacity = static_cast<uint32_t>(allocatedPages_) * PageSize;
    if (count_ >= capacity && growBy_ > 0 && allocatedPages_ < MaxPages) {
        allocatedPages_ += std::min(growBy_, MaxPages - allocatedPages_);
    }
    const bool wasFull = count_ >= static_cast<uint32_t>(allocatedPages_) * PageSize;
    if (wasFull) {
        full_ = true;
        ++offeredWhileFull_;
        if (count_ == 0 || key >= groupAt(lastPlace()).key) return AddResult::LostThis;
    }

    try {
        bool found = false;
        Place p{};
        if (!lastKeyAtMost(key, found)) {
            p = locate(key, found);
        } else if (found) {
            p = lastPlace();
        } else {
            p = Place{chunks_.size() - 1, chunks_.back()->size};
        }
        const Slot slot{event, origin_};
        if (found) {
            Group& g = groupAt(p);
            settle(g, eventsBefore(p));
            append(g, slot);
            addToCount(p, 1);
        } else {
            Group g;
            g.key = key;
            g.count = 1;
            g.syncedStart = eventsBefore(p);
            g.single = slot;
            insertGroup(p, g);
        }
    } catch (const std::bad_alloc&) {
        // Room that cannot be had is room that does not exist.
        full_ = true;
        return AddResult::LostThis;
    }
    ++count_;
    flatValid_ = false;
    if (!wasFull) return AddResult::Stored;

    const Place last = lastPlace();
    Group& g = groupAt(last);
    settle(g, count_ - g.count);
    popBack(g);
    addToCount(last, -1);
    --count_;
    if (g.count == 0) {
        releaseStore(g);
        removeGroup(last);
    }
    return AddResult::LostOther;
}

// Page 0 is scanned over its leading time-0 events for one that the new event replaces. A
// replacement that changes the tie rank (a sustain pedal value crossing 65) is moved to its
// sorted place, so the stored order stays sorted. Playing from a position is rare and only
// touches the start, so this works on the settled order and then lays the groups out anew.
bool EventSequence::mergeAtStart(const SequenceEvent& event) {
    if (count_ == 0) return false;
    flat();
    std::vector<SequenceEvent>& events = flat_.events;
    std::vector<uint16_t>& origins = flat_.origins;
    const size_t n = events.size();
    const size_t scan = std::min<size_t>(n, PageSize);
    size_t i = 0;
    while (i < scan && events[i].time == 0 && !MergesWith(events[i], event)) ++i;
    if (i == scan || events[i].time != 0) return false;

    const int oldRank = events[i].tieRank();
    const int newRank = event.tieRank();
    events[i] = event;
    origins[i] = origin_;
    if (newRank > oldRank) {
        // Behind every event that does not sort after it, as a newly added one would be.
        for (; i + 1 < n && !events[i + 1].sortsAfter(event); ++i) {
            std::swap(events[i], events[i + 1]);
            std::swap(origins[i], origins[i + 1]);
        }
    } else if (newRank < oldRank) {
        for (; i > 0 && events[i - 1].sortsAfter(event); --i) {
            std::swap(events[i], events[i - 1]);
            std::swap(origins[i], origins[i - 1]);
        }
    }

    Flat settled = std::move(flat_);
    clearGroups();
    for (size_t k = 0; k < n;) {
        Group g;
        g.key = SortKey(settled.events[k]);
        g.syncedStart = static_cast<uint32_t>(k);
        g.count = 1;
        g.single = Slot{settled.events[k], settled.origins[k]};
        for (++k; k < n && SortKey(settled.events[k]) == g.key; ++k) {
            append(g, Slot{settled.events[k], settled.origins[k]});
        }
        insertGroup(chunks_.empty() ? Place{0, 0} : Place{chunks_.size() - 1, chunks_.back()->size},
                    g);
        count_ += g.count;
    }
    flat_ = std::move(settled);
    flatValid_ = true;
    return true;
}

// ---------------------------------------------------------------------------------------
// Reading

const EventSequence::Flat& EventSequence::flat() const {
    if (flatValid_) return flat_;
    flat_.events.clear();
    flat_.origins.clear();
    flat_.events.reserve(count_);
    flat_.origins.reserve(count_);
    forEachSlot([this](const Slot& s) {
        flat_.events.push_back(s.event);
        flat_.origins.push_back(s.origin);
    });
    flatValid_ = true;
    return flat_;
}

uint32_t EventSequence::ElapsedMilliseconds() const {
    // Tempo changes after the last other event are not part of the performance.
    size_t end = 0;
    size_t seen = 0;
    forEach([&](const SequenceEvent& e) {
        ++seen;
        if (e.kind() != TempoEvent) end = seen;
    });

    uint32_t tempo = 500000;  // 120 quarter notes per minute
    int64_t tempoTime = 0;
    int64_t lastTime = 0;
    int64_t pendingPause = 0;  // 48-tick units
    uint32_t sum = 0;

    size_t visited = 0;
    forEach([&](const SequenceEvent& e) {
        if (visited++ >= end) return;
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
    });
    if (lastTime > tempoTime || pendingPause != 0) {
        sum += SegmentMilliseconds(tempo, lastTime - tempoTime + 48 * pendingPause);
    }
    return sum;
}

}  // namespace scq
