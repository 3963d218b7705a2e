// End-to-end tests of the airvane command-line host: they run the built binary, which loads the
// simulated adapter plug-in, supplicant and key-renewal modules from its own folder, against
// worlds written to temporary folders.

#include "airvane/system/Registry.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

extern char** environ;

namespace airvane::test {
namespace {

struct stCliResult {
    int exitStatus = -1; // -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs the built binary with `arguments` and `input` on its standard input. The streams go
// through files, so a chatty child never blocks on a full pipe; the environment (and with it the
// scoped registry) is inherited.
stCliResult RunCli(std::vector<std::string> arguments, const std::string& input = std::string()) {
    CTempDir streams;
    WriteFile(streams.File("in"), input);
    arguments.insert(arguments.begin(), AIRVANE_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, streams.File("in").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, streams.File("out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, streams.File("err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
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
    result.out = ReadFile(streams.File("out"));
    result.err = ReadFile(streams.File("err"));
    return result;
}

std::size_t CountOf(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (std::size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) {
        ++count;
    }
    return count;
}

// Parts of `text` between `separator`s.
std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    for (std::size_t begin = 0, end = 0; begin < text.size(); begin = end + 1) {
        end = std::min(text.find(separator, begin), text.size());
        parts.push_back(text.substr(begin, end - begin));
    }
    return parts;
}

// Command words separated by spaces, then `last` (which may hold spaces) when given.
std::vector<std::string> Args(const std::string& words, const std::string& last = std::string()) {
    std::vector<std::string> arguments = Split(words, ' ');
    if (!last.empty()) {
        arguments.push_back(last);
    }
    return arguments;
}

// A connect command with fast polling; `words` name the adapter, the SSID and the security.
std::vector<std::string> Connect(const std::string& words, const std::string& secret = std::string(),
                                 const std::string& extra = std::string()) {
    std::vector<std::string> arguments = Args("connect " + words, secret);
    for (const std::string& word : Split("--poll-interval 1 --timeout 5 " + extra, ' ')) {
        arguments.push_back(word);
    }
    return arguments;
}

std::string Describe(const stCliResult& result) {
    return "exit " + std::to_string(result.exitStatus) + "\nstdout:\n" + result.out + "stderr:\n" +
           result.err;
}

constexpr const char* kPassphrase = "correct horse battery staple";
constexpr const char* kLabKey = "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F";
// Master key of pass phrase "password" on SSID "IEEE" (IEEE 802.11i test vector).
constexpr const char* kIEEEKey = "f42c6fc52df0ebef9ebb4b90b38a5f902e83fe1b135a70e23aed762e9710a12e";
constexpr const char* kPlusKey = "00112233445566778899AABBCC";
constexpr const char* kDefaultKeyPath = "HKEY_CURRENT_USER\\Software\\Airvane\\WepPlus";
// Registry value of sim1's last generated key: address 02 00 00 00 00 11 interleaved with "stick".
constexpr const char* kStickValue = "0273007400690063006B11";
constexpr const char* kWpaIE = "DD160050F20101000050F20201000050F20201000050F202";
constexpr const char* kRsnIE = "30140100000FAC040100000FAC040100000FAC020000";

std::string World(const std::string& devices) {
    return "<?xml version=\"1.0\"?>\n<WLAN><ADAPTER DLL=\"sim_adapter.dll\">\n" + devices +
           "</ADAPTER></WLAN>\n";
}

// sim0 does WPA, sim1 only WEP Plus, sim2 is hot-plugged, sim3 absent, sim4 refuses selection and
// sim5 cannot be prepared.
constexpr const char* kStandardDevices = R"(
<DEVICE CLASS="NET" HARDWAREID="PCI\VEN_5AA5&amp;DEV_0001\T0"><X KITNAME="Test kit"/>
  <SIMADAPTER NAME="sim0" FRIENDLYNAME="Test card" ADDRESS="02:00:00:00:00:10">
    <NETWORK SSID="Home" QUALITY="80" SECURITY="WPA-PSK" PASSPHRASE="correct horse battery staple"/>
    <NETWORK SSID="IEEE" QUALITY="70" SECURITY="WPA-PSK" PASSPHRASE="password"/>
    <NETWORK SSID="Lab" QUALITY="60" SECURITY="WPA-PSK"
             KEY="000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"/>
    <NETWORK SSID="Office" QUALITY="50" SECURITY="WEP" KEY="0A1B2C3D4E"/>
    <NETWORK SSID="Cafe" QUALITY="40"/>
    <NETWORK SSID="Guarded" QUALITY="30" ASSOCIATION="refuse"/>
    <NETWORK SSID="Far" QUALITY="5" ASSOCIATION="ignore"/>
    <NETWORK SSID="PlusOnCard" SECURITY="WEPPLUS" KEY="0102030405"/></SIMADAPTER></DEVICE>
<DEVICE CLASS="NET" HARDWAREID="USB\VID_03EB&amp;PID_7605\T1"><X KITNAME="Test kit"/>
  <SIMADAPTER NAME="sim1" FRIENDLYNAME="Test stick" ADDRESS="02:00:00:00:00:11" WPA="no" LABEL="stick">
    <NETWORK SSID="Plus" QUALITY="75" SECURITY="WEPPLUS" KEY="00112233445566778899AABBCC" BSSID="02:00:00:00:01:01"/>
    <NETWORK SSID="Stubborn" SECURITY="WEPPLUS" KEY="00112233445566778899AABBCC" RENEWAL="refuse"/>
    <NETWORK SSID="Home" SECURITY="WPA-PSK" PASSPHRASE="correct horse battery staple"/></SIMADAPTER></DEVICE>
<DEVICE CLASS="NET" HARDWAREID="PCMCIA\T2"><X KITNAME="Test kit"/>
  <SIMADAPTER NAME="sim2" FRIENDLYNAME="Hot card" HOTPLUG="yes" CIPHER="TKIP">
    <NETWORK SSID="Home" SECURITY="WPA-PSK" PASSPHRASE="correct horse battery staple"/></SIMADAPTER></DEVICE>
<DEVICE HARDWAREID="PCI\T3"><SIMADAPTER NAME="sim3" PRESENT="no"><NETWORK SSID="Cafe"/></SIMADAPTER></DEVICE>
<DEVICE HARDWAREID="PCI\T4"><SIMADAPTER NAME="sim4" SELECT="refuse"><NETWORK SSID="Cafe"/></SIMADAPTER></DEVICE>
<DEVICE HARDWAREID="PCI\T5"><SIMADAPTER NAME="sim5" READY="no" PREPARE="fail"><NETWORK SSID="Cafe"/></SIMADAPTER></DEVICE>
)";

class AirvaneCliTest : public ::testing::Test {
protected:
    void SetUp() override { WriteWorld(World(kStandardDevices)); }
    void WriteWorld(const std::string& text) { WriteFile(m_world.File("WLANInterfaces.xml"), text); }

