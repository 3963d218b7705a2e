#include "tests/xml/AllocationControl.h"
#include "tests/xml/XMLTestUtil.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace airvane::test {
namespace {

// The tree read from `text`, or "(none)" when no tree comes back.
std::string Read(const std::string& text) {
    XMLTreePtr tree = Parse(text);
    return tree != nullptr ? Dump(tree.get()) : "(none)";
}

// `levels` nested A elements around "x", and the tree read from them.
std::pair<std::string, std::string> NestedCase(int levels) {
    std::string text = "x";
    std::string tree;
    for (int i = 0; i < levels; ++i) {
        text = "<A>" + text + "</A>";
        tree = i == 0 ? "A=\"x\"" : "A=\"\"{" + tree + "}";
    }
    return {text, tree};
}

// A binary tree of distinct names: two children per element, "leaf" text at the last level.
void Branches(int level, int index, std::string& text, std::string& tree) {
    const std::string name = "L" + std::to_string(level) + "_" + std::to_string(index);
    text += "<" + name + ">";
    if (level == 8) {
        tree += name + "=\"leaf\"";
        text += "leaf";
    } else {
        tree += name + "=\"\"{";
        Branches(level + 1, index * 2, text, tree);
        tree += ' ';
        Branches(level + 1, index * 2 + 1, text, tree);
        tree += '}';
    }
    text += "</" + name + ">";
}

std::vector<std::pair<std::string, std::string>> TreeCases() {
    const std::string n124(124, 'N'), n123(123, 'S'), n125(125, 'L'), e124(124, 'E'), huge(100000, 'X');
    // clang-format off
    std::vector<std::pair<std::string, std::string>> cases = {
        // Documents, element text and trimming (only newlines and tabs, at both ends).
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><ROOT><A X=\"1\"/></ROOT>", "ROOT=\"\"{A[X=1]}"},
        {"<A>1</A>\r\n<B>2</B>\r\n<C/>", "A=\"1\" B=\"2\" C"},
        {"\xEF\xBB\xBF<A>1</A>", "A=\"1\""}, {"some words first <A>1</A>", "A=\"1\""},
        {"", "(none)"}, {"just text", "(none)"}, {"<?xml version=\"1.0\"?><!-- only a comment -->", "(none)"},
        {"<A>text</A>", "A=\"text\""}, {"<A>\n\tsome text \n</A>", "A=\"some text \""},
        {"<A>\t \r\nx\r\n\t</A>", "A=\" \r\nx\r\""}, {"<A>\n\t\n</A>", "A=\"\""}, {"<A></A>", "A"},
        {"<A>pre<B/>mid<C/>post</A>", "A=\"post\"{B C}"}, {"<A>pre<B>1</B></A>", "A=\"\"{B=\"1\"}"},
        {"<A>a &lt; b &amp;&amp; c</A>", "A=\"a < b && c\""},
        {"<A>\n&#10;x &amp; y&#9;\n</A>", "A=\"x & y\""}, // decoded first, then trimmed
        // Pairing elements with their closing tags.
        {"<A><A>x</A></A>", "A=\"\"{A=\"x\"}"},
        {"<A><A><A>x</A>y</A>z</A>", "A=\"z\"{A=\"y\"{A=\"x\"}}"},
        {"<A><A k=\"v\">x</A><A>y</A></A>", "A=\"\"{A[k=v]=\"x\" A=\"y\"}"},
        {"<A><A/><B/></A>", "A=\"\"{A B}"},
        {"<A><A x=\"1\"/>y</A>", "A=\"y\"{A[x=1]}"},
        {"<R><!-- note --><B>1</B><!-- end --></R>", "R=\"\"{B=\"1\"}"},
        {"<R><!-- x > <B>1</B> --></R>", "R=\" -->\"{B=\"1\"}"},  // a comment ends at its first ">"
        {"<R><BR clear=\"all\"><C>2</C></R>", "R=\"\"{C=\"2\"}"}, // never closed: dropped
        {"<BR clear=\"all\"><C>2</C>", "C=\"2\""},
        {"<R></X><A>1</A></R>", "R=\"\"{ A=\"1\"}"}, // a stray closing tag is a nameless node
        {"<A></B><B>x</A>", "A{ B}"},                // no closing tag after the last element: no text
        {"<R><A><A>x</A></R>", "R=\"\"{A}"},         // more opening than closing tags: no content
        {"<R>a>b><A/></R>", "R=\"\"{A A A}"},        // each ">" of the text moves the position that far
        // Attributes.
        {"<A V=\"a&amp;b\" E=\"\"/>", "A[V=a&b,E=]"},
        {"<A x=\"1\" y=\"2\"\tz=\"3\">v</A>", "A[x=1,y=2,z=3]=\"v\""},
        {"<A\r\n x=\"1\"\r\n y=\"2\" />", "A[x=1,y=2]"},
        {"<A\tx=\"1\"><A>in</A></A><A\n>2</A>", "A[x=1]=\"\"{A=\"in\"} A=\"2\""}, // name ended by white space
        {"<R><A P=\"c:/dir/\" Q=\"x\"/><B P=\"c:/dir/\"/></R>", "R=\"\"{A[P=c:/dir/\" Q=] B[P=c:/dir/\"/]}"},
        {"<A x =\"1\"/>", "A[x =1]"}, {"<A x='1' y=\"2\"/>", "A[x=2]"},
        {"<A x=\"1\" flag y=\"2\">v</A>", "A[x=1,flag y=2]=\"v\""}, {"<A x=\"1\" flag>v</A>", "A[x=1]=\"v\""},
        {"<A x=1>v</A>", "A=\"v\""}, {"<A x=\"1>v</A>", "A[x=1]=\"v\""},
        {"<R>DATA<A x=\"1\"/></R>", "R=\"\"{A[TA<A x=1]}"}, // the list starts after the first "A"
        // CDATA sections.
        {"<A><![CDATA[x<y &amp; z]]></A>", "A=\"x<y & z\""},
        {"<A>before<![CDATA[\n\tin\n]]>after</A>", "A=\"in\""},
        {"<A><![CDATA[x]]><B>1</B></A>", "A=\"\"{B=\"1\"}"}, {"<A><![CDATA[abc</A>", "A=\"abc\""},
        {"<A>x<B/><![CDATA[abc <C/></A>", "A=\"abc <C/>\"{B}"},
        {"<![CDATA[x]]><B>v</![CDATA[x]]><B>", "![CDATA[x]]><B=\"v\""},
        // Input beyond the limits.
        {"<R>a<b</R>", "R=\"a<b\""}, {"<R><B/>c< d</R>", "R=\"c< d\"{B}"},
        // An empty-element tag with an empty first word is a nameless node; its attribute list
        // starts at the position, so it holds the text before "=".
        {"< />", ""}, {"<\n/>", ""}, {"<\t/>", ""}, {"< a=\"1\"/>", "[< a=1]"},
        {"<R>x<B/>y< /><C/></R>", "R=\"\"{B  C}"}, {"<R>< />t</R>", "R=\"t\"{}"}, {"< >", "(none)"},
        {"<A", "(none)"}, {"<A x=\"1\"", "(none)"}, {"<A>1</A><B", "A=\"1\""},
        {"<" + n124 + ">v</" + n124 + ">", n124 + "=\"v\""},
        {"<R><" + n123 + " a=\"1\"/></R>", "R=\"\"{" + n123 + "[a=1]}"},
        {"<R><" + n125 + " a=\"1\">v</" + n125 + "><B/></R>", "R=\"\"{B}"},
        {"<R><" + e124 + " a=\"1\"/><" + e124 + "/><C/></R>", "R=\"\"{C}"}, // 124 bytes and "/"
        {"<" + huge + ">v</" + huge + ">", "(none)"},
        NestedCase(300)};
    // clang-format on
    std::pair<std::string, std::string> many{"<ROOT>", "ROOT=\"\"{"};
    for (int i = 0; i < 20000; ++i) {
        const std::string n = std::to_string(i);
        many.first += "<E" + n + " n=\"" + n + "\">v" + n + "</E" + n + ">\n";
        many.second += (i != 0 ? " E" : "E") + n + "[n=" + n + "]=\"v" + n + '"';
    }
    cases.push_back({many.first + "</ROOT>", many.second + "}"});
    cases.emplace_back();
    Branches(1, 0, cases.back().first, cases.back().second);
    return cases;
}

