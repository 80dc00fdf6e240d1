// Test controls of the simulated module files and their resources. Only tests include this.
#pragma once

#include <string>
#include <vector>

#include "sim/resources.h"

namespace sim {

// One resource of a module file. Integer identifiers are written "#102"; names as they are.
struct ModuleResource {
    std::u16string type;
    std::u16string name;
    std::vector<BYTE> data;
    // When set, SizeofResource answers `claimedSize` instead of the data's size (a corrupt file).
    bool claimsSize = false;
    DWORD claimedSize = 0;
};

// The registry script the library's own file carries as "REGISTRY" 102: the bytes of Vesk.rgs.
std::vector<BYTE> LibraryScriptBytes();

// The file at `path` (any letter case) exists and holds exactly `resources`, whatever the library's
// default file would hold.
void SetModuleFileResources(LPCWSTR path, std::vector<ModuleResource> resources);
// No file at `path`: LoadLibraryExW fails there with ERROR_MOD_NOT_FOUND.
void RemoveModuleFile(LPCWSTR path);

// Data handles handed out by LoadLibraryExW in all, and those not yet released by FreeLibrary.
int DataModuleLoads();
int OpenDataModules();
// The thread locale in effect at the last CP_THREAD_ACP conversion, 0 before any.
LCID LastConversionLocale();

// Releases a data handle for FreeLibrary; false when `module` is no data handle of this simulation.
bool ReleaseDataModule(HMODULE module);

// No described files, no data handles counted (the open ones are forgotten), no LoadResource fault.
// The calling thread's locale goes back to US English.
void ResetResources();

}  // namespace sim
