#include "tests/xml/AllocationControl.h"
#include "tests/xml/XMLTestUtil.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace airvane::test {
namespace {

// ---- Documents and elements ------------------------------------------------------------

TEST(XMLReaderDocument, PrologThenRootWithOneEmptyElement) {
    XMLTreePtr tree = Parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><ROOT><A X=\"1\"/></ROOT>");
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(Dump(tree.get()), "ROOT=\"\"{A[X=1]}");
    EXPECT_EQ(tree->nextSibling, nullptr);
    EXPECT_EQ(tree->parent, nullptr);
    const stXMLNode* a = tree->firstChild;
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->name, "A");
    EXPECT_EQ(a->value, nullptr);
    EXPECT_EQ(a->firstChild, nullptr);
    ASSERT_NE(tree->value, nullptr);
    EXPECT_STREQ(tree->value, "");
}

TEST(XMLReaderDocument, TopLevelElementsFormOneChain) {
    XMLTreePtr tree = Parse("<A>1</A>\r\n<B>2</B>\r\n<C/>");
    EXPECT_EQ(Dump(tree.get()), "A=\"1\" B=\"2\" C");
    for (const stXMLNode* node = tree.get(); node != nullptr; node = node->nextSibling) {
        EXPECT_EQ(node->parent, nullptr);
    }
}

TEST(XMLReaderDocument, BytesBeforeTheFirstTagAreIgnored) {
    EXPECT_EQ(Dump(Parse("\xEF\xBB\xBF<A>1</A>").get()), "A=\"1\"");
    EXPECT_EQ(Dump(Parse("some words first <A>1</A>").get()), "A=\"1\"");
}

TEST(XMLReaderDocument, TextWithoutElementsGivesNoTree) {
    EXPECT_EQ(Parse(""), nullptr);
    EXPECT_EQ(Parse("just text"), nullptr);
    EXPECT_EQ(Parse("<?xml version=\"1.0\"?><!-- only a comment -->"), nullptr);
    EXPECT_EQ(XMLParseText(nullptr, 10, nullptr), nullptr);
}

TEST(XMLReaderDocument, ElementTextAndTrimming) {
    EXPECT_EQ(Dump(Parse("<A>text</A>").get()), "A=\"text\"");
    // Only newlines and tabs are trimmed, at both ends.
    EXPECT_EQ(Dump(Parse("<A>\n\tsome text \n</A>").get()), "A=\"some text \"");
    EXPECT_EQ(Dump(Parse("<A>\t \r\nx\r\n\t</A>").get()), "A=\" \r\nx\r\"");
    EXPECT_EQ(Dump(Parse("<A>\n\t\n</A>").get()), "A=\"\"");
    // Empty content: no value at all.
    EXPECT_EQ(Dump(Parse("<A></A>").get()), "A");
}

TEST(XMLReaderDocument, ElementTextIsWhatFollowsTheLastTagOfItsLevel) {
    EXPECT_EQ(Dump(Parse("<A>pre<B/>mid<C/>post</A>").get()), "A=\"post\"{B C}");
    EXPECT_EQ(Dump(Parse("<A>pre<B>1</B></A>").get()), "A=\"\"{B=\"1\"}");
}

TEST(XMLReaderDocument, ElementTextIsEntityDecoded) {
    EXPECT_EQ(Dump(Parse("<A>a &lt; b &amp;&amp; c</A>").get()), "A=\"a < b && c\"");
}

// ---- Pairing elements with their closing tags ------------------------------------------

TEST(XMLReaderPairing, NestedElementOfTheSameName) {
    XMLTreePtr tree = Parse("<A><A>x</A></A>");
    EXPECT_EQ(Dump(tree.get()), "A=\"\"{A=\"x\"}");
    EXPECT_EQ(Dump(Parse("<A><A><A>x</A>y</A>z</A>").get()), "A=\"z\"{A=\"y\"{A=\"x\"}}");
    EXPECT_EQ(Dump(Parse("<A><A k=\"v\">x</A><A>y</A></A>").get()), "A=\"\"{A[k=v]=\"x\" A=\"y\"}");
}

