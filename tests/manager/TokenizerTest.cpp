#include "airvane/manager/internal/Tokenizer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
constexpr const char kBlanks[] = "\t \r\n";

// Scans the first `length` bytes of `text` with NextToken, keeping the cursor and buffer.
struct stScan {
    stScan(const char* text, std::size_t length) : start(text), cursor(text), remaining(length) {}
    ~stScan() { ReleaseTokenBuffer(buffer, capacity); }
    std::string Next(const char* delimiters) {
        EXPECT_EQ(NextToken(delimiters, kBlanks, cursor, remaining, buffer, capacity), 1);
        return buffer != nullptr ? buffer : "<null>";
    }
    // Every token until nothing remains (at least one call).
    Strings All(const char* delimiters) {
        Strings tokens{Next(delimiters)};
        while (remaining != 0) {
            tokens.push_back(Next(delimiters));
        }
        return tokens;
    }
    const char* start;
    const char* cursor;
    std::size_t remaining;
    char* buffer = nullptr;
    std::size_t capacity = 0;
};

TEST(NextTokenTest, SplitsAtEveryDelimiterAndTrimsBlanksAtBothEnds) {
    const struct {
        const char* text;
        const char* delimiters;
        Strings tokens;
    } cases[] = {
        {" drv1.dll \t\"\r\n XP;2000 \n\"drv2.dll", "\"", {"drv1.dll", "XP;2000", "drv2.dll"}},
        {"XP, 2000;98", ",;", {"XP", "2000", "98"}},
        {"  my driver.dll  ", "\"", {"my driver.dll"}}, // blanks inside a token stay
        {" \t ", ",", {""}},
        {"a;;b", ";", {"a", "", "b"}},
        {";a", ";", {"", "a"}},
        {"a;", ";", {"a"}}, // a final delimiter ends the scan without a further empty token
        {";", ";", {""}},
        {"", ";", {""}}, // an empty first token still gets a buffer
    };
    for (const auto& c : cases) {
        stScan scan(c.text, std::strlen(c.text));
        EXPECT_EQ(scan.All(c.delimiters), c.tokens) << '"' << c.text << '"';
        EXPECT_NE(scan.buffer, nullptr);
    }
}

// Each call gives a token and leaves the cursor past its delimiter, within the remaining count;
// once nothing remains every call gives an empty token and moves nothing.
TEST(NextTokenTest, AdvancesPastTheDelimiterWithinTheRemainingCountOnly) {
    const struct {
        const char* text;
        std::size_t length;
        Strings tokens;
        std::vector<std::size_t> offsets;
    } cases[] = {{"ab;cd;ef", 5, {"ab", "cd", ""}, {3, 5, 5}}, {"abcdef;gh", 3, {"abc"}, {3}}};
    for (const auto& c : cases) {
        stScan scan(c.text, c.length);
        for (std::size_t i = 0; i < c.tokens.size(); ++i) {
            EXPECT_EQ(scan.Next(";"), c.tokens[i]) << c.text << " #" << i;
            EXPECT_EQ(scan.cursor, scan.start + c.offsets[i]);
            EXPECT_EQ(scan.remaining, c.length - c.offsets[i]);
        }
    }
    stScan scan("ab", 2);
    scan.Next(";");
    ReleaseTokenBuffer(scan.buffer, scan.capacity);
    EXPECT_EQ(scan.buffer, nullptr);
    EXPECT_EQ(scan.capacity, 0u);
}

TEST(NextTokenTest, ReusesTheBufferUntilALongerTokenComes) {
    stScan scan("abcdef;ab;abcdefgh", 18);
    EXPECT_EQ(scan.Next(";"), "abcdef");
    EXPECT_EQ(scan.capacity, 6u);
    char* const first = scan.buffer;
    EXPECT_EQ(scan.Next(";"), "ab");
    EXPECT_EQ(scan.buffer, first);
    EXPECT_EQ(scan.capacity, 6u);
    // The whole reused buffer is cleared before the shorter token is copied in.
    EXPECT_EQ(std::string(scan.buffer, scan.capacity + 1), std::string("ab\0\0\0\0\0", 7));
    EXPECT_EQ(scan.Next(";"), "abcdefgh");
    EXPECT_EQ(scan.capacity, 8u);
    stScan empty("", 0);
    EXPECT_EQ(empty.Next(";"), "");
    EXPECT_EQ(empty.capacity, 0u);
}

} // namespace
