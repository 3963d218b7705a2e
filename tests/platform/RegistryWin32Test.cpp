#include "airvane/platform/RegistryBackend.h"

#include "tests/platform/RegistryStoreAccess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace pf = airvane::platform;
using airvane::test::CScopedRegistry;
using airvane::test::LoadValue;
using airvane::test::StoreValue;

// The system registry (redirected to a throwaway key): nested creation, names that ignore
// case, the sizes reported, and the access rights each kind of open grants.
TEST(RegistryWin32, SemanticsAndAccessRights) {
    CScopedRegistry registry;
    ASSERT_EQ(StoreValue(pf::kHKeyCurrentUser, "A\\B\\C", "V", pf::kRegBinary, std::string("x\0y", 3)),
              pf::RegResult::Success);
    const auto loaded = LoadValue(pf::kHKeyCurrentUser, "a\\b\\c", "v");
    EXPECT_EQ(loaded.result, pf::RegResult::Success);
    EXPECT_EQ(loaded.type, pf::kRegBinary);
    EXPECT_EQ(loaded.bytes, std::string("x\0y", 3));
    EXPECT_EQ(LoadValue(pf::kHKeyCurrentUser, "A\\B", "V").result, pf::RegResult::NotFound);
    EXPECT_EQ(LoadValue(pf::kHKeyCurrentUser, "A\\Missing", "V").result, pf::RegResult::NotFound);
    EXPECT_EQ(LoadValue(pf::kHKeyLocalMachine, "A\\B\\C", "V").result, pf::RegResult::NotFound);

    pf::RegKeyHandle reader = nullptr;
    ASSERT_EQ(pf::RegistryOpenKey(pf::kHKeyCurrentUser, "A\\B\\C", false, reader), pf::RegResult::Success);
    std::uint32_t size = 0;
    EXPECT_EQ(pf::RegistryQueryValue(reader, "V", nullptr, nullptr, size), pf::RegResult::Success);
    EXPECT_EQ(size, 3u);
    char small[2];
    size = sizeof(small);
    EXPECT_EQ(pf::RegistryQueryValue(reader, "V", nullptr, small, size), pf::RegResult::MoreData);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(pf::RegistrySetValue(reader, "W", pf::kRegSz, "z", 2), pf::RegResult::Failure); // read only
    pf::RegistryCloseKey(reader);

    pf::RegKeyHandle writer = nullptr;
    ASSERT_EQ(pf::RegistryOpenKey(pf::kHKeyCurrentUser, "A\\B\\C", true, writer), pf::RegResult::Success);
    EXPECT_EQ(pf::RegistrySetValue(writer, "W", pf::kRegSz, "z", 2), pf::RegResult::Success);
    size = 0;
    EXPECT_EQ(pf::RegistryQueryValue(writer, "W", nullptr, nullptr, size),
              pf::RegResult::Failure); // set only
    pf::RegistryCloseKey(writer);
    EXPECT_EQ(LoadValue(pf::kHKeyCurrentUser, "A\\B\\C", "W").bytes, std::string("z\0", 2));

    pf::RegKeyHandle none = nullptr;
    EXPECT_EQ(pf::RegistryCreateKey(0x12345678u, "A", none), pf::RegResult::Failure);
    EXPECT_EQ(pf::RegistryOpenKey(pf::kHKeyCurrentUser, "Missing", false, none), pf::RegResult::NotFound);
    EXPECT_EQ(none, nullptr);
    pf::RegistryCloseKey(nullptr);
}

} // namespace
