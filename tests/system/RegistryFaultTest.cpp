// The registry store under faults: writers killed in the middle of a write, and writers
// racing each other from separate processes.
#include "airvane/system/Registry.h"

#include "tests/platform/RegistryStoreAccess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
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
    return "gen" + std::to_string(generation) + ":" + ValueName(index) + ":" +
           std::string(200, static_cast<char>('a' + generation % 26));
}

// Writes one generation of every value; returns the number of failed writes.
int WriteGeneration(unsigned generation) {
    int failures = 0;
    for (int i = 0; i < kValues; ++i) {
        failures += RegistrySetString(kKeyPath, ValueName(i).c_str(), Content(i, generation).c_str()) != 1;
    }
    return failures;
}

// Every value reads back as one complete generation.
void ExpectEveryValueComplete(const std::string& when) {
    for (int i = 0; i < kValues; ++i) {
        std::string text;
        EXPECT_EQ(RegistryGetString(kKeyPath, ValueName(i).c_str(), text), 1) << when << ", " << ValueName(i);
        const unsigned long generation =
            text.rfind("gen", 0) == 0 ? std::strtoul(text.c_str() + 3, nullptr, 10) : 0;
        EXPECT_EQ(text, Content(i, static_cast<unsigned>(generation))) << when << ": torn value";
    }
}

// Starts `body` in a child process that exits with its result.
pid_t StartChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body());
    }
    return pid;
}

TEST(RegistryFaults, WriterKilledMidWriteLeavesOldOrNewContent) {
    CScopedRegistry store;
    ASSERT_EQ(WriteGeneration(0), 0);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayMs(1, 25);
    for (int round = 0; round < 30; ++round) {
        const pid_t writer = StartChild([] {
            for (unsigned generation = 1;; ++generation) {
                WriteGeneration(generation);
            }
            return 0;
        });
        ASSERT_GT(writer, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        ::kill(writer, SIGKILL);
        int status = 0;
        ::waitpid(writer, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        ExpectEveryValueComplete("round " + std::to_string(round));
    }
    // The store still takes writes after all the interrupted ones.
    EXPECT_EQ(RegistrySetString(kKeyPath, "After", "ok"), 1);
    std::string after;
    EXPECT_EQ(RegistryGetString(kKeyPath, "After", after), 1);
    EXPECT_EQ(after, "ok");
}

// Two processes start together on a store that does not exist yet: both race to make it and
// its keys, write the same values over each other, and each adds values of its own.
TEST(RegistryFaults, ConcurrentWritersLoseNoCompleteWriteAndMakeNoKeyTwice) {
    CScopedRegistry store;
    constexpr int kWriters = 2;
    constexpr int kRounds = 60;
    constexpr int kSubKeys = 6;
    const auto ownKey = [](int round) {
        return std::string(kKeyPath) + "\\Sub" + std::to_string(round % kSubKeys);
    };
    const auto ownName = [](int w, int round) {
        return "Writer" + std::to_string(w) + "_" + std::to_string(round);
    };
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(StartChild([&, w] {
            ::close(gate[1]);
            char start;
            (void)!::read(gate[0], &start, 1); // returns when the parent closes the pipe
            int failures = 0;
            for (int round = 0; round < kRounds; ++round) {
                failures += WriteGeneration(static_cast<unsigned>(round * kWriters + w));
                const std::string own = ownName(w, round);
                failures += RegistrySetString(ownKey(round).c_str(), own.c_str(), own.c_str()) != 1;
            }
            return failures == 0 ? 0 : 1;
        }));
        ASSERT_GT(writers.back(), 0);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t pid : writers) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer saw a failed write";
    }
    ExpectEveryValueComplete("after both writers");
    for (int w = 0; w < kWriters; ++w) {
        for (int round = 0; round < kRounds; ++round) {
            std::string text;
            EXPECT_EQ(RegistryGetString(ownKey(round).c_str(), ownName(w, round).c_str(), text), 1);
            EXPECT_EQ(text, ownName(w, round)) << "lost";
        }
    }
    // The root key, Software, Airvane, Faults and its subkeys, each made once.
    EXPECT_EQ(airvane::test::InspectStore(store.Path(), "SELECT count(*) FROM reg_key"),
              std::vector<std::string>{std::to_string(4 + kSubKeys)});
}

} // namespace
