#pragma once

// Counts the bytes that operator new hands out in this test program, so that a test can see
// how much memory an operation took at its peak, whatever allocator or sanitizer is in use;
// and makes operator new fail on demand, so that a test can see what running out of memory
// does to an operation.

#include <cstddef>
#include <cstdint>

namespace scq::test {

// Bytes currently allocated through operator new.
size_t HeapInUse();

// The highest HeapInUse() since the last ResetHeapPeak().
size_t HeapPeak();
void ResetHeapPeak();

// The peak growth of the heap during one piece of work.
class HeapPeakScope {
public:
    HeapPeakScope() : start_(HeapInUse()) { ResetHeapPeak(); }
    size_t growth() const { return HeapPeak() - start_; }

private:
    size_t start_;
};

// While it lives, operator new grants `allocations` more allocations and `bytes` more bytes
// (asked for); the first request beyond either, and every request after it, fails: the
// throwing forms with std::bad_alloc, the nothrow forms with null. Scopes do not nest.
class FailingHeapScope {
public:
    static constexpr size_t kUnlimited = SIZE_MAX;

    explicit FailingHeapScope(size_t allocations, size_t bytes = kUnlimited);
    ~FailingHeapScope();
    FailingHeapScope(const FailingHeapScope&) = delete;
    FailingHeapScope& operator=(const FailingHeapScope&) = delete;

    // Allocations granted so far, and whether a request was refused.
    size_t granted() const;
    bool refused() const;
};

}  // namespace scq::test