TEST(XMLReader, TextGivesTheExpectedTree) {
    for (const auto& [text, tree] : TreeCases()) {
        SCOPED_TRACE(text.substr(0, 200));
        EXPECT_EQ(Read(text), tree);
    }
    EXPECT_EQ(XMLParseText(nullptr, 10, nullptr), nullptr);
}

TEST(XMLReader, EntitiesInAttributeValues) {
    const std::pair<const char*, std::string> cases[] = {
        // clang-format off
        {"&lt;&gt;&quot;&amp;&apos;&acute;", "<>\"&''"}, {"&eacute;&egrave;&ecirc;", "\xE9\xE8\xEA"},
        {"&#65;&#9;&#32;b", "A\t b"}, {"&nbsp;&amp", "&nbsp;&amp"},
        // A replaced "&amp;" is scanned again; other entities go on after themselves.
        {"&amp;lt;", "<"}, {"&amp;amp;", "&"}, {"&amp;#66;", "B"}, {"&amp;amp;quot;x", "\"x"},
        {"&lt;amp;", "<amp;"},
        // Numeric references keep the low eight bits; a zero byte ends the text.
        {"&#321;", "A"}, {"&#6a5;", std::string(1, '\x06')}, {"&#9999;z", "\x0Fz"}, {"a&#x41;b", "a"},
        {"x&#0;y", "x"}, {"x&#256;y", "x"}, {"x&#;y", "x"},
        // Long or unterminated references stay text.
        {"&#00065;", "&#00065;"}, {"&#65 and more;", "&#65 and more;"}, {"&#65", "&#65"}, {"&#", "&#"}};
    // clang-format on
    for (const auto& [raw, decoded] : cases) {
        SCOPED_TRACE(raw);
        EXPECT_EQ(Read(std::string("<A v=\"") + raw + "\"/>"), "A[v=" + decoded + "]");
    }
}

