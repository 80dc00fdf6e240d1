#include "module/per_user_registration.h"

<<<<<<< HEAD
=======
// The library's own flags are one byte wide.
static_assert(sizeof(bool) == 1, "the per-user flag is an 8-bit boolean");

>>>>>>> typelibreg
bool g_bPerUserRegistration = false;
