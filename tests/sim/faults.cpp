#include <atomic>
#include <mutex>

#include "sim/faults_internal.h"

namespace {

constexpr int kOperations = static_cast<int>(sim::Op::InitializeCriticalSectionAndSpinCount) + 1;

struct Fault {
    sim::When when{0, 0};  // what is left of it
    LONG code = 0;
    int failed = 0;
};

// A fixed table, so that setting a fault allocates nothing a test may be counting.
struct Faults {
    std::mutex mutex;
    Fault table[kOperations];
    // Operations with calls still to fail; read without the lock, so that a platform without
    // faults (the fuzzers' and benchmarks' case) answers every call at no cost.
    std::atomic<int> armed{0};

    void CountArmedLocked()
    {
        int n = 0;
        for (const Fault& fault : table)
            n += fault.when.count > 0 ? 1 : 0;
        armed.store(n);
    }
};

Faults& TheFaults()
{
    static Faults* faults = new Faults;  // outlives detached threads at process exit
    return *faults;
}

}  // namespace

namespace sim {

void Fail(Op operation, When when, LONG code)
{
    Faults& f = TheFaults();
    std::lock_guard<std::mutex> lock(f.mutex);
    f.table[static_cast<int>(operation)] = Fault{when, code, 0};
    f.CountArmedLocked();
}

void ClearFaults()
{
    Faults& f = TheFaults();
    std::lock_guard<std::mutex> lock(f.mutex);
    for (Fault& fault : f.table)
        fault = Fault{};
    f.armed.store(0);
}

int InjectedFailures(Op operation)
{
    Faults& f = TheFaults();
    std::lock_guard<std::mutex> lock(f.mutex);
    return f.table[static_cast<int>(operation)].failed;
}

namespace internal {

bool Injected(Op operation, LONG* code)
{
    Faults& f = TheFaults();
    if (f.armed.load() == 0)
        return false;
    std::lock_guard<std::mutex> lock(f.mutex);
    Fault& fault = f.table[static_cast<int>(operation)];
    if (fault.when.count <= 0)
        return false;
    if (fault.when.skip > 0) {
        --fault.when.skip;
        return false;
    }
    --fault.when.count;
    ++fault.failed;
    if (code)
        *code = fault.code;
    if (fault.when.count == 0)
        f.CountArmedLocked();
    return true;
}

void ClearFaults(std::initializer_list<Op> operations)
{
    Faults& f = TheFaults();
    std::lock_guard<std::mutex> lock(f.mutex);
    for (Op operation : operations)
        f.table[static_cast<int>(operation)] = Fault{};
    f.CountArmedLocked();
}

}  // namespace internal

}  // namespace sim
