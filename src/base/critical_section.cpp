#include "base/critical_section.h"

HRESULT CreateCriticalSectionChecked(CRITICAL_SECTION* section)
{
    // The spin-count form reports a failed creation as FALSE where InitializeCriticalSection would
    // raise the out-of-memory status as a structured exception.
    if (!InitializeCriticalSectionAndSpinCount(section, 0))
        return E_OUTOFMEMORY;
    return S_OK;
}

HRESULT OwnedCriticalSection::Create()
{
    if (m_bCreated)
        return S_OK;
    const HRESULT hr = CreateCriticalSectionChecked(&m_section);
    m_bCreated = SUCCEEDED(hr);
    return hr;
}

void OwnedCriticalSection::Delete()
{
    if (!m_bCreated)
        return;
    m_bCreated = false;
    DeleteCriticalSection(&m_section);
}
