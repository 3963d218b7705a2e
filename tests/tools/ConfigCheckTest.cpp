// config check on large documents: output linear in their size, with the usual texts.

#include "tools/airvane/ConfigCheck.h"
#include "airvane/xml/XMLReader.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace airvane::test {
namespace {

std::string Repeat(const std::string& text, std::size_t count) {
    std::string out;
    while (out.size() < text.size() * count) {
        out += text;
    }
    return out;
}

TEST(AirvaneCliConfigCheck, DeepTreesAndManyStrayTagsGiveLinearOutput) {
    constexpr std::size_t kLevels = 5000;
    CTempDir dir;
    WriteFile(dir.File("deep.xml"), Repeat("<a>", kLevels) + Repeat("</a>", kLevels));
    stXMLNode* root = XMLLoadFile(dir.File("deep.xml").c_str());
    const std::string tree = cli::DescribeTree(root);
    XMLFreeTree(root);
    EXPECT_LT(tree.size(), kLevels * 100) << "indented two spaces per level it would be 25 MB";
    EXPECT_NE(tree.find("\n" + std::string(64, ' ') + "[depth 4999] <a>\n"), std::string::npos);

    const auto traps = cli::FindReaderTraps(Repeat("<a>", kLevels) + Repeat("</b>", kLevels));
    ASSERT_EQ(traps.size(), 2 * kLevels);
    EXPECT_EQ(traps.front().text, "<a> is never closed: the reader drops it");
    EXPECT_EQ(traps.back().column, 7 * kLevels - 3);
    const auto inner = cli::FindReaderTraps("<a><b><a><c></b></a>");
    ASSERT_EQ(inner.size(), 2u);
    EXPECT_EQ(inner[0].column, 7u);
    EXPECT_EQ(inner[1].text,
              "<c> is not closed before </b>: the reader drops it or reads it with no content");
}

} // namespace
} // namespace airvane::test
