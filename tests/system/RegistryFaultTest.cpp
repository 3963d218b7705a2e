// The registry store under faults: writers killed in the middle of a write, and writers
// racing each other from separate processes.
#include "airvane/system/Registry.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using airvane::test::CScopedRegistry;

constexpr const char* kKeyPath = "HKEY_CURRENT_USER\\Software\\Airvane\\Faults";
constexpr int kValues = 8;

std::string ValueName(int index) {
    return "Value" + std::to_string(index);
}

// Content of generation `generation` of a value: long enough that a torn write would show,
// and self-describing so that a reader can tell a complete one.
std::string Content(int index, unsigned generation) {
    const std::string head = "gen" + std::to_string(generation) + ":" + ValueName(index) + ":";
    return head + std::string(200, static_cast<char>('a' + generation % 26));
}

bool IsCompleteContent(int index, const std::string& text) {
    const std::size_t colon = text.find(':');
    if (text.rfind("gen", 0) != 0 || colon == std::string::npos) {
        return false;
    }
    const unsigned generation = static_cast<unsigned>(std::stoul(text.substr(3, colon - 3)));
    return text == Content(index, generation);
}

// Writes every value over and over with growing generations until killed.
[[noreturn]] void WriteForever() {
    for (unsigned generation = 1;; ++generation) {
        for (int i = 0; i < kValues; ++i) {
            RegistrySetString(kKeyPath, ValueName(i).c_str(), Content(i, generation).c_str());
        }
    }
}

TEST(RegistryFaults, WriterKilledMidWriteLeavesOldOrNewContent) {
    CScopedRegistry store;
    for (int i = 0; i < kValues; ++i) {
        ASSERT_EQ(RegistrySetString(kKeyPath, ValueName(i).c_str(), Content(i, 0).c_str()), 1);
    }
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayMs(1, 25);
    for (int round = 0; round < 30; ++round) {
        std::fflush(nullptr);
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            WriteForever();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        ::kill(writer, SIGKILL);
        int status = 0;
        ::waitpid(writer, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));

        for (int i = 0; i < kValues; ++i) {
            std::string text;
            ASSERT_EQ(RegistryGetString(kKeyPath, ValueName(i).c_str(), text), 1)
                << "round " << round << ", " << ValueName(i);
            EXPECT_TRUE(IsCompleteContent(i, text)) << "round " << round << ": torn value " << text;
        }
    }
    // The store still takes writes after all the interrupted ones.
    EXPECT_EQ(RegistrySetString(kKeyPath, "After", "ok"), 1);
    std::string after;
    EXPECT_EQ(RegistryGetString(kKeyPath, "After", after), 1);
    EXPECT_EQ(after, "ok");
}

TEST(RegistryFaults, ConcurrentWritersOfTheSameValuesLoseNoCompleteWrite) {
    CScopedRegistry store;
    ASSERT_EQ(RegistrySetString(kKeyPath, "Seed", "1"), 1);
    constexpr int kWriters = 2;
    constexpr int kRounds = 60;
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (unsigned round = 0; round < kRounds; ++round) {
                // Both writers write the same names; each also keeps a value of its own.
                const unsigned generation = round * kWriters + static_cast<unsigned>(w);
                for (int i = 0; i < kValues; ++i) {
                    failures += RegistrySetString(kKeyPath, ValueName(i).c_str(),
                                                  Content(i, generation).c_str()) != 1;
                }
                const std::string own = "Writer" + std::to_string(w) + "_" + std::to_string(round);
                failures += RegistrySetString(kKeyPath, own.c_str(), "done") != 1;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        writers.push_back(pid);
    }
    for (pid_t pid : writers) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer saw a failed write";
    }
    for (int i = 0; i < kValues; ++i) {
        std::string text;
        ASSERT_EQ(RegistryGetString(kKeyPath, ValueName(i).c_str(), text), 1);
        EXPECT_TRUE(IsCompleteContent(i, text)) << text;
    }
    for (int w = 0; w < kWriters; ++w) {
        for (int round = 0; round < kRounds; ++round) {
            std::string text;
            const std::string own = "Writer" + std::to_string(w) + "_" + std::to_string(round);
            EXPECT_EQ(RegistryGetString(kKeyPath, own.c_str(), text), 1) << own << " was lost";
        }
    }
}

} // namespace
