// Test controls of the simulated COM runtime. Only tests include this.
#pragma once

#include <functional>

#include "sim/com_runtime.h"

namespace sim {

// Successful CoCreateInstance calls that handed out the global interface table.
int InterfaceTableCreations();
// References on the global interface table not yet released.
LONG InterfaceTableReferences();
// Interfaces registered in the global interface table and not yet revoked.
int InterfaceTableEntries();
// Runs inside every CoCreateInstance that is about to serve a class, before it creates anything (to
// hold a creation open while other threads race it); an empty function removes it.
void SetCoCreateInstanceHook(std::function<void()> hook);
// Serves CLSID_StdComponentCategoriesMgr (in process) from `manager`, which the caller keeps alive;
// null stops serving it, as on a system without the category manager (the default).
void ServeCategoryManager(IUnknown* manager);
// Forgets creations, the hook and its faults; revokes whatever is still registered. References still
// held keep the table alive and are still counted.
void ResetComRuntime();

}  // namespace sim
