#include "counting_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> gCalls{0}, gBytes{0}, gLive{0};

// Each block carries its size in front, so that delete knows what it frees.
constexpr std::size_t kHeader = alignof(std::max_align_t);

}  // namespace

namespace bench {

AllocationCounts CurrentAllocations() { return {gCalls.load(), gBytes.load(), gLive.load()}; }

}  // namespace bench

void* operator new(std::size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) throw std::bad_alloc();
    *reinterpret_cast<std::size_t*>(block) = size;
    ++gCalls;
    gBytes += size;
    gLive += size;
    return block + kHeader;
}

void operator delete(void* pointer) noexcept {
    if (pointer == nullptr) return;
    auto* block = static_cast<unsigned char*>(pointer) - kHeader;
    gLive -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}

void operator delete(void* pointer, std::size_t) noexcept { operator delete(pointer); }
