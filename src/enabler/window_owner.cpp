#include "enabler/window_owner.h"

DWORD WindowProcessId(HWND window)
{
    DWORD processId = 0;
    if (!window || !GetWindowThreadProcessId(window, &processId))
        return 0;
    return processId;
}