TEST(XMLReaderPairing, NestedEmptyElementOfTheSameNameIsNotAnOpeningTag) {
    EXPECT_EQ(Dump(Parse("<A><A/><B/></A>").get()), "A=\"\"{A B}");
    EXPECT_EQ(Dump(Parse("<A><A x=\"1\"/>y</A>").get()), "A=\"y\"{A[x=1]}");
}

TEST(XMLReaderPairing, CommentsAreDropped) {
    EXPECT_EQ(Dump(Parse("<R><!-- note --><B>1</B><!-- end --></R>").get()), "R=\"\"{B=\"1\"}");
    // A comment is passed over only up to its first ">"; what follows is read as text.
    EXPECT_EQ(Dump(Parse("<R><!-- x > <B>1</B> --></R>").get()), "R=\" -->\"{B=\"1\"}");
}

TEST(XMLReaderPairing, ElementNeverClosedIsDroppedWithItsAttributes) {
    EXPECT_EQ(Dump(Parse("<R><BR clear=\"all\"><C>2</C></R>").get()), "R=\"\"{C=\"2\"}");
    EXPECT_EQ(Dump(Parse("<BR clear=\"all\"><C>2</C>").get()), "C=\"2\"");
}

TEST(XMLReaderPairing, StrayClosingTagGivesNodeWithEmptyName) {
    XMLTreePtr tree = Parse("<R></X><A>1</A></R>");
    EXPECT_EQ(Dump(tree.get()), "R=\"\"{ A=\"1\"}");
    const stXMLNode* stray = tree->firstChild;
    ASSERT_NE(stray, nullptr);
    EXPECT_STREQ(stray->name, "");
    EXPECT_EQ(stray->attributes, nullptr);
    EXPECT_EQ(stray->value, nullptr);
}

TEST(XMLReaderPairing, LevelWhoseLastElementIsNotClosedAfterItKeepsNoText) {
    // "<B>" is closed somewhere in A's content (before it), so it is an element, but no
    // closing tag follows it: the level ends there and A gets no text.
    XMLTreePtr tree = Parse("<A></B><B>x</A>");
    EXPECT_EQ(Dump(tree.get()), "A{ B}");
    EXPECT_EQ(tree->value, nullptr);
}

TEST(XMLReaderPairing, OpeningTagsOutnumberingClosingTagsGiveNoContent) {
    XMLTreePtr tree = Parse("<R><A><A>x</A></R>");
    EXPECT_EQ(Dump(tree.get()), "R=\"\"{A}");
    EXPECT_EQ(tree->firstChild->value, nullptr);
}

TEST(XMLReaderPairing, EachGreaterThanBeforeATagMovesThePositionOnlyThatFar) {
    // The position moves past the first ">" at or after it, so the empty-element tag is read
    // once for every ">" of the text before it and once for its own.
    EXPECT_EQ(Dump(Parse("<R>a>b><A/></R>").get()), "R=\"\"{A A A}");
}

// ---- Attributes --------------------------------------------------------------------------

TEST(XMLReaderAttributes, ValuesAreDecodedAndEmptyValuesAreEmptyStrings) {
    XMLTreePtr tree = Parse("<A V=\"a&amp;b\" E=\"\"/>");
    EXPECT_EQ(Dump(tree.get()), "A[V=a&b,E=]");
    ASSERT_NE(tree->attributes, nullptr);
    ASSERT_NE(tree->attributes->next, nullptr);
    ASSERT_NE(tree->attributes->next->value, nullptr);
    EXPECT_STREQ(tree->attributes->next->value, "");
}

