// A buffer with inline storage of a fixed byte capacity and heap storage beyond it, obtained once
// for a given element count.
#pragma once

#include <cstdint>
#include <new>

#include "base/server_exception.h"

template <class T, size_t InlineBytes>
class ScratchBuffer {
public:
    ScratchBuffer() = default;
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;
    ~ScratchBuffer() { ::operator delete(m_heap, std::nothrow); }

    // Storage for `count` elements. Raises CServerException: E_INVALIDARG when the byte size does not
    // fit in 32 bits, E_OUTOFMEMORY when the heap block cannot be had.
    T* Allocate(size_t count)
    {
        const uint64_t bytes = static_cast<uint64_t>(count) * sizeof(T);
        if (bytes > UINT32_MAX)
            RaiseHresult(E_INVALIDARG);
        if (bytes <= InlineBytes)
            return reinterpret_cast<T*>(m_inline);
        ::operator delete(m_heap, std::nothrow);
        m_heap = ::operator new(static_cast<size_t>(bytes), std::nothrow);
        if (!m_heap)
            RaiseHresult(E_OUTOFMEMORY);
        return static_cast<T*>(m_heap);
    }

    // The same, with any failure as a null result.
    T* TryAllocate(size_t count) noexcept
    {
        try {
            return Allocate(count);
        } catch (...) {
            return nullptr;
        }
    }

    bool UsesHeap() const { return m_heap != nullptr; }

private:
    alignas(T) unsigned char m_inline[InlineBytes];
    void* m_heap = nullptr;
};
