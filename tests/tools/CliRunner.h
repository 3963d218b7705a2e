#pragma once

#include <string>
#include <utility>
#include <vector>

namespace airvane::test {

// What one run of the airvane command printed and returned.
struct stCliResult {
    int exitStatus = -1; // -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs the built airvane binary with `arguments`, feeding `input` to its standard input.
// The child inherits the environment (so a CScopedRegistry reaches it) plus `environment`.
stCliResult RunCli(const std::vector<std::string>& arguments, const std::string& input = std::string(),
                   const std::vector<std::pair<std::string, std::string>>& environment = {});

// Number of times `needle` occurs in `text`.
std::size_t CountOf(const std::string& text, const std::string& needle);

} // namespace airvane::test
