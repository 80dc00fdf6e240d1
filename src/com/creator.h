// The signature of every creator in the object map.
#pragma once

#include "platform/win32.h"

// (context, requested IID, out pointer): the context is the outer IUnknown for instances, the
// instance creator for class objects.
typedef HRESULT (*CreatorFunction)(void* context, REFIID iid, void** out);
