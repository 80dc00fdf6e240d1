// The benchmarks' check of their set-up: a benchmark whose server could not be prepared is skipped
// with the reason instead of timing a failing path.
#pragma once

#include <benchmark/benchmark.h>

#include "attached_library.h"

inline bool ServerReady(benchmark::State& state, const AttachedServer& server)
{
    if (!server.Ready())
        state.SkipWithError("the library could not be attached with its type library");
    return server.Ready();
}
