#include "tools/airvane/CommandLine.h"

#include "tools/airvane/Host.h"
#include "tools/airvane/LineReader.h"
#include "tools/airvane/Terminal.h"

#include "airvane/xml/XMLReader.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <new>
#include <streambuf>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace airvane::cli {

namespace {

constexpr const char kProgramName[] = "airvane";
constexpr const char kVersion[] = "airvane " AIRVANE_VERSION;
constexpr const char kShellPrompt[] = "airvane> ";
constexpr const char kConfigurationFile[] = "WLANInterfaces.xml";
constexpr const char kReadFromInput[] = "-";
constexpr std::uint64_t kDefaultXmlExtraBytes = 64ull << 20;
constexpr const char kDescription[] =
    "Wireless-LAN adapters through the Airvane library: list adapters, show their state, scan, connect, "
    "decode WPA/RSN information elements, check a configuration.";
constexpr const char kFooter[] =
    "Exit status: 0 success, 1 the operation failed, 2 usage error, 3 adapter or network not found,\n"
    "4 authentication failed, 5 timed out, 6 no usable adapter (configuration missing or unreadable,\n"
    "plug-ins not loaded, every device declined), 7 the WEP Plus key store cannot be written.\n"
    "With --json every outcome, usage errors included, is one JSON document on standard output.\n"
    "A secret given as '-' is read from standard input (without echo at a terminal).\n"
    "The configuration is the file WLANInterfaces.xml in the current folder (see -C).";
constexpr const char kShellFooter[] =
    "Each line of standard input is one command (adapters, status, scan, connect, disconnect, ie, config "
    "check), run against the same manager; blank lines and lines starting with # are skipped, 'help' lists "
    "the commands and 'help COMMAND' a command's options, 'exit' ends the session. Words are separated by "
    "spaces; \"...\" or '...' keep spaces in a "
    "word and \\ takes the next character as it is. At a terminal, lines can be edited and earlier lines "
    "recalled with the arrow keys.\n"
    "One adapter is selected at a time: status, scan, connect or disconnect of another adapter selects it "
    "and unselects the first (the simulated plug-in then ends that adapter's link; the Linux plug-in leaves "
    "it up).\n"
    "Exit status: that of the first command that failed, 0 when none did.";

// The memory budget of the configuration reader, for documents that would build huge trees.
constexpr const char kXmlBudgetVariable[] = "AIRVANE_XML_BUDGET";

// Passes whole lines on to `target` and holds back the line under way. With --json the host
// writes through it: every document is one line, so a command that stops halfway through its
// document leaves no piece of it on the output.
class CLineHolder final : public std::streambuf {
public:
    explicit CLineHolder(std::ostream& target) : m_target(target) {}
    CLineHolder(const CLineHolder&) = delete;
    CLineHolder& operator=(const CLineHolder&) = delete;

    // True when output was lost for want of memory since the last call (or Drop).
    bool TakeLoss() { return std::exchange(m_lost, false); }
    // Forgets the line under way and any loss.
    void Drop() {
        m_line.clear();
        m_lost = false;
    }

protected:
    // Only the new text is searched for a line's end, so a long line costs linear time. After a
    // loss the rest of the command's output is dropped too: it would be the end of a document.
    std::streamsize xsputn(const char* text, std::streamsize size) override {
        const std::string_view added(text, static_cast<std::size_t>(size));
        const std::size_t before = m_line.size();
        if (m_lost) {
            return size;
        }
        try {
            m_line.append(added);
        } catch (const std::bad_alloc&) {
            m_lost = true;
            m_line.clear();
            return size;
        }
        const std::size_t end = added.rfind('\n');
        if (end != std::string_view::npos) {
            m_target.write(m_line.data(), static_cast<std::streamsize>(before + end + 1));
            m_line.erase(0, before + end + 1);
        }
        return size;
    }
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            const char character = traits_type::to_char_type(c);
            xsputn(&character, 1);
        }
        return traits_type::not_eof(c);
    }

private:
    std::ostream& m_target;
    std::string m_line;
    bool m_lost = false;
};

