// Owns one reference on an interface pointer and gives it back when it goes out of scope.
#pragma once

#include "base/scoped_owner.h"
#include "platform/win32.h"

struct InterfaceReleaser {
    template <class T>
    void operator()(T* pointer) const
    {
        pointer->Release();
    }
};

template <class T>
using CInterfaceHolder = CScopedOwner<T, InterfaceReleaser>;
