// Owns one reference on an interface pointer and releases it when it goes out of scope.
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
class CInterfaceHolder : public CScopedOwner<T, InterfaceReleaser> {
public:
    using CScopedOwner<T, InterfaceReleaser>::CScopedOwner;
    // Releases the reference now, instead of at the end of the scope.
    void ReleaseInterface() { this->GiveBack(); }
};
