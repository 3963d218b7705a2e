#include "tests/xml/XMLTestUtil.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(Attribute(device, "CLASS") + Attribute(second, "CLASS") + Attribute(other, "DLL"),
              "c1c2two.dll");
    EXPECT_EQ(Attribute(adapter, "dll") + Attribute(adapter, "missing") + Attribute(nullptr, "DLL") +
                  Attribute(root.get(), nullptr),
              "(none)(none)(none)(none)");
    for (stXMLNode* none :
         {XMLFindNextSibling(second, "DEVICE"), XMLFindChild(other, "DEVICE"),
          XMLFindChild(adapter, "device"), XMLFindChild(root.get(), "Adapter"),
          XMLFindChild(nullptr, "ADAPTER"), XMLFindChild(root.get(), nullptr),
          XMLFindNextSibling(nullptr, "ADAPTER"), XMLFindNextSibling(root.get(), nullptr)}) {
        EXPECT_EQ(none, nullptr);
    }
    if (XMLStringPtr copy(XMLGetAttribute(device, "CLASS")); copy != nullptr) {
        copy.get()[0] = 'X'; // a fresh copy
    }
    EXPECT_EQ(Attribute(device, "CLASS"), "c1");
    // A node without a name is never found; an empty name is.
    XMLCreateNode(nullptr, other);
    EXPECT_EQ(XMLFindChild(other, ""), nullptr);
    stXMLNode* unnamed = XMLCreateNode("", other);
    EXPECT_EQ(XMLFindChild(other, ""), unnamed);
}

TEST(XMLTree, EditingAttributesNamesAndChildren) {
    XMLTreePtr node = Parse("<N A=\"1\"/>");
    std::string value = "two";
    XMLSetAttribute(node.get(), "B", value.c_str());
    value[0] = 'x'; // the stored value is a copy
    XMLSetAttribute(node.get(), "C", "");
    XMLSetAttribute(node.get(), "A", nullptr); // clears an existing value, adds no new attribute
    XMLSetAttribute(node.get(), "D", nullptr);
    EXPECT_EQ(Dump(node.get()), "N[A=(null),B=two,C=]");
    XMLSetAttribute(node.get(), "A", "back");
    XMLSetAttribute(node.get(), nullptr, "x");
    XMLSetAttribute(nullptr, "A", "x");
    XMLSetName(node.get(), nullptr);
    XMLSetName(nullptr, "X");
    EXPECT_EQ(Dump(node.get()), "(null)[A=back,B=two,C=]");
    // Created children come first; without memory nothing is added or created.
    XMLSetName(node.get(), "ROOT");
    // A node's own name or value handed back to it is copied before the one held is released.
    XMLSetName(node.get(), node->name);
    XMLSetAttribute(node.get(), "B", node->attributes->next->value);
    XMLCreateNode("GRANDCHILD", XMLCreateNode("FIRST", node.get()));
    XMLCreateNode("SECOND", node.get());
    for (long k : {0L, 1L, 2L}) {
        xml::FailAllocationsAfter(k, false);
        XMLSetAttribute(node.get(), "E", "1");
        xml::FailAllocationsAfter(k % 2, false);
        stXMLNode* child = XMLCreateNode("CHILD", node.get());
        xml::FailAllocationsAfter(-1, false);
        EXPECT_EQ(child, nullptr);
    }
    EXPECT_EQ(Dump(node.get()), "ROOT[A=back,B=two,C=]{SECOND FIRST{GRANDCHILD}}");
    XMLStringPtr small(XMLAllocString(16)), large(XMLAllocString(300)); // zero-filled blocks
    EXPECT_EQ(std::string(small.get(), 17) + std::string(large.get(), 301), std::string(318, '\0'));
}

TEST(XMLTree, DeepAndLongTreesAreWrittenAndFreedWithoutRecursion) {
    const long before = xml::TreeBlocksLive();
    stXMLNode* root = XMLCreateNode("R", nullptr);
    stXMLNode* node = root;
    for (int i = 0; i < 200000; ++i) { // 200000 levels deep and 200000 children long
        node = XMLCreateNode("D", node);
        XMLCreateNode("S", root);
    }
    const std::string text = Serialize(root, 0);
    EXPECT_EQ(text.size(), std::size_t{9} * 200000 + 8 + std::size_t{8} * 200000);
    EXPECT_EQ(text.substr(0, 12) + text.substr(text.size() - 10), "<R>\n<S></S>\n</D>\n</R>\n");
    XMLFreeTree(root);
    // 200000 levels whose element has both a child and a following sibling.
    root = XMLCreateNode("R", nullptr);
    node = root;
    for (int i = 0; i < 200000; ++i) {
        XMLCreateNode("S", node);
        node = XMLCreateNode("D", node);
    }
    const std::string comb = Serialize(root, 0);
    EXPECT_EQ(comb.substr(0, 12) + comb.substr(comb.size() - 10), "<R>\n<D>\n<D>\n</S>\n</R>\n");
    XMLFreeTree(root);
    XMLFreeTree(nullptr);
    EXPECT_EQ(xml::TreeBlocksLive(), before);
}

} // namespace
} // namespace airvane::test
