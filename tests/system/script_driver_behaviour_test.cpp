// The script engine's behaviour suite against the real registry (under Wine in this project).
#include "script_driver_behaviour.h"

void ScriptDriverOnTheRegistry::PlatformSetUp() {}

void ScriptDriverOnTheRegistry::PlatformTearDown() {}
