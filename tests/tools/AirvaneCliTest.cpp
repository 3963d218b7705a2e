// End-to-end tests of the airvane command-line host: they run the built binary, which loads the
// simulated adapter plug-in, supplicant and key-renewal modules from its own folder, against
// worlds written to temporary folders.

#include "airvane/system/Registry.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

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
    stCliResult result;
    result.exitStatus = RunInChild([&] {
        if (std::freopen(streams.File("in").c_str(), "r", stdin) == nullptr ||
            std::freopen(streams.File("out").c_str(), "w", stdout) == nullptr ||
            std::freopen(streams.File("err").c_str(), "w", stderr) == nullptr) {
            return 126;
        }
        ::execv(argv[0], argv.data());
        return 127; // not started
    });
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
// sim5 cannot be prepared; sim6 has no hardware identifier and its access point holds the master
// key of "password" on "IEEE".
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
<DEVICE><SIMADAPTER NAME="sim6"><NETWORK SSID="IEEE" SECURITY="WPA-PSK"
    KEY="f42c6fc52df0ebef9ebb4b90b38a5f902e83fe1b135a70e23aed762e9710a12e"/></SIMADAPTER></DEVICE>
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

    // The key stored under `path` for sim1; empty when there is none.
    std::vector<unsigned char> StoredKey(const char* path) {
        unsigned char bytes[32] = {};
        std::uint32_t size = sizeof bytes;
        const bool found = RegistryGetBinary(path, kStickValue, bytes, size) != 0;
        return std::vector<unsigned char>(bytes, bytes + (found ? size : 0));
    }

    CTempDir m_world;
    CScopedRegistry m_registry;
};

// One command against the standard world. `out` texts ('|'-separated) must appear in this order
// ("^" marks the start of the output, "=" the whole output); `err` texts anywhere on standard
// error; `absent` texts on neither stream. Usage errors (status 2) must explain themselves.
struct stCliCase {
    std::vector<std::string> arguments;
    int exitStatus;
    std::string out = "";
    std::string err = "";
    std::string absent = "";
    std::string input = ""; // standard input
};

