// One generated script run through the script engine against whatever registry this build has, and
// what that left below the scratch key, written as text that is the same on every platform for the
// same outcome.
#pragma once

#include <string>

#include "script_generator.h"

namespace differential {

// Removes the scratch keys, with everything below them, wherever a script may have put them.
void ClearScratch();

// Registers the script, then unregisters it, from no scratch key. The trace: each pass's HRESULT
// and, for each place a scratch key may land (the user's keys, the user's classes, the machine's
// classes), the tree below each scratch key there after that pass, keys in name order (without
// letter case), each with its values (type and bytes) and its count of values.
std::string TraceScript(const GeneratedScript& script);

}  // namespace differential
