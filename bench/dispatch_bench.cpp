// Name look-ups through the enabler's dispatch slots: answered by the name cache, against the same
// look-up forwarded to the type information (a name in another letter case misses the cache).
#include <benchmark/benchmark.h>

#include "enabler/vesk_enabler.h"
#include "sim/sim_control.h"
#include "server_ready.h"
#include "test_enabler_object.h"

namespace {

// The enabler's test object on an attached library whose type library is registered.
struct Server {
    AttachedServer attached;
    TestEnablerObject* object = new TestEnablerObject;

    Server() { object->AddRef(); }
    ~Server() { object->Release(); }
};

void LookUp(benchmark::State& state, LPCWSTR name, DISPID expected)
{
    Server server;
    if (!ServerReady(state, server.attached))
        return;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID dispid = 0;
    if (server.object->GetIDsOfNames(GUID_NULL, names, 1, 0, &dispid) != S_OK || dispid != expected) {
        state.SkipWithError("the look-up does not answer");
        return;
    }
    for (auto _ : state) {
        const HRESULT hr = server.object->GetIDsOfNames(GUID_NULL, names, 1, 0, &dispid);
        benchmark::DoNotOptimize(hr);
        benchmark::DoNotOptimize(dispid);
    }
}

void BM_GetIDsOfNames_Cached(benchmark::State& state) { LookUp(state, L"MakeSure", 3); }
void BM_GetIDsOfNames_Forwarded(benchmark::State& state) { LookUp(state, L"makesure", 3); }

BENCHMARK(BM_GetIDsOfNames_Cached);
BENCHMARK(BM_GetIDsOfNames_Forwarded);

}  // namespace

BENCHMARK_MAIN();
