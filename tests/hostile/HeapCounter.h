#pragma once

// Counts the bytes that operator new hands out in this test program, so that a test can see
// how much memory an operation took at its peak, whatever allocator or sanitizer is in use.

#include <cstddef>

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

}  // namespace scq::test
