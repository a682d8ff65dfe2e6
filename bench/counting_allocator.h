// Global operator new and delete that count, for the allocation figures.
#pragma once

#include <cstddef>

namespace bench {

struct AllocationCounts {
    std::size_t Calls = 0;
    std::size_t Bytes = 0;      // requested, in total
    std::size_t LiveBytes = 0;  // requested and not yet freed
};

AllocationCounts CurrentAllocations();

}  // namespace bench
