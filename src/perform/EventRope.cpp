#include "perform/EventRope.h"

#include <utility>

namespace scq {

void EventRope::clear() {
    used_ = 1;
    freeList_ = Empty;
}

void EventRope::releaseMemory() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    clear();
}

uint32_t EventRope::nextPriority() {
    // xorshift32: a fixed seed keeps every render the same, which the results do not depend
    // on anyway (the shape of a tree never changes its order).
    seed_ ^= seed_ << 13;
    seed_ ^= seed_ >> 17;
    seed_ ^= seed_ << 5;
    return seed_;
}

EventRope::Rope EventRope::single(const SequenceEvent& event, uint16_t origin) {
    Rope r = freeList_;
    if (r != Empty) {
        freeList_ = node(r).left;
    } else {
        if ((used_ >> kBlockShift) >= blocks_.size()) {
            blocks_.push_back(std::make_unique<Node[]>(size_t{1} << kBlockShift));
        }
        r = used_++;
    }
    Node& n = node(r);
    n = Node{};
    n.event = event;
    n.origin = origin;
    n.priority = nextPriority();
    return r;
}

void EventRope::pushDown(Rope r) {
    Node& n = node(r);
    if (!n.reversed) return;
    std::swap(n.left, n.right);
    if (n.left != Empty) node(n.left).reversed = !node(n.left).reversed;
    if (n.right != Empty) node(n.right).reversed = !node(n.right).reversed;
    n.reversed = false;
}

void EventRope::split(Rope r, uint32_t k, Rope& a, Rope& b) {
    if (r == Empty) {
        a = b = Empty;
        return;
    }
    pushDown(r);
    Node& n = node(r);
    const uint32_t leftSize = size(n.left);
    if (k <= leftSize) {
        Rope rest = Empty;
        split(n.left, k, a, rest);
        node(r).left = rest;
        update(r);
        b = r;
    } else {
        Rope rest = Empty;
        split(n.right, k - leftSize - 1, rest, b);
        node(r).right = rest;
        update(r);
        a = r;
    }
}

EventRope::Rope EventRope::join(Rope a, Rope b) {
    if (a == Empty) return b;
    if (b == Empty) return a;
    if (node(a).priority > node(b).priority) {
        pushDown(a);
        const Rope right = join(node(a).right, b);
        node(a).right = right;
        update(a);
        return a;
    }
    pushDown(b);
    const Rope left = join(a, node(b).left);
    node(b).left = left;
    update(b);
    return b;
}

EventRope::Rope EventRope::popBack(Rope r) {
    Rope rest = Empty;
    Rope last = Empty;
    split(r, size(r) - 1, rest, last);
    node(last).left = freeList_;
    freeList_ = last;
    return rest;
}

EventRope::Rope EventRope::build(const StoredEvent* events, size_t n) {
    // The right spine of the tree built so far, root first: each new event joins it at the
    // place its priority gives, taking the lower part of the spine as its left subtree.
    std::vector<Rope> spine;
    for (size_t i = 0; i < n; ++i) {
        const Rope x = single(events[i].event, events[i].origin);
        Rope below = Empty;
        while (!spine.empty() && node(spine.back()).priority < node(x).priority) {
            below = spine.back();
            spine.pop_back();
            update(below);
        }
        node(x).left = below;
        if (!spine.empty()) node(spine.back()).right = x;
        spine.push_back(x);
    }
    for (size_t k = spine.size(); k > 0; --k) update(spine[k - 1]);
    return spine.empty() ? Empty : spine.front();
}

void EventRope::release(Rope r) {
    std::vector<Rope> pending;
    if (r != Empty) pending.push_back(r);
    while (!pending.empty()) {
        const Rope x = pending.back();
        pending.pop_back();
        Node& n = node(x);
        if (n.left != Empty) pending.push_back(n.left);
        if (n.right != Empty) pending.push_back(n.right);
        n.left = freeList_;
        freeList_ = x;
    }
}

EventRope::Rope EventRope::takeFront(Rope r, uint32_t k, std::vector<StoredEvent>& out) {
    Rope taken = Empty;
    Rope rest = Empty;
    split(r, k, taken, rest);
    forEach(taken, [&](const SequenceEvent& e, uint16_t origin) { out.push_back({e, origin}); });
    release(taken);
    return rest;
}

EventRope::Rope EventRope::moveReversedToEnd(Rope r, uint32_t from, uint32_t to) {
    Rope front = Empty;
    Rope rest = Empty;
    Rope block = Empty;
    Rope back = Empty;
    split(r, from, front, rest);
    split(rest, to - from + 1, block, back);
    node(block).reversed = !node(block).reversed;
    return join(join(front, back), block);
}

}  // namespace scq
