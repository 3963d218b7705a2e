#include "airvane/platform/internal/StringTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace pf = airvane::platform;

TEST(StringTable, HoldsTheModuleAndExportNamesAndNothingElse) {
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_CONFIG_FILE)), "WLANInterfaces.xml");
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_WEPPLUS_MODULE)), "WepPlusInventel.dll");
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_WEPPLUS_EXPORT)), "RunWepPlus");
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_WPA_MODULE)), "wpa_stub.dll");
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_WPA_LOAD_EXPORT)), "WPAContextLoad");
    EXPECT_EQ(std::string(pf::LoadLibraryString(pf::IDS_WPA_FREE_EXPORT)), "WPAContextFree");
    for (unsigned id : {0u, 7u, 0xFFFFFFFFu}) {
        EXPECT_EQ(pf::LoadLibraryString(id), nullptr) << id;
    }
}

} // namespace
