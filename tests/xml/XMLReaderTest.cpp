#include "tests/xml/XMLTestUtil.h"

#include "airvane/platform/internal/GlobalBlocks.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>
#include <thread>

namespace airvane::test {
namespace {

// cases/reader.txt, embedded by the build as a raw string literal (its format is described there).
constexpr char kCaseFile[] =
#include "ReaderCases.inc"
    ;

// Expands \(from:to:text\) and the escapes \n \t \r \\ \xHH of a line of the case file.
std::string Unescape(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = i + 1 < raw.size() && raw[i] == '\\' ? raw[++i] : '\0';
        if (c == '(') {
            const std::size_t first = raw.find(':', i), second = raw.find(':', first + 1),
                              close = raw.find("\\)", i);
            const long from = std::stol(raw.substr(i + 1)), to = std::stol(raw.substr(first + 1));
            for (long k = from; k != to;) {
                const std::string index = std::to_string(from < to ? k++ : --k);
                std::string text = raw.substr(second + 1, close - second - 1);
                for (std::size_t at = 0; (at = text.find('#', at)) != std::string::npos;) {
                    text.replace(at, 1, index);
                }
                out += Unescape(text);
            }
            i = close + 1;
        } else if (c == 'x') {
            out += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += c == '\0' ? raw[i] : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
        }
    }
    return out;
}

struct stCase {
    int line;
    std::string text, tree, written; // written: from a "<=" line, if any
    friend void PrintTo(const stCase& c, std::ostream* out) { *out << "cases/reader.txt line " << c.line; }
};

std::vector<stCase> Cases() {
    std::vector<stCase> cases;
    std::istringstream in(kCaseFile);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.rfind("=>", 0) == 0 || line.rfind("<=", 0) == 0) {
            const std::string rest = Unescape(line.substr(std::min<std::size_t>(3, line.size())));
            (line[0] == '=' ? cases.back().tree : cases.back().written) = rest;
        } else if (!line.empty() && line[0] != '#') {
            cases.push_back({number, Unescape(line), "(no => line)", ""});
        }
    }
    return cases;
}

class XMLReaderCase : public testing::TestWithParam<stCase> {};

