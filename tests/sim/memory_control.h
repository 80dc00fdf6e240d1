// Test controls of the simulated allocators. Only tests include this.
#pragma once

#include "sim/base_types.h"

namespace sim {

// Task-memory blocks allocated and not freed.
int LiveTaskMemBlocks();

}  // namespace sim