// Reads one decimal number that fills `text` whole.
template <typename Number> bool ParseWhole(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Sets the reader's budget from "PER_BYTE" or "PER_BYTE,EXTRA"; false when the text is neither.
bool ApplyXmlBudget(std::string_view text) {
    const std::size_t comma = text.find(',');
    std::uint32_t perByte = 0;
    std::uint64_t extra = kDefaultXmlExtraBytes;
    if (!ParseWhole(text.substr(0, comma), perByte) ||
        (comma != std::string_view::npos && !ParseWhole(text.substr(comma + 1), extra))) {
        return false;
    }
    XMLSetMemoryBudget(perByte, extra);
    return true;
}

// Values one parse fills in, and the command it chose.
struct stParsedCommand {
    bool discover = false;
    std::string adapter;
    std::string file;
    stConnectRequest connect;
    std::vector<std::string> ieArguments;
    std::function<int(CHost&)> action;
};

// Runs the parsed command. A command that throws (out of memory on a huge document, say) fails
// with status 1 like any other failure: with --json (`holder` given) its unfinished document is
// dropped and the failure is the command's one document.
int RunAction(const stParsedCommand& parsed, CHost& host, CLineHolder* holder) {
    if (!parsed.action) {
        return EXIT_USAGE;
    }
    std::string stopped;
    try {
        const int status = parsed.action(host);
        if (holder == nullptr || !holder->TakeLoss()) {
            return status;
        }
        stopped = "out of memory while writing the result";
    } catch (const std::bad_alloc&) {
        stopped = "out of memory";
    } catch (const std::exception& error) {
        stopped = std::string("the command stopped: ") + error.what();
    }
    if (holder != nullptr) {
        holder->Drop();
    }
    return host.CommandStopped(stopped);
}

// Replaces a secret given as "-" by a line of `input`, read without echo from a terminal.
bool ReadSecret(std::string& secret, const std::string& ssid, std::istream& input) {
    if (secret != kReadFromInput) {
        return true;
    }
    if (&input == &std::cin && StdinIsTerminal()) {
        return ReadHiddenLine("Secret for " + ssid + ": ", secret);
    }
    if (!std::getline(input, secret)) {
        return false;
    }
    if (!secret.empty() && secret.back() == '\r') {
        secret.pop_back();
    }
    return true;
}

// Adds adapters, status and scan.
void AddAdapterCommands(CLI::App& app, stParsedCommand& parsed) {
    CLI::App* adapters = app.add_subcommand("adapters", "List the usable adapters.");
    adapters->add_flag("--discover", parsed.discover,
                       "Also ask every plug-in for adapters that appeared since the configuration was read");
    adapters->callback(
        [&parsed] { parsed.action = [&parsed](CHost& host) { return host.Adapters(parsed.discover); }; });

    CLI::App* status = app.add_subcommand(
        "status", "Show the selected adapter (or ADAPTER, or the first usable one): names, link, security.");
    status->add_option("ADAPTER", parsed.adapter, "Adapter name as 'adapters' lists it");
    status->add_flag("--discover", parsed.discover, "Discover new adapters before selecting");
    status->callback([&parsed] {
        parsed.action = [&parsed](CHost& host) { return host.Status(parsed.adapter, parsed.discover); };
    });

    CLI::App* scan =
        app.add_subcommand("scan", "Show an adapter's networks in range, link status and security state.");
    scan->add_option("ADAPTER", parsed.adapter, "Adapter name as 'adapters' lists it")->required();
    scan->add_flag("--discover", parsed.discover, "Discover new adapters before selecting");
    scan->callback([&parsed] {
        parsed.action = [&parsed](CHost& host) { return host.Scan(parsed.adapter, parsed.discover); };
    });
}

// Adds connect: exactly one security option, the secret read when the command runs.
void AddConnectCommand(CLI::App& app, stParsedCommand& parsed, std::istream& input) {
    CLI::App* connect =
        app.add_subcommand("connect", "Connect an adapter to a network and follow the handshake.");
    stConnectRequest& request = parsed.connect;
    connect->add_option("ADAPTER", request.adapter, "Adapter name as 'adapters' lists it")->required();
    connect->add_option("--ssid", request.ssid, "Network name (1 to 32 bytes)")->required();
    CLI::Option_group* security = connect->add_option_group("security", "How to authenticate (exactly one)");
    CLI::Option* open = security->add_flag("--open", "Open network, no security");
    CLI::Option* wep = security->add_option(
        "--wep", request.secret, "WEP key in hex digits (e.g. 0102030405); '-' reads it from input");
    CLI::Option* wepPlus =
        security->add_option("--wepplus", request.secret,
                             "WEP Plus initial key in hex digits, renewed while connected; '-' reads it");
    CLI::Option* passphrase = security->add_option(
        "--wpa-psk", request.secret, "WPA-PSK pass phrase (8 to 63 characters); '-' reads it from input");
    CLI::Option* wpaKey = security->add_option(
        "--wpa-key", request.secret, "WPA-PSK 256-bit key as 64 hex digits; '-' reads it from input");
    security->require_option(1);
    // CLI11 would read an empty value as 0: the check makes it, like any other non-number, a
    // usage error (and adds nothing to the help, which already says FLOAT).
    const CLI::Validator number = CLI::Validator(CLI::Number).description("");
    connect->add_option("--timeout", request.timeoutSeconds, "Seconds to wait for the connection (0 to 3600)")
        ->check(number)
        ->capture_default_str();
    connect
        ->add_option("--poll-interval", request.pollMilliseconds,
                     "Milliseconds between two reads of the network state (1 to 60000)")
        ->check(number)
        ->capture_default_str();
    connect
        ->add_option("--wepplus-key-path", request.wepPlusKeyPath,
                     "Registry key path of the WEP Plus key store")
        ->capture_default_str();
    connect->add_flag("--discover", request.discover, "Discover new adapters before selecting");
    connect->callback([&parsed, &input, open, wep, wepPlus, passphrase, wpaKey] {
        stConnectRequest& r = parsed.connect;
        if (open->count() > 0) {
            r.security = stConnectRequest::SECURITY_OPEN;
        } else if (wep->count() > 0) {
            r.security = stConnectRequest::SECURITY_WEP;
        } else if (wepPlus->count() > 0) {
            r.security = stConnectRequest::SECURITY_WEPPLUS;
        } else if (passphrase->count() > 0) {
            r.security = stConnectRequest::SECURITY_WPA_PASSPHRASE;
        } else if (wpaKey->count() > 0) {
            r.security = stConnectRequest::SECURITY_WPA_KEY;
        }
        parsed.action = [&parsed, &input](CHost& host) {
            if (!ReadSecret(parsed.connect.secret, parsed.connect.ssid, input)) {
                return host.UsageError("no secret on standard input");
            }
            return host.Connect(parsed.connect);
        };
    });
}

// Adds ie decode and ie encode.
void AddIECommands(CLI::App& app, stParsedCommand& parsed) {
    CLI::App* ie = app.add_subcommand("ie", "Decode or encode WPA and RSN information elements.");
    ie->require_subcommand(1);
    CLI::App* decode = ie->add_subcommand(
        "decode", "Print the flags of one or more elements given in hex (their union when several).");
    decode->add_option("HEX", parsed.ieArguments, "Element bytes in hex, from the element id on")->required();
    decode->callback(
        [&parsed] { parsed.action = [&parsed](CHost& host) { return host.DecodeIE(parsed.ieArguments); }; });
    CLI::App* encode = ie->add_subcommand(
        "encode", "Print the element for a set of flags (names such as PROTO_RSN GROUP_CCMP PAIRWISE_CCMP "
                  "AKM_PSK, or a flag word such as 0x02010808).");
    encode->add_option("FLAG", parsed.ieArguments, "Flag names or flag words")->required();
    encode->callback(
        [&parsed] { parsed.action = [&parsed](CHost& host) { return host.EncodeIE(parsed.ieArguments); }; });
}

// Adds config check.
void AddConfigCommand(CLI::App& app, stParsedCommand& parsed) {
    CLI::App* config = app.add_subcommand("config", "Inspect a configuration file.");
    config->require_subcommand(1);
    CLI::App* check = config->add_subcommand(
        "check", "Read FILE as the library does, print the tree it sees and every tag the reader drops or "
                 "reads in a surprising way, with line and column.");
    parsed.file = kConfigurationFile;
    check->add_option("FILE", parsed.file, "Configuration file")->capture_default_str();
    check->callback(
        [&parsed] { parsed.action = [&parsed](CHost& host) { return host.ConfigCheck(parsed.file); }; });
}

// Adds the commands that run against a host, in the order help lists them: adapters, status,
// scan, connect, disconnect, ie, config.
void AddHostCommands(CLI::App& app, stParsedCommand& parsed, std::istream& input) {
    AddAdapterCommands(app, parsed);
    AddConnectCommand(app, parsed, input);
    CLI::App* disconnect = app.add_subcommand("disconnect", "Disconnect an adapter from its network.");
    disconnect->add_option("ADAPTER", parsed.adapter, "Adapter name as 'adapters' lists it")->required();
    disconnect->add_flag("--discover", parsed.discover, "Discover new adapters before selecting");
    disconnect->callback([&parsed] {
        parsed.action = [&parsed](CHost& host) { return host.Disconnect(parsed.adapter, parsed.discover); };
    });
    AddIECommands(app, parsed);
    AddConfigCommand(app, parsed);
}

// Splits a shell line into words in one pass: spaces separate words, quotes keep spaces in a
// word, a backslash takes the next character as it is. False on an unterminated quote.
bool SplitWords(const std::string& line, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false;
    char quote = '\0';
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote != '\0') {
            if (c == quote) {
                quote = '\0';
            } else {
                word += c;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return quote == '\0';
}

// Prints a parse error (a usage error, as JSON with --json) or the help it asked for, on
// `helpOut`.
int ReportParseError(CLI::App& app, const CLI::ParseError& error, CHost& host,
                     std::ostream& helpOut = std::cout) {
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        app.exit(error, helpOut, std::cerr);
        return EXIT_OK;
    }
    return host.UsageError(error.what());
}

// "help" lists the commands and the shell's rules; "help COMMAND" shows the command's options.
int ShellHelp(CLI::App& app, const std::vector<std::string>& words, CHost& host, std::ostream& helpOut) {
    if (words.size() == 1) {
        helpOut << app.help() << "\n" << kShellFooter << "\n";
        return EXIT_OK;
    }
    for (const CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == words[1]) {
            helpOut << command->help();
            return EXIT_OK;
        }
    }
    return host.UsageError("no command '" + words[1] + "'; 'help' lists them");
}

