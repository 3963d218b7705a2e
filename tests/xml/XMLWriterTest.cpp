#include "tests/xml/XMLTestUtil.h"

#include "airvane/xml/XMLWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace airvane::test {
namespace {

// Measures, then writes into a buffer of exactly the measured size + 1 (a guard byte after it
// catches a write past the end) and checks both counts agree.
std::string Serialize(const stXMLNode* node, int withSiblings) {
    const std::uint32_t count = XMLSerialize(node, nullptr, withSiblings);
    std::vector<char> buffer(count + 2, '#');
    const std::uint32_t written = XMLSerialize(node, buffer.data(), withSiblings);
    EXPECT_EQ(written, count);
    EXPECT_EQ(buffer[count], '\0');
    EXPECT_EQ(buffer[count + 1], '#');
    return std::string(buffer.data(), written);
}

constexpr char kRoundTrip[] = "<ROOT>\n<ADAPTER DLL=\"sim.dll\">\n<DEVICE CLASS=\"c\" "
                              "HARDWAREID=\"h\"></DEVICE>\n</ADAPTER>\n</ROOT>\n";

TEST(XMLWriter, ParsedTreesAreWrittenBack) {
    // clang-format off
    const struct { const char* text; int withSiblings; const char* written; } cases[] = {
        {"<P><C>x</C></P>", 0, "<P>\n<C>x</C>\n</P>\n"},
        {"<A k=\"1\"><B/><C>t<D>u</D>v</C>w</A>", 0, "<A k=\"1\">\n<B></B>\n<C>\n<D>u</D>\nv</C>\nw</A>\n"},
        {"<A>1</A><B>2</B><C/>", 0, "<A>1</A>\n"},
        {"<A>1</A><B>2</B><C/>", 1, "<A>1</A>\n<B>2</B>\n<C></C>\n"},
        {"<X/><B>2</B><C/>", 7, "<X></X>\n<B>2</B>\n<C></C>\n"},
        {kRoundTrip, 1, kRoundTrip}}; // reading the written text gives the same tree
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Serialize(Parse(c.text).get(), c.withSiblings), c.written);
    }
}

TEST(XMLWriter, CountFollowsTheLengthFormula) {
    XMLTreePtr device(XMLCreateNode("DEVICE", nullptr));
    XMLSetAttribute(device.get(), "CLASS", "abc");
    XMLSetAttribute(device.get(), "HARDWAREID", "123456789");
    EXPECT_EQ(XMLSerialize(device.get(), nullptr, 0), 53u);
    EXPECT_EQ(Serialize(device.get(), 0), "<DEVICE CLASS=\"abc\" HARDWAREID=\"123456789\"></DEVICE>\n");
    // Per node: 2 * name + 6, 4 + name + value per attribute, value, and 1 + children.
    XMLTreePtr root = Parse("<ROOT a=\"xy\"><CHILD b=\"\">text</CHILD><E/></ROOT>");
    const std::uint32_t child = 2 * 5 + 6 + (4 + 1 + 0) + 4;
    const std::uint32_t expected = 2 * 4 + 6 + (4 + 1 + 2) + 0 + 1 + child + (2 * 1 + 6);
    EXPECT_EQ(Serialize(root.get(), 0).size(), expected);
}

TEST(XMLWriter, TextIsWrittenUnescapedAndNullsAsEmptyText) {
    XMLTreePtr node(XMLCreateNode("V", nullptr));
    XMLSetAttribute(node.get(), "a", "x<&\"y");
    node->value = XMLAllocString(3);
    std::memcpy(node->value, "<&>", 3);
    EXPECT_EQ(Serialize(node.get(), 0), "<V a=\"x<&\"y\"><&></V>\n");
    XMLSetAttribute(node.get(), "B", "2");
    XMLSetAttribute(node.get(), "a", nullptr);
    XMLFreeString(node->value);
    node->value = nullptr;
    EXPECT_EQ(Serialize(node.get(), 0), "<V a=\"\" B=\"2\"></V>\n");
    // A nameless attribute is written as its space only.
    XMLFreeString(node->attributes->next->name);
    node->attributes->next->name = nullptr;
    XMLSetName(node.get(), nullptr);
    EXPECT_EQ(Serialize(node.get(), 0), "< a=\"\" ></>\n");
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(XMLSerialize(nullptr, nullptr, 1), 0u);
    EXPECT_EQ(XMLSerialize(nullptr, buffer, 1), 0u);
    EXPECT_EQ(buffer[0], '#');
}

TEST(XMLWriter, VeryDeepTreeIsWritten) {
    XMLTreePtr root(XMLCreateNode("R", nullptr));
    stXMLNode* node = root.get();
    const int depth = 100000;
    for (int i = 0; i < depth; ++i) {
        node = XMLCreateNode("D", node);
        ASSERT_NE(node, nullptr);
    }
    const std::string text = Serialize(root.get(), 0);
    EXPECT_EQ(text.size(), static_cast<std::size_t>(2 * 1 + 6 + 1) * depth + (2 * 1 + 6));
    EXPECT_EQ(text.substr(0, 8), "<R>\n<D>\n");
    EXPECT_EQ(text.substr(text.size() - 10), "</D>\n</R>\n");
}

} // namespace
} // namespace airvane::test
