// Owns one pointer and gives it back through `Releaser` when it goes out of scope: the one shape
// behind the holders of interface references, BSTRs and borrowed type descriptions.
#pragma once

template <class T, class Releaser>
class CScopedOwner {
public:
    CScopedOwner() = default;
    explicit CScopedOwner(T* pointer, Releaser releaser = Releaser()) : m_releaser(releaser), m_p(pointer) {}
    ~CScopedOwner() { Release(); }
    CScopedOwner(const CScopedOwner&) = delete;
    CScopedOwner& operator=(const CScopedOwner&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    // For an out parameter: whatever was held is given back first, so that nothing leaks.
    T** Out()
    {
        Release();
        return &m_p;
    }
    // Takes over what the caller holds; whatever was held is given back first.
    void Attach(T* pointer)
    {
        Release();
        m_p = pointer;
    }
    // Hands what is held to the caller.
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    void Release()
    {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            m_releaser(p);
        }
    }

private:
    Releaser m_releaser = Releaser();
    T* m_p = nullptr;
};
