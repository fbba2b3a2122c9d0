#include "HeapCounter.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace {

size_t inUse = 0;
size_t peak = 0;

void* Allocate(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    inUse += malloc_usable_size(p);
    if (inUse > peak) peak = inUse;
    return p;
}

void* AllocateAligned(size_t size, std::align_val_t align) {
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
