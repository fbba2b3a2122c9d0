#include "items/ItemArena.h"

#include <algorithm>

namespace scq {

namespace {
thread_local ItemArena* activeArena = nullptr;
}  // namespace

void ItemArena::addBlock(size_t size) {
    const size_t blockSize = std::max(nextBlockSize_, size);
    blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(blockSize));
    next_ = blocks_.back().get();
    end_ = next_ + blockSize;
    bytesHeld_ += blockSize;
    nextBlockSize_ = std::min(nextBlockSize_ * 2, kLargestBlock);
}

void ItemArena::clear() {
    blocks_.clear();
    next_ = end_ = nullptr;
    nextBlockSize_ = kFirstBlock;
    bytesHeld_ = 0;
}

ItemArenaScope::ItemArenaScope(ItemArena* arena) : outer_(activeArena) {
    activeArena = arena;
}

ItemArenaScope::~ItemArenaScope() {
    activeArena = outer_;
}

ItemArena* ItemArenaScope::active() {
    return activeArena;
}

}  // namespace scq
