// Whether registration goes to the current user's classes instead of the machine's. Switched on by
// DllInstall with "user" and by DllSetPerUserRegistration; read by the type-library registration
// and the registry script's pre-processor.
#pragma once

extern bool g_bPerUserRegistration;
