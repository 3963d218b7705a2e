// End-to-end tests of the airvane command-line host: they run the built binary, which loads the
// simulated adapter plug-in, supplicant and key-renewal modules from its own folder, against
// worlds written to temporary folders. The commands and what they must print are in cases/.

#include "airvane/system/Registry.h"
#include "tests/support/CaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sqlite3.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace airvane::test {
namespace {

struct stCliResult {
    int exitStatus = -1; // -1 when the process did not exit normally
    std::string out;
    std::string err;
};

#if defined(_WIN32)
// One argument of a command line as the C runtime splits it again: in quotes when it is empty or
// holds a blank or a quote; a quote inside is escaped, and so are the backslashes before a quote.
std::string QuotedArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        return argument;
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}
#endif

// Runs the built binary with `arguments` and `input` on its standard input. The streams go
// through files, so a chatty child never blocks on a full pipe; the environment is inherited
// (and with it, on POSIX systems, the scoped registry store).
stCliResult RunCli(std::vector<std::string> arguments, const std::string& input = std::string()) {
    CTempDir streams;
    WriteFile(streams.File("in"), input);
#if defined(_WIN32)
    std::string command = QuotedArgument(AIRVANE_CLI_PATH);
    for (const std::string& argument : arguments) {
        command += " " + QuotedArgument(argument);
    }
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const auto open = [&](const char* name, DWORD access, DWORD disposition) {
        return ::CreateFileA(streams.File(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherited, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open("in", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = open("out", GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = open("err", GENERIC_WRITE, CREATE_ALWAYS);
    stCliResult result;
    PROCESS_INFORMATION process{};
    if (::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                         &process)) {
        DWORD status = 0;
        ::WaitForSingleObject(process.hProcess, INFINITE);
        if (::GetExitCodeProcess(process.hProcess, &status)) {
            result.exitStatus = static_cast<int>(status);
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    for (HANDLE stream : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        ::CloseHandle(stream);
    }
    result.out = ReadFile(streams.File("out"));
    result.err = ReadFile(streams.File("err"));
    return result;
#else
    arguments.insert(arguments.begin(), AIRVANE_CLI_PATH);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    stCliResult result;
    result.exitStatus = RunInChild([&] {
        if (std::freopen(streams.File("in").c_str(), "r", stdin) == nullptr ||
            std::freopen(streams.File("out").c_str(), "w", stdout) == nullptr ||
            std::freopen(streams.File("err").c_str(), "w", stderr) == nullptr) {
            return 126;
        }
        ::execv(argv[0], argv.data());
        return 127; // not started
    });
    result.out = ReadFile(streams.File("out"));
    result.err = ReadFile(streams.File("err"));
    return result;
#endif
}

std::size_t CountOf(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (std::size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) {
        ++count;
    }
    return count;
}

std::string Describe(const stCliResult& result) {
    return "exit " + std::to_string(result.exitStatus) + "\nstdout:\n" + result.out + "stderr:\n" +
           result.err;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A connect command with fast polling; `words` name the adapter, the SSID and the security.
std::vector<std::string> Connect(const std::string& words, const std::string& secret,
                                 const std::string& extra = std::string()) {
    std::vector<std::string> arguments = SplitText("connect " + words, ' ');
    arguments.push_back(secret);
    for (const std::string& word : SplitText("--poll-interval 1 --timeout 5 " + extra, ' ')) {
        arguments.push_back(word);
    }
    return arguments;
}

constexpr const char* kPlusKey = "00112233445566778899AABBCC";
constexpr const char* kDefaultKeyPath = "HKEY_CURRENT_USER\\Software\\Airvane\\WepPlus";
// Registry value of sim1's last generated key: address 02 00 00 00 00 11 interleaved with "stick".
constexpr const char* kStickValue = "0273007400690063006B11";

class AirvaneCliTest : public ::testing::Test {
protected:
    void SetUp() override { WriteWorld(m_standardWorld); }
    void WriteWorld(const std::string& text) { WriteFile(m_world.File("WLANInterfaces.xml"), text); }

    // Runs the command in the world's folder unless it names another one.
    stCliResult Run(std::vector<std::string> arguments, const std::string& input = std::string()) {
        if (std::find(arguments.begin(), arguments.end(), "-C") == arguments.end()) {
            arguments.insert(arguments.begin(), {"-C", m_world.Path()});
        }
        return RunCli(arguments, input);
    }

    // The key stored under `path` for sim1; empty when there is none.
    std::vector<unsigned char> StoredKey(const char* path) {
        unsigned char bytes[32] = {};
        std::uint32_t size = sizeof bytes;
        const bool found = RegistryGetBinary(path, kStickValue, bytes, size) != 0;
        return std::vector<unsigned char>(bytes, bytes + (found ? size : 0));
    }

    // A connect that the access point refuses to renew, then two that it renews, each with
    // `keyPath` added (where the CLI stores keys): nothing is stored for the first, a fresh
    // key under `path` (as this process reads the registry) for each of the others. Returns
    // the last key stored.
    std::vector<unsigned char> CheckRenewals(const char* path, const std::vector<std::string>& keyPath) {
        EXPECT_TRUE(StoredKey(path).empty()) << "nothing stored yet";
        std::vector<std::string> refused = {"connect",   "sim1",  "--ssid",          "Stubborn",
                                            "--timeout", "0.3",   "--poll-interval", "5",
                                            "--wepplus", kPlusKey};
        refused.insert(refused.end(), keyPath.begin(), keyPath.end());
        stCliResult result = Run(refused);
        EXPECT_EQ(result.exitStatus, 5) << Describe(result);
        EXPECT_NE(result.out.find("security: WEP Plus not keyed"), std::string::npos) << result.out;
        EXPECT_NE(result.err.find("timed out"), std::string::npos) << result.err;
        EXPECT_TRUE(StoredKey(path).empty());

        std::vector<std::string> renewed = Connect("sim1 --ssid Plus --wepplus", kPlusKey);
        renewed.insert(renewed.end(), keyPath.begin(), keyPath.end());
        result = Run(renewed);
        EXPECT_EQ(result.exitStatus, 0) << Describe(result);
        EXPECT_NE(result.out.find("security: WEP Plus keyed"), std::string::npos) << result.out;
        const std::vector<unsigned char> first = StoredKey(path);
        EXPECT_EQ(first.size(), 13u) << "same length as the 104-bit initial key";
        EXPECT_NE(first, (std::vector<unsigned char>{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                                                     0x99, 0xAA, 0xBB, 0xCC}));
        EXPECT_EQ(Run(renewed).exitStatus, 0);
        std::vector<unsigned char> second = StoredKey(path);
        EXPECT_EQ(second.size(), 13u);
        EXPECT_NE(second, first) << "a second session agrees another key";
        return second;
    }

    std::string Expand(const std::string& text) const {
        return Replace(Replace(text, "{dir}", m_world.Path()), "{modules}", ExecutableDir());
    }

    // A text the output must hold. Windows gives folders with its own separator, so there the
    // output and the expected texts both compare with "\\" read as "/".
    std::string Expected(const std::string& text) const {
#if defined(_WIN32)
        return Replace(Expand(text), "\\", "/");
#else
        return Expand(text);
#endif
    }

    // One run of a case of cases/commands.txt, which describes the fields.
    void Check(const stCase& c, const std::vector<std::string>& arguments) {
        const auto start = std::chrono::steady_clock::now();
        stCliResult result = Run(arguments, c.Get("stdin"));
#if defined(_WIN32)
        for (std::string* text : {&result.out, &result.err}) { // written in text mode
            *text = Replace(Replace(*text, "\r\n", "\n"), "\\", "/");
        }
#endif
        EXPECT_LT(std::chrono::steady_clock::now() - start,
                  std::chrono::seconds(std::stoi(c.Get("seconds-under", "600"))));
        const int exitStatus = std::stoi(c.Get("status"));
        EXPECT_EQ(result.exitStatus, exitStatus) << Describe(result);
        if (exitStatus == 2) { // usage errors are explained and connect nothing
            EXPECT_FALSE(result.err.empty());
            EXPECT_EQ(result.out.find("Connecting"), std::string::npos) << result.out;
        }
        if (std::find(arguments.begin(), arguments.end(), "--json") != arguments.end()) {
            const std::vector<std::string> lines = SplitText(result.out, '\n');
            EXPECT_EQ(lines.size(), std::stoul(c.Get("documents", "1"))) << result.out;
            for (const std::string& line : lines) { // each a whole document, whatever the outcome
                EXPECT_EQ(line.rfind("{\"ok\":", 0), 0u) << line;
                EXPECT_EQ(line.back(), '}') << line;
            }
        }
        EXPECT_EQ(result.out, Expected(c.Get("out-is", result.out)));
        EXPECT_EQ(result.out.rfind(Expected(c.Get("out-starts")), 0), 0u) << result.out;
        std::size_t from = 0;
        for (const std::string& text : c.All("out")) {
            const std::size_t at = result.out.find(Expected(text), from);
            EXPECT_NE(at, std::string::npos) << "missing or out of order: " << text << "\n" << result.out;
            from = at == std::string::npos ? from : at + Expected(text).size();
        }
        for (const std::string& text : c.All("err")) {
            EXPECT_NE(result.err.find(Expected(text)), std::string::npos) << text << "\n" << result.err;
        }
        for (const std::string& text : c.All("not")) {
            EXPECT_EQ((result.out + result.err).find(Expected(text)), std::string::npos) << text << "\n"
                                                                                         << Describe(result);
        }
        for (const std::string& text : c.All("once")) {
            EXPECT_EQ(CountOf(result.out, Expected(text)), 1u) << text << "\n" << result.out;
        }
    }

    const std::string m_standardWorld = ReadFile(std::string(AIRVANE_CLI_CASES) + "/world.xml");
    CTempDir m_world;
    CScopedRegistry m_registry;
};

TEST_F(AirvaneCliTest, CommandsExitStatusesAndTexts) {
    ASSERT_FALSE(m_standardWorld.empty());
    for (const stCase& c : ReadCases(std::string(AIRVANE_CLI_CASES) + "/commands.txt")) {
        SCOPED_TRACE(c.name);
        WriteWorld(c.All("world").empty() ? m_standardWorld : Expand(c.Get("world")));
        std::vector<std::unique_ptr<CScopedEnv>> environment;
        std::vector<std::vector<std::string>> runs;
        for (const stCaseField& field : c.fields) {
            const std::size_t equals = field.value.find('=');
            if (field.key == "file") {
                std::filesystem::create_directories(
                    std::filesystem::path(m_world.File(field.value)).parent_path());
                WriteFile(m_world.File(field.value), field.text);
            } else if (field.key == "env") {
                environment.push_back(std::make_unique<CScopedEnv>(field.value.substr(0, equals).c_str(),
                                                                   field.value.substr(equals + 1).c_str()));
            } else if (field.key == "run") {
                runs.push_back(SplitText(Expand(field.value), ' '));
            } else if (field.key == "arg") {
                runs.back().push_back(field.value);
            }
        }
        for (const std::vector<std::string>& arguments : runs) {
            Check(c, arguments);
        }
    }
}

#if defined(_WIN32)
// The started CLI writes to the real registry, so it is given a key path inside the scope's.
TEST_F(AirvaneCliTest, WepPlusRenewalStoresAFreshKeyEachSessionInTheSystemRegistry) {
    CheckRenewals("HKEY_CURRENT_USER\\Software\\Test\\Keys",
                  {"--wepplus-key-path", m_registry.UserPathForChildren("Software\\Test\\Keys")});
}
#else
// The scoped registry reaches a started program only through the store file's environment
// variable, which the Windows backend does not read.
TEST_F(AirvaneCliTest, WepPlusRenewalStoresAFreshKeyEachSession) {
    const std::vector<unsigned char> second = CheckRenewals(kDefaultKeyPath, {});

    // With another key path the key goes there and the default place keeps the previous key.
    const char* path = "HKEY_LOCAL_MACHINE\\Software\\Test\\Keys";
    EXPECT_TRUE(StoredKey(path).empty());
    ASSERT_EQ(Run(Connect("sim1 --ssid Plus --wepplus", kPlusKey, std::string("--wepplus-key-path ") + path))
                  .exitStatus,
              0);
    const std::vector<unsigned char> third = StoredKey(path);
    EXPECT_EQ(third.size(), 13u);
    EXPECT_NE(third, second);
    EXPECT_EQ(StoredKey(kDefaultKeyPath), second);
}

TEST_F(AirvaneCliTest, WepPlusKeyStoreThatCannotBeWrittenFailsTheConnect) {
    const std::vector<std::string> connect = Connect("sim1 --ssid Plus --wepplus", kPlusKey);
    // A store file that is no store.
    WriteFile(m_registry.Path(), "not a database\n");
    stCliResult result = Run(connect);
    EXPECT_EQ(result.exitStatus, 7) << Describe(result);
    EXPECT_NE(result.err.find("the WEP Plus key store cannot be written"), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("Connected"), std::string::npos) << result.out;
    // A store another process holds locked: one busy timeout, then the failure.
    std::remove(m_registry.Path().c_str());
    ASSERT_EQ(Run(connect).exitStatus, 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(m_registry.Path().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto start = std::chrono::steady_clock::now();
    result = Run(connect);
    const auto waited = std::chrono::steady_clock::now() - start;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(result.exitStatus, 7) << Describe(result);
    EXPECT_EQ(result.out.find("Connected"), std::string::npos) << result.out;
    EXPECT_LT(waited, std::chrono::seconds(9)) << "a locked store must not cost a busy timeout per step";
}
#endif

} // namespace
} // namespace airvane::test
