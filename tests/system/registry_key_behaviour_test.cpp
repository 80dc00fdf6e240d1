// The registry key behaviour suite against the real registry (under Wine in this project). It
// works below HKEY_CURRENT_USER\Software in a scratch key of its own and leaves nothing behind.
#include "registry_key_behaviour.h"

void RegistryKeyBehaviour::PlatformSetUp() {}

void RegistryKeyBehaviour::PlatformTearDown() {}