TEST(XMLReaderAttributes, OrderIsKeptOnElementsAndEmptyElements) {
    EXPECT_EQ(Dump(Parse("<A x=\"1\" y=\"2\"\tz=\"3\">v</A>").get()), "A[x=1,y=2,z=3]=\"v\"");
    EXPECT_EQ(Dump(Parse("<A\r\n x=\"1\"\r\n y=\"2\" />").get()), "A[x=1,y=2]");
}

TEST(XMLReaderAttributes, QuoteAfterSlashDoesNotEndTheValue) {
    EXPECT_EQ(Dump(Parse("<R><A P=\"c:/dir/\" Q=\"x\"/><B P=\"c:/dir/\"/></R>").get()),
              "R=\"\"{A[P=c:/dir/\" Q=] B[P=c:/dir/\"/]}");
}

TEST(XMLReaderAttributes, NameIsEverythingBeforeTheEqualsSign) {
    EXPECT_EQ(Dump(Parse("<A x =\"1\"/>").get()), "A[x =1]");
    // Single quotes are ordinary characters: the value starts at the next double quote.
    EXPECT_EQ(Dump(Parse("<A x='1' y=\"2\"/>").get()), "A[x=2]");
}

TEST(XMLReaderAttributes, ListEndsAtAnAttributeWithoutEqualsSignOrQuote) {
    EXPECT_EQ(Dump(Parse("<A x=\"1\" flag y=\"2\">v</A>").get()), "A[x=1,flag y=2]=\"v\"");
    EXPECT_EQ(Dump(Parse("<A x=\"1\" flag>v</A>").get()), "A[x=1]=\"v\"");
    EXPECT_EQ(Dump(Parse("<A x=1>v</A>").get()), "A=\"v\"");
    // A value cut short by ">" ends the list.
    EXPECT_EQ(Dump(Parse("<A x=\"1>v</A>").get()), "A[x=1]=\"v\"");
}

TEST(XMLReaderAttributes, ListStartsAfterTheFirstOccurrenceOfTheName) {
    // The name "A" first occurs inside the text before the tag.
    EXPECT_EQ(Dump(Parse("<R>DATA<A x=\"1\"/></R>").get()), "R=\"\"{A[TA<A x=1]}");
}

// ---- Entities ----------------------------------------------------------------------------

std::string DecodedValue(const std::string& raw) {
    XMLTreePtr tree = Parse("<A v=\"" + raw + "\"/>");
    if (tree == nullptr || tree->attributes == nullptr || tree->attributes->value == nullptr) {
        return "(none)";
    }
    return tree->attributes->value;
}

TEST(XMLReaderEntities, TableEntities) {
    EXPECT_EQ(DecodedValue("&lt;&gt;&quot;&amp;&apos;&acute;"), "<>\"&''");
    EXPECT_EQ(DecodedValue("&eacute;&egrave;&ecirc;"), "\xE9\xE8\xEA");
    EXPECT_EQ(DecodedValue("&#65;&#9;&#32;b"), "A\t b");
    EXPECT_EQ(DecodedValue("&nbsp;&amp"), "&nbsp;&amp");
}

TEST(XMLReaderEntities, ReplacedSemicolonIsScannedAgain) {
    EXPECT_EQ(DecodedValue("&amp;lt;"), "<");
    EXPECT_EQ(DecodedValue("&amp;amp;"), "&");
    EXPECT_EQ(DecodedValue("&amp;#66;"), "B");
    EXPECT_EQ(DecodedValue("&amp;amp;quot;x"), "\"x");
    // "&lt;" writes its character and goes on after itself.
    EXPECT_EQ(DecodedValue("&lt;amp;"), "<amp;");
}

TEST(XMLReaderEntities, NumericReferenceKeepsTheLowEightBits) {
    EXPECT_EQ(DecodedValue("&#321;"), "A");
    EXPECT_EQ(DecodedValue("&#6a5;"), std::string(1, '\x06'));
    // Not starting with a digit gives a zero byte, which ends the text.
    EXPECT_EQ(DecodedValue("a&#x41;b"), "a");
    EXPECT_EQ(DecodedValue("x&#0;y"), "x");
    EXPECT_EQ(DecodedValue("x&#256;y"), "x");
    EXPECT_EQ(DecodedValue("x&#;y"), "x");
}

