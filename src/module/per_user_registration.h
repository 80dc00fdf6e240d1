// The process-wide switch between machine-wide and per-user registration.
#pragma once

// False when the library is loaded; set by the per-user installation entry points, read by the
// registry script pre-processor and the type-library registration.
extern bool g_bPerUserRegistration;