TEST_F(AirvaneCliTest, CommandsExitStatusesAndTexts) {
    const std::string authFailed = "authentication failed (wrong key or pass phrase)";
    const char* unsupported = "the adapter does not support this security";
    std::string wrongLabKey = kLabKey;
    wrongLabKey[0] = 'F';
    std::vector<stCliCase> cases = {
        // Listing: present and ready adapters only; hot-plugged ones through discovery.
        {Args("adapters"), 0,
         "sim0|Test card|address 02:00:00:00:00:10, WPA-PSK up to CCMP|sim1|WEP Plus|sim4", "",
         "sim2|sim3|sim5"},
        {Args("adapters --json"), 0,
         "^{\"ok\":true,\"adapters\":[|{\"name\":\"sim0\"|"
         "{\"name\":\"sim1\",\"friendly_name\":\"Test stick\"|{\"name\":\"sim4\"",
         "", "sim2|sim3|sim5"},
        {Args("-v adapters --discover"), 0, "sim2|hot-plugged",
         "trace: Compatible new adapter : sim2 found with dll sim_adapter.dll"},
        {Connect("sim2 --ssid Home --wpa-psk", kPassphrase), 3, "", "needs --discover"},
        {Connect("sim2 --ssid Home --wpa-psk", kPassphrase, "--discover"), 0, "Connected to Home."},
        {Args("-v scan sim3"), 3, "",
         "error: adapter 'sim3' is not available|trace: Hardware unavailable : sim3"},
        {Args("-v scan sim5"), 3, "", "trace: Preconfigure failed for adapter : sim5"},
        {Args("scan sim4"), 1, "",
         "adapter 'sim4' refused the selection: the driver reported an error [adapter error 10"},
        {Args("--json connect sim4 --ssid Cafe --open"), 1, "\"ok\":false|\"id\":\"driver\""},
        {Args("scan nosuch"), 3, "", "error: adapter 'nosuch' is not available"},
        {Args("--json scan nosuch"), 3, "^{\"ok\":false,\"status\":3,\"status_name\":\"not-found\""},
        {Args("status"), 0,
         "Adapter sim0 (Test card), selected|link:     not associated|networks: 8 in range"},
        {Args("status sim1 --json"), 0,
         "^{\"ok\":true,\"adapter\":\"sim1\",\"selected\":true,\"friendly_name\":\"Test stick\","
         "\"link\":{\"status\":3,\"text\":\"not associated\"},\"security\":null"},
        {Args("--version"), 0, "^airvane "},
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
        {Connect("sim0 --ssid Nowhere --open"), 3, "", "network not found (not in range)"},
        {Args("connect sim0 --ssid Far --open --timeout 0.2 --poll-interval 5"), 5, "",
         "timed out after 0.2 s connecting to 'Far' (link associating"},
        {Args("--json connect sim0 --ssid Far --open --timeout 0.1 --poll-interval 5"), 5,
         "^{\"ok\":false,\"status\":5,\"status_name\":\"timeout\",\"adapter\":\"sim0\""},
        {Connect("sim0 --ssid Home --open"), 1, "", "association failed"},
        {Connect("sim0 --ssid Office --wep 0a1b2c3d4e"), 0, "Connected to Office."},
        {Connect("sim0 --ssid Office --wep 0A1B2C3D4F"), 4, "", authFailed, "Connected"},
        {Connect("sim0 --ssid Office --wep 0A1B2C3D"), 4, "", authFailed},
        {Connect("sim0 --ssid Office --wep -"), 0, "Connected to Office.", "", "", "0A1B2C3D4E\n"},
        // WPA-PSK: the handshake states in order; a wrong secret never completes.
        {Connect("sim0 --ssid Home --wpa-psk", kPassphrase), 0,
         "security: WPA-PSK scanning|security: WPA-PSK 4-way handshake|security: WPA-PSK group handshake|"
         "security: WPA-PSK completed|Connected to Home."},
        {Connect("sim0 --ssid Home --wpa-psk -"), 0, "Connected to Home.", "", "", kPassphrase},
        {Connect("sim0 --ssid Home --wpa-psk -"), 2, "", "no secret on standard input"},
        {Connect("sim0 --ssid Home --wpa-psk", "incorrect horse battery staple"), 4,
         "security: WPA-PSK 4-way handshake|security: WPA-PSK disconnected",
         "error: connecting to 'Home' failed: " + authFailed, "completed"},
        {Connect("sim0 --ssid Lab --wpa-key", kLabKey), 0, "security: WPA-PSK completed"},
        {Connect("sim0 --ssid Lab --wpa-key", wrongLabKey), 4, "", authFailed, "completed"},
        // A pass phrase against an access point holding a raw key is compared by master key.
        {Connect("sim0 --ssid Lab --wpa-psk", kPassphrase), 4, "", authFailed, "completed"},
        {Connect("sim0 --ssid IEEE --wpa-key", kIEEEKey), 0, "security: WPA-PSK completed"},
        {Connect("sim6 --ssid IEEE --wpa-psk password"), 0, "security: WPA-PSK completed"},
        {Args("--json connect sim0 --ssid Home --poll-interval 1 --wpa-psk", kPassphrase), 0,
         "^{\"ok\":true,\"adapter\":\"sim0\",\"ssid\":\"Home\",\"method\":\"WPA-PSK\"|"
         "\"security\":{\"method\":\"WPA-PSK\",\"uid\":4,\"wpa_state\":6,\"state_text\":\"completed\"}"},
        {Args("--json connect sim0 --ssid Home --poll-interval 1 --wpa-psk", "wrong pass phrase"), 4,
         "^{\"ok\":false,\"status\":4,\"status_name\":\"authentication\"|"
         "{\"kind\":\"security\",\"value\":4,\"text\":\"WPA-PSK 4-way handshake\"}|"
         "\"error\":{\"generic\":9,\"id\":\"authentication-failed\""},
        {Connect("sim1 --ssid Home --wpa-psk", kPassphrase), 1, "", unsupported},
        // WEP Plus failures (the successful renewal has its own test).
        {Connect("sim1 --ssid Plus --wepplus 00112233445566778899AABBCD"), 4, "", authFailed},
        {Connect("sim0 --ssid PlusOnCard --wepplus 0102030405"), 1, "", unsupported},
        // Information elements; several elements give the union of their flags.
        {Args("ie decode", kWpaIE), 0, "=0x01010404 GROUP_TKIP PAIRWISE_TKIP AKM_PSK PROTO_WPA\n"},
        {Args("ie encode PROTO_WPA GROUP_TKIP PAIRWISE_TKIP AKM_PSK"), 0, "=" + std::string(kWpaIE) + "\n"},
        {Args("ie encode 0x02010808"), 0, "=" + std::string(kRsnIE) + "\n"},
        {Args("ie decode 30:14:01:00:00:0f:ac:04:01:00:00:0f:ac:04:01:00:00:0f:ac:02:00:00"), 0,
         "=0x02010808 GROUP_CCMP PAIRWISE_CCMP AKM_PSK PROTO_RSN\n"},
        {Args(std::string("ie decode ") + kWpaIE + " " + kRsnIE + " --json"), 0, "\"flags\":\"0x03010c0c\""},
        {Args("ie decode DD16"), 1},
        {Args("ie encode GROUP_TKIP"), 1},                           // no protocol flag
        {{"connect", "sim0", "--ssid", "Home", "--wpa-psk", ""}, 2}, // empty pass phrase
        {Args("--help"), 0,
         "Usage:|Exit status: 0 success, 1 the operation failed, 2 usage error, 3 adapter or network not "
         "found,|"
         "4 authentication failed, 5 timed out, 6 no usable adapter|7 the WEP Plus key store cannot be "
         "written."},
        {Args("--json connect nosuch --ssid Cafe --open"), 3,
         "^{\"ok\":false,\"status\":3,\"status_name\":\"not-found\",\"adapter\":\"nosuch\",\"ssid\":"
         "\"Cafe\",\"method\":\"open\",\"events\":[],\"message\":"},
        {Args("--json connect sim0 --ssid Cafe --open --timeout nan"), 2, "^{\"ok\":false,\"status\":2"},
        {Args("--json fly"), 2, "^{\"ok\":false,\"status\":2,\"status_name\":\"usage\",\"message\":"},
        {Args("connect --help"), 0, "Usage:|--wpa-psk"},
    };
    // Usage errors: unknown commands and options, missing or conflicting arguments, malformed keys.
    for (const char* usage :
         {"",
          "fly",
          "adapters --bogus",
          "scan",
          "connect sim0 --ssid Cafe",
          "connect sim0 --open",
          "connect sim0 --ssid Cafe --open --wep 0102030405",
          "connect sim0 --ssid Office --wep 0A1B2",
          "connect sim0 --ssid Office --wep not-hex",
          "connect sim0 --ssid Lab --wpa-key 0011",
          "connect sim0 --ssid Home --wpa-psk short",
          "connect sim0 --ssid Cafe --open --timeout -1",
          "connect sim0 --ssid Cafe --open --timeout nan",
          "connect sim0 --ssid Cafe --open --timeout 1e300",
          "connect sim0 --ssid Cafe --open --poll-interval 0",
          "connect sim0 --ssid 123456789012345678901234567890123 --open",
          "connect sim1 --ssid Plus --wepplus 0102030405 --wepplus-key-path HKEY_NOWHERE\\Keys",
          "connect sim1 --ssid Plus --wepplus 0102030405 --wepplus-key-path HKEY_CURRENT_USER\\\\Keys",
          "-C /nonexistent/folder adapters",
          "ie",
          "ie decode XY",
          "ie decode DD1",
          "ie encode PROTO_WPA BOGUS",
          "ie encode 0x80000000"}) {
        cases.push_back({Args(usage), 2});
    }
    // Every command has help.
    for (const char* command : {"adapters", "status", "scan", "disconnect", "ie", "ie decode", "ie encode",
                                "config check", "shell"}) {
        cases.push_back({Args(std::string(command) + " --help"), 0, "Usage:"});
    }
    for (const stCliCase& c : cases) {
        std::string line;
        for (const std::string& argument : c.arguments) {
            line += argument + " ";
        }
        SCOPED_TRACE(line);
        const stCliResult result = Run(c.arguments, c.input);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << Describe(result);
        if (c.exitStatus == 2) { // usage errors are explained and connect nothing
            EXPECT_FALSE(result.err.empty());
            EXPECT_EQ(result.out.find("Connecting"), std::string::npos) << result.out;
        }
        if (std::find(c.arguments.begin(), c.arguments.end(), "--json") != c.arguments.end()) {
            // Exactly one document, whatever the outcome.
            EXPECT_EQ(CountOf(result.out, "\n"), 1u) << result.out;
            EXPECT_EQ(result.out.rfind("{\"ok\":", 0), 0u) << result.out;
            EXPECT_EQ(result.out.rfind("}\n"), result.out.size() - 2) << result.out;
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
    EXPECT_EQ(result.exitStatus, 6) << Describe(result);
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

    // The reader's memory budget comes from the environment: a budget too small for the
    // configuration leaves no adapter, a malformed one is a usage error.
    ::setenv("AIRVANE_XML_BUDGET", "0,100", 1);
    EXPECT_EQ(Run({"adapters"}).exitStatus, 6);
    ::setenv("AIRVANE_XML_BUDGET", "64,", 1);
    EXPECT_EQ(Run({"adapters"}).exitStatus, 2);
    ::unsetenv("AIRVANE_XML_BUDGET");
}

TEST_F(AirvaneCliTest, WepPlusRenewalStoresAFreshKeyEachSession) {
    EXPECT_TRUE(StoredKey(kDefaultKeyPath).empty()) << "nothing stored yet";
    // An access point that refuses renewal leaves the link unkeyed and nothing stored.
    stCliResult result = Run(Args(
        std::string("connect sim1 --ssid Stubborn --timeout 0.3 --poll-interval 5 --wepplus"), kPlusKey));
    EXPECT_EQ(result.exitStatus, 5) << Describe(result);
    EXPECT_NE(result.out.find("security: WEP Plus not keyed"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("timed out"), std::string::npos) << result.err;
    EXPECT_TRUE(StoredKey(kDefaultKeyPath).empty());

    result = Run(Connect("sim1 --ssid Plus --wepplus", kPlusKey));
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_NE(result.out.find("security: WEP Plus keyed"), std::string::npos) << result.out;
    const std::vector<unsigned char> first = StoredKey(kDefaultKeyPath);
    ASSERT_EQ(first.size(), 13u) << "same length as the 104-bit initial key";
    EXPECT_NE(first, (std::vector<unsigned char>{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                                                 0xAA, 0xBB, 0xCC}));
    ASSERT_EQ(Run(Connect("sim1 --ssid Plus --wepplus", kPlusKey)).exitStatus, 0);
    const std::vector<unsigned char> second = StoredKey(kDefaultKeyPath);
    ASSERT_EQ(second.size(), 13u);
    EXPECT_NE(second, first) << "a second session agrees another key";

    // With another key path the key goes there and the default place keeps the previous key.
    const char* path = "HKEY_LOCAL_MACHINE\\Software\\Test\\Keys";
    EXPECT_TRUE(StoredKey(path).empty());
    ASSERT_EQ(Run(Connect("sim1 --ssid Plus --wepplus", kPlusKey, std::string("--wepplus-key-path ") + path))
                  .exitStatus,
              0);
    const std::vector<unsigned char> third = StoredKey(path);
    EXPECT_EQ(third.size(), 13u);
    EXPECT_NE(third, second);
    EXPECT_EQ(StoredKey(kDefaultKeyPath), second);
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

    // The shell's status is that of its first failed command.
    EXPECT_EQ(Run({"shell"}, "adapters\nscan nosuch\nadapters\n").exitStatus, 3);
    EXPECT_EQ(Run({"shell"}, "adapters\nscan\nscan nosuch\n").exitStatus, 2);
    const stCliResult help = Run({"shell"}, "help\nhelp connect\nhelp fly\n");
    EXPECT_EQ(help.exitStatus, 2) << Describe(help);
    for (const char* text : {"config", "One adapter is selected at a time", "--wpa-psk TEXT"}) {
        EXPECT_NE(help.out.find(text), std::string::npos) << text << "\n" << help.out;
    }
    const stCliResult json = Run({"--json", "shell"}, "adapters\nie decode DD0600");
    EXPECT_EQ(json.exitStatus, 1);
    EXPECT_EQ(CountOf(json.out, "{\"ok\":"), 2u) << json.out;
}

TEST_F(AirvaneCliTest, NoUsableAdapterIsExplained) {
    WriteFile(m_world.File("junk.so"), "not a module\n");
    const std::string noExport = std::string(AIRVANE_TEST_MODULE_DIR) + "/noexport.dll";
    const std::string declined =
        World(R"(<DEVICE><SIMADAPTER NAME="bad"><NETWORK SSID="Cafe" QUALITY="101"/></SIMADAPTER></DEVICE>)");
    const std::vector<std::pair<std::string, std::string>> worlds = {
        {"", "WLANInterfaces.xml is empty"},
        {"<WLAN><ADAPTER DLL=\"sim_adapter.dll\">", "holds no XML element (truncated, or not XML)"},
        {"plain text, no XML", "holds no XML element"},
        {"<WLAN><DEVICE/></WLAN>", "has no ADAPTER element under <WLAN>"},
        {"<WLAN><ADAPTER/></WLAN>", "ADAPTER 1: no DLL attribute"},
        {"<WLAN><ADAPTER DLL=\"nosuch.dll\"/></WLAN>",
         "ADAPTER 1: module nosuch.dll did not load: nosuch.dll: cannot open shared object file"},
        {"<WLAN><ADAPTER DLL=\"" + m_world.File("junk.so") + "\"/></WLAN>", "junk.so did not load: "},
        {"<WLAN><ADAPTER DLL=\"" + noExport + "\"/></WLAN>",
         "noexport.dll loaded but does not export WLAN_GetAdapter"},
        {declined, "none of its 1 DEVICE elements gave a usable adapter"},
    };
    for (const auto& [world, reason] : worlds) {
        SCOPED_TRACE(world);
        WriteWorld(world);
        for (const char* command : {"adapters", "scan sim0", "status"}) {
            const stCliResult result = Run(Args(std::string("-v ") + command));
            EXPECT_EQ(result.exitStatus, 6) << Describe(result);
            EXPECT_NE(result.err.find("error: no usable adapter\n"), std::string::npos) << result.err;
            EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
        }
    }
    const stCliResult json = Run(Args("--json adapters"));
    EXPECT_EQ(
        json.out.rfind("{\"ok\":false,\"status\":6,\"status_name\":\"no-adapter\",\"message\":\"no usable "
                       "adapter\",\"reasons\":[\"ADAPTER 1: module sim_adapter.dll loaded; none of its",
                       0),
        0u)
        << json.out;
}

TEST_F(AirvaneCliTest, ConfigCheckShowsTheTreeAndTheReaderTraps) {
    WriteFile(m_world.File("odd.xml"), "<WLAN>\n  <!-- a > b -->\n  <ADAPTER DLL=\"x.dll\">\n    </STRAY>\n"
                                       "    <OPEN>\n  </ADAPTER>\n  <C V=\"1>2\"/>\n</WLAN>\n");
    const stCliResult result = Run(Args("config check " + m_world.File("odd.xml")));
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    const std::string file = m_world.File("odd.xml");
    for (const std::string& expected :
         {std::string("reads ") + file + " as:\n<WLAN>", std::string("\n  <ADAPTER DLL=\"x.dll\">"),
          file + ":2:3: comment holds '>'", file + ":4:5: </STRAY> closes no open <STRAY>",
          file + ":5:5: <OPEN> is not closed before </ADAPTER>", file + ":7:10: '>' inside a quoted value"}) {
        EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
    }
    const stCliResult clean = Run(Args("--json config check"));
    EXPECT_EQ(clean.exitStatus, 0);
    EXPECT_NE(clean.out.find("\"tree\":\"<WLAN>\\n  <ADAPTER DLL=\\\"sim_adapter.dll\\\">"),
              std::string::npos)
        << clean.out;
    EXPECT_NE(clean.out.find("\"findings\":[]}"), std::string::npos) << clean.out;
    EXPECT_EQ(Run(Args("config check " + m_world.File("missing.xml"))).exitStatus, 6);
}

TEST_F(AirvaneCliTest, PollingNeverOutlastsTheTimeout) {
    const auto start = std::chrono::steady_clock::now();
    const stCliResult result =
        Run(Args("connect sim0 --ssid Far --open --timeout 0.2 --poll-interval 60000"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30))
        << "a 60 s poll was not cut short";
    EXPECT_EQ(result.exitStatus, 5) << Describe(result);
    EXPECT_NE(result.err.find("); disconnected"), std::string::npos) << result.err;
}

TEST_F(AirvaneCliTest, WepPlusKeyStoreThatCannotBeWrittenFailsTheConnect) {
    const std::vector<std::string> connect = Connect("sim1 --ssid Plus --wepplus", kPlusKey);
    // A store file that is no store.
    WriteFile(m_registry.Path(), "not a database\n");
    stCliResult result = Run(connect);
    EXPECT_EQ(result.exitStatus, 7) << Describe(result);
    EXPECT_NE(result.err.find("the WEP Plus key store cannot be written"), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("Connected"), std::string::npos) << result.out;
    // A store another process holds locked: one busy timeout, then the failure.
    std::remove(m_registry.Path().c_str());
    ASSERT_EQ(Run(connect).exitStatus, 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(m_registry.Path().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto start = std::chrono::steady_clock::now();
    result = Run(connect);
    const auto waited = std::chrono::steady_clock::now() - start;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(result.exitStatus, 7) << Describe(result);
    EXPECT_EQ(result.out.find("Connected"), std::string::npos) << result.out;
    EXPECT_LT(waited, std::chrono::seconds(9)) << "a locked store must not cost a busy timeout per step";
}

} // namespace
} // namespace airvane::test
