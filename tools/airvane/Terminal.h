#pragma once

#include <string>

// The few terminal services the command line needs, one implementation per platform.
namespace airvane::cli {

// True when standard input is an interactive terminal.
bool StdinIsTerminal();
// Prints `prompt` on standard error and reads one line from standard input with echo turned
// off (a pass phrase typed at the terminal stays off the screen). False at end of input.
bool ReadHiddenLine(const std::string& prompt, std::string& line);

} // namespace airvane::cli
