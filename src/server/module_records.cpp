#include "server/module_records.h"

ComModuleRecord g_comModule;
BaseModuleRecord g_baseModule;
bool g_bInitFailed = false;

void ComModuleRecord::StartUp(HINSTANCE instance)
{
    m_nRecordSize = 0;
    m_hTypeLibModule = instance;
    m_ppObjectMapBegin = ObjectMapBegin();
    m_ppObjectMapEnd = ObjectMapEnd();
    if (FAILED(m_csObjectMap.Create())) {
        g_bInitFailed = true;
        return;
    }
    m_nRecordSize = sizeof(ComModuleRecord);
}

void ComModuleRecord::ShutDown()
{
    if (m_nRecordSize == 0)
        return;
    // Last of all: the clean-ups of the module object have run while the class objects were cached.
    for (ObjectMapEntry* const* slot = m_ppObjectMapBegin; slot != m_ppObjectMapEnd; ++slot) {
        if (!*slot)
            continue;
        if (IUnknown* classObject = (*slot)->classObject.exchange(nullptr, std::memory_order_acquire))
            classObject->Release();
    }
    m_csObjectMap.Delete();
    m_nRecordSize = 0;
}

void BaseModuleRecord::StartUp(HINSTANCE instance)
{
    m_hModule = instance;
    if (FAILED(m_csBaseModule.Create()))
        g_bInitFailed = true;
}

void BaseModuleRecord::ShutDown() { m_csBaseModule.Delete(); }
