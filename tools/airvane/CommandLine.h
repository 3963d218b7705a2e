#pragma once

#include <istream>

namespace airvane::cli {

// Runs the airvane command line: parses the arguments, changes folder (-C), and runs one
// command or, with `shell`, every command read from `input`. Returns the exit status.
int RunCommandLine(int argc, const char* const* argv, std::istream& input);

} // namespace airvane::cli
