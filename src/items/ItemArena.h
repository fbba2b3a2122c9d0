#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

namespace scq {

// Storage for the items a staff reads from a file, carved from a few large blocks rather than a
// heap block per item: a load of millions of small items then costs neither a heap call per
// item nor the heap's bookkeeping beside each one. An item made here is owned and destroyed
// like any other (its unique_ptr); its storage is given back only with the arena's blocks, so
// the arena must outlive every item made in it. A staff owns the arena of its items.
class ItemArena {
public:
    ItemArena() = default;
    ItemArena(const ItemArena&) = delete;
    ItemArena& operator=(const ItemArena&) = delete;

    // A new item of kind T, default-constructed in the arena and marked as held by it.
    template <class T>
    std::unique_ptr<T> make() {
        static_assert(alignof(T) <= kAlignment);
        std::unique_ptr<T> item(::new (allocate(sizeof(T))) T());
        item->markArenaHeld();
        return item;
    }

    // Gives every block back. Only when no item made in the arena is alive.
    void clear();
    // Bytes of the blocks taken so far, and of those among them that are shared blocks.
    size_t bytesHeld() const { return bytesHeld_; }
    size_t sharedBytesHeld() const { return sharedBytesHeld_; }

    // Items hold nothing wider than a pointer.
    static constexpr size_t kAlignment = alignof(void*);
    static constexpr size_t kFirstBlock = 256;
    // A staff of more than about ten thousand items takes blocks of this size. They are not
    // heap blocks: every arena of the process takes them from shared regions of
    // kRegionBytes, which the system may map with one large page each, so that a load of
    // millions of items costs one page fault per region rather than one per 4 KB page.
    static constexpr size_t kLargestBlock = 64 * 1024;
    static constexpr size_t kRegionBytes = 2 * 1024 * 1024;
    // Regions of shared blocks the process holds now (each goes back to the system when the
    // last of its blocks is given back).
    static size_t sharedRegions();

private:

    void* allocate(size_t size) {
        size = (size + kAlignment - 1) / kAlignment * kAlignment;
        if (static_cast<size_t>(end_ - next_) < size) addBlock(size);
        void* at = next_;
        next_ += size;
        return at;
    }
    // Starts a block with room for at least `size` bytes.
    void addBlock(size_t size);

    // Gives a block back where it came from: the shared regions or the heap.
    struct BlockRelease {
        bool shared = false;
        void operator()(std::byte* block) const;
    };
    using BlockPtr = std::unique_ptr<std::byte[], BlockRelease>;
    std::vector<BlockPtr> blocks_;
    std::byte* next_ = nullptr;
    std::byte* end_ = nullptr;
    size_t nextBlockSize_ = kFirstBlock;
    size_t bytesHeld_ = 0;
    size_t sharedBytesHeld_ = 0;
};

// Makes an arena the one that ItemFactory::create uses on this thread while the scope lives;
// none (nullptr) sends items to the heap. Scopes nest: the outer one comes back at the end.
class ItemArenaScope {
public:
    explicit ItemArenaScope(ItemArena* arena);
    ~ItemArenaScope();
    ItemArenaScope(const ItemArenaScope&) = delete;
    ItemArenaScope& operator=(const ItemArenaScope&) = delete;

    // The arena in use on this thread, or nullptr.
    static ItemArena* active();

private:
    ItemArena* outer_;
};

}  // namespace scq
