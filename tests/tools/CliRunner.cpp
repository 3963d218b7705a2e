#include "tests/tools/CliRunner.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace airvane::test {

stCliResult RunCli(const std::vector<std::string>& arguments, const std::string& input,
                   const std::vector<std::pair<std::string, std::string>>& environment) {
    // Standard streams go through files, so a chatty child can never block on a full pipe.
    CTempDir streams;
    const std::string inPath = streams.File("stdin");
    const std::string outPath = streams.File("stdout");
    const std::string errPath = streams.File("stderr");
    WriteFile(inPath, input);

    std::vector<std::string> argStorage;
    argStorage.emplace_back(AIRVANE_CLI_PATH);
    argStorage.insert(argStorage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : argStorage) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> envStorage;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        envStorage.emplace_back(*entry);
    }
    for (const auto& [name, value] : environment) {
        envStorage.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& entry : envStorage) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);

    stCliResult result;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << AIRVANE_CLI_PATH;
        return result;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

std::size_t CountOf(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (std::size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) {
        ++count;
    }
    return count;
}

} // namespace airvane::test
