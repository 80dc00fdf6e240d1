// The simulated Win32 subset: the declarations system code sees in the native build. Each header
// below holds one concept of the platform and declares only what the system calls, with the
// platform's names, widths, codes and vtable order. Test controls live in sim_control.h.
#pragma once

#include "platform/sim/automation.h"
#include "platform/sim/base_types.h"
#include "platform/sim/com_runtime.h"
#include "platform/sim/com_types.h"
#include "platform/sim/component_categories.h"
#include "platform/sim/memory.h"
#include "platform/sim/modules.h"
#include "platform/sim/number_conversion.h"
#include "platform/sim/registry.h"
#include "platform/sim/resources.h"
#include "platform/sim/strings.h"
#include "platform/sim/thread_pool.h"
#include "platform/sim/threads.h"
#include "platform/sim/type_library.h"
#include "platform/sim/windows.h"
