// Fault injection into the simulated platform: one call names the operation, which of its calls
// fail, and with what code. Only tests include this.
#pragma once

#include "sim/base_types.h"

namespace sim {

// The platform operations a test can make fail, and how each answers a failure with `code`.
enum class Op {
    // The registry functions of those names: they answer `code` and do nothing else (a failing
    // RegCloseKey still closes the handle).
    RegOpenKeyEx, RegCreateKeyEx, RegCloseKey, RegSetValueEx, RegQueryValueEx, RegDeleteValue, RegDeleteKey,
    RegDeleteKeyEx, RegEnumKeyEx, RegQueryInfoKey,
    // Every allocation the platform makes for the system (task memory, strings, arrays, type
    // descriptions): it answers null, and `code` plays no part.
    Allocation,
    // CoCreateInstance answers `code` and stores null.
    CoCreateInstance,
    // The automation service answers `code`: LoadRegTypeLib; the library's GetTypeInfoOfGuid,
    // GetLibAttr and its own GetDocumentation (MEMBERID_NIL); the type information's GetTypeAttr,
    // GetFuncDesc and GetDocumentation.
    LoadRegTypeLib, GetTypeInfoOfGuid, GetLibAttr, GetLibraryDocumentation, GetTypeAttr, GetFuncDesc,
    GetDocumentation,
    // These leave `code` as the thread's last error (0 included) and answer failure (FALSE, 0 or null);
    // SendMessageW delivers nothing, as to a window destroyed meanwhile.
    GetModuleHandleEx, GetModuleFileName, LoadResource, CreateThread, CreateThreadpoolTimer, SendMessage,
    InitializeCriticalSectionAndSpinCount,  // stays last: it sizes the table of faults
};

// Which calls of an operation fail: the first `skip` calls go through, the `count` after them fail,
// and the calls after those go through again.
struct When {
    int skip = 0;
    int count = 1;
};

// Makes the calls of `operation` that `when` names fail with `code`, in place of whatever was set
// for that operation before; faults of other operations stay. sim::ResetAll clears every fault,
// and each service's own reset clears the faults of its operations.
void Fail(Op operation, When when, LONG code = 0);
// Clears every fault.
void ClearFaults();
// Calls of `operation` that failed by injection since Fail last named it (0 after a clear).
int InjectedFailures(Op operation);

}  // namespace sim
