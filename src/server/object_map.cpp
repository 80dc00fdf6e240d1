#include "server/object_map.h"

#include "com/class_factory.h"
#include "com/object_wrappers.h"
#include "enabler/vesk_enabler.h"
#include "server/registry_script_resources.h"

namespace {

LPCWSTR EnablerDescription() { return nullptr; }

// The enabler declares no component categories.
const CategoryMapEntry* EnablerCategoryMap() { return nullptr; }

void EnablerLifetimeHook(bool) {}

ObjectMapEntry g_enablerEntry = {
    &CLSID_VeskEnabler,
    UpdateEnablerRegistry,
    &ClassObjectCreator<CClassFactory>,
    &InstanceCreator<CVeskEnabler>,
    {nullptr},
    0,
    EnablerDescription,
    EnablerCategoryMap,
    EnablerLifetimeHook,
};

ObjectMapEntry* const g_objectMap[] = {&g_enablerEntry};

}  // namespace

ObjectMapEntry* const* ObjectMapBegin() { return g_objectMap; }

ObjectMapEntry* const* ObjectMapEnd() { return g_objectMap + sizeof(g_objectMap) / sizeof(g_objectMap[0]); }

void RunLifetimeHooks(bool starting)
{
    for (ObjectMapEntry* const* slot = ObjectMapBegin(); slot != ObjectMapEnd(); ++slot)
        if (*slot && (*slot)->lifetimeHook)
            (*slot)->lifetimeHook(starting);
}