TEST(XMLReader, ReadingStopsAtTheLengthOrAtAZeroByte) {
    const char text[] = "<A>1</A><B>2</B>";
    EXPECT_EQ(Dump(XMLTreePtr(XMLParseText(text, 8, nullptr)).get()), "A=\"1\"");
    EXPECT_EQ(Dump(XMLTreePtr(XMLParseText(text, 1000, nullptr)).get()), "A=\"1\" B=\"2\"");
    EXPECT_EQ(Read(std::string("<A>1</A>\0<B>2</B>", 17)), "A=\"1\"");
}

TEST(XMLReader, NodesReadUnderAParentPointToItAndSetItsText) {
    XMLTreePtr parent(XMLCreateNode("P", nullptr));
    ASSERT_NE(parent, nullptr);
    const std::string text = "<A>1</A>\n\ttail\n";
    parent->firstChild = XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), parent.get());
    EXPECT_EQ(Dump(parent.get()), "P=\"tail\"{A=\"1\"}");
    // A second read replaces the text (the old block is released).
    EXPECT_EQ(XMLParseText("only text", 9, parent.get()), nullptr);
    EXPECT_STREQ(parent->value, "only text");
}

TEST(XMLReader, DepthIsLimitedByMemoryOnly) {
    constexpr int kLevels = 100000;
    std::string text;
    text.reserve(kLevels * 7 + 1);
    for (int i = 0; i < kLevels; ++i) {
        text += "<A>";
    }
    text += 'x';
    for (int i = 0; i < kLevels; ++i) {
        text += "</A>";
    }
    XMLTreePtr tree = Parse(text);
    int depth = 0;
    const stXMLNode* last = nullptr;
    for (const stXMLNode* node = tree.get(); node != nullptr; node = node->firstChild, ++depth) {
        ASSERT_EQ(node->parent, last);
        ASSERT_EQ(node->nextSibling, nullptr);
        last = node;
    }
    EXPECT_EQ(depth, kLevels);
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last->value, "x");
}

// What the blocks of a tree count against the memory budget (see XMLSetMemoryBudget).
std::uint64_t BudgetCost(const stXMLNode* node) {
    constexpr std::uint64_t kOverhead = 16;
    const auto text = [](const char* s) { return s != nullptr ? std::strlen(s) + 1 + kOverhead : 0; };
    std::uint64_t cost = 0;
    std::vector<const stXMLNode*> pending{node};
    while (!pending.empty()) {
        const stXMLNode* at = pending.back();
        pending.pop_back();
        for (; at != nullptr; at = at->nextSibling) {
            cost += sizeof(stXMLNode) + kOverhead + text(at->name) + text(at->value);
            for (const stXMLAttribute* a = at->attributes; a != nullptr; a = a->next) {
                cost += sizeof(stXMLAttribute) + kOverhead + text(a->name) + text(a->value);
            }
            pending.push_back(at->firstChild);
        }
    }
    return cost;
}

