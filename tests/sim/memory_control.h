// Test controls of the simulated allocators. Only tests include this.
#pragma once

#include "sim/base_types.h"

namespace sim {

// Counts down the allocations the platform makes for the system (task memory, and whatever other
// platform allocator asks ShouldFailAllocation); the allocation that finds the count at 0 fails.
// A negative count fails nothing.
void FailAllocationAfter(int allocations);
// Called by every simulated allocator: true when this allocation is to fail.
bool ShouldFailAllocation();
// What is left of the countdown: negative once the failing allocation was made (or none is set).
int AllocationCountdown();
// Task-memory blocks allocated and not freed.
int LiveTaskMemBlocks();

}  // namespace sim
