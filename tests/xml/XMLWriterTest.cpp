#include "tests/xml/XMLTestUtil.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace airvane::test
