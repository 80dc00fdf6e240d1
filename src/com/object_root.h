// The object root every COM object of the server derives from: its reference count, counted by a
// thread model.
#pragma once

#include "base/critical_section.h"
#include "platform/win32.h"

// Counts with plain increments: the object is used on its apartment's thread only.
struct CSingleThreadModel {
    static LONG Increment(LONG* count) { return ++*count; }
    static LONG Decrement(LONG* count) { return --*count; }
};

// Counts atomically: the object may be used from any thread.
struct CMultiThreadModel {
    static LONG Increment(LONG* count) { return InterlockedIncrement(count); }
    static LONG Decrement(LONG* count) { return InterlockedDecrement(count); }
};

class CObjectRootBase {
public:
    // The count of a stand-alone object, or, for an object living inside an aggregate, the controlling
    // outer object (the count then lives in the aggregate).
    union {
        LONG m_nRefCount;
        IUnknown* m_pOuter;
    };

    CObjectRootBase() : m_nRefCount(0) {}
};

template <class ThreadModel>
class CObjectRootEx : public CObjectRootBase {
public:
    LONG InternalAddRef() { return ThreadModel::Increment(&m_nRefCount); }
    LONG InternalRelease() { return ThreadModel::Decrement(&m_nRefCount); }
};

// Release for an object that owns itself: it is destroyed when its count reaches zero. Answers the
// count after the release.
template <class Object>
ULONG ReleaseSelfOwned(Object* object)
{
    const LONG count = object->InternalRelease();
    if (count == 0)
        delete object;
    return static_cast<ULONG>(count);
}

template <>
class CObjectRootEx<CMultiThreadModel> : public CObjectRootBase {
public:
    LONG InternalAddRef() { return CMultiThreadModel::Increment(&m_nRefCount); }
    LONG InternalRelease() { return CMultiThreadModel::Decrement(&m_nRefCount); }

    // Created by the class-object creator, which fails when it cannot be.
    OwnedCriticalSection m_csObject = {};

    ~CObjectRootEx() { m_csObject.Delete(); }
};
