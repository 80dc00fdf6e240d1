// Owns one pointer and gives it back through `Releaser` when it goes out of scope: the one shape
// behind the holders of interface references, BSTRs, task memory, borrowed type descriptions and
// library handles. An owner can be moved, never copied: exactly one owner gives the pointer back.
//
// Giving back has one meaning per kind of owner, and the kinds name it: an interface holder
// releases its reference (ReleaseInterface), the other holders free what they hold (Free), and
// Detach gives up ownership, handing the pointer to the caller.
#pragma once

template <class T, class Releaser>
class CScopedOwner {
public:
    CScopedOwner() = default;
    explicit CScopedOwner(T* pointer, Releaser releaser = Releaser()) : m_releaser(releaser), m_p(pointer) {}
    ~CScopedOwner() { GiveBack(); }
    CScopedOwner(const CScopedOwner&) = delete;
    CScopedOwner& operator=(const CScopedOwner&) = delete;
    CScopedOwner(CScopedOwner&& other) noexcept : m_releaser(other.m_releaser), m_p(other.Detach()) {}
    // Gives back what this owner held, then takes over the other's pointer.
    CScopedOwner& operator=(CScopedOwner&& other) noexcept
    {
        if (this != &other) {
            GiveBack();
            m_releaser = other.m_releaser;
            m_p = other.Detach();
        }
        return *this;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    // For an out parameter: whatever was held is given back first, so that nothing leaks.
    T** Out()
    {
        GiveBack();
        return &m_p;
    }
    // Takes over what the caller holds; whatever was held is given back first.
    void Attach(T* pointer)
    {
        GiveBack();
        m_p = pointer;
    }
    // Gives up ownership: hands what is held to the caller.
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

protected:
    void GiveBack()
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

// An owner whose releaser frees what it holds.
template <class T, class Freer>
class CFreeingOwner : public CScopedOwner<T, Freer> {
public:
    using CScopedOwner<T, Freer>::CScopedOwner;
    // Frees what is held now, instead of at the end of the scope.
    void Free() { this->GiveBack(); }
};
