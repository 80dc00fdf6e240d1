#include "module/critical_section.h"

HRESULT CreateCriticalSectionChecked(CRITICAL_SECTION* section)
{
    // The spin-count form reports a failed creation as FALSE where InitializeCriticalSection would
    // raise the out-of-memory status as a structured exception.
    if (!InitializeCriticalSectionAndSpinCount(section, 0))
        return E_OUTOFMEMORY;
    return S_OK;
}
