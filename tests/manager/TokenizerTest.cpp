#include "airvane/manager/internal/Tokenizer.h"

#include "tests/support/CaseFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// One NextToken call per "token" of the case; its "after" lines give the cursor offset, the
// remaining count and the buffer capacity after each call. Whatever the case, the buffer only
// moves when it grows and is zeroed past the token, and nothing remains after the last token.
TEST(NextTokenTest, CutsTokensAdvancesWithinTheCountAndReusesTheBuffer) {
    for (const airvane::test::stCase& c : airvane::test::ReadCases(AIRVANE_MANAGER_CASES "/tokens.txt")) {
        SCOPED_TRACE(c.name);
        const std::string text = c.Get("text");
        const char* cursor = text.c_str();
        std::size_t remaining = std::stoul(c.Get("length", std::to_string(text.size())));
        char* buffer = nullptr;
        std::size_t capacity = 0;
        const std::vector<std::string> tokens = c.All("token"), after = c.All("after");
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            char* const before = buffer;
            const std::size_t held = capacity;
            ASSERT_EQ(NextToken(c.Get("delimiters").c_str(), "\t \r\n", cursor, remaining, buffer, capacity),
                      1);
            ASSERT_NE(buffer, nullptr);
            EXPECT_EQ(buffer, tokens[i]);
            EXPECT_EQ(std::string(buffer, capacity + 1),
                      tokens[i] + std::string(capacity + 1 - tokens[i].size(), '\0'));
            EXPECT_TRUE(capacity != held || buffer == before || before == nullptr) << tokens[i];
            if (i < after.size()) {
                EXPECT_EQ(std::to_string(cursor - text.c_str()) + " " + std::to_string(remaining) + " " +
                              std::to_string(capacity),
                          after[i]);
            }
        }
        EXPECT_EQ(remaining, 0u);
        ReleaseTokenBuffer(buffer, capacity);
        EXPECT_EQ(buffer, nullptr);
        EXPECT_EQ(capacity, 0u);
    }
}

} // namespace
