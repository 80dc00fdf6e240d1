// The simulated Win32 subset: the declarations system code sees in the native build. Each header
// below holds one concept of the platform and declares only what the system calls, with the
// platform's names, widths, codes and vtable order. Test controls live in sim_control.h.
#pragma once

#include "sim/automation.h"
#include "sim/base_types.h"
#include "sim/com_runtime.h"
#include "sim/com_types.h"
#include "sim/component_categories.h"
#include "sim/memory.h"
#include "sim/modules.h"
#include "sim/number_conversion.h"
#include "sim/registry.h"
#include "sim/resources.h"
#include "sim/strings.h"
#include "sim/thread_pool.h"
#include "sim/threads.h"
#include "sim/type_library.h"
#include "sim/windows.h"
