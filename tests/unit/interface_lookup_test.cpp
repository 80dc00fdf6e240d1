// Interface lookup through interface maps: identity, counts, and the offset, function and blind
// entries of the walk.
#include <gtest/gtest.h>

#include <vector>

#include "com/interface_map.h"
#include "com/object_root.h"
#include "run_together.h"
#include "stack_object.h"
#include "test_enabler_object.h"

namespace {

const IID IID_Probe = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const IID IID_Other = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x56}};
const IID IID_Failing = {0xFA11FA11, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const IID IID_FromBlind = {0xB11DB11D, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
const IID IID_Deferring = {0xDEFE7777, 0, 0, {0, 0, 0, 0, 0, 0, 0, 3}};
const IID IID_DispatchButLastByte = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x47}};

// An object with two interface tables, so that offset entries other than 0 are exercised.
struct ProbeObject : public StackObject<IUnknown> {
    ProbeObject() : StackObject(0) {}
    StackObject<IUnknown> second{0};
    std::vector<DWORD> resolverValues;  // the value each resolver call received, in order
};

HRESULT Record(void* object, DWORD value)
{
    static_cast<ProbeObject*>(object)->resolverValues.push_back(value);
    return S_OK;
}

HRESULT FailsWithAccessDenied(void* object, REFIID, void**, DWORD value)
{
    Record(object, value);
    return E_ACCESSDENIED;
}

HRESULT AnswersOnlyFromBlind(void* object, REFIID iid, void** out, DWORD value)
{
    Record(object, value);
    if (!IsEqualGUID(iid, IID_FromBlind))
        return E_NOINTERFACE;
    auto* probe = static_cast<ProbeObject*>(object);
    probe->AddRef();
    *out = static_cast<IUnknown*>(probe);
    return S_OK;
}

HRESULT DefersWithSFalse(void* object, REFIID, void**, DWORD value)
{
    Record(object, value);
    return S_FALSE;
}

DWORD SecondOffset()
{
    ProbeObject probe;
    return static_cast<DWORD>(reinterpret_cast<BYTE*>(&probe.second) - reinterpret_cast<BYTE*>(&probe));
}

const InterfaceMapEntry* ProbeMap()
{
    static const InterfaceMapEntry map[] = {
        {&IID_Probe, 0, &OffsetEntry},
        {&IID_Deferring, 7, &DefersWithSFalse},
        {&IID_Failing, 8, &FailsWithAccessDenied},
        {nullptr, 9, &AnswersOnlyFromBlind},
        {&IID_Deferring, 10, &DefersWithSFalse},
        {&IID_Other, SecondOffset(), &OffsetEntry},
        {nullptr, 0, nullptr},
    };
    return map;
}

struct LookupCase {
    const char* name;
    const IID* iid;
    HRESULT result;
    bool answeredBySecond;
    std::vector<DWORD> resolversCalled;
};

TEST(LookupInterface, WalksOffsetFunctionAndBlindEntries)
{
    const LookupCase cases[] = {
        {"IUnknown: the first entry, no resolver runs", &IID_IUnknown, S_OK, false, {}},
        {"offset entry", &IID_Probe, S_OK, false, {}},
        {"a named entry that fails decides", &IID_Failing, E_ACCESSDENIED, false, {8}},
        {"a blind entry answers", &IID_FromBlind, S_OK, false, {9}},
        {"a failing blind entry goes on to a later offset entry", &IID_Other, S_OK, true, {9}},
        {"S_FALSE goes on; nothing answers", &IID_Deferring, E_NOINTERFACE, false, {7, 9, 10}},
        {"nothing answers", &IID_IDispatch, E_NOINTERFACE, false, {9}},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.name);
        ProbeObject probe;
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(LookupInterface(&probe, ProbeMap(), *c.iid, &out), c.result);
        EXPECT_EQ(probe.resolverValues, c.resolversCalled);
        if (c.result != S_OK) {
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(probe.m_nReferences + probe.second.m_nReferences, 0);
        } else if (c.answeredBySecond) {
            EXPECT_EQ(out, static_cast<IUnknown*>(&probe.second));
            EXPECT_EQ(probe.second.m_nReferences, 1);
        } else {
            EXPECT_EQ(out, static_cast<IUnknown*>(&probe));
            EXPECT_EQ(probe.m_nReferences, 1);
        }
    }
}

