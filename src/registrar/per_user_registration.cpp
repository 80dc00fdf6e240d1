#include "registrar/per_user_registration.h"

// The library's own flags are one byte wide.
static_assert(sizeof(bool) == 1, "the per-user flag is an 8-bit boolean");

bool g_bPerUserRegistration = false;
