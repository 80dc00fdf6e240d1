// The object map: the constant list of the classes the server creates, one entry per class.
#pragma once

#include <atomic>

#include "com/creator.h"
#include "platform/win32.h"


// One row of a class's component-category table.
struct CategoryMapEntry {
    LONG kind;            // kCategoryEnd ends the table
    const CATID* catid;
};
constexpr LONG kCategoryEnd = 0;
constexpr LONG kCategoryImplemented = 1;
constexpr LONG kCategoryRequired = 2;  // any kind other than the two above reads as required

struct ObjectMapEntry {
    const CLSID* classId;
    HRESULT (*updateRegistry)(BOOL bRegister);
    CreatorFunction createClassObject;
    CreatorFunction createInstance;
    // The cached class object: published with release and read with acquire, since it is read
    // without a lock once set; written only under the map's critical section, released at unload.
    std::atomic<IUnknown*> classObject;
    DWORD registrationCookie;
    LPCWSTR (*getDescription)();
    const CategoryMapEntry* (*getCategoryMap)();
    void (*lifetimeHook)(bool starting);
};

// The map's slots; a walk goes from begin to end and skips null slots.
ObjectMapEntry* const* ObjectMapBegin();
ObjectMapEntry* const* ObjectMapEnd();

// Calls every entry's lifetime hook in map order.
void RunLifetimeHooks(bool starting);