TEST(XMLReaderEntities, LongOrUnterminatedNumericReferenceStaysText) {
    EXPECT_EQ(DecodedValue("&#00065;"), "&#00065;");
    EXPECT_EQ(DecodedValue("&#65 and more;"), "&#65 and more;");
    EXPECT_EQ(DecodedValue("&#65"), "&#65");
    EXPECT_EQ(DecodedValue("&#"), "&#");
    EXPECT_EQ(DecodedValue("&#9999;z"), std::string("\x0Fz"));
}

// ---- CDATA -------------------------------------------------------------------------------

TEST(XMLReaderCData, SectionIsElementText) {
    EXPECT_EQ(Dump(Parse("<A><![CDATA[x<y &amp; z]]></A>").get()), "A=\"x<y & z\"");
    EXPECT_EQ(Dump(Parse("<A>before<![CDATA[\n\tin\n]]>after</A>").get()), "A=\"in\"");
}

TEST(XMLReaderCData, SectionFollowedByATagIsPassedOver) {
    EXPECT_EQ(Dump(Parse("<A><![CDATA[x]]><B>1</B></A>").get()), "A=\"\"{B=\"1\"}");
}

TEST(XMLReaderCData, SectionWithoutEndRunsToTheEndOfTheText) {
    EXPECT_EQ(Dump(Parse("<A><![CDATA[abc</A>").get()), "A=\"abc\"");
    EXPECT_EQ(Dump(Parse("<A>x<B/><![CDATA[abc <C/></A>").get()), "A=\"abc <C/>\"{B}");
}

TEST(XMLReaderCData, NameReadAcrossASectionIsAnElementWhenItsClosingTagOccurs) {
    // The name runs from "![CDATA[" to the ">" of the following tag; written out as a closing
    // tag it is found like any other.
    EXPECT_EQ(Dump(Parse("<![CDATA[x]]><B>v</![CDATA[x]]><B>").get()), "![CDATA[x]]><B=\"v\"");
}

// ---- Input beyond the limits -------------------------------------------------------------

TEST(XMLReaderLimits, LessThanWithoutGreaterThanEndsTheLevel) {
    EXPECT_EQ(Dump(Parse("<R>a<b</R>").get()), "R=\"a<b\"");
    EXPECT_EQ(Dump(Parse("<R><B/>c< d</R>").get()), "R=\"c< d\"{B}");
    EXPECT_EQ(Parse("<A"), nullptr);
    EXPECT_EQ(Parse("<A x=\"1\""), nullptr);
    EXPECT_EQ(Dump(Parse("<A>1</A><B").get()), "A=\"1\"");
}

TEST(XMLReaderLimits, NamesUpTo124BytesAreRead) {
    const std::string name(124, 'N');
    EXPECT_EQ(Dump(Parse("<" + name + ">v</" + name + ">").get()), name + "=\"v\"");
    const std::string shorter(123, 'S');
    EXPECT_EQ(Dump(Parse("<R><" + shorter + " a=\"1\"/></R>").get()), "R=\"\"{" + shorter + "[a=1]}");
}

TEST(XMLReaderLimits, LongerNamesArePassedOver) {
    const std::string name(125, 'L');
    // The start tag and the closing tag are both passed over; the text between is plain text.
    EXPECT_EQ(Dump(Parse("<R><" + name + " a=\"1\">v</" + name + "><B/></R>").get()), "R=\"\"{B}");
    // An empty-element tag counts its "/": 124 bytes and "/" are too long.
    const std::string name124(124, 'E');
    EXPECT_EQ(Dump(Parse("<R><" + name124 + " a=\"1\"/><" + name124 + "/><C/></R>").get()), "R=\"\"{C}");
    EXPECT_EQ(Parse("<" + std::string(100000, 'X') + ">v</" + std::string(100000, 'X') + ">"), nullptr);
}

