#include "failing_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<int> gAllocationsLeft{-1};
}

namespace testing_support {
void FailAllocationsAfter(int count) { gAllocationsLeft = count; }
}  // namespace testing_support

void* operator new(std::size_t size) {
    int left = gAllocationsLeft.load();
    while (left >= 0) {
        if (left == 0) throw std::bad_alloc();
        if (gAllocationsLeft.compare_exchange_weak(left, left - 1)) break;
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

// The nothrow forms too (std::stable_sort asks for its buffer this way), so that
// every block is freed by the function family that made it.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