// Help text goes to `helpOut`: standard error with --json, where standard output carries
// nothing but the commands' documents.
int RunShell(CHost& host, CLineHolder* holder, std::istream& input, std::ostream& helpOut) {
    const bool interactive = &input == &std::cin && StdinIsTerminal();
    CLineReader reader(input, interactive);
    int first = EXIT_OK;
    std::string line;
    std::vector<std::string> words;
    while (reader.Read(kShellPrompt, line)) {
        const std::size_t start = line.find_first_not_of(" \t\r\n");
        if (start == std::string::npos || line[start] == '#') {
            continue;
        }
        int status = EXIT_OK;
        if (!SplitWords(line, words)) {
            status = host.UsageError("unterminated quote");
        } else if (words.size() == 1 && (words[0] == "exit" || words[0] == "quit")) {
            break;
        } else {
            CLI::App app{kDescription, ""};
            stParsedCommand parsed;
            AddHostCommands(app, parsed, input);
            app.require_subcommand(1);
            if (!words.empty() && words[0] == "help" && words.size() <= 2) {
                status = ShellHelp(app, words, host, helpOut);
                first = first == EXIT_OK ? status : first;
                continue;
            }
            std::reverse(words.begin(), words.end()); // the order CLI11 takes a vector in
            try {
                app.parse(words);
                status = RunAction(parsed, host, holder);
            } catch (const CLI::ParseError& error) {
                status = ReportParseError(app, error, host, helpOut);
            }
        }
        std::cout << std::flush;
        if (first == EXIT_OK) {
            first = status;
        }
    }
    return first;
}

} // namespace

