// Owns one BSTR and frees it when it goes out of scope.
#pragma once

#include "base/scoped_owner.h"
#include "platform/win32.h"

struct BstrFreer {
    void operator()(OLECHAR* text) const { SysFreeString(text); }
};

using CBstrHolder = CFreeingOwner<OLECHAR, BstrFreer>;