    // Runs the command in the world's folder.
    stCliResult Run(std::vector<std::string> arguments, const std::string& input = std::string()) {
        arguments.insert(arguments.begin(), {"-C", m_world.Path()});
        return RunCli(arguments, input);
    }

    bool StoredKey(const char* path, std::vector<unsigned char>& key) {
        unsigned char bytes[32] = {};
        std::uint32_t size = sizeof bytes;
        const bool found = RegistryGetBinary(path, kStickValue, bytes, size) != 0;
        key.assign(bytes, bytes + (found ? size : 0));
        return found;
    }

    CTempDir m_world;
    CScopedRegistry m_registry;
};

// One command against the standard world. Usage errors (status 2) must explain themselves. `out` texts
// ('|'-separated) must appear in this order
// ("^" marks the start of the output, "=" the whole output); `err` texts anywhere on standard
// error; `absent` texts on neither stream.
struct stCliCase {
    stCliCase(std::vector<std::string> arguments_, int exitStatus_, std::string out_ = "",
              std::string err_ = "", std::string absent_ = "")
        : arguments(std::move(arguments_)), exitStatus(exitStatus_), out(std::move(out_)),
          err(std::move(err_)), absent(std::move(absent_)) {}
    std::vector<std::string> arguments;
    int exitStatus;
    std::string out;
    std::string err;
    std::string absent;
};

TEST_F(AirvaneCliTest, CommandsExitStatusesAndTexts) {
    const std::string authFailed = "authentication failed (wrong key or pass phrase)";
    const char* unsupported = "the adapter does not support this security";
    std::string wrongLabKey = kLabKey;
    wrongLabKey[0] = 'F';
    const stCliCase cases[] = {
        // Listing: present and ready adapters only; hot-plugged ones through discovery.
        {Args("adapters"), 0,
         "sim0|Test card|address 02:00:00:00:00:10, WPA-PSK up to CCMP|sim1|WEP Plus|sim4", "",
         "sim2|sim3|sim5"},
        {Args("adapters --json"), 0,
         "^{\"ok\":true,\"adapters\":[|{\"name\":\"sim0\"|{\"name\":\"sim1\",\"friendly_name\":\"Test "
         "stick\"|"
         "{\"name\":\"sim4\"",
         "", "sim2|sim3|sim5"},
        {Args("-v adapters --discover"), 0, "sim2|hot-plugged",
         "trace: Compatible new adapter : sim2 found with dll sim_adapter.dll"},
        {Connect("sim2 --ssid Home --wpa-psk", kPassphrase), 1, "", "needs --discover"},
        {Connect("sim2 --ssid Home --wpa-psk", kPassphrase, "--discover"), 0, "Connected to Home."},
        {Args("-v scan sim3"), 1, "",
         "error: adapter 'sim3' is not available|trace: Hardware unavailable : sim3"},
        {Args("-v scan sim5"), 1, "", "trace: Preconfigure failed for adapter : sim5"},
        {Args("scan sim4"), 1, "",
         "adapter 'sim4' refused the selection: the driver reported an error [adapter error 10"},
        {Args("--json connect sim4 --ssid Cafe --open"), 1, "\"ok\":false|\"id\":\"driver\""},
        {Args("scan nosuch"), 1, "", "error: adapter 'nosuch' is not available"},
        {Args("scan sim0"), 0,
         "Adapter sim0 (Test card)|link:     not associated|security: none|"
         "supports: open, WEP, WPA-PSK (strongest WPA cipher CCMP)|Guarded     30"},
        {Args("scan sim1 --json"), 0,
         "\"supports\":{\"methods\":[\"none\",\"WEP\",\"WEP Plus\"]}|{\"ssid\":\"Plus\",\"quality\":75}"},
        {Args("disconnect sim0"), 0, "=Disconnected sim0.\n"},
        // Open and WEP.
        {Connect("sim0 --ssid Cafe --open"), 0, "link: associating\n  link: associated\nConnected to Cafe.",
         "", "trace:"},
        {Connect("sim0 --ssid Cafe --open", "", "-v"), 0, "",
         "trace: Dll loaded : sim_adapter.dll\n|trace: DLL : sim_adapter.dll supported adapter : sim0\n|"
         "trace: Simulated adapter sim0: associated with Cafe"},
        {Connect("sim0 --ssid Guarded --open"), 1, "", "association failed (the network refused it)"},
        {Connect("sim0 --ssid Nowhere --open"), 1, "", "network not found (not in range)"},
        {Args("connect sim0 --ssid Far --open --timeout 0.2 --poll-interval 5"), 1, "",
         "timed out after 0.2 s connecting to 'Far' (link associating"},
        {Connect("sim0 --ssid Home --open"), 1, "", "association failed"},
        {Connect("sim0 --ssid Office --wep 0a1b2c3d4e"), 0, "Connected to Office."},
        {Connect("sim0 --ssid Office --wep 0A1B2C3D4F"), 1, "", authFailed, "Connected"},
        {Connect("sim0 --ssid Office --wep 0A1B2C3D"), 1, "", authFailed},
        // WPA-PSK: the handshake states in order; a wrong secret never completes.
        {Connect("sim0 --ssid Home --wpa-psk", kPassphrase), 0,
         "security: WPA-PSK scanning|security: WPA-PSK 4-way handshake|security: WPA-PSK group handshake|"
         "security: WPA-PSK completed|Connected to Home."},
        {Connect("sim0 --ssid Home --wpa-psk", "incorrect horse battery staple"), 1,
         "security: WPA-PSK 4-way handshake|security: WPA-PSK disconnected",
         "error: connecting to 'Home' failed: " + authFailed, "completed"},
        {Connect("sim0 --ssid Lab --wpa-key", kLabKey), 0, "security: WPA-PSK completed"},
        {Connect("sim0 --ssid Lab --wpa-key", wrongLabKey), 1, "", authFailed, "completed"},
        // A pass phrase against an access point holding a raw key is compared by master key.
        {Connect("sim0 --ssid Lab --wpa-psk", kPassphrase), 1, "", authFailed, "completed"},
        {Connect("sim0 --ssid IEEE --wpa-key", kIEEEKey), 0, "security: WPA-PSK completed"},
        {Args("--json connect sim0 --ssid Home --poll-interval 1 --wpa-psk", kPassphrase), 0,
         "^{\"ok\":true,\"adapter\":\"sim0\",\"ssid\":\"Home\",\"security\":\"WPA-PSK\"|"
         "\"state\":{\"method\":\"WPA-PSK\",\"uid\":4,\"wpa_state\":6"},
        {Args("--json connect sim0 --ssid Home --poll-interval 1 --wpa-psk", "wrong pass phrase"), 1,
         "\"ok\":false|{\"security\":\"WPA-PSK 4-way handshake\",\"value\":4}|"
         "\"error\":{\"generic\":9,\"id\":\"authentication-failed\""},
        {Connect("sim1 --ssid Home --wpa-psk", kPassphrase), 1, "", unsupported},
        // WEP Plus failures (the successful renewal has its own test).
        {Connect("sim1 --ssid Plus --wepplus 00112233445566778899AABBCD"), 1, "", authFailed},
        {Connect("sim0 --ssid PlusOnCard --wepplus 0102030405"), 1, "", unsupported},
        // Information elements; several elements give the union of their flags.
        {Args("ie decode", kWpaIE), 0, "=0x01010404 GROUP_TKIP PAIRWISE_TKIP AKM_PSK PROTO_WPA\n"},
        {Args("ie encode PROTO_WPA GROUP_TKIP PAIRWISE_TKIP AKM_PSK"), 0, "=" + std::string(kWpaIE) + "\n"},
        {Args("ie encode 0x02010808"), 0, "=" + std::string(kRsnIE) + "\n"},
        {Args("ie decode 30:14:01:00:00:0f:ac:04:01:00:00:0f:ac:04:01:00:00:0f:ac:02:00:00"), 0,
         "=0x02010808 GROUP_CCMP PAIRWISE_CCMP AKM_PSK PROTO_RSN\n"},
        {Args(std::string("ie decode ") + kWpaIE + " " + kRsnIE + " --json"), 0, "\"flags\":\"0x03010c0c\""},
        {Args("ie decode DD16"), 1},
        {Args("ie decode XY"), 2},
        {Args("ie decode DD1"), 2},
        {Args("ie encode GROUP_TKIP"), 1}, // no protocol flag
        {Args("ie encode PROTO_WPA BOGUS"), 2},
        {Args("ie encode 0x80000000"), 2},
        {Args("ie"), 2},
        // Usage errors.
        {Args(""), 2},
        {Args("fly"), 2},
        {Args("adapters --bogus"), 2},
        {Args("scan"), 2},
        {Args("connect sim0 --ssid Cafe"), 2},
        {Args("connect sim0 --open"), 2},
        {Args("connect sim0 --ssid Cafe --open --wep 0102030405"), 2},
        {Args("connect sim0 --ssid Office --wep 0A1B2"), 2},
        {Args("connect sim0 --ssid Office --wep not-hex"), 2},
        {Args("connect sim0 --ssid Lab --wpa-key 0011"), 2},
        {Args("connect sim0 --ssid Home --wpa-psk short"), 2},
        {{"connect", "sim0", "--ssid", "Home", "--wpa-psk", ""}, 2},
        {Args("connect sim0 --ssid Cafe --open --timeout -1"), 2},
        {Args("-C /nonexistent/folder adapters"), 2},
        // Help of every command.
        {Args("--help"), 0, "Usage:|Exit status: 0 success, 1 the operation failed, 2 usage error."},
        {Args("connect --help"), 0, "Usage:|--wpa-psk"},
        {Args("adapters --help"), 0, "Usage:"},
        {Args("scan --help"), 0, "Usage:"},
        {Args("disconnect --help"), 0, "Usage:"},
        {Args("ie --help"), 0, "Usage:"},
        {Args("ie decode --help"), 0, "Usage:"},
        {Args("ie encode --help"), 0, "Usage:"},
        {Args("shell --help"), 0, "Usage:"},
    };
    for (const stCliCase& c : cases) {
        std::string line;
        for (const std::string& argument : c.arguments) {
            line += argument + " ";
        }
        SCOPED_TRACE(line);
        const stCliResult result = Run(c.arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << Describe(result);
        if (c.exitStatus == 2) { // usage errors are explained and connect nothing
            EXPECT_FALSE(result.err.empty());
            EXPECT_EQ(result.out.find("Connecting"), std::string::npos) << result.out;
        }
        std::size_t from = 0;
        for (const std::string& text : Split(c.out, '|')) {
            if (text[0] == '=') {
                EXPECT_EQ(result.out, text.substr(1));
            } else if (text[0] == '^') {
                EXPECT_EQ(result.out.rfind(text.substr(1), 0), 0u) << result.out;
            } else {
                const std::size_t at = result.out.find(text, from);
                EXPECT_NE(at, std::string::npos) << "missing or out of order: " << text << "\n" << result.out;
                from = at == std::string::npos ? from : at + text.size();
            }
        }
        for (const std::string& text : Split(c.err, '|')) {
            EXPECT_NE(result.err.find(text), std::string::npos) << text << "\n" << result.err;
        }
        for (const std::string& text : Split(c.absent, '|')) {
            EXPECT_EQ((result.out + result.err).find(text), std::string::npos) << text << "\n"
                                                                               << Describe(result);
        }
    }
}

TEST_F(AirvaneCliTest, OtherWorlds) {
    CTempDir empty;
    stCliResult result = RunCli({"-C", empty.Path(), "adapters"});
    EXPECT_EQ(result.exitStatus, 1) << Describe(result);
    EXPECT_NE(result.err.find("no WLANInterfaces.xml in " + empty.Path()), std::string::npos) << result.err;

    // A malformed device is declined and the others still load.
    WriteWorld(
        World(R"(<DEVICE HARDWAREID="A"><SIMADAPTER NAME="good"><NETWORK SSID="Cafe"/></SIMADAPTER></DEVICE>
<DEVICE HARDWAREID="B"><SIMADAPTER NAME="bad"><NETWORK SSID="Cafe" QUALITY="101"/></SIMADAPTER></DEVICE>)"));
    result = Run({"adapters"});
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_NE(result.out.find("good"), std::string::npos);
    EXPECT_EQ(result.out.find("bad"), std::string::npos);
    EXPECT_NE(result.err.find("DEVICE declined: NETWORK 1: QUALITY=\"101\""), std::string::npos)
        << result.err;

    // The published pass phrase reaches an access point configured with its master key.
    WriteWorld(
        World(std::string(R"(<DEVICE><SIMADAPTER NAME="v"><NETWORK SSID="IEEE" SECURITY="WPA-PSK" KEY=")") +
              kIEEEKey + "\"/></SIMADAPTER></DEVICE>"));
    result = Run(Connect("v --ssid IEEE --wpa-psk password"));
    EXPECT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_NE(result.out.find("security: WPA-PSK completed"), std::string::npos) << result.out;
}

TEST_F(AirvaneCliTest, WepPlusRenewalStoresAFreshKeyEachSession) {
    std::vector<unsigned char> key;
    EXPECT_FALSE(StoredKey(kDefaultKeyPath, key)) << "nothing stored yet";
    // An access point that refuses renewal leaves the link unkeyed and nothing stored.
    stCliResult result = Run(Args(
        std::string("connect sim1 --ssid Stubborn --timeout 0.3 --poll-interval 5 --wepplus"), kPlusKey));
    EXPECT_EQ(result.exitStatus, 1) << Describe(result);
    EXPECT_NE(result.out.find("security: WEP Plus not keyed"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("timed out"), std::string::npos) << result.err;
    EXPECT_FALSE(StoredKey(kDefaultKeyPath, key));

    result = Run(Connect("sim1 --ssid Plus --wepplus", kPlusKey));
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_NE(result.out.find("security: WEP Plus keyed"), std::string::npos) << result.out;
    ASSERT_TRUE(StoredKey(kDefaultKeyPath, key));
    ASSERT_EQ(key.size(), 13u) << "same length as the 104-bit initial key";
    EXPECT_NE(key, (std::vector<unsigned char>{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                                               0xAA, 0xBB, 0xCC}));
    const std::vector<unsigned char> first = key;
    ASSERT_EQ(Run(Connect("sim1 --ssid Plus --wepplus", kPlusKey)).exitStatus, 0);
    ASSERT_TRUE(StoredKey(kDefaultKeyPath, key));
    EXPECT_NE(key, first) << "a second session agrees another key";

    // With another key path the key goes there and the default place keeps the previous key.
    const std::vector<unsigned char> second = key;
    const char* path = "HKEY_LOCAL_MACHINE\\Software\\Test\\Keys";
    EXPECT_FALSE(StoredKey(path, key));
    ASSERT_EQ(Run(Connect("sim1 --ssid Plus --wepplus", kPlusKey, std::string("--wepplus-key-path ") + path))
                  .exitStatus,
              0);
    ASSERT_TRUE(StoredKey(path, key));
    EXPECT_NE(key, second);
    ASSERT_TRUE(StoredKey(kDefaultKeyPath, key));
    EXPECT_EQ(key, second);
}

TEST_F(AirvaneCliTest, ShellRunsASequenceAgainstOneManager) {
    // sim2 comes in by discovery in the first line and stays registered for the others.
    const stCliResult result =
        Run({"shell"}, std::string("# a session\nadapters --discover\n\n"
                                   "connect sim2 --ssid Home --poll-interval 1 --wpa-psk \"") +
                           kPassphrase + "\"\nscan sim2\ndisconnect sim2\nscan sim2\nexit\nadapters\n");
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    const std::size_t connected = result.out.find("Connected to Home.");
    const std::size_t connectedScan = result.out.find("link:     associated\n  security: WPA-PSK completed");
    const std::size_t disconnected = result.out.find("Disconnected sim2.");
    const std::size_t idleScan = result.out.find("link:     not associated\n  security: none", disconnected);
    EXPECT_NE(connected, std::string::npos) << result.out;
    EXPECT_NE(connectedScan, std::string::npos) << result.out;
    EXPECT_LT(connectedScan, disconnected);
    EXPECT_NE(idleScan, std::string::npos) << result.out;
    EXPECT_EQ(CountOf(result.out, "FRIENDLY NAME"), 1u) << "nothing runs after exit";

    // The shell's status is the worst status of its commands.
    EXPECT_EQ(Run({"shell"}, "adapters\nscan nosuch\nadapters\n").exitStatus, 1);
    EXPECT_EQ(Run({"shell"}, "adapters\nscan\nscan nosuch\n").exitStatus, 2);
    const stCliResult json = Run({"--json", "shell"}, "adapters\nie decode DD0600");
    EXPECT_EQ(json.exitStatus, 1);
    EXPECT_EQ(CountOf(json.out, "{\"ok\":"), 2u) << json.out;
}

} // namespace
} // namespace airvane::test
