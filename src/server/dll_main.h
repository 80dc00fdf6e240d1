// The library's entry point for load and unload notifications.
#pragma once

#include "platform/win32.h"

// Attach builds the module records and the module object and refuses the load (FALSE) when any of
// their critical sections cannot be created, leaving nothing behind; detach tears them down in the
// reverse order. Every other reason does nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID reserved);