TEST(LookupInterface, ArgumentChecksComeFirst)
{
    ProbeObject probe;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(LookupInterface(nullptr, ProbeMap(), IID_Probe, &out), E_INVALIDARG);
    EXPECT_EQ(LookupInterface(&probe, nullptr, IID_Probe, &out), E_INVALIDARG);
    EXPECT_EQ(out, reinterpret_cast<void*>(1)) << "argument errors write nothing";
    EXPECT_EQ(LookupInterface(nullptr, ProbeMap(), IID_Probe, nullptr), E_INVALIDARG);
    EXPECT_EQ(LookupInterface(&probe, ProbeMap(), IID_Probe, nullptr), E_POINTER);
    EXPECT_EQ(probe.m_nReferences, 0);
}

TEST(IsIUnknownIid, ComparesAllSixteenBytes)
{
    EXPECT_TRUE(IsIUnknownIid(IID_IUnknown));
    IID almost = IID_IUnknown;
    almost.Data4[7] ^= 1;
    EXPECT_FALSE(IsIUnknownIid(almost));
    EXPECT_FALSE(IsIUnknownIid(IID_IDispatch));
}

// --- the enabler's map ----------------------------------------------------------------------------

TEST(EnablerInterfaces, UnknownEnablerAndDispatchAreOnePointerEachCountingOnce)
{
    auto* enabler = new TestEnablerObject;
    IVeskEnabler* self = enabler;
    ASSERT_EQ(static_cast<void*>(self), static_cast<void*>(enabler)) << "the map's offset 0 is the interface";
    self->AddRef();

    const IID* iids[] = {&IID_IUnknown, &IID_IVeskEnabler, &IID_IDispatch};
    LONG expected = 1;
    for (const IID* iid : iids) {
        void* out = nullptr;
        ASSERT_EQ(self->QueryInterface(*iid, &out), S_OK);
        EXPECT_EQ(out, static_cast<void*>(self));
        EXPECT_EQ(enabler->m_nRefCount, ++expected);
    }
    for (const IID* iid : {&IID_IClassFactory, &IID_DispatchButLastByte}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(self->QueryInterface(*iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(self->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(enabler->m_nRefCount, expected);

    for (LONG remaining = expected - 1; remaining >= 0; --remaining)
        EXPECT_EQ(self->Release(), static_cast<ULONG>(remaining));
}

// --- thread models ----------------------------------------------------------------------------

TEST(ThreadModels, IncrementAndDecrementReturnTheNewCount)
{
    CObjectRootEx<CSingleThreadModel> single;
    EXPECT_EQ(single.InternalAddRef(), 1);
    EXPECT_EQ(single.InternalAddRef(), 2);
    EXPECT_EQ(single.InternalRelease(), 1);

    CObjectRootEx<CMultiThreadModel> multi;
    EXPECT_EQ(multi.InternalAddRef(), 1);
    EXPECT_EQ(multi.InternalRelease(), 0);
    EXPECT_EQ(multi.InternalRelease(), -1);
}

TEST(ThreadModels, MultiThreadedCountsLoseNoUpdate)
{
    CObjectRootEx<CMultiThreadModel> root;
    RunTogether(8, [&](int) {
        for (int i = 0; i < 20000; ++i) {
            root.InternalAddRef();
            root.InternalRelease();
        }
    });
    EXPECT_EQ(root.m_nRefCount, 0);
}

}  // namespace
