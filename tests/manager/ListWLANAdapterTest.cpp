#include "airvane/manager/ListWLANAdapter.h"

#include "tests/support/CaseFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// A record with the given names (and distinct friendly names and info per position).
std::unique_ptr<stListWLANAdapter> MakeList(const std::vector<std::string>& names) {
    auto list = std::make_unique<stListWLANAdapter>();
    std::memset(static_cast<void*>(list.get()), 0, sizeof(stListWLANAdapter));
    list->adapterCount = static_cast<std::uint32_t>(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::strcpy(list->adapterName[i], names[i].c_str());
        std::strcpy(list->friendlyName[i], ("friendly " + std::to_string(i)).c_str());
        list->adapterInfo[i][0] = static_cast<unsigned char>(i + 1);
        list->adapterInfoLength[i] = static_cast<std::uint32_t>(i + 1);
    }
    return list;
}

TEST(ListWLANAdapterTest, ConstructorSetsOnlyTheCount) {
    alignas(stListWLANAdapter) unsigned char storage[sizeof(stListWLANAdapter)];
    std::memset(storage, 0xAB, sizeof(storage));
    auto* list = new (storage) stListWLANAdapter();
    EXPECT_EQ(list->adapterCount, 0u);
    EXPECT_EQ(std::count(storage + sizeof(list->adapterCount), storage + sizeof(storage), 0xAB),
              static_cast<std::ptrdiff_t>(sizeof(storage) - sizeof(list->adapterCount)));
    list->~stListWLANAdapter();
}

TEST(ListWLANAdapterTest, AssignmentAndCopyTakeAllEntriesWhateverTheCount) {
    auto source = MakeList({"a"});
    std::strcpy(source->adapterName[31], "beyond the count");
    source->adapterInfo[31][254] = 0x5A;
    source->adapterInfoLength[31] = 77;
    auto target = MakeList({"x", "y", "z"});
    *target = *source;
    EXPECT_EQ(std::memcmp(target.get(), source.get(), sizeof(stListWLANAdapter)), 0);
    const auto copy = std::make_unique<stListWLANAdapter>(*source);
    EXPECT_EQ(std::memcmp(copy.get(), source.get(), sizeof(stListWLANAdapter)), 0);
}

TEST(ListWLANAdapterTest, EqualityAsksEachLeftNameToOccurOnTheRightWithTheSameCount) {
    for (const airvane::test::stCase& c :
         airvane::test::ReadCases(AIRVANE_MANAGER_CASES "/adapter_lists.txt")) {
        const auto left = MakeList(airvane::test::SplitText(c.Get("left"), ' '));
        const auto right = MakeList(airvane::test::SplitText(c.Get("right"), ' '));
        EXPECT_EQ(*left == *right, c.Get("equal") == "yes") << c.name;
        EXPECT_EQ(*left != *right, c.Get("equal") != "yes") << c.name;
    }
}

TEST(ListWLANAdapterTest, EqualityReadsOnlyTheValidNamesWithinTheirSlots) {
    auto left = MakeList({"a", "b"});
    auto right = MakeList({"b", "a"});
    std::strcpy(right->friendlyName[0], "other");
    right->adapterInfo[1][0] = 99;
    right->adapterInfoLength[1] = 200;
    std::strcpy(right->adapterName[2], "not counted");
    EXPECT_TRUE(*left == *right);
    // A name beyond the count is not found.
    right->adapterCount = 3;
    left->adapterCount = 3;
    std::strcpy(left->adapterName[2], "c");
    EXPECT_FALSE(*left == *right);
    // A name filling its slot: the byte after it starts the next name and is not part of it.
    left = MakeList({"x"});
    right = MakeList({"x"});
    std::memset(left->adapterName[0], 'n', stListWLANAdapter::kNameBytes);
    std::memset(right->adapterName[0], 'n', stListWLANAdapter::kNameBytes);
    std::strcpy(left->adapterName[1], "tail-left");
    std::strcpy(right->adapterName[1], "tail-right");
    EXPECT_TRUE(*left == *right);
    right->adapterName[0][255] = '\0';
    EXPECT_FALSE(*left == *right);
    // A damaged count stops at the 32 slots; unused ones are empty on both sides.
    left = MakeList({"a"});
    right = MakeList({"a"});
    left->adapterCount = 1000;
    right->adapterCount = 1000;
    EXPECT_TRUE(*left == *right);
}

} // namespace