TEST(XMLReaderLimits, NestingIsReadUpTo256Levels) {
    const int levels = 300;
    std::string text;
    for (int i = 0; i < levels; ++i) {
        text += "<A>";
    }
    text += "x";
    for (int i = 0; i < levels; ++i) {
        text += "</A>";
    }
    XMLTreePtr tree = Parse(text);
    int depth = 0;
    const stXMLNode* node = tree.get();
    const stXMLNode* last = nullptr;
    while (node != nullptr) {
        ++depth;
        EXPECT_EQ(node->nextSibling, nullptr);
        last = node;
        node = node->firstChild;
    }
    EXPECT_EQ(depth, 256);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->value, nullptr);
    EXPECT_STREQ(last->parent->value, "");
}

TEST(XMLReaderLimits, ReadingStopsAtTheLengthOrAtAZeroByte) {
    const char text[] = "<A>1</A><B>2</B>";
    XMLTreePtr shortened(XMLParseText(text, 8, nullptr));
    EXPECT_EQ(Dump(shortened.get()), "A=\"1\"");
    const std::string withZero("<A>1</A>\0<B>2</B>", 17);
    XMLTreePtr stopped(XMLParseText(withZero.c_str(), static_cast<std::uint32_t>(withZero.size()), nullptr));
    EXPECT_EQ(Dump(stopped.get()), "A=\"1\"");
    // A length beyond the terminating zero is fine.
    XMLTreePtr longer(XMLParseText(text, 1000, nullptr));
    EXPECT_EQ(Dump(longer.get()), "A=\"1\" B=\"2\"");
}

// ---- Parsing under a parent --------------------------------------------------------------

TEST(XMLReaderParent, NodesPointToTheParentAndItsTextIsSet) {
    XMLTreePtr parent(XMLCreateNode("P", nullptr));
    ASSERT_NE(parent, nullptr);
    const std::string text = "<A>1</A>\n\ttail\n";
    parent->firstChild = XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), parent.get());
    EXPECT_EQ(Dump(parent.get()), "P=\"tail\"{A=\"1\"}");
    // A second read replaces the text (the old block is released).
    const std::string again = "only text";
    EXPECT_EQ(XMLParseText(again.c_str(), static_cast<std::uint32_t>(again.size()), parent.get()), nullptr);
    EXPECT_STREQ(parent->value, "only text");
}

// ---- Larger documents (functional checks) ------------------------------------------------

TEST(XMLReaderLarge, ManyDistinctNames) {
    const int count = 20000;
    std::string text = "<ROOT>";
    for (int i = 0; i < count; ++i) {
        const std::string name = "E" + std::to_string(i);
        text += "<" + name + " n=\"" + std::to_string(i) + "\">v" + std::to_string(i) + "</" + name + ">\n";
    }
    text += "</ROOT>";
    XMLTreePtr tree = Parse(text);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(ChainLength(tree->firstChild), count);
    int i = 0;
    for (const stXMLNode* node = tree->firstChild; node != nullptr; node = node->nextSibling, ++i) {
        ASSERT_EQ(std::string(node->name), "E" + std::to_string(i));
        ASSERT_EQ(std::string(node->value), "v" + std::to_string(i));
        ASSERT_NE(node->attributes, nullptr);
        ASSERT_EQ(std::string(node->attributes->value), std::to_string(i));
    }
}

