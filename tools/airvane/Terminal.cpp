#include "tools/airvane/Terminal.h"

#include <iostream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace airvane::cli {

namespace {

#ifdef _WIN32
struct stTerminalMode {
    HANDLE input = nullptr;
    DWORD mode = 0;
};

// Saves the console's input mode and turns echo off; false when standard input is no console.
bool SilenceEcho(stTerminalMode& saved) {
    saved.input = ::GetStdHandle(STD_INPUT_HANDLE);
    return ::GetConsoleMode(saved.input, &saved.mode) != 0 &&
           ::SetConsoleMode(saved.input, saved.mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
}

void RestoreEcho(const stTerminalMode& saved) {
    ::SetConsoleMode(saved.input, saved.mode);
}
#else
struct stTerminalMode {
    termios mode{};
};

// Saves the terminal's settings and turns echo off; false when standard input is no terminal.
bool SilenceEcho(stTerminalMode& saved) {
    if (::tcgetattr(STDIN_FILENO, &saved.mode) != 0) {
        return false;
    }
    termios quiet = saved.mode;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    return ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
}

void RestoreEcho(const stTerminalMode& saved) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved.mode);
}
#endif

// Turns terminal echo off for its lifetime (when standard input is a terminal).
class CEchoOff {
public:
    CEchoOff() : m_active(SilenceEcho(m_saved)) {}
    ~CEchoOff() {
        if (m_active) {
            RestoreEcho(m_saved);
        }
    }
    CEchoOff(const CEchoOff&) = delete;
    CEchoOff& operator=(const CEchoOff&) = delete;

private:
    stTerminalMode m_saved;
    bool m_active;
};

} // namespace

bool StdinIsTerminal() {
#ifdef _WIN32
    return ::_isatty(::_fileno(stdin)) != 0;
#else
    return ::isatty(STDIN_FILENO) != 0;
#endif
}

bool ReadHiddenLine(const std::string& prompt, std::string& line) {
    std::cerr << prompt << std::flush;
    bool read = false;
    {
        const CEchoOff echoOff;
        read = static_cast<bool>(std::getline(std::cin, line));
    }
    std::cerr << "\n";
    return read;
}

} // namespace airvane::cli
