// Test-only controls of the simulated platform: fault injection, inspection and the virtual clock.
// System code never includes this header.
#pragma once

#include "platform/sim/sim_win32.h"
#include "platform/sim/automation_control.h"
#include "platform/sim/com_runtime_control.h"
#include "platform/sim/memory_control.h"
#include "platform/sim/modules_control.h"
#include "platform/sim/registry_control.h"
#include "platform/sim/resources_control.h"
#include "platform/sim/thread_pool_control.h"
#include "platform/sim/threads_control.h"
#include "platform/sim/windows_control.h"

namespace sim {

// A fresh simulated platform: every service reset (threads and timers first, so that nothing runs
// meanwhile) and no fault injected. Where a test or benchmark starts.
void ResetAll();

}  // namespace sim