int RunCommandLine(int argc, const char* const* argv, std::istream& input) {
    CLI::App app{kDescription, kProgramName};
    app.footer(kFooter);
    app.set_version_flag("--version", kVersion);
    // Global options may also follow the command ("airvane scan sim0 --json"); subcommands
    // take this setting when they are added.
    app.fallthrough();
    std::string directory;
    stHostOptions options;
    stParsedCommand parsed;
    bool shell = false;
    app.add_option("-C,--directory", directory, "Run in this folder, where WLANInterfaces.xml is");
    app.add_flag("-v,--verbose", options.verbose,
                 "Print the library's and plug-ins' trace lines on standard error");
    app.add_flag("--json", options.json, "Print one JSON document per command for scripts");
    AddHostCommands(app, parsed, input);
    CLI::App* shellCommand = app.add_subcommand("shell", "Read commands from standard input, one per line.");
    shellCommand->footer(kShellFooter);
    shellCommand->callback([&shell] { shell = true; });
    app.require_subcommand(1);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // The options may not all be read yet: a usage error follows --json wherever it stands.
        for (int i = 1; i < argc; ++i) {
            options.json = options.json || std::strcmp(argv[i], "--json") == 0;
        }
        CHost host(options, std::cout, std::cerr);
        return ReportParseError(app, error, host);
    }

    CLineHolder holder(std::cout);
    std::ostream held(&holder);
    CLineHolder* const jsonHolder = options.json ? &holder : nullptr;
    CHost host(options, options.json ? held : std::cout, std::cerr);
    if (!directory.empty()) {
        std::error_code error;
        std::filesystem::current_path(directory, error);
        if (error) {
            return host.UsageError("-C: cannot change to folder " + directory + ": " + error.message());
        }
    }
    if (const char* budget = std::getenv(kXmlBudgetVariable); budget != nullptr && !ApplyXmlBudget(budget)) {
        return host.UsageError(
            std::string(kXmlBudgetVariable) +
            ": expected BYTES_PER_TEXT_BYTE or BYTES_PER_TEXT_BYTE,EXTRA_BYTES (e.g. 64,67108864)");
    }
    if (shell) {
        return RunShell(host, jsonHolder, input, options.json ? std::cerr : std::cout);
    }
    return RunAction(parsed, host, jsonHolder);
}

} // namespace airvane::cli
