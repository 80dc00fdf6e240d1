#include "base/string_copy.h"

#include <cstring>

#include "base/server_exception.h"

int BoundedStringCopy(WCHAR* destination, size_t capacity, LPCWSTR source)
{
    return BoundedCountedCopy(destination, capacity, source, static_cast<size_t>(-1));
}

int BoundedStringAppend(WCHAR* destination, size_t capacity, LPCWSTR source)
{
    if (!destination || capacity == 0)
        return kStringInvalid;
    size_t used = 0;
    while (used < capacity && destination[used])
        ++used;
    if (used == capacity) {
        destination[0] = 0;
        return kStringInvalid;
    }
    const int result = BoundedStringCopy(destination + used, capacity - used, source);
    if (result != kStringOk)
        destination[0] = 0;
    return result;
}

int BoundedCountedCopy(WCHAR* destination, size_t capacity, LPCWSTR source, size_t count)
{
    if (!destination || capacity == 0)
        return kStringInvalid;
    if (!source) {
        destination[0] = 0;
        return kStringInvalid;
    }
    size_t n = 0;
    while (n < count && source[n]) {
        if (n + 1 >= capacity) {
            destination[0] = 0;
            return kStringRange;
        }
        destination[n] = source[n];
        ++n;
    }
    destination[n] = 0;
    return kStringOk;
}

int BoundedMemoryCopy(void* destination, size_t capacity, const void* source, size_t count)
{
    if (count == 0)
        return kStringOk;
    if (!destination)
        return kStringInvalid;
    if (!source) {
        std::memset(destination, 0, capacity);
        return kStringInvalid;
    }
    if (count > capacity) {
        std::memset(destination, 0, capacity);
        return kStringRange;
    }
    std::memmove(destination, source, count);
    return kStringOk;
}

int StringCopy(WCHAR* destination, size_t capacity, LPCWSTR source)
{
    return CheckStringResult(BoundedStringCopy(destination, capacity, source));
}

int StringAppend(WCHAR* destination, size_t capacity, LPCWSTR source)
{
    return CheckStringResult(BoundedStringAppend(destination, capacity, source));
}

int CountedStringCopy(WCHAR* destination, size_t capacity, LPCWSTR source, size_t count)
{
    return CheckStringResult(BoundedCountedCopy(destination, capacity, source, count));
}

int MemoryCopy(void* destination, size_t capacity, const void* source, size_t count)
{
    return CheckStringResult(BoundedMemoryCopy(destination, capacity, source, count));
}
