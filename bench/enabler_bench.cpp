// The enabler's call path: Invoke of EnableVesk by DISPID on an object made by the class factory,
// and EnableVesk itself over rebars of 1, 10 and 100 bands with the toolbar's band last, its header
// either wide enough already or needing the write. The simulated window system logs every message,
// so the scene is rebuilt (untimed) every kRebuildEvery iterations to keep the logs short.
#include <benchmark/benchmark.h>

#include <vector>

#include "enabler/ivesk_enabler.h"
#include "enabler/vesk_enabler.h"
#include "hosted_toolbar.h"
#include "sim/sim_control.h"
#include "server/class_object_lookup.h"
#include "server_ready.h"
#include "test_enabler_object.h"

namespace {

constexpr int64_t kRebuildEvery = 1024;
constexpr DISPID kEnableVesk = 2;

// An enabler through the class object, as a host gets one.
IDispatch* CreateThroughFactory()
{
    void* out = nullptr;
    if (FAILED(DllGetClassObject(CLSID_VeskEnabler, IID_IClassFactory, &out)))
        return nullptr;
    auto* factory = static_cast<IClassFactory*>(out);
    void* instance = nullptr;
    const HRESULT hr = factory->CreateInstance(nullptr, IID_IDispatch, &instance);
    factory->Release();
    return SUCCEEDED(hr) ? static_cast<IDispatch*>(instance) : nullptr;
}

HRESULT InvokeEnable(IDispatch* dispatch, HWND toolbar)
{
    VARIANTARG arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = AsInterfaceValue(toolbar);
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    return dispatch->Invoke(kEnableVesk, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

// The first EnableVesk starts the notifications; they are run to their end before timing starts, so
// each timed call is the steady one (band found, no notification).
void BM_InvokeEnableVesk(benchmark::State& state)
{
    AttachedServer server;
    if (!ServerReady(state, server))
        return;
    IDispatch* dispatch = CreateThroughFactory();
    if (!dispatch) {
        state.SkipWithError("no object from the class factory");
        return;
    }
    HostedToolbar host = MakeHostedToolbar(kMinimumHeaderWidth);
    if (InvokeEnable(dispatch, host.toolbar) != S_OK) {
        state.SkipWithError("Invoke failed");
        dispatch->Release();
        return;
    }
    sim::ResetThreads();
    int64_t sinceRebuild = 0;
    for (auto _ : state) {
        if (++sinceRebuild == kRebuildEvery) {
            state.PauseTiming();
            sim::ResetWindows();
            host = MakeHostedToolbar(kMinimumHeaderWidth);
            sinceRebuild = 0;
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(InvokeEnable(dispatch, host.toolbar));
    }
    if (sim::ThreadpoolTimersCreated() != 0)
        state.SkipWithError("a timed call started notifications");
    dispatch->Release();
}
BENCHMARK(BM_InvokeEnableVesk);

// Arguments: the number of bands (the toolbar's is the last) and whether its header needs the write.
// In the write case the header is narrowed again before each call; that reset is in the timing.
void BM_EnableVeskOverBands(benchmark::State& state)
{
    const int bands = static_cast<int>(state.range(0));
    const bool narrow = state.range(1) != 0;
    const UINT header = narrow ? kMinimumHeaderWidth - 22 : kMinimumHeaderWidth;
    AttachedServer server;
    if (!ServerReady(state, server))
        return;
    TestEnablerObject* object = new TestEnablerObject;
    object->AddRef();
    IVeskEnabler* enabler = object;
    HostedToolbar host = MakeHostedToolbar(header, bands - 1, 0);
    enabler->EnableVesk(AsInterfaceValue(host.toolbar));
    sim::ResetThreads();
    int64_t sinceRebuild = 0;
    for (auto _ : state) {
        if (++sinceRebuild == kRebuildEvery) {
            state.PauseTiming();
            sim::ResetWindows();
            host = MakeHostedToolbar(header, bands - 1, 0);
            sinceRebuild = 0;
            state.ResumeTiming();
        }
        if (narrow)
            sim::SetBandHeader(host.rebar, bands - 1, header);
        benchmark::DoNotOptimize(enabler->EnableVesk(AsInterfaceValue(host.toolbar)));
    }
    if (sim::BandHeader(host.rebar, bands - 1) != kMinimumHeaderWidth)
        state.SkipWithError("the band was not widened");
    // The path timed is the one named: the last call ended with the write only when one was needed.
    const std::vector<sim::RebarMessage> log = sim::RebarMessages(host.rebar);
    if (log.empty() || (log.back().message == RB_SETBANDINFOW) != narrow)
        state.SkipWithError("the calls did not take the path this case names");
    if (sim::ThreadpoolTimersCreated() != 0)
        state.SkipWithError("a timed call started notifications");
    state.counters["bands/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * bands,
                                                   benchmark::Counter::kIsRate);
    object->Release();
}
BENCHMARK(BM_EnableVeskOverBands)
    ->ArgNames({"bands", "write"})
    ->ArgsProduct({{1, 10, 100}, {0, 1}});

}  // namespace

BENCHMARK_MAIN();
