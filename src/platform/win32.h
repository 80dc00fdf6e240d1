// The one door to the platform. System code includes this header and nothing else of the platform:
// on Windows the SDK itself; elsewhere the simulated Win32 subset, which does not ship and which the
// native build supplies from beside the tests (tests/sim).
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <commctrl.h>
#include <comcat.h>
#else
#include "sim/sim_win32.h"
#endif
