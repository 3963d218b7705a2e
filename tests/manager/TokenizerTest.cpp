#include "airvane/manager/Tokenizer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char kBlanks[] = "\t \r\n";

// Every token of `text` until nothing remains (at least one call).
std::vector<std::string> Tokens(const char* text, const char* delimiters) {
    const char* cursor = text;
    std::size_t remaining = std::strlen(text);
    char* buffer = nullptr;
    std::size_t capacity = 0;
    std::vector<std::string> tokens;
    do {
        EXPECT_EQ(NextToken(delimiters, kBlanks, cursor, remaining, buffer, capacity), 1);
        tokens.emplace_back(buffer);
    } while (remaining != 0);
    ReleaseTokenBuffer(buffer, capacity);
    return tokens;
}

using Strings = std::vector<std::string>;

TEST(NextTokenTest, SplitsAtEveryDelimiterAndTrimsBlanksAtBothEnds) {
    EXPECT_EQ(Tokens(" drv1.dll \t\"\r\n XP;2000 \n\"drv2.dll", "\""),
              (Strings{"drv1.dll", "XP;2000", "drv2.dll"}));
    EXPECT_EQ(Tokens("XP, 2000;98", ",;"), (Strings{"XP", "2000", "98"}));
    // Blanks inside a token stay.
    EXPECT_EQ(Tokens("  my driver.dll  ", "\""), (Strings{"my driver.dll"}));
    EXPECT_EQ(Tokens(" \t ", ","), (Strings{""}));
}

TEST(NextTokenTest, DelimiterPlacementDecidesOnEmptyTokens) {
    EXPECT_EQ(Tokens("a;;b", ";"), (Strings{"a", "", "b"}));
    EXPECT_EQ(Tokens(";a", ";"), (Strings{"", "a"}));
    // A final delimiter ends the scan without a further empty token.
    EXPECT_EQ(Tokens("a;", ";"), (Strings{"a"}));
    EXPECT_EQ(Tokens(";", ";"), (Strings{""}));
}

TEST(NextTokenTest, AdvancesCursorPastTheDelimiterOnly) {
    const char text[] = "ab;cd";
    const char* cursor = text;
    std::size_t remaining = 5;
    char* buffer = nullptr;
    std::size_t capacity = 0;
    ASSERT_EQ(NextToken(";", kBlanks, cursor, remaining, buffer, capacity), 1);
    EXPECT_EQ(cursor, text + 3);
    EXPECT_EQ(remaining, 2u);
    ASSERT_EQ(NextToken(";", kBlanks, cursor, remaining, buffer, capacity), 1);
    EXPECT_EQ(cursor, text + 5);
    EXPECT_EQ(remaining, 0u);
    EXPECT_STREQ(buffer, "cd");
    // Once nothing remains every call gives an empty token and moves nothing.
    ASSERT_EQ(NextToken(";", kBlanks, cursor, remaining, buffer, capacity), 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(cursor, text + 5);
    EXPECT_EQ(remaining, 0u);
    ReleaseTokenBuffer(buffer, capacity);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(capacity, 0u);
}

TEST(NextTokenTest, ScansOnlyTheRemainingCount) {
    const char text[] = "abcdef;gh";
    const char* cursor = text;
    std::size_t remaining = 3;
    char* buffer = nullptr;
    std::size_t capacity = 0;
    ASSERT_EQ(NextToken(";", kBlanks, cursor, remaining, buffer, capacity), 1);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(cursor, text + 3);
    ReleaseTokenBuffer(buffer, capacity);
}

TEST(NextTokenTest, ReusesTheBufferUntilALongerTokenComes) {
    const char text[] = "abcdef;ab;abcdefgh";
    const char* cursor = text;
    std::size_t remaining = std::strlen(text);
    char* buffer = nullptr;
    std::size_t capacity = 0;

    ASSERT_EQ(NextToken(";", kBlanks, cursor, remaining, buffer, capacity), 1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(capacity, 6u);
    char* const first = buffer;

    ASSERT_EQ(NextToken(";", kBlanks, cursor, remaining, buffer, capacity), 1);
    EXPECT_EQ(buffer, first);
    EXPECT_EQ(capacity, 6u);
    // The whole reused buffer is cleared before the shorter token is copied in.
    EXPECT_EQ(std::string(buffer, capacity + 1), std::string("ab\0\0\0\0\0", 7));

    ASSERT_EQ(NextToken(";", kBlanks, cursor, remaining, buffer, capacity), 1);
    EXPECT_EQ(capacity, 8u);
    EXPECT_STREQ(buffer, "abcdefgh");
    ReleaseTokenBuffer(buffer, capacity);
}

TEST(NextTokenTest, AnEmptyFirstTokenStillGetsABuffer) {
    const char* cursor = "";
    std::size_t remaining = 0;
    char* buffer = nullptr;
    std::size_t capacity = 0;
    ASSERT_EQ(NextToken(";", kBlanks, cursor, remaining, buffer, capacity), 1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(capacity, 0u);
    EXPECT_STREQ(buffer, "");
    ReleaseTokenBuffer(buffer, capacity);
}

} // namespace
