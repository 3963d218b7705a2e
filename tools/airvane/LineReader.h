#pragma once

#include <istream>
#include <string>

namespace airvane::cli {

// Reads the shell's command lines: with line editing and history when the input is an
// interactive terminal and the build has a line-editing library, else line by line.
class CLineReader {
public:
    CLineReader(std::istream& input, bool interactive);
    CLineReader(const CLineReader&) = delete;
    CLineReader& operator=(const CLineReader&) = delete;

    // One line without its end; false at end of input.
    bool Read(const char* prompt, std::string& line);

private:
    std::istream& m_input;
    bool m_interactive;
};

} // namespace airvane::cli
