#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "perform/SequenceEvent.h"

namespace scq {

// One stored event and the origin tag beside it.
struct StoredEvent {
    SequenceEvent event;
    uint16_t origin = 0;
};

// Ordered lists of events ("ropes") that can be cut, joined and reversed in logarithmic time:
// randomised binary trees keyed by position, sharing one pool of nodes. A rope is named by
// its root; Rope 0 is the empty rope. Each event carries a 16-bit origin tag beside it.
//
// Nodes live in blocks of 1024, so that no allocation grows with the number of events; nodes
// freed by popBack are reused. Node creation throws std::bad_alloc when a block cannot be had.
class EventRope {
public:
    using Rope = uint32_t;
    static constexpr Rope Empty = 0;

    EventRope() = default;
    EventRope(const EventRope&) = delete;
    EventRope& operator=(const EventRope&) = delete;

    // Forgets every rope; the blocks stay for reuse.
    void clear();
    // Forgets every rope and frees the blocks.
    void releaseMemory();

    // A rope of one event.
    Rope single(const SequenceEvent& event, uint16_t origin);
    // A rope of the events in order, in linear time.
    Rope build(const StoredEvent* events, size_t n);
    // Frees every node of a rope.
    void release(Rope r);
    // Takes the first k events (k <= size) off `r`, appending them to `out`.
    Rope takeFront(Rope r, uint32_t k, std::vector<StoredEvent>& out);
    uint32_t size(Rope r) const { return r == Empty ? 0 : node(r).size; }
    // `a` followed by `b`.
    Rope join(Rope a, Rope b);
    // Takes the last event off `r` (which must not be empty) and frees its node.
    Rope popBack(Rope r);
    // Positions from..to (inclusive, to < size) taken out, reversed and put at the end.
    Rope moveReversedToEnd(Rope r, uint32_t from, uint32_t to);
    // Calls f(event, origin) for every event of the rope in order.
    template <class F>
    void forEach(Rope r, F&& f);

private:
    struct Node {
        SequenceEvent event;
        Rope left = Empty;
        Rope right = Empty;
        uint32_t size = 1;
        uint32_t priority = 0;
        uint16_t origin = 0;
        bool reversed = false;  // the children's order is yet to be swapped, all the way down
    };
    static constexpr uint32_t kBlockShift = 10;
    static constexpr uint32_t kBlockMask = (1u << kBlockShift) - 1;

    Node& node(Rope r) { return blocks_[r >> kBlockShift][r & kBlockMask]; }
    const Node& node(Rope r) const { return blocks_[r >> kBlockShift][r & kBlockMask]; }
    void pushDown(Rope r);
    void update(Rope r) {
        Node& n = node(r);
        n.size = 1 + size(n.left) + size(n.right);
    }
    // The first k events of r into a, the rest into b.
    void split(Rope r, uint32_t k, Rope& a, Rope& b);
    uint32_t nextPriority();

    std::vector<std::unique_ptr<Node[]>> blocks_;
    uint32_t used_ = 1;  // node 0 stands for the empty rope and is never handed out
    Rope freeList_ = Empty;
    uint32_t seed_ = 0x9E3779B9u;
};

template <class F>
void EventRope::forEach(Rope r, F&& f) {
    // In order, with an explicit stack: the trees are shallow, but their depth is not bounded.
    std::vector<Rope> stack;
    while (r != Empty || !stack.empty()) {
        while (r != Empty) {
            pushDown(r);
            stack.push_back(r);
            r = node(r).left;
        }
        r = stack.back();
        stack.pop_back();
        const Node& n = node(r);
        f(n.event, n.origin);
        r = n.right;
    }
}

}  // namespace scq
