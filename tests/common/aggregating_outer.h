// An outer object aggregating one enabler: it answers IUnknown itself and every other interface
// from the aggregate's own IUnknown (`m_inner`, one reference the test holds), counting the queries
// that reach it.
#pragma once

#include "platform/win32.h"
#include "stack_object.h"

class AggregatingOuter : public StackObject<IUnknown> {
public:
    IUnknown* m_inner = nullptr;
    int m_nQueries = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        ++m_nQueries;
        if (IsEqualIID(iid, IID_IUnknown) || !m_inner)
            return StackObject::QueryInterface(iid, out);
        return m_inner->QueryInterface(iid, out);
    }
};
