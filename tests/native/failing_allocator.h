// Global operator new that can be told to fail, for the exhausted-memory tests.
#pragma once

namespace testing_support {

// After `count` more allocations every one throws std::bad_alloc; -1 lifts it.
void FailAllocationsAfter(int count);

}  // namespace testing_support
