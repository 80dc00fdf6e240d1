// Creation of the server's critical sections, with failure as a value.
#pragma once

#include "platform/win32.h"

// S_OK, or E_OUTOFMEMORY when the system cannot create the section; nothing is left to delete then.
HRESULT CreateCriticalSectionChecked(CRITICAL_SECTION* section);
