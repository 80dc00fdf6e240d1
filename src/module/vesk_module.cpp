#include "module/vesk_module.h"

CVeskModule* g_pModule = nullptr;
