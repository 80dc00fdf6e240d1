#include "module/per_user_registration.h"

bool g_bPerUserRegistration = false;
