// Test controls of the simulated OLE Automation service. Only tests include this.
#pragma once

#include <string>
#include <vector>

#include "sim/automation.h"
#include "sim/type_library.h"

// The per-user registration functions as GetProcAddress finds them on "OLEAUT32.DLL".
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid,
                                        SYSKIND syskind);

namespace sim {

// BSTRs allocated and not freed.
int LiveStrings();
// Arrays created and not destroyed.
int LiveArrays();

// Calls into the service since the last ResetAutomation, by operation.
struct AutomationCalls {
    int loadTypeLib;
    int loadRegTypeLib;
    int registerTypeLib;
    int unregisterTypeLib;
    int getTypeInfoOfGuid;
    int getTypeAttr;
    int getFuncDesc;
    int getDocumentation;   // ITypeInfo::GetDocumentation
    int getIDsOfNames;      // ITypeInfo::GetIDsOfNames
    int invoke;             // ITypeInfo::Invoke
    int queryInterface;     // on type information
};
AutomationCalls AutomationCallCounts();

// Makes `path` (compared without regard to case) a file that holds the server's type library, as
// the library module's own file does (at whatever path GetModuleFileNameW gives for it), naming
// `helpFile` (null: none) as the library's help file. LoadTypeLib of any other path fails with
// TYPE_E_CANTLOADLIBRARY.
void PlaceTypeLibraryFile(LPCWSTR path, LPCWSTR helpFile = nullptr);
// Takes the library away from `path`; at the library module's path it is a module without one.
void RemoveTypeLibraryFile(LPCWSTR path);

// One registration, as RegisterTypeLib / RegisterTypeLibForUser recorded it.
struct TypeLibraryRegistration {
    GUID libid;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    LCID lcid;
    SYSKIND syskind;
    bool perUser;
    std::u16string path;
    bool helpDirectoryGiven;       // false when the help directory was null
    std::u16string helpDirectory;
    std::u16string name;           // the library's help string, as the platform's default key value
};
std::vector<TypeLibraryRegistration> TypeLibraryRegistrations();

// When set, the interface's type information hands out its ITypeInfo2 from a second object (a
// different COM identity), as a proxy or a wrapper would.
void SplitTypeInfo2Identity(bool split);

// Called inside every LoadRegTypeLib before it looks at the registrations (null: nothing), so that a
// test can hold a loading thread there.
void OnLoadRegTypeLib(void (*hook)());

// Libraries, type information objects and description records handed out and not yet released.
int LiveTypeLibraries();
int OutstandingDescriptions();

// Withdraws (false) or publishes again (true) RegisterTypeLibForUser and UnRegisterTypeLibForUser
// on "OLEAUT32.DLL", as on a system that lacks them.
void PublishPerUserTypeLibraryFunctions(bool publish);

// Forgets registrations, placed and removed files, counts and the service's faults; publishes the
// per-user functions.
void ResetAutomation();

}  // namespace sim
