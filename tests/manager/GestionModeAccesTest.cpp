#include "airvane/manager/GestionModeAcces.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(GestionModeAccesTest, ListsFollowTheHeadOneAfterAnotherAndNoneLiesOutside) {
    CGestionModeAcces modes{};
    const auto base = reinterpret_cast<std::uintptr_t>(&modes);
    const std::uintptr_t head = sizeof(void*) + 4 * sizeof(std::int32_t);
    for (std::int32_t index = 0; index < CGestionModeAcces::kAccessModeListCount; ++index) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(modes.GetAccessModeList(index)),
                  base + head + static_cast<std::uintptr_t>(index) * sizeof(AccessModeList));
    }
    EXPECT_EQ(modes.GetAccessModeList(kAccessModeWifi), &modes.m_lists[7]);
    // No list outside the object.
    EXPECT_EQ(modes.GetAccessModeList(-1), nullptr);
    EXPECT_EQ(modes.GetAccessModeList(-2), nullptr);
    EXPECT_EQ(modes.GetAccessModeList(CGestionModeAcces::kAccessModeListCount), nullptr);
}

} // namespace
