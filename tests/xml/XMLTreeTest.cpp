#include "tests/xml/AllocationControl.h"
#include "tests/xml/XMLTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace airvane::test {
namespace {

constexpr char kConfig[] = "<ROOT><ADAPTER DLL=\"one.dll\"><DEVICE CLASS=\"c1\"/><OS>XP</OS>"
                           "<DEVICE CLASS=\"c2\"/></ADAPTER><ADAPTER DLL=\"two.dll\"/></ROOT>";

// ---- Lookup ------------------------------------------------------------------------------

TEST(XMLTreeLookup, FindChildAndNextSiblingByExactName) {
    XMLTreePtr root = Parse(kConfig);
    ASSERT_NE(root, nullptr);
    stXMLNode* adapter = XMLFindChild(root.get(), "ADAPTER");
    ASSERT_NE(adapter, nullptr);
    stXMLNode* device = XMLFindChild(adapter, "DEVICE");
    ASSERT_NE(device, nullptr);
    XMLStringPtr cls(XMLGetAttribute(device, "CLASS"));
    EXPECT_STREQ(cls.get(), "c1");
    stXMLNode* second = XMLFindNextSibling(device, "DEVICE");
    ASSERT_NE(second, nullptr);
    XMLStringPtr cls2(XMLGetAttribute(second, "CLASS"));
    EXPECT_STREQ(cls2.get(), "c2");
    EXPECT_EQ(XMLFindNextSibling(second, "DEVICE"), nullptr);
    stXMLNode* other = XMLFindNextSibling(adapter, "ADAPTER");
    ASSERT_NE(other, nullptr);
    XMLStringPtr dll(XMLGetAttribute(other, "DLL"));
    EXPECT_STREQ(dll.get(), "two.dll");
    EXPECT_EQ(XMLFindChild(other, "DEVICE"), nullptr);
}

TEST(XMLTreeLookup, NamesAreCaseSensitive) {
    XMLTreePtr root = Parse(kConfig);
    stXMLNode* adapter = XMLFindChild(root.get(), "ADAPTER");
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(XMLFindChild(adapter, "device"), nullptr);
    EXPECT_EQ(XMLFindChild(root.get(), "Adapter"), nullptr);
    EXPECT_EQ(XMLGetAttribute(adapter, "dll"), nullptr);
    EXPECT_EQ(XMLFindNextSibling(XMLFindChild(adapter, "DEVICE"), "Device"), nullptr);
}

TEST(XMLTreeLookup, NullArgumentsFindNothing) {
    XMLTreePtr root = Parse(kConfig);
    EXPECT_EQ(XMLFindChild(nullptr, "ADAPTER"), nullptr);
    EXPECT_EQ(XMLFindChild(root.get(), nullptr), nullptr);
    EXPECT_EQ(XMLFindNextSibling(nullptr, "ADAPTER"), nullptr);
    EXPECT_EQ(XMLFindNextSibling(root.get(), nullptr), nullptr);
    EXPECT_EQ(XMLGetAttribute(nullptr, "DLL"), nullptr);
    EXPECT_EQ(XMLGetAttribute(root.get(), nullptr), nullptr);
}

TEST(XMLTreeLookup, NodeWithoutNameIsNeverFound) {
    XMLTreePtr root(XMLCreateNode("ROOT", nullptr));
    XMLCreateNode(nullptr, root.get());
    EXPECT_EQ(XMLFindChild(root.get(), ""), nullptr);
    stXMLNode* named = XMLCreateNode("", root.get());
    EXPECT_EQ(XMLFindChild(root.get(), ""), named);
}

// ---- Attributes --------------------------------------------------------------------------

TEST(XMLTreeAttributes, GetAttributeReturnsAFreshCopy) {
    XMLTreePtr root = Parse("<A K=\"value\"/>");
    ASSERT_NE(root, nullptr);
    XMLStringPtr copy(XMLGetAttribute(root.get(), "K"));
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy.get(), "value");
    EXPECT_NE(copy.get(), root->attributes->value);
    copy.get()[0] = 'V';
    EXPECT_STREQ(root->attributes->value, "value");
    EXPECT_EQ(XMLGetAttribute(root.get(), "missing"), nullptr);
}

TEST(XMLTreeAttributes, SetAttributeAppendsAtTheEnd) {
    XMLTreePtr node(XMLCreateNode("N", nullptr));
    XMLSetAttribute(node.get(), "A", "1");
    XMLSetAttribute(node.get(), "B", "2");
    XMLSetAttribute(node.get(), "C", "");
    EXPECT_EQ(Dump(node.get()), "N[A=1,B=2,C=]");
}

