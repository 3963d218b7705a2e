#include "tools/airvane/CommandLine.h"

#include "tools/airvane/Host.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace airvane::cli {

namespace {

constexpr const char kProgramName[] = "airvane";
constexpr const char kShellPrompt[] = "airvane> ";
constexpr const char kDescription[] =
    "Wireless-LAN adapters through the Airvane library: list adapters, scan, connect, decode "
    "WPA/RSN information elements.";
constexpr const char kFooter[] =
    "Exit status: 0 success, 1 the operation failed, 2 usage error.\n"
    "The configuration is the file WLANInterfaces.xml in the current folder (see -C).";
constexpr const char kShellFooter[] =
    "Each line of standard input is one command (adapters, scan, connect, disconnect, ie), run against "
    "the same manager; blank lines and lines starting with # are skipped, 'exit' ends the session.\n"
    "Exit status: the worst status of the commands (0, 1 or 2).";

// Values one parse fills in, and the command it chose.
struct stParsedCommand {
    bool discover = false;
    std::string adapter;
    stConnectRequest connect;
    std::vector<std::string> ieArguments;
    std::function<int(CHost&)> action;
};

// Adds the commands that run against a host: adapters, scan, connect, disconnect, ie.
void AddHostCommands(CLI::App& app, stParsedCommand& parsed) {
    CLI::App* adapters = app.add_subcommand("adapters", "List the usable adapters.");
    adapters->add_flag("--discover", parsed.discover,
                       "Also ask every plug-in for adapters that appeared since the configuration was read");
    adapters->callback(
        [&parsed] { parsed.action = [&parsed](CHost& host) { return host.Adapters(parsed.discover); }; });

    CLI::App* scan =
        app.add_subcommand("scan", "Show an adapter's networks in range, link status and security state.");
    scan->add_option("ADAPTER", parsed.adapter, "Adapter name as 'adapters' lists it")->required();
    scan->add_flag("--discover", parsed.discover, "Discover new adapters before selecting");
    scan->callback([&parsed] {
        parsed.action = [&parsed](CHost& host) { return host.Scan(parsed.adapter, parsed.discover); };
    });

    CLI::App* connect =
        app.add_subcommand("connect", "Connect an adapter to a network and follow the handshake.");
    stConnectRequest& request = parsed.connect;
    connect->add_option("ADAPTER", request.adapter, "Adapter name as 'adapters' lists it")->required();
    connect->add_option("--ssid", request.ssid, "Network name")->required();
    CLI::Option_group* security = connect->add_option_group("security", "How to authenticate (exactly one)");
    CLI::Option* open = security->add_flag("--open", "Open network, no security");
    CLI::Option* wep =
        security->add_option("--wep", request.secret, "WEP key in hex digits (e.g. 0102030405)");
    CLI::Option* wepPlus = security->add_option("--wepplus", request.secret,
                                                "WEP Plus initial key in hex digits; the key is renewed");
    CLI::Option* passphrase =
        security->add_option("--wpa-psk", request.secret, "WPA-PSK pass phrase (8 to 63 characters)");
    CLI::Option* wpaKey =
        security->add_option("--wpa-key", request.secret, "WPA-PSK 256-bit key as 64 hex digits");
    security->require_option(1);
    connect->add_option("--timeout", request.timeoutSeconds, "Seconds to wait for the connection")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    connect
        ->add_option("--poll-interval", request.pollMilliseconds,
                     "Milliseconds between two reads of the network state")
        ->capture_default_str();
    connect
        ->add_option("--wepplus-key-path", request.wepPlusKeyPath,
                     "Registry key path of the WEP Plus key store")
        ->capture_default_str();
    connect->add_flag("--discover", request.discover, "Discover new adapters before selecting");
    connect->callback([&parsed, open, wep, wepPlus, passphrase, wpaKey] {
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
        parsed.action = [&parsed](CHost& host) { return host.Connect(parsed.connect); };
    });

    CLI::App* disconnect = app.add_subcommand("disconnect", "Disconnect an adapter from its network.");
    disconnect->add_option("ADAPTER", parsed.adapter, "Adapter name as 'adapters' lists it")->required();
    disconnect->add_flag("--discover", parsed.discover, "Discover new adapters before selecting");
    disconnect->callback([&parsed] {
        parsed.action = [&parsed](CHost& host) { return host.Disconnect(parsed.adapter, parsed.discover); };
    });

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

// A parse error's status: 0 for --help, EXIT_USAGE for everything else.
int ParseErrorStatus(CLI::App& app, const CLI::ParseError& error) {
    return app.exit(error) == 0 ? EXIT_OK : EXIT_USAGE;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

int RunShell(CHost& host, std::istream& input) {
    const bool interactive = ::isatty(STDIN_FILENO) != 0 && &input == &std::cin;
    int worst = EXIT_OK;
    std::string line;
    for (;;) {
        if (interactive) {
            std::cout << kShellPrompt << std::flush;
        }
        if (!std::getline(input, line)) {
            break;
        }
        line = Trim(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line == "exit" || line == "quit") {
            break;
        }
        CLI::App app{kDescription, ""};
        stParsedCommand parsed;
        AddHostCommands(app, parsed);
        app.require_subcommand(1);
        if (line == "help") {
            std::cout << app.help();
            continue;
        }
        int status = EXIT_OK;
        try {
            app.parse(line, false);
            status = parsed.action ? parsed.action(host) : EXIT_USAGE;
        } catch (const CLI::ParseError& error) {
            status = ParseErrorStatus(app, error);
        }
        std::cout << std::flush;
        worst = std::max(worst, status);
    }
    return worst;
}

} // namespace

int RunCommandLine(int argc, const char* const* argv, std::istream& input) {
    CLI::App app{kDescription, kProgramName};
    app.footer(kFooter);
    // Global options may also follow the command ("airvane scan sim0 --json"); subcommands
    // take this setting when they are added.
    app.fallthrough();
    std::string directory;
    stHostOptions options;
    stParsedCommand parsed;
    bool shell = false;
    app.add_option("-C,--directory", directory, "Run in this folder, where WLANInterfaces.xml is")
        ->check(CLI::ExistingDirectory);
    app.add_flag("-v,--verbose", options.verbose,
                 "Print the library's and plug-ins' trace lines on standard error");
    app.add_flag("--json", options.json, "Print one JSON document per command for scripts");
    AddHostCommands(app, parsed);
    CLI::App* shellCommand = app.add_subcommand("shell", "Read commands from standard input, one per line.");
    shellCommand->footer(kShellFooter);
    shellCommand->callback([&shell] { shell = true; });
    app.require_subcommand(1);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return ParseErrorStatus(app, error);
    }

    CHost host(options, std::cout, std::cerr);
    if (!directory.empty()) {
        std::error_code error;
        std::filesystem::current_path(directory, error);
        if (error) {
            std::cerr << "error: cannot change to folder " << directory << ": " << error.message() << "\n";
            return EXIT_FAILED;
        }
    }
    if (shell) {
        return RunShell(host, input);
    }
    return parsed.action ? parsed.action(host) : EXIT_USAGE;
}

} // namespace airvane::cli
