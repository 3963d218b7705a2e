#include "tests/xml/AllocationControl.h"
#include "tests/xml/XMLTestUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace airvane::test {
namespace {

std::string Attribute(stXMLNode* node, const char* name) {
    XMLStringPtr value(XMLGetAttribute(node, name));
    return value != nullptr ? value.get() : "(none)";
}

TEST(XMLTree, LookupIsByExactCaseSensitiveName) {
    XMLTreePtr root = Parse("<ROOT><ADAPTER DLL=\"one.dll\"><DEVICE CLASS=\"c1\"/><OS>XP</OS>"
                            "<DEVICE CLASS=\"c2\"/></ADAPTER><ADAPTER DLL=\"two.dll\"/></ROOT>");
    stXMLNode* adapter = XMLFindChild(root.get(), "ADAPTER");
    stXMLNode* device = XMLFindChild(adapter, "DEVICE");
    stXMLNode* second = XMLFindNextSibling(device, "DEVICE");
    stXMLNode* other = XMLFindNextSibling(adapter, "ADAPTER");
    EXPECT_EQ(Attribute(device, "CLASS"), "c1");
    EXPECT_EQ(Attribute(second, "CLASS"), "c2");
    EXPECT_EQ(Attribute(other, "DLL"), "two.dll");
    EXPECT_EQ(XMLFindNextSibling(second, "DEVICE"), nullptr);
    EXPECT_EQ(XMLFindChild(other, "DEVICE"), nullptr);
    EXPECT_EQ(XMLFindChild(adapter, "device"), nullptr);
    EXPECT_EQ(XMLFindChild(root.get(), "Adapter"), nullptr);
    EXPECT_EQ(Attribute(adapter, "dll"), "(none)");
    EXPECT_EQ(Attribute(adapter, "missing"), "(none)");
    EXPECT_EQ(XMLFindNextSibling(device, "Device"), nullptr);
    // Null arguments find nothing.
    EXPECT_EQ(XMLFindChild(nullptr, "ADAPTER"), nullptr);
    EXPECT_EQ(XMLFindChild(root.get(), nullptr), nullptr);
    EXPECT_EQ(XMLFindNextSibling(nullptr, "ADAPTER"), nullptr);
    EXPECT_EQ(XMLFindNextSibling(root.get(), nullptr), nullptr);
    EXPECT_EQ(XMLGetAttribute(nullptr, "DLL"), nullptr);
    EXPECT_EQ(XMLGetAttribute(root.get(), nullptr), nullptr);
    // The value comes back as a fresh copy.
    XMLStringPtr copy(XMLGetAttribute(device, "CLASS"));
    ASSERT_NE(copy, nullptr);
    copy.get()[0] = 'X';
    EXPECT_EQ(Attribute(device, "CLASS"), "c1");
    // A node without a name is never found; an empty name is.
    XMLCreateNode(nullptr, other);
    EXPECT_EQ(XMLFindChild(other, ""), nullptr);
    stXMLNode* named = XMLCreateNode("", other);
    EXPECT_EQ(XMLFindChild(other, ""), named);
}

TEST(XMLTree, SetAttributeAppendsReplacesAndClears) {
    XMLTreePtr node = Parse("<N A=\"1\"/>");
    std::string value = "two";
    XMLSetAttribute(node.get(), "B", value.c_str());
    value[0] = 'x'; // the stored value is a copy
    XMLSetAttribute(node.get(), "C", "");
    XMLSetAttribute(node.get(), "A", "one");
    EXPECT_EQ(Dump(node.get()), "N[A=one,B=two,C=]");
    // A null value clears an existing attribute and adds no new one.
    XMLSetAttribute(node.get(), "A", nullptr);
    XMLSetAttribute(node.get(), "D", nullptr);
    EXPECT_EQ(Dump(node.get()), "N[A=(null),B=two,C=]");
    EXPECT_EQ(XMLGetAttribute(node.get(), "A"), nullptr);
    XMLSetAttribute(node.get(), "A", "back");
    XMLSetAttribute(node.get(), nullptr, "x");
    XMLSetAttribute(nullptr, "A", "x");
    EXPECT_EQ(Dump(node.get()), "N[A=back,B=two,C=]");
}

#if !defined(_WIN32) // operator new of a test reaches no Windows DLL
TEST(XMLTree, WithoutMemoryNothingIsAddedOrCreated) {
    AIRVANE_REQUIRE_ALLOCATION_CONTROL();
    XMLTreePtr root(XMLCreateNode("ROOT", nullptr));
    {
        CAllocationFailure failure(0, true);
        XMLSetAttribute(root.get(), "A", "1");
    }
    {
        CAllocationFailure failure(0, true);
        EXPECT_EQ(XMLCreateNode("CHILD", root.get()), nullptr);
    }
    EXPECT_EQ(Dump(root.get()), "ROOT");
}
#endif

TEST(XMLTree, SetNameAndCreatedChildrenInReverseOrder) {
    XMLTreePtr root(XMLCreateNode("OLD", nullptr));
    XMLSetName(root.get(), "NEW");
    EXPECT_STREQ(root->name, "NEW");
    XMLSetName(root.get(), nullptr);
    EXPECT_EQ(root->name, nullptr);
    XMLSetName(root.get(), "ROOT");
    XMLSetName(nullptr, "X");
    stXMLNode* first = XMLCreateNode("FIRST", root.get());
    XMLCreateNode("SECOND", root.get());
    XMLCreateNode("THIRD", root.get());
    XMLCreateNode("GRANDCHILD", first);
    EXPECT_EQ(Dump(root.get()), "ROOT{THIRD SECOND FIRST{GRANDCHILD}}");
}

TEST(XMLTree, StringBlocksAreZeroFilled) {
    XMLStringPtr block(XMLAllocString(16));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block.get(), 17), std::string(17, '\0'));
    XMLFreeString(nullptr);
}

#if !defined(_WIN32) // operator new of a test reaches no Windows DLL
TEST(XMLTree, FreeingReleasesChildrenAttributesAndSiblingsWithoutRecursion) {
    AIRVANE_REQUIRE_ALLOCATION_CONTROL();
    const long before = LiveAllocations();
    stXMLNode* first = XMLCreateNode("A", nullptr);
    stXMLNode* second = XMLCreateNode("B", nullptr);
    first->nextSibling = second;
    XMLSetAttribute(first, "K", "V");
    XMLCreateNode("C", first);
    XMLCreateNode("D", second);
    EXPECT_EQ(LiveAllocations(), before + 5);
    XMLFreeTree(first);
    EXPECT_EQ(LiveAllocations(), before);
    XMLFreeTree(nullptr);
    // 200000 levels deep and 200000 siblings long.
    stXMLNode* root = XMLCreateNode("R", nullptr);
    stXMLNode* node = root;
    for (int i = 0; i < 200000; ++i) {
        node = XMLCreateNode("D", node);
        ASSERT_NE(node, nullptr);
        ASSERT_NE(XMLCreateNode("S", root), nullptr);
    }
    XMLFreeTree(root);
    EXPECT_EQ(LiveAllocations(), before);
}
#endif

} // namespace
} // namespace airvane::test
