#include "tests/xml/XMLTestUtil.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace airvane::test {
namespace {

// Trees read from text are written back in the reader's cases (cases/reader.txt, "<=" lines),
// a very deep one in XMLTreeTest.cpp.

TEST(XMLWriter, WritesTheNodeOrEveryFollowingSiblingAndNullsAsNothing) {
    XMLTreePtr tree = Parse("<A>1</A><B>2</B><C/>");
    EXPECT_EQ(Serialize(tree.get(), 0), "<A>1</A>\n");
    EXPECT_EQ(Serialize(tree.get(), 7), "<A>1</A>\n<B>2</B>\n<C></C>\n");
    char buffer[1] = {'#'};
    EXPECT_EQ(XMLSerialize(nullptr, buffer, 1) + XMLSerialize(nullptr, nullptr, 1), 0u);
    EXPECT_EQ(buffer[0], '#');
    // A null attribute value is written as empty text, a nameless attribute as its space only.
    XMLSetAttribute(tree.get(), "a", "x");
    XMLSetAttribute(tree.get(), "B", "2");
    XMLSetAttribute(tree.get(), "a", nullptr);
    XMLFreeString(tree->attributes->next->name);
    tree->attributes->next->name = nullptr;
    XMLSetName(tree.get(), nullptr);
    EXPECT_EQ(Serialize(tree.get(), 0), "< a=\"\" >1</>\n");
}

TEST(XMLWriter, ATextPast4GiBIsNeitherCountedNorWritten) {
    // Only a 32-bit count can wrap round to a small number; a 64-bit one is held to the
    // result's range by the same check that this test reaches.
    if (sizeof(std::size_t) > 4) {
        GTEST_SKIP() << "a 64-bit count does not wrap";
    }
    // 33 siblings sharing one 64 MiB name, written twice each: 4.1 GiB of text.
    std::string name(std::size_t{1} << 26, 'n');
    std::vector<stXMLNode> nodes(33, stXMLNode{});
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodes[i].name = name.data();
        nodes[i].nextSibling = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
    }
    char buffer[2] = {'#', '#'};
    EXPECT_EQ(XMLSerialize(nodes.data(), nullptr, 1), 0u);
    EXPECT_EQ(XMLSerialize(nodes.data(), buffer, 1), 0u);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');
}

} // namespace
} // namespace airvane::test
