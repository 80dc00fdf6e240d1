#include <gtest/gtest.h>

#include <vector>

#include "enabler/ivesk_enabler.h"
#include "server/object_map.h"

namespace {

TEST(ObjectMap, ServesExactlyTheEnabler)
{
    std::vector<ObjectMapEntry*> entries;
    for (ObjectMapEntry* const* slot = ObjectMapBegin(); slot != ObjectMapEnd(); ++slot)
        if (*slot)
            entries.push_back(*slot);
    ASSERT_EQ(entries.size(), 1u);
    const ObjectMapEntry& enabler = *entries[0];
    ASSERT_NE(enabler.classId, nullptr);
    EXPECT_TRUE(IsEqualCLSID(*enabler.classId, CLSID_VeskEnabler));
    EXPECT_EQ(enabler.registrationCookie, 0u);
    ASSERT_NE(enabler.getDescription, nullptr);
    EXPECT_EQ(enabler.getDescription(), nullptr) << "the enabler has no description";
    ASSERT_NE(enabler.getCategoryMap, nullptr);
    EXPECT_EQ(enabler.getCategoryMap(), nullptr) << "the enabler declares no component categories";
    ASSERT_NE(enabler.lifetimeHook, nullptr);
}

}  // namespace