TEST_P(XMLReaderCase, TextGivesTheExpectedTree) {
    XMLTreePtr tree = Parse(GetParam().text);
    EXPECT_EQ(tree != nullptr ? Dump(tree.get()) : "(none)", GetParam().tree);
    EXPECT_EQ(GetParam().written.empty() ? "" : Serialize(tree.get(), 1), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(File, XMLReaderCase, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<stCase>& info) {
                             return "line" + std::to_string(info.param.line);
                         });

TEST(XMLReader, ReadsUpToTheLengthOrTheFirstZeroByte) {
    const char text[] = "<A>1</A><B>2</B>";
    EXPECT_EQ(Dump(XMLTreePtr(XMLParseText(text, 8, nullptr)).get()), "A=\"1\"");
    EXPECT_EQ(Dump(XMLTreePtr(XMLParseText(text, 1000, nullptr)).get()), "A=\"1\" B=\"2\"");
    EXPECT_EQ(XMLParseText(nullptr, 10, nullptr), nullptr);
}

TEST(XMLReader, NodesReadUnderAParentPointToItAndSetItsText) {
    XMLTreePtr parent(XMLCreateNode("P", nullptr));
    parent->firstChild = XMLParseText("<A>1</A>\n\ttail\n", 16, parent.get());
    EXPECT_EQ(Dump(parent.get()), "P=\"tail\"{A=\"1\"}");
    // A second read replaces the text (the old block is released).
    EXPECT_EQ(XMLParseText("only text", 9, parent.get()), nullptr);
    EXPECT_STREQ(parent->value, "only text");
    // The parent's own text may be the text read: it is released only once read.
    const std::string own = "<B>2</B>rest";
    XMLFreeString(parent->value);
    parent->value = XMLAllocString(own.size());
    own.copy(parent->value, own.size());
    XMLFreeTree(parent->firstChild);
    parent->firstChild = XMLParseText(parent->value, static_cast<std::uint32_t>(own.size()), parent.get());
    EXPECT_EQ(Dump(parent.get()), "P=\"rest\"{B=\"2\"}");
}

TEST(XMLReader, DepthIsLimitedByMemoryOnly) {
    XMLTreePtr tree = Parse(Unescape("\\(0:100000:<A>\\)x\\(0:100000:</A>\\)"));
    int depth = 0;
    const stXMLNode* last = nullptr;
    for (const stXMLNode* node = tree.get(); node != nullptr; last = node, node = node->firstChild, ++depth) {
        ASSERT_TRUE(node->parent == last && node->nextSibling == nullptr);
    }
    EXPECT_EQ(depth, 100000);
    EXPECT_STREQ(last != nullptr ? last->value : "", "x");
}

TEST(XMLReader, NamesPairAlikeWhateverTheirNumber) {
    // 30,000 distinct names nested, closed in reverse: most closings are looked up among more
    // names than the caches hold.
    XMLTreePtr tree = Parse(Unescape("\\(0:30000:<N#>\\)x\\(30000:0:</N#>\\)"));
    int depth = 0;
    const stXMLNode* last = nullptr;
    for (const stXMLNode* node = tree.get(); node != nullptr; last = node, node = node->firstChild, ++depth) {
        ASSERT_EQ(std::string(node->name), "N" + std::to_string(depth));
    }
    EXPECT_EQ(depth, 30000);
    EXPECT_STREQ(last != nullptr ? last->value : "", "x");
}

// What the blocks of a chain take up in global memory (see XMLSetMemoryBudget).
std::uint64_t BudgetCost(const stXMLNode* node) {
    const auto block = [](std::size_t bytes) { return airvane::platform::GlobalBlockFootprint(bytes); };
    const auto text = [&](const char* s) { return s != nullptr ? block(std::strlen(s) + 1) : 0; };
    std::uint64_t cost = 0;
    for (; node != nullptr; node = node->nextSibling) {
        cost +=
            block(sizeof(stXMLNode)) + text(node->name) + text(node->value) + BudgetCost(node->firstChild);
        for (const stXMLAttribute* a = node->attributes; a != nullptr; a = a->next) {
            cost += block(sizeof(stXMLAttribute)) + text(a->name) + text(a->value);
        }
    }
    return cost;
}

TEST(XMLReader, AParseFailsWholeWhenItsTreeWouldPassTheBudget) {
    // Every ">" before the empty-element tag reads it again: 20,000 nodes of 1,000 attributes,
    // about 2 GB, for 26 KB of text. The reader refuses it before building the run.
    xml::FailAllocationsAfter(-1, false);
    EXPECT_EQ(Parse(Unescape("<R>\\(0:20000:>\\)<E\\(0:1000: a=\"1\"\\)/></R>")), nullptr);
    EXPECT_LT(xml::AllocationsCounted(), 20000);
    // At a budget of exactly the tree's cost the tree is whole; below it there is none. R's text
    // is the last block taken: one byte less than the run plus that text is refused at the
    // run's second read, before the rest of the run is built.
    const std::string run = Unescape("<R>\\(0:50:>\\)<E\\(0:20: a=\"1\"\\)/></R>");
    const std::string siblings = "<R><A x=\"&amp;\">t</A>\n<B y=\"2\"/><A>u</A></R>";
    for (const std::string* each : {&run, &siblings}) {
        const std::string& text = *each;
        XMLTreePtr whole = Parse(text);
        ASSERT_NE(whole, nullptr);
        const std::uint64_t cost = BudgetCost(whole.get());
        const std::uint64_t lastText = airvane::platform::GlobalBlockFootprint(std::strlen(whole->value) + 1);
        long built = 0;
        for (const std::uint64_t budget : {cost, cost - 1, cost - lastText, cost - lastText - 1}) {
            XMLSetMemoryBudget(0, budget);
            xml::FailAllocationsAfter(-1, false);
            const long live = xml::TreeBlocksLive();
            const std::string got = Dump(Parse(text).get());
            XMLSetMemoryBudget(64, std::uint64_t{64} << 20);
            EXPECT_EQ(got, budget == cost ? Dump(whole.get()) : "") << budget;
            EXPECT_EQ(xml::TreeBlocksLive(), live);
            built = budget == cost - lastText ? xml::AllocationsCounted() : built;
        }
        if (each == &run) {
            EXPECT_LT(xml::AllocationsCounted(), built / 10);
        }
    }
}

TEST(XMLReader, ABudgetChangedWhileParsingIsReadAsOnePair) {
    // Either setting leaves room for the whole tree; one's factor with the other's extra (0 and
    // 0) leaves none. A parse reads both numbers as set together, never one old and one new.
    const std::string text = "<R><A/><B/><C/></R>";
    std::atomic<bool> stop{false};
    std::thread changer([&stop] {
        while (!stop.load()) {
            XMLSetMemoryBudget(4096, 0);
            XMLSetMemoryBudget(0, std::uint64_t{1} << 20);
        }
    });
    int cut = 0;
    for (int i = 0; i < 20000; ++i) {
        const XMLTreePtr tree = Parse(text);
        cut += tree == nullptr || tree->firstChild == nullptr ? 1 : 0;
    }
    stop.store(true);
    changer.join();
    XMLSetMemoryBudget(64, std::uint64_t{64} << 20);
    EXPECT_EQ(cut, 0);
}

TEST(XMLReader, ABudgetTooLargeToCountSetsNoLimit) {
    // About 2 MB of tree from 800 bytes of text: far past 64 bytes per text byte, well within
    // the default 64 MiB besides. The largest extra must not wrap the sum round to a small one.
    const std::string text = Unescape("<R>\\(0:200:>\\)<E\\(0:100: a=\"1\"\\)/></R>");
    const auto count = [](const XMLTreePtr& tree) {
        std::size_t nodes = 0;
        for (const stXMLNode* e = tree != nullptr ? tree->firstChild : nullptr; e != nullptr;
             e = e->nextSibling) {
            ++nodes;
        }
        return nodes;
    };
    const std::size_t whole = count(Parse(text));
    XMLSetMemoryBudget(64, std::numeric_limits<std::uint64_t>::max());
    const std::size_t unlimited = count(Parse(text));
    XMLSetMemoryBudget(0, std::numeric_limits<std::uint64_t>::max());
    const std::size_t onlyExtra = count(Parse(text));
    XMLSetMemoryBudget(64, std::uint64_t{64} << 20);
    EXPECT_GT(whole, 100U);
    EXPECT_EQ(unlimited, whole);
    EXPECT_EQ(onlyExtra, whole);
}

TEST(XMLReader, LongAttributeValuesDecodeLikeElementText) {
    // Values of 16 KiB and more, untrimmed, are decoded without the scratch copy that element
    // text goes through: the two must agree, up to element text's trimming.
    const char* const pieces[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&eacute;", "&#", "&", "amp;", "lt;",
                                  "#",     "1",    "3",    "6",      "5",        ";",  "x", "\n",   "\t"};
    const auto trim = [](const std::string& s) {
        std::size_t begin = 0, end = s.size();
        while (begin < end && (s[begin] == '\n' || s[begin] == '\t')) {
            ++begin;
        }
        while (end - begin > 1 && (s[end - 1] == '\n' || s[end - 1] == '\t')) {
            --end;
        }
        return s.substr(begin, end - begin);
    };
    std::mt19937 random(13);
    for (int round = 0; round < 20; ++round) {
        std::string value;
        while (value.size() < 17000) {
            value += pieces[random() % std::size(pieces)];
        }
        XMLTreePtr attribute = Parse("<A v=\"" + value + "\"/>");
        XMLTreePtr element = Parse("<B>" + value + "</B>");
        ASSERT_TRUE(attribute != nullptr && attribute->attributes != nullptr && element != nullptr);
        EXPECT_EQ(trim(attribute->attributes->value), element->value) << "round " << round;
    }
}

constexpr char kSample[] =
    "<?xml version=\"1.0\"?>\n<ROOT v=\"1\">\n <ADAPTER DLL=\"a.dll\" NAME=\"x\">\n"
    "  <DEVICE CLASS=\"c\" HARDWAREID=\"h\"/>\n  <DEVICE CLASS=\"d\"><OS>XP</OS></DEVICE>\n"
    " </ADAPTER>\n <A><A>in</A></A>\n</ROOT>\n<TAIL/>";

TEST(XMLReader, AnyAllocationFailureFailsTheParseAndReleasesAll) {
    const long live = xml::TreeBlocksLive();
    xml::FailAllocationsAfter(-1, false);
    XMLTreePtr whole(XMLParseText(kSample, sizeof kSample - 1, nullptr));
    const long needed = xml::AllocationsCounted();
    const std::string full = Dump(whole.get());
    whole.reset();
    EXPECT_EQ(xml::TreeBlocksLive(), live); // the whole chain of top-level nodes is freed
    XMLTreePtr parent(XMLCreateNode("P", nullptr));
    for (long k = 0; k <= needed; ++k) {
        for (bool once : {false, true}) {
            xml::FailAllocationsAfter(k, once);
            XMLTreePtr tree(XMLParseText(kSample, sizeof kSample - 1, nullptr));
            xml::FailAllocationsAfter(-1, false);
            const std::string got = Dump(tree.get());
            EXPECT_TRUE(got == (k == needed ? full : "")) << k << (once ? " once" : "") << ": " << got;
            // Under a parent whose text is the text read: a failed parse leaves that text.
            parent->value = XMLAllocString(sizeof kSample - 1);
            std::memcpy(parent->value, kSample, sizeof kSample);
            xml::FailAllocationsAfter(k, once);
            XMLTreePtr children(XMLParseText(parent->value, sizeof kSample - 1, parent.get()));
            xml::FailAllocationsAfter(-1, false);
            EXPECT_TRUE(children == nullptr
                            ? parent->value != nullptr && parent->value == std::string(kSample)
                            : k == needed);
            XMLFreeString(parent->value);
            parent->value = nullptr;
        }
    }
    parent.reset();
    EXPECT_EQ(xml::TreeBlocksLive(), live);
}

TEST(XMLReader, LoadsAWholeFileUpToAZeroByte) {
    CTempDir dir;
    WriteFile(dir.File("config.xml"), std::string("\xEF\xBB\xBF") + kSample);
    WriteFile(dir.File("zero.xml"), std::string("<A>1</A>\0<B>2</B>", 17));
    WriteFile(dir.File("empty.xml"), "");
    const auto load = [&](const char* name) {
        return Dump(XMLTreePtr(XMLLoadFile(dir.File(name).c_str())).get());
    };
    EXPECT_EQ(load("config.xml"), Dump(Parse(kSample).get()));
    EXPECT_EQ(load("zero.xml") + load("empty.xml") + load("missing.xml") + load(""), "A=\"1\"");
    EXPECT_EQ(XMLLoadFile(nullptr), nullptr);
    // A file of 4 GiB less a byte, with room for its zero: more than a 32-bit process can hold.
    if (sizeof(std::size_t) == 4) {
        WriteFile(dir.File("huge.xml"), "");
        std::error_code error;
        std::filesystem::resize_file(dir.File("huge.xml"), 0xFFFFFFFFu, error);
        if (error) {
            GTEST_SKIP() << "file system refuses a sparse 4 GiB file";
        }
        EXPECT_EQ(XMLLoadFile(dir.File("huge.xml").c_str()), nullptr);
    }
}

} // namespace
} // namespace airvane::test
