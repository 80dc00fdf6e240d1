<<<<<<< HEAD
// The process-wide switch between machine-wide and per-user registration.
#pragma once

// False when the library is loaded; set by the per-user installation entry points, read by the
// registry script pre-processor and the type-library registration.
=======
// Whether registration goes to the current user's classes instead of the machine's. Switched on by
// DllInstall with "user" and by DllSetPerUserRegistration; read by the type-library registration
// and the registry script's pre-processor.
#pragma once

>>>>>>> typelibreg
extern bool g_bPerUserRegistration;
