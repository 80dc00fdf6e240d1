// Name look-ups through the enabler's dispatch slots: answered by the name cache, against the same
// look-up forwarded to the type information (a name in another letter case misses the cache).
#include <benchmark/benchmark.h>

#include "enabler/vesk_enabler.h"
#include "platform/sim/sim_control.h"
#include "server/dll_main.h"
#include "test_enabler_object.h"

namespace {

struct Server {
    TestEnablerObject* object = nullptr;

    Server()
    {
        DllMain(sim::LibraryModule(), DLL_PROCESS_ATTACH, nullptr);
        const LPCWSTR path = L"C:\\Vesk\\Vesk.dll";
        sim::PlaceTypeLibraryFile(path);
        ITypeLib* library = nullptr;
        if (SUCCEEDED(LoadTypeLib(path, &library))) {
            RegisterTypeLib(library, const_cast<OLECHAR*>(path), nullptr);
            library->Release();
        }
        object = new TestEnablerObject;
        object->AddRef();
    }
    ~Server()
    {
        object->Release();
        DllMain(sim::LibraryModule(), DLL_PROCESS_DETACH, nullptr);
    }
};

void LookUp(benchmark::State& state, LPCWSTR name, DISPID expected)
{
    Server server;
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
