#include "HeapCounter.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace {

size_t inUse = 0;
size_t peak = 0;

// The failing heap: while armed, requests beyond the grants are refused.
bool armed = false;
bool refusedAny = false;
size_t grantsLeft = 0;
size_t bytesLeft = 0;
size_t grantedCount = 0;

void Admit(size_t size) {
    if (!armed) return;
    // Once memory has run out it stays out, as it does for a process at its limit.
    if (refusedAny || grantsLeft == 0 || size > bytesLeft) {
        refusedAny = true;
        throw std::bad_alloc();
    }
    --grantsLeft;
    bytesLeft -= size;
    ++grantedCount;
}

void* Allocate(size_t size) {
    Admit(size);
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    inUse += malloc_usable_size(p);
    if (inUse > peak) peak = inUse;
    return p;
}

void* AllocateAligned(size_t size, std::align_val_t align) {
    Admit(size);
    const size_t a = static_cast<size_t>(align);
    const size_t rounded = (size + a - 1) / a * a;
    void* p = std::aligned_alloc(a, rounded ? rounded : a);
    if (!p) throw std::bad_alloc();
    inUse += malloc_usable_size(p);
    if (inUse > peak) peak = inUse;
    return p;
}

void Release(void* p) noexcept {
    if (!p) return;
    inUse -= malloc_usable_size(p);
    std::free(p);
}

}  // namespace

namespace scq::test {

size_t HeapInUse() {
    return inUse;
}
size_t HeapPeak() {
    return peak;
}
void ResetHeapPeak() {
    peak = inUse;
}

FailingHeapScope::FailingHeapScope(size_t allocations, size_t bytes) {
    refusedAny = false;
    grantsLeft = allocations;
    bytesLeft = bytes;
    grantedCount = 0;
    armed = true;
}

FailingHeapScope::~FailingHeapScope() {
    armed = false;
}

size_t FailingHeapScope::granted() const {
    return grantedCount;
}

bool FailingHeapScope::refused() const {
    return refusedAny;
}

}  // namespace scq::test

// The replaceable global allocation functions.
void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void* operator new[](size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    Release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    Release(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    Release(p);
}