TEST(XMLReaderLarge, DeepDocumentOfRepeatedBranches) {
    // 8 levels, each element holding two children of the next level.
    std::function<std::string(int, int)> build = [&](int level, int index) -> std::string {
        const std::string name = "L" + std::to_string(level) + "_" + std::to_string(index);
        if (level == 8) {
            return "<" + name + ">leaf</" + name + ">";
        }
        return "<" + name + ">" + build(level + 1, index * 2) + build(level + 1, index * 2 + 1) + "</" +
               name + ">";
    };
    XMLTreePtr tree = Parse(build(1, 0));
    ASSERT_NE(tree, nullptr);
    int leaves = 0;
    std::function<void(const stXMLNode*, int)> walk = [&](const stXMLNode* node, int level) {
        for (; node != nullptr; node = node->nextSibling) {
            if (level == 8) {
                EXPECT_STREQ(node->value, "leaf");
                EXPECT_EQ(node->firstChild, nullptr);
                ++leaves;
            } else {
                EXPECT_EQ(ChainLength(node->firstChild), 2);
                walk(node->firstChild, level + 1);
            }
        }
    };
    walk(tree.get(), 1);
    EXPECT_EQ(leaves, 128);
}

// ---- Running out of memory ---------------------------------------------------------------

constexpr char kSample[] = "<?xml version=\"1.0\"?>\n<ROOT v=\"1\">\n"
                           " <ADAPTER DLL=\"a.dll\" NAME=\"x\">\n"
                           "  <DEVICE CLASS=\"c\" HARDWAREID=\"h\"/>\n"
                           "  <DEVICE CLASS=\"d\"><OS>XP</OS></DEVICE>\n"
                           " </ADAPTER>\n <A><A>in</A></A>\n</ROOT>\n<TAIL/>";

TEST(XMLReaderMemory, EveryAllocationFailureLeavesAUsableTree) {
    AIRVANE_REQUIRE_ALLOCATION_CONTROL();
    const std::string full = Dump(Parse(kSample).get());
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
            if (tree != nullptr && got != full) {
                sawPartial = true;
            }
        }
    }
    EXPECT_TRUE(sawPartial);
}

TEST(XMLReaderMemory, FreeingTheFirstTopLevelNodeFreesTheWholeDocument) {
    AIRVANE_REQUIRE_ALLOCATION_CONTROL();
    const long before = LiveAllocations();
    stXMLNode* tree = XMLParseText(kSample, sizeof kSample - 1, nullptr);
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(tree->nextSibling, nullptr);
    EXPECT_GT(LiveAllocations(), before);
    XMLFreeTree(tree);
    EXPECT_EQ(LiveAllocations(), before);
}

// ---- Files -------------------------------------------------------------------------------

TEST(XMLReaderFile, LoadsAWholeFile) {
    CTempDir dir;
    const std::string path = dir.File("WLANInterfaces.xml");
    WriteFile(path, std::string("\xEF\xBB\xBF") + kSample);
    XMLTreePtr tree(XMLLoadFile(path.c_str()));
    EXPECT_EQ(Dump(tree.get()), Dump(Parse(kSample).get()));
    ASSERT_NE(tree, nullptr);
    EXPECT_STREQ(tree->name, "ROOT");
}

TEST(XMLReaderFile, ZeroByteInTheFileEndsTheText) {
    CTempDir dir;
    const std::string path = dir.File("zero.xml");
    WriteFile(path, std::string("<A>1</A>\0<B>2</B>", 17));
    EXPECT_EQ(Dump(XMLTreePtr(XMLLoadFile(path.c_str())).get()), "A=\"1\"");
}

TEST(XMLReaderFile, MissingEmptyOrUnreadableFileGivesNoTree) {
    CTempDir dir;
    EXPECT_EQ(XMLLoadFile(dir.File("missing.xml").c_str()), nullptr);
    EXPECT_EQ(XMLLoadFile(dir.Path().c_str()), nullptr);
    EXPECT_EQ(XMLLoadFile(nullptr), nullptr);
    const std::string empty = dir.File("empty.xml");
    WriteFile(empty, "");
    EXPECT_EQ(XMLLoadFile(empty.c_str()), nullptr);
}

} // namespace
} // namespace airvane::test
