// Registry scripts read from a module file's resources: the 8-bit text is widened in the thread's
// ANSI code page and run by the script driver with the given variables.
#pragma once

#include "platform/win32.h"
#include "registrar/variable_map.h"

// Runs the script held as resource `resourceId` (its low 16 bits, an integer identifier) of type
// `resourceType` in the module file `moduleFile`, registering or unregistering.
HRESULT RunResourceScript(const VariableMap& variables, LPCOLESTR moduleFile, UINT resourceId,
                          LPCOLESTR resourceType, BOOL bRegister);
