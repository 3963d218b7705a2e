#include "tools/airvane/LineReader.h"

#include <cstdlib>
#include <iostream>

#ifdef AIRVANE_HAVE_LIBEDIT
#include <editline/readline.h>
#endif

namespace airvane::cli {

CLineReader::CLineReader(std::istream& input, bool interactive)
    : m_input(input), m_interactive(interactive) {}

bool CLineReader::Read(const char* prompt, std::string& line) {
#ifdef AIRVANE_HAVE_LIBEDIT
    if (m_interactive) {
        char* read = ::readline(prompt);
        if (read == nullptr) {
            return false;
        }
        line = read;
        std::free(read);
        if (!line.empty()) {
            ::add_history(line.c_str());
        }
        return true;
    }
#endif
    if (m_interactive) {
        std::cout << prompt << std::flush;
    }
    return static_cast<bool>(std::getline(m_input, line));
}

} // namespace airvane::cli