TEST(XMLTreeAttributes, SetAttributeReplacesInPlace) {
    XMLTreePtr node = Parse("<N A=\"1\" B=\"2\"/>");
    XMLSetAttribute(node.get(), "A", "one");
    EXPECT_EQ(Dump(node.get()), "N[A=one,B=2]");
    // The stored value is a copy.
    std::string value = "two";
    XMLSetAttribute(node.get(), "B", value.c_str());
    value[0] = 'x';
    EXPECT_EQ(Dump(node.get()), "N[A=one,B=two]");
}

TEST(XMLTreeAttributes, NullValueClearsAnExistingAttributeAndAddsNoNewOne) {
    XMLTreePtr node = Parse("<N A=\"1\"/>");
    XMLSetAttribute(node.get(), "A", nullptr);
    EXPECT_EQ(Dump(node.get()), "N[A=(null)]");
    EXPECT_EQ(XMLGetAttribute(node.get(), "A"), nullptr);
    XMLSetAttribute(node.get(), "B", nullptr);
    EXPECT_EQ(Dump(node.get()), "N[A=(null)]");
    XMLSetAttribute(node.get(), "A", "back");
    EXPECT_EQ(Dump(node.get()), "N[A=back]");
    XMLSetAttribute(node.get(), nullptr, "x");
    XMLSetAttribute(nullptr, "A", "x");
    EXPECT_EQ(Dump(node.get()), "N[A=back]");
}

TEST(XMLTreeAttributes, NoMemoryAddsNothing) {
    AIRVANE_REQUIRE_ALLOCATION_CONTROL();
    XMLTreePtr node(XMLCreateNode("N", nullptr));
    {
        CAllocationFailure failure(0, true);
        XMLSetAttribute(node.get(), "A", "1");
    }
    EXPECT_EQ(node->attributes, nullptr);
}

// ---- Names and creation -------------------------------------------------------------------

TEST(XMLTreeEditing, SetNameReplacesOrClearsTheName) {
    XMLTreePtr node(XMLCreateNode("OLD", nullptr));
    XMLSetName(node.get(), "NEW");
    EXPECT_STREQ(node->name, "NEW");
    XMLSetName(node.get(), nullptr);
    EXPECT_EQ(node->name, nullptr);
    XMLSetName(node.get(), "AGAIN");
    EXPECT_STREQ(node->name, "AGAIN");
    XMLSetName(nullptr, "X");
}

TEST(XMLTreeEditing, CreatedChildrenComeInReverseOrderOfCreation) {
    XMLTreePtr root(XMLCreateNode("ROOT", nullptr));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(root->value, nullptr);
    stXMLNode* first = XMLCreateNode("FIRST", root.get());
    stXMLNode* second = XMLCreateNode("SECOND", root.get());
    stXMLNode* third = XMLCreateNode("THIRD", root.get());
    EXPECT_EQ(root->firstChild, third);
    EXPECT_EQ(third->nextSibling, second);
    EXPECT_EQ(second->nextSibling, first);
    EXPECT_EQ(first->nextSibling, nullptr);
    XMLCreateNode("GRANDCHILD", first);
    EXPECT_EQ(Dump(root.get()), "ROOT{THIRD SECOND FIRST{GRANDCHILD}}");
}

TEST(XMLTreeEditing, CreateNodeWithoutMemoryGivesNull) {
    AIRVANE_REQUIRE_ALLOCATION_CONTROL();
    XMLTreePtr root(XMLCreateNode("ROOT", nullptr));
    {
        CAllocationFailure failure(0, true);
        EXPECT_EQ(XMLCreateNode("CHILD", root.get()), nullptr);
    }
    EXPECT_EQ(root->firstChild, nullptr);
}

TEST(XMLTreeEditing, StringBlocksAreZeroFilled) {
    XMLStringPtr block(XMLAllocString(16));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i <= 16; ++i) {
        EXPECT_EQ(block.get()[i], '\0');
    }
    XMLFreeString(nullptr);
}

// ---- Freeing -------------------------------------------------------------------------------

TEST(XMLTreeFreeing, FreesChildrenAttributesAndFollowingSiblings) {
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
}

TEST(XMLTreeFreeing, VeryDeepAndVeryLongTreesAreFreedWithoutRecursion) {
    AIRVANE_REQUIRE_ALLOCATION_CONTROL();
    const long before = LiveAllocations();
    stXMLNode* root = XMLCreateNode("R", nullptr);
    stXMLNode* node = root;
    for (int i = 0; i < 200000; ++i) {
        node = XMLCreateNode("D", node);
        ASSERT_NE(node, nullptr);
    }
    for (int i = 0; i < 200000; ++i) {
        ASSERT_NE(XMLCreateNode("S", root), nullptr);
    }
    XMLFreeTree(root);
    EXPECT_EQ(LiveAllocations(), before);
}

} // namespace
} // namespace airvane::test
