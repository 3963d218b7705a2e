#include "airvane/platform/StringTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace pf = airvane::platform;

TEST(StringTable, HoldsTheModuleAndExportNames) {
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_CONFIG_FILE)), "WLANInterfaces.xml");
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_WEPPLUS_MODULE)), "WepPlusInventel.dll");
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_WEPPLUS_EXPORT)), "RunWepPlus");
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_WPA_MODULE)), "wpa_stub.dll");
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_WPA_LOAD_EXPORT)), "WPAContextLoad");
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_WPA_FREE_EXPORT)), "WPAContextFree");
}

TEST(StringTable, UnknownIdsGiveNull) {
    EXPECT_EQ(pf::LoadLibraryString(0), nullptr);
    EXPECT_EQ(pf::LoadLibraryString(7), nullptr);
    EXPECT_EQ(pf::LoadLibraryString(0xFFFFFFFFu), nullptr);
}

} // namespace
