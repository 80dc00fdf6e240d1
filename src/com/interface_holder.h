// Owns one reference on an interface pointer and gives it back when it goes out of scope.
#pragma once

#include "platform/win32.h"

template <class T>
class CInterfaceHolder {
public:
    CInterfaceHolder() = default;
    explicit CInterfaceHolder(T* pointer) : m_p(pointer) {}
    ~CInterfaceHolder() { Release(); }
    CInterfaceHolder(const CInterfaceHolder&) = delete;
    CInterfaceHolder& operator=(const CInterfaceHolder&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    // For an out parameter: whatever was held is released first, so that nothing leaks.
    T** Out()
    {
        Release();
        return &m_p;
    }
    void Release()
    {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }

private:
    T* m_p = nullptr;
};
