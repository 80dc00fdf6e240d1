// One generated script run through the script engine against whatever registry this build has, and
// what that left below the scratch key, written as text that is the same on every platform for the
// same outcome.
#pragma once

#include <string>

#include "script_generator.h"

namespace differential {

// Empties the scratch key (removes it with everything below it).
void ClearScratch();

// Registers the script, then unregisters it, from an empty scratch key. The trace: each pass's
// HRESULT and the tree below the scratch key after it, keys in name order (without letter case),
// each with its values (type and bytes) and its count of values.
std::string TraceScript(const GeneratedScript& script);

}  // namespace differential