TEST(XMLReader, TheTreeIsHeldToTheMemoryBudget) {
    // Every ">" before the empty-element tag reads it again: 20,000 nodes of 1,000 attributes
    // unless the budget stops the reader.
    std::string text = "<R>" + std::string(20000, '>') + "<E";
    for (int i = 0; i < 1000; ++i) {
        text += " a=\"1\"";
    }
    text += "/></R>";
    const std::uint64_t defaultBudget = 64 * text.size() + (std::uint64_t{64} << 20);
    std::size_t previousNodes = 20000;
    for (const std::uint64_t extra : {std::uint64_t{0}, std::uint64_t{1} << 20}) {
        SCOPED_TRACE(extra);
        if (extra != 0) {
            XMLSetMemoryBudget(0, extra);
        }
        XMLTreePtr tree = Parse(text);
        XMLSetMemoryBudget(64, std::uint64_t{64} << 20);
        ASSERT_NE(tree, nullptr);
        EXPECT_LE(BudgetCost(tree.get()), extra != 0 ? extra : defaultBudget);
        EXPECT_EQ(tree->value, nullptr); // the level ended for want of memory
        std::size_t nodes = 0;
        for (const stXMLNode* e = tree->firstChild; e != nullptr; e = e->nextSibling, ++nodes) {
            ASSERT_STREQ(e->name, "E");
        }
        EXPECT_GT(nodes, 0u);
        EXPECT_LT(nodes, previousNodes);
        previousNodes = nodes;
    }
    // With the default budget an ordinary document is read whole.
    EXPECT_EQ(Read("<R><E a=\"1\"/></R>"), "R=\"\"{E[a=1]}");
}

constexpr char kSample[] =
    "<?xml version=\"1.0\"?>\n<ROOT v=\"1\">\n <ADAPTER DLL=\"a.dll\" NAME=\"x\">\n"
    "  <DEVICE CLASS=\"c\" HARDWAREID=\"h\"/>\n  <DEVICE CLASS=\"d\"><OS>XP</OS></DEVICE>\n"
    " </ADAPTER>\n <A><A>in</A></A>\n</ROOT>\n<TAIL/>";

#if !defined(_WIN32) // operator new of a test reaches no Windows DLL
TEST(XMLReader, EveryAllocationFailureLeavesAUsableTree) {
    AIRVANE_REQUIRE_ALLOCATION_CONTROL();
    const std::string full = Read(kSample);
    ResetAllocationCount();
    XMLTreePtr(XMLParseText(kSample, sizeof kSample - 1, nullptr));
    const long needed = AllocationCount();
    ASSERT_GT(needed, 10);
    bool sawPartial = false;
    for (long k = 0; k <= needed; ++k) {
        for (bool once : {false, true}) {
            stXMLNode* raw;
            {
                CAllocationFailure failure(k, once);
                raw = XMLParseText(kSample, sizeof kSample - 1, nullptr);
            }
            XMLTreePtr tree(raw);
            const std::string got = Dump(tree.get());
            if (k == 0 && !once) {
                EXPECT_EQ(tree, nullptr);
            }
            if (k == needed) {
                EXPECT_EQ(got, full);
            }
            sawPartial = sawPartial || (tree != nullptr && got != full);
        }
    }
    EXPECT_TRUE(sawPartial);
}
#endif

#if !defined(_WIN32) // operator new of a test reaches no Windows DLL
TEST(XMLReader, FreeingTheFirstTopLevelNodeFreesTheWholeDocument) {
    AIRVANE_REQUIRE_ALLOCATION_CONTROL();
    const long before = LiveAllocations();
    stXMLNode* tree = XMLParseText(kSample, sizeof kSample - 1, nullptr);
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(tree->nextSibling, nullptr);
    EXPECT_GT(LiveAllocations(), before);
    XMLFreeTree(tree);
    EXPECT_EQ(LiveAllocations(), before);
}
#endif

TEST(XMLReader, LoadsAWholeFileUpToAZeroByte) {
    CTempDir dir;
    WriteFile(dir.File("WLANInterfaces.xml"), std::string("\xEF\xBB\xBF") + kSample);
    EXPECT_EQ(Dump(XMLTreePtr(XMLLoadFile(dir.File("WLANInterfaces.xml").c_str())).get()), Read(kSample));
    WriteFile(dir.File("zero.xml"), std::string("<A>1</A>\0<B>2</B>", 17));
    EXPECT_EQ(Dump(XMLTreePtr(XMLLoadFile(dir.File("zero.xml").c_str())).get()), "A=\"1\"");
    // Missing, empty or unreadable files give no tree.
    WriteFile(dir.File("empty.xml"), "");
    for (const std::string& path : {dir.File("missing.xml"), dir.Path(), dir.File("empty.xml")}) {
        EXPECT_EQ(XMLLoadFile(path.c_str()), nullptr) << path;
    }
    EXPECT_EQ(XMLLoadFile(nullptr), nullptr);
}

} // namespace
} // namespace airvane::test
