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

// Turns terminal echo off for its lifetime (when standard input is a terminal).
class CEchoOff {
public:
    CEchoOff() {
#ifdef _WIN32
        m_input = ::GetStdHandle(STD_INPUT_HANDLE);
        m_active = ::GetConsoleMode(m_input, &m_mode) != 0 &&
                   ::SetConsoleMode(m_input, m_mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
#else
        m_active = ::tcgetattr(STDIN_FILENO, &m_mode) == 0;
        if (m_active) {
            termios quiet = m_mode;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            m_active = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
#endif
    }
    ~CEchoOff() {
        if (m_active) {
#ifdef _WIN32
            ::SetConsoleMode(m_input, m_mode);
#else
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_mode);
#endif
        }
    }
    CEchoOff(const CEchoOff&) = delete;
    CEchoOff& operator=(const CEchoOff&) = delete;

private:
    bool m_active = false;
#ifdef _WIN32
    HANDLE m_input = nullptr;
    DWORD m_mode = 0;
#else
    termios m_mode{};
#endif
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
