#include "airvane/manager/internal/Tokenizer.h"

#include "tests/support/CaseFile.h"

#include <gtest/gtest.h>

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
    for (const airvane::test::stCase& c : airvane::test::ReadCases(AIRVANE_MANAGER_CASES "/tokens.txt")) {
        const std::string text = c.Get("text");
        stScan scan(text.c_str(), text.size());
        EXPECT_EQ(scan.All(c.Get("delimiters").c_str()), c.All("token")) << c.name;
        EXPECT_NE(scan.buffer, nullptr);
    }
}

TEST(NextTokenTest, AdvancesPastTheDelimiterWithinTheRemainingCountOnly) {
    stScan scan("ab;cd;ef", 5);
    EXPECT_EQ(scan.Next(";"), "ab");
    EXPECT_EQ(scan.cursor, scan.start + 3);
    EXPECT_EQ(scan.remaining, 2u);
    EXPECT_EQ(scan.Next(";"), "cd");
    EXPECT_EQ(scan.cursor, scan.start + 5);
    EXPECT_EQ(scan.remaining, 0u);
    // Once nothing remains every call gives an empty token and moves nothing.
    EXPECT_EQ(scan.Next(";"), "");
    EXPECT_EQ(scan.cursor, scan.start + 5);
    EXPECT_EQ(scan.remaining, 0u);
    ReleaseTokenBuffer(scan.buffer, scan.capacity);
    EXPECT_EQ(scan.buffer, nullptr);
    EXPECT_EQ(scan.capacity, 0u);
    stScan cut("abcdef;gh", 3);
    EXPECT_EQ(cut.Next(";"), "abc");
    EXPECT_EQ(cut.remaining, 0u);
    EXPECT_EQ(cut.cursor, cut.start + 3);
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
