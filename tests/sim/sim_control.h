// Test-only controls of the simulated platform: fault injection, inspection and the virtual clock.
// System code never includes this header.
#pragma once

#include "sim/sim_win32.h"
#include "sim/automation_control.h"
#include "sim/com_runtime_control.h"
#include "sim/faults_control.h"
#include "sim/memory_control.h"
#include "sim/modules_control.h"
#include "sim/registry_control.h"
#include "sim/resources_control.h"
#include "sim/thread_pool_control.h"
#include "sim/threads_control.h"
#include "sim/windows_control.h"

namespace sim {

// A fresh simulated platform: every service reset (threads and timers first, so that nothing runs
// meanwhile) and every fault cleared. Where a test or benchmark starts.
void ResetAll();

}  // namespace sim
