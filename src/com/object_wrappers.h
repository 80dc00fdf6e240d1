// The wrappers that finish a class into a COM object: QueryInterface, AddRef and Release on the
// object root, the server lock of live objects, and destruction at a count of zero.
#pragma once

#include <new>

#include "com/creator.h"
#include "com/interface_map.h"
#include "com/module_base.h"
#include "com/object_root.h"

// The count a wrapper holds while it is being destroyed, so that a stray AddRef/Release during
// destruction cannot reach zero again.
constexpr LONG kCountWhileDestroyed = -1073741823;  // 0xC0000001

// A stand-alone object. It holds one server lock from construction to destruction.
template <class Base>
class CPlainObject : public Base {
public:
    CPlainObject() { g_pModule->AddServerLock(); }
    virtual ~CPlainObject()
    {
        this->m_nRefCount = kCountWhileDestroyed;
        g_pModule->ReleaseServerLock();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        return LookupInterface(this, Base::InterfaceMap(), iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(this->InternalAddRef()); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseSelfOwned(this); }
};

// The object inside an aggregate: its IUnknown operations belong to the controlling outer object.
template <class Base>
class CContainedObject : public Base {
public:
    explicit CContainedObject(IUnknown* outer) { this->m_pOuter = outer; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        return this->m_pOuter->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return this->m_pOuter->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return this->m_pOuter->Release(); }
};

// The aggregate's own, non-delegating IUnknown, which the outer object holds. It counts for the
// aggregate and holds one server lock from construction to destruction.
template <class Base>
class CAggregatedObject : public IUnknown, public CObjectRootEx<CSingleThreadModel> {
public:
    explicit CAggregatedObject(IUnknown* outer) : m_contained(outer) { g_pModule->AddServerLock(); }
    virtual ~CAggregatedObject()
    {
        m_nRefCount = kCountWhileDestroyed;
        g_pModule->ReleaseServerLock();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (IsIUnknownIid(iid)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        // Interfaces of the contained object lead back to the outer object's identity.
        return LookupInterface(&m_contained, Base::InterfaceMap(), iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InternalAddRef()); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseSelfOwned(this); }

    CContainedObject<Base> m_contained;
};

// The class object the object map caches. The map's own reference is the first; the object holds
// one server lock while anybody else holds it too, following the 1->2 and 2->1 transitions.
template <class Base>
class CCachedObject : public Base {
public:
    virtual ~CCachedObject() { this->m_nRefCount = kCountWhileDestroyed; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        return LookupInterface(this, Base::InterfaceMap(), iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        const LONG count = this->InternalAddRef();
        if (count == 2)
            g_pModule->AddServerLock();
        return static_cast<ULONG>(count);
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = this->InternalRelease();
        if (count == 0)
            delete this;
        else if (count == 1)
            g_pModule->ReleaseServerLock();
        return static_cast<ULONG>(count);
    }
};

namespace detail {

// Allocates a wrapper; any failure of the allocator, returned or raised, is a null result.
template <class Wrapper, class... Args>
Wrapper* AllocateWrapper(Args... args) noexcept
{
    try {
        return new (std::nothrow) Wrapper(args...);
    } catch (...) {
        return nullptr;
    }
}

// Hands out the requested interface of a new wrapper, or destroys it again.
template <class Wrapper>
HRESULT HandOut(Wrapper* object, REFIID iid, void** out)
{
    const HRESULT hr = object->QueryInterface(iid, out);
    if (hr != S_OK)
        delete object;
    return hr;
}

}  // namespace detail

template <class Base>
HRESULT PlainCreator(void*, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    auto* object = detail::AllocateWrapper<CPlainObject<Base>>();
    if (!object)
        return E_OUTOFMEMORY;
    return detail::HandOut(object, iid, out);
}

template <class Base>
HRESULT AggregatedCreator(void* outer, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    auto* object = detail::AllocateWrapper<CAggregatedObject<Base>>(static_cast<IUnknown*>(outer));
    if (!object)
        return E_OUTOFMEMORY;
    return detail::HandOut(object, iid, out);
}

template <class Base>
HRESULT InstanceCreator(void* outer, REFIID iid, void** out)
{
    return outer ? AggregatedCreator<Base>(outer, iid, out) : PlainCreator<Base>(outer, iid, out);
}

// Builds the cached class object around the instance creator passed as context.
template <class Base>
HRESULT ClassObjectCreator(void* instanceCreator, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    auto* object = detail::AllocateWrapper<CCachedObject<Base>>();
    if (!object)
        return E_OUTOFMEMORY;
    object->m_pfnInstanceCreator = reinterpret_cast<CreatorFunction>(instanceCreator);
    const HRESULT created = object->m_csObject.Create();
    if (FAILED(created)) {
        delete object;
        return created;
    }
    return detail::HandOut(object, iid, out);
}
