#include "items/ItemArena.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace scq {

namespace {

thread_local ItemArena* activeArena = nullptr;

// The shared blocks: regions of kRegionBytes, aligned to their size, each cut into blocks of
// kLargestBlock. A region is asked to be mapped with large pages, which the system may or may
// not do; either way the blocks work the same. Staffs load and go on any thread, so the
// regions are shared under a lock; it is taken once per block, that is once per ten thousand
// items or so.
class SharedBlocks {
public:
    static SharedBlocks& instance() {
        // Never destroyed: blocks may still be given back while the program exits.
        static SharedBlocks* const blocks = std::make_unique<SharedBlocks>().release();
        return *blocks;
    }

    // A free block, or nullptr when no region can be had.
    std::byte* take() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Region& region : regions_) {
            if (region.taken != kAllTaken) return takeFrom(region);
        }
        regions_.reserve(regions_.size() + 1);  // so that adding the region below cannot fail
        std::byte* base = MapRegion();
        if (base == nullptr) return nullptr;
        regions_.push_back(Region{base, 0});
        return takeFrom(regions_.back());
    }

    // Gives back a block that take() returned. Allocates nothing, so it cannot fail.
    void give(std::byte* block) {
        const auto address = reinterpret_cast<uintptr_t>(block);
        const uintptr_t base = address & ~uintptr_t{ItemArena::kRegionBytes - 1};
        const auto bit = static_cast<unsigned>((address - base) / ItemArena::kLargestBlock);
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = 0; i < regions_.size(); ++i) {
            Region& region = regions_[i];
            if (reinterpret_cast<uintptr_t>(region.base) != base) continue;
            region.taken &= ~(1u << bit);
            if (region.taken == 0) {
                UnmapRegion(region.base);
                region = regions_.back();
                regions_.pop_back();
            }
            return;
        }
    }

    size_t regions() {
        std::lock_guard<std::mutex> lock(mutex_);
        return regions_.size();
    }

private:
    static constexpr unsigned kBlocksPerRegion =
        static_cast<unsigned>(ItemArena::kRegionBytes / ItemArena::kLargestBlock);
    static_assert(kBlocksPerRegion >= 1 && kBlocksPerRegion <= 32);
    static constexpr unsigned kAllTaken =
        kBlocksPerRegion == 32 ? ~0u : (1u << kBlocksPerRegion) - 1;

    struct Region {
        std::byte* base;
        unsigned taken;  // bit b: block b is in use
    };

#if defined(__linux__)
    // Maps twice the size and keeps the aligned part. The region is asked to be mapped with
    // large pages: only a hint, without them it is mapped page by page as usual.
    static std::byte* MapRegion() {
        constexpr size_t size = ItemArena::kRegionBytes;
        void* mapped = mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                            -1, 0);
        if (mapped == MAP_FAILED) return nullptr;
        const auto start = reinterpret_cast<uintptr_t>(mapped);
        const uintptr_t base = (start + size - 1) & ~uintptr_t{size - 1};
        if (base > start) munmap(mapped, base - start);
        if (base + size < start + 2 * size) {
            munmap(reinterpret_cast<void*>(base + size), start + size - base);
        }
#if defined(MADV_HUGEPAGE)
        madvise(reinterpret_cast<void*>(base), size, MADV_HUGEPAGE);
#endif
        return reinterpret_cast<std::byte*>(base);
    }
    static void UnmapRegion(std::byte* base) { munmap(base, ItemArena::kRegionBytes); }
#else
    static std::byte* MapRegion() {
        return static_cast<std::byte*>(::operator new(
            ItemArena::kRegionBytes, std::align_val_t{ItemArena::kRegionBytes}, std::nothrow));
    }
    static void UnmapRegion(std::byte* base) {
        ::operator delete(base, std::align_val_t{ItemArena::kRegionBytes});
    }
#endif

    static std::byte* takeFrom(Region& region) {
        const int bit = std::countr_one(region.taken);
        region.taken |= 1u << bit;
        return region.base + static_cast<size_t>(bit) * ItemArena::kLargestBlock;
    }

    std::mutex mutex_;
    std::vector<Region> regions_;
};

}  // namespace

void ItemArena::BlockRelease::operator()(std::byte* block) const {
    if (shared) {
        SharedBlocks::instance().give(block);
    } else {
        std::default_delete<std::byte[]>()(block);
    }
}

void ItemArena::addBlock(size_t size) {
    const size_t blockSize = std::max(nextBlockSize_, size);
    BlockPtr block;
    if (blockSize == kLargestBlock) {
        if (std::byte* shared = SharedBlocks::instance().take())
            block = BlockPtr(shared, BlockRelease{true});
    }
    if (!block) {
        block = BlockPtr(std::make_unique_for_overwrite<std::byte[]>(blockSize).release(),
                         BlockRelease{false});
    }
    blocks_.push_back(std::move(block));
    next_ = blocks_.back().get();
    end_ = next_ + blockSize;
    bytesHeld_ += blockSize;
    if (blocks_.back().get_deleter().shared) sharedBytesHeld_ += blockSize;
    nextBlockSize_ = std::min(nextBlockSize_ * 2, kLargestBlock);
}

void ItemArena::clear() {
    blocks_.clear();
    next_ = end_ = nullptr;
    nextBlockSize_ = kFirstBlock;
    bytesHeld_ = 0;
    sharedBytesHeld_ = 0;
}

size_t ItemArena::sharedRegions() {
    return SharedBlocks::instance().regions();
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
