// End-to-end tests of the airvane command-line host: they run the built binary, which
// loads the simulated adapter plug-in, supplicant and key-renewal modules from its own
// folder, against worlds written to temporary folders.

#include "airvane/system/Registry.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/CliRunner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace airvane::test {
namespace {

constexpr const char* kPassphrase = "correct horse battery staple";
constexpr const char* kLabKey = "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F";
// Master key of pass phrase "password" on SSID "IEEE" (IEEE 802.11i test vector).
constexpr const char* kIEEEKey = "f42c6fc52df0ebef9ebb4b90b38a5f902e83fe1b135a70e23aed762e9710a12e";
constexpr const char* kPlusKey = "00112233445566778899AABBCC";
constexpr const char* kDefaultKeyPath = "HKEY_CURRENT_USER\\Software\\Airvane\\WepPlus";

std::string Device(const std::string& hardwareId, const std::string& adapterAttributes,
                   const std::string& networks) {
    return "    <DEVICE CLASS=\"NET\" HARDWAREID=\"" + hardwareId + "\">\n      <X KITNAME=\"Test kit\"/>\n" +
           "      <SIMADAPTER " + adapterAttributes + ">\n" + networks +
           "      </SIMADAPTER>\n    </DEVICE>\n";
}

std::string Network(const std::string& attributes) {
    return "        <NETWORK " + attributes + "/>\n";
}

std::string World(const std::string& devices) {
    return "<?xml version=\"1.0\"?>\n<WLAN>\n  <ADAPTER DLL=\"sim_adapter.dll\">\n" + devices +
           "  </ADAPTER>\n</WLAN>\n";
}

// The world most tests run against.
std::string StandardWorld() {
    return World(
        Device("PCI\\VEN_5AA5&amp;DEV_0001\\T0",
               "NAME=\"sim0\" FRIENDLYNAME=\"Test card\" ADDRESS=\"02:00:00:00:00:10\"",
               Network(std::string("SSID=\"Home\" QUALITY=\"80\" SECURITY=\"WPA-PSK\" PASSPHRASE=\"") +
                       kPassphrase + "\"") +
                   Network("SSID=\"IEEE\" QUALITY=\"70\" SECURITY=\"WPA-PSK\" PASSPHRASE=\"password\"") +
                   Network(std::string("SSID=\"Lab\" QUALITY=\"60\" SECURITY=\"WPA-PSK\" KEY=\"") + kLabKey +
                           "\"") +
                   Network("SSID=\"Office\" QUALITY=\"50\" SECURITY=\"WEP\" KEY=\"0A1B2C3D4E\"") +
                   Network("SSID=\"Cafe\" QUALITY=\"40\"") +
                   Network("SSID=\"Guarded\" QUALITY=\"30\" ASSOCIATION=\"refuse\"") +
                   Network("SSID=\"Far\" QUALITY=\"5\" ASSOCIATION=\"ignore\"") +
                   Network("SSID=\"PlusOnCard\" SECURITY=\"WEPPLUS\" KEY=\"0102030405\"")) +
        Device("USB\\VID_03EB&amp;PID_7605\\T1",
               "NAME=\"sim1\" FRIENDLYNAME=\"Test stick\" ADDRESS=\"02:00:00:00:00:11\" WPA=\"no\" "
               "LABEL=\"stick\"",
               Network(std::string("SSID=\"Plus\" QUALITY=\"75\" SECURITY=\"WEPPLUS\" KEY=\"") + kPlusKey +
                       "\" BSSID=\"02:00:00:00:01:01\"") +
                   Network(std::string("SSID=\"Stubborn\" SECURITY=\"WEPPLUS\" KEY=\"") + kPlusKey +
                           "\" RENEWAL=\"refuse\"") +
                   Network(std::string("SSID=\"Home\" SECURITY=\"WPA-PSK\" PASSPHRASE=\"") + kPassphrase +
                           "\"")) +
        Device(
            "PCMCIA\\T2", "NAME=\"sim2\" FRIENDLYNAME=\"Hot card\" HOTPLUG=\"yes\" CIPHER=\"TKIP\"",
            Network(std::string("SSID=\"Home\" SECURITY=\"WPA-PSK\" PASSPHRASE=\"") + kPassphrase + "\"")) +
        Device("PCI\\T3", "NAME=\"sim3\" FRIENDLYNAME=\"Absent card\" PRESENT=\"no\"",
               Network("SSID=\"Cafe\"")) +
        Device("PCI\\T4", "NAME=\"sim4\" FRIENDLYNAME=\"Busy card\" SELECT=\"refuse\"",
               Network("SSID=\"Cafe\"")) +
        Device("PCI\\T5", "NAME=\"sim5\" FRIENDLYNAME=\"Broken card\" READY=\"no\" PREPARE=\"fail\"",
               Network("SSID=\"Cafe\"")));
}

class AirvaneCliTest : public ::testing::Test {
protected:
    void SetUp() override { WriteWorld(StandardWorld()); }

    void WriteWorld(const std::string& text) { WriteFile(m_world.File("WLANInterfaces.xml"), text); }

    // Runs the CLI in the world's folder (-C), polling fast.
    stCliResult Run(std::vector<std::string> arguments, const std::string& input = std::string()) {
        arguments.insert(arguments.begin(), {"-C", m_world.Path()});
        return RunCli(arguments, input);
    }

    stCliResult Connect(const std::string& adapter, const std::string& ssid, const std::string& option,
                        const std::string& secret, std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments = {"connect", adapter, "--ssid", ssid, option};
        if (!secret.empty()) {
            arguments.push_back(secret);
        }
        arguments.insert(arguments.end(), {"--poll-interval", "1", "--timeout", "5"});
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return Run(arguments);
    }

    CTempDir m_world;
    CScopedRegistry m_registry;
};

std::string Describe(const stCliResult& result) {
    return "exit " + std::to_string(result.exitStatus) + "\nstdout:\n" + result.out + "stderr:\n" +
           result.err;
}

// --- listing, discovery, absent and refusing adapters -------------------------------------

TEST_F(AirvaneCliTest, AdaptersListsPresentAndReadyAdaptersOnly) {
    const stCliResult result = Run({"adapters"});
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_NE(result.out.find("sim0"), std::string::npos);
    EXPECT_NE(result.out.find("Test card"), std::string::npos);
    EXPECT_NE(result.out.find("address 02:00:00:00:00:10, WPA-PSK up to CCMP"), std::string::npos);
    EXPECT_NE(result.out.find("sim1"), std::string::npos);
    EXPECT_NE(result.out.find("WEP Plus"), std::string::npos);
    EXPECT_NE(result.out.find("sim4"), std::string::npos) << "present and ready, only refuses selection";
    EXPECT_EQ(result.out.find("sim2"), std::string::npos) << "hot-plugged: discovery only";
    EXPECT_EQ(result.out.find("sim3"), std::string::npos) << "device absent";
    EXPECT_EQ(result.out.find("sim5"), std::string::npos) << "preparation fails";
}

TEST_F(AirvaneCliTest, AdaptersJsonNamesEveryListedAdapter) {
    const stCliResult result = Run({"adapters", "--json"});
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_EQ(result.out.rfind("{\"ok\":true,\"adapters\":[", 0), 0u) << result.out;
    EXPECT_EQ(CountOf(result.out, "\"name\":"), 3u) << result.out;
    EXPECT_NE(result.out.find("{\"name\":\"sim1\",\"friendly_name\":\"Test stick\""), std::string::npos);
}

TEST_F(AirvaneCliTest, DiscoveryAddsHotPluggedAdapter) {
    const stCliResult result = Run({"-v", "adapters", "--discover"});
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_NE(result.out.find("sim2"), std::string::npos);
    EXPECT_NE(result.out.find("hot-plugged"), std::string::npos);
    EXPECT_NE(result.err.find("trace: Compatible new adapter : sim2 found with dll sim_adapter.dll"),
              std::string::npos)
        << result.err;

    const stCliResult withoutDiscovery = Connect("sim2", "Home", "--wpa-psk", kPassphrase);
    EXPECT_EQ(withoutDiscovery.exitStatus, 1) << Describe(withoutDiscovery);
    EXPECT_NE(withoutDiscovery.err.find("needs --discover"), std::string::npos);
    const stCliResult withDiscovery = Connect("sim2", "Home", "--wpa-psk", kPassphrase, {"--discover"});
    EXPECT_EQ(withDiscovery.exitStatus, 0) << Describe(withDiscovery);
}

TEST_F(AirvaneCliTest, AbsentAdapterIsNotAvailable) {
    const stCliResult result = Run({"-v", "scan", "sim3"});
    EXPECT_EQ(result.exitStatus, 1) << Describe(result);
    EXPECT_NE(result.err.find("error: adapter 'sim3' is not available"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("trace: Hardware unavailable : sim3"), std::string::npos) << result.err;
}

TEST_F(AirvaneCliTest, AdapterThatCannotBePreparedIsNotAvailable) {
    const stCliResult result = Run({"-v", "scan", "sim5"});
    EXPECT_EQ(result.exitStatus, 1) << Describe(result);
    EXPECT_NE(result.err.find("trace: Preconfigure failed for adapter : sim5"), std::string::npos)
        << result.err;
}

TEST_F(AirvaneCliTest, RefusedSelectionReportsTheAdaptersError) {
    const stCliResult result = Run({"scan", "sim4"});
    EXPECT_EQ(result.exitStatus, 1) << Describe(result);
    EXPECT_NE(result.err.find(
                  "adapter 'sim4' refused the selection: the driver reported an error [adapter error 10"),
              std::string::npos)
        << result.err;

    const stCliResult json = Run({"--json", "connect", "sim4", "--ssid", "Cafe", "--open"});
    EXPECT_EQ(json.exitStatus, 1);
    EXPECT_NE(json.out.find("\"ok\":false"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"id\":\"driver\""), std::string::npos) << json.out;
}

TEST_F(AirvaneCliTest, UnknownAdapterFails) {
    const stCliResult result = Run({"scan", "nosuch"});
    EXPECT_EQ(result.exitStatus, 1) << Describe(result);
    EXPECT_NE(result.err.find("adapter 'nosuch' is not available"), std::string::npos);
}

TEST_F(AirvaneCliTest, ScanShowsNetworksLinkAndSupport) {
    const stCliResult result = Run({"scan", "sim0"});
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_NE(result.out.find("Adapter sim0 (Test card)"), std::string::npos);
    EXPECT_NE(result.out.find("link:     not associated"), std::string::npos);
    EXPECT_NE(result.out.find("security: none"), std::string::npos);
    EXPECT_NE(result.out.find("supports: open, WEP, WPA-PSK (strongest WPA cipher CCMP)"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("Guarded     30"), std::string::npos) << result.out;

    const stCliResult stick = Run({"scan", "sim1", "--json"});
    ASSERT_EQ(stick.exitStatus, 0) << Describe(stick);
    EXPECT_NE(stick.out.find("\"supports\":{\"methods\":[\"none\",\"WEP\",\"WEP Plus\"]}"), std::string::npos)
        << stick.out;
    EXPECT_NE(stick.out.find("{\"ssid\":\"Plus\",\"quality\":75}"), std::string::npos) << stick.out;
}

TEST_F(AirvaneCliTest, MissingConfigurationFileFails) {
    CTempDir empty;
    const stCliResult result = RunCli({"-C", empty.Path(), "adapters"});
    EXPECT_EQ(result.exitStatus, 1) << Describe(result);
    EXPECT_NE(result.err.find("no WLANInterfaces.xml in " + empty.Path()), std::string::npos) << result.err;
}

TEST_F(AirvaneCliTest, MalformedDeviceIsDeclinedAndOthersStillLoad) {
    WriteWorld(World(Device("PCI\\A", "NAME=\"good\"", Network("SSID=\"Cafe\"")) +
                     Device("PCI\\B", "NAME=\"bad\"", Network("SSID=\"Cafe\" QUALITY=\"101\""))));
    const stCliResult result = Run({"adapters"});
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_NE(result.out.find("good"), std::string::npos);
    EXPECT_EQ(result.out.find("bad"), std::string::npos);
    EXPECT_NE(result.err.find("DEVICE declined: NETWORK 1: QUALITY=\"101\""), std::string::npos)
        << result.err;
}

// --- open and WEP ----------------------------------------------------------------------------

TEST_F(AirvaneCliTest, OpenNetworkConnects) {
    const stCliResult result = Connect("sim0", "Cafe", "--open", "");
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_NE(result.out.find("link: associating\n  link: associated\nConnected to Cafe."), std::string::npos)
        << result.out;
}

TEST_F(AirvaneCliTest, OpenConnectionFailuresNameTheReason) {
    const stCliResult refused = Connect("sim0", "Guarded", "--open", "");
    EXPECT_EQ(refused.exitStatus, 1) << Describe(refused);
    EXPECT_NE(refused.err.find("association failed (the network refused it)"), std::string::npos)
        << refused.err;

    const stCliResult missing = Connect("sim0", "Nowhere", "--open", "");
    EXPECT_EQ(missing.exitStatus, 1) << Describe(missing);
    EXPECT_NE(missing.err.find("network not found (not in range)"), std::string::npos) << missing.err;

    const stCliResult silent =
        Run({"connect", "sim0", "--ssid", "Far", "--open", "--timeout", "0.2", "--poll-interval", "5"});
    EXPECT_EQ(silent.exitStatus, 1) << Describe(silent);
    EXPECT_NE(silent.err.find("timed out after 0.2 s connecting to 'Far' (link associating"),
              std::string::npos)
        << silent.err;

    const stCliResult mismatch = Connect("sim0", "Home", "--open", "");
    EXPECT_EQ(mismatch.exitStatus, 1) << Describe(mismatch);
    EXPECT_NE(mismatch.err.find("association failed"), std::string::npos) << mismatch.err;
}

TEST_F(AirvaneCliTest, WepRightKeyConnectsWrongKeyFails) {
    const stCliResult right = Connect("sim0", "Office", "--wep", "0a1b2c3d4e");
    EXPECT_EQ(right.exitStatus, 0) << Describe(right);
    EXPECT_NE(right.out.find("Connected to Office."), std::string::npos);

    const stCliResult wrong = Connect("sim0", "Office", "--wep", "0A1B2C3D4F");
    EXPECT_EQ(wrong.exitStatus, 1) << Describe(wrong);
    EXPECT_NE(wrong.err.find("authentication failed (wrong key or pass phrase)"), std::string::npos)
        << wrong.err;
    EXPECT_EQ(wrong.out.find("Connected"), std::string::npos);

    const stCliResult shorter = Connect("sim0", "Office", "--wep", "0A1B2C3D");
    EXPECT_EQ(shorter.exitStatus, 1) << Describe(shorter);
}

// --- WPA-PSK ---------------------------------------------------------------------------------

TEST_F(AirvaneCliTest, WpaPassphraseCompletesTheHandshakeInOrder) {
    const stCliResult result = Connect("sim0", "Home", "--wpa-psk", kPassphrase);
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    const std::size_t scanning = result.out.find("security: WPA-PSK scanning");
    const std::size_t pairwise = result.out.find("security: WPA-PSK 4-way handshake");
    const std::size_t group = result.out.find("security: WPA-PSK group handshake");
    const std::size_t completed = result.out.find("security: WPA-PSK completed");
    ASSERT_NE(completed, std::string::npos) << result.out;
    EXPECT_LT(scanning, pairwise);
    EXPECT_LT(pairwise, group);
    EXPECT_LT(group, completed);
    EXPECT_NE(result.out.find("Connected to Home."), std::string::npos);
}

TEST_F(AirvaneCliTest, WpaWrongPassphraseFailsAndNeverCompletes) {
    const stCliResult result = Connect("sim0", "Home", "--wpa-psk", "incorrect horse battery staple");
    EXPECT_EQ(result.exitStatus, 1) << Describe(result);
    EXPECT_NE(result.out.find("security: WPA-PSK 4-way handshake"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("completed"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("security: WPA-PSK disconnected"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find(
                  "error: connecting to 'Home' failed: authentication failed (wrong key or pass phrase)"),
              std::string::npos)
        << result.err;
}

TEST_F(AirvaneCliTest, WpaRawKeyRightAndWrong) {
    const stCliResult right = Connect("sim0", "Lab", "--wpa-key", kLabKey);
    EXPECT_EQ(right.exitStatus, 0) << Describe(right);
    EXPECT_NE(right.out.find("security: WPA-PSK completed"), std::string::npos);

    std::string wrongKey = kLabKey;
    wrongKey[0] = 'F';
    const stCliResult wrong = Connect("sim0", "Lab", "--wpa-key", wrongKey);
    EXPECT_EQ(wrong.exitStatus, 1) << Describe(wrong);
    EXPECT_EQ(wrong.out.find("completed"), std::string::npos);

    // A pass phrase against an access point holding a raw key is compared by master key too.
    const stCliResult passphrase = Connect("sim0", "Lab", "--wpa-psk", kPassphrase);
    EXPECT_EQ(passphrase.exitStatus, 1) << Describe(passphrase);
}

TEST_F(AirvaneCliTest, RawKeyMatchesAccessPointPassphraseByPublishedVector) {
    const stCliResult result = Connect("sim0", "IEEE", "--wpa-key", kIEEEKey);
    EXPECT_EQ(result.exitStatus, 0) << Describe(result);

    WriteWorld(
        World(Device("PCI\\V", "NAME=\"v\"",
                     Network(std::string("SSID=\"IEEE\" SECURITY=\"WPA-PSK\" KEY=\"") + kIEEEKey + "\""))));
    const stCliResult reverse = Connect("v", "IEEE", "--wpa-psk", "password");
    EXPECT_EQ(reverse.exitStatus, 0) << Describe(reverse);
}

TEST_F(AirvaneCliTest, WpaJsonReportsStatesAndErrors) {
    const stCliResult result = Run(
        {"--json", "connect", "sim0", "--ssid", "Home", "--wpa-psk", kPassphrase, "--poll-interval", "1"});
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_EQ(
        result.out.rfind("{\"ok\":true,\"adapter\":\"sim0\",\"ssid\":\"Home\",\"security\":\"WPA-PSK\"", 0),
        0u)
        << result.out;
    EXPECT_NE(result.out.find("\"state\":{\"method\":\"WPA-PSK\",\"uid\":4,\"wpa_state\":6"),
              std::string::npos)
        << result.out;

    const stCliResult wrong = Run({"--json", "connect", "sim0", "--ssid", "Home", "--wpa-psk",
                                   "wrong pass phrase", "--poll-interval", "1"});
    EXPECT_EQ(wrong.exitStatus, 1);
    EXPECT_NE(wrong.out.find("\"ok\":false"), std::string::npos) << wrong.out;
    EXPECT_NE(wrong.out.find("\"error\":{\"generic\":9,\"id\":\"authentication-failed\""), std::string::npos)
        << wrong.out;
    EXPECT_NE(wrong.out.find("{\"security\":\"WPA-PSK 4-way handshake\",\"value\":4}"), std::string::npos)
        << wrong.out;
}

TEST_F(AirvaneCliTest, WpaOnAdapterWithoutWpaIsUnsupported) {
    const stCliResult result = Connect("sim1", "Home", "--wpa-psk", kPassphrase);
    EXPECT_EQ(result.exitStatus, 1) << Describe(result);
    EXPECT_NE(result.err.find("the adapter does not support this security"), std::string::npos) << result.err;
}

// --- WEP Plus ----------------------------------------------------------------------------------

// Registry value name of an adapter's last generated key: its address and label bytes
// interleaved, as upper-case hex.
std::string GeneratedKeyValueName(const std::vector<unsigned char>& address, const std::string& label) {
    std::string name;
    char digits[3];
    for (std::size_t i = 0; i < address.size() || i < label.size(); ++i) {
        if (i < address.size()) {
            std::snprintf(digits, sizeof digits, "%02X", address[i]);
            name += digits;
        }
        if (i < label.size()) {
            std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(label[i]));
            name += digits;
        }
    }
    return name;
}

TEST_F(AirvaneCliTest, WepPlusRenewalStoresAFreshKey) {
    const std::string valueName = GeneratedKeyValueName({0x02, 0, 0, 0, 0, 0x11}, "stick");
    unsigned char key[32] = {};
    std::uint32_t size = sizeof key;
    EXPECT_EQ(RegistryGetBinary(kDefaultKeyPath, valueName.c_str(), key, size), 0) << "nothing stored yet";

    const stCliResult result = Connect("sim1", "Plus", "--wepplus", kPlusKey);
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_NE(result.out.find("security: WEP Plus keyed"), std::string::npos) << result.out;

    size = sizeof key;
    ASSERT_NE(RegistryGetBinary(kDefaultKeyPath, valueName.c_str(), key, size), 0) << valueName;
    ASSERT_EQ(size, 13u) << "same length as the 104-bit initial key";
    const std::vector<unsigned char> first(key, key + size);
    const std::vector<unsigned char> initial = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
                                                0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC};
    EXPECT_NE(first, initial);

    // A second session agrees another key.
    const stCliResult again = Connect("sim1", "Plus", "--wepplus", kPlusKey);
    ASSERT_EQ(again.exitStatus, 0) << Describe(again);
    size = sizeof key;
    ASSERT_NE(RegistryGetBinary(kDefaultKeyPath, valueName.c_str(), key, size), 0);
    EXPECT_NE(std::vector<unsigned char>(key, key + size), first);
}

TEST_F(AirvaneCliTest, WepPlusKeyPathOption) {
    const char* path = "HKEY_LOCAL_MACHINE\\Software\\Test\\Keys";
    const stCliResult result = Connect("sim1", "Plus", "--wepplus", kPlusKey, {"--wepplus-key-path", path});
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    const std::string valueName = GeneratedKeyValueName({0x02, 0, 0, 0, 0, 0x11}, "stick");
    unsigned char key[32] = {};
    std::uint32_t size = sizeof key;
    EXPECT_NE(RegistryGetBinary(path, valueName.c_str(), key, size), 0);
    size = sizeof key;
    EXPECT_EQ(RegistryGetBinary(kDefaultKeyPath, valueName.c_str(), key, size), 0);
}

TEST_F(AirvaneCliTest, WepPlusFailures) {
    const stCliResult wrong = Connect("sim1", "Plus", "--wepplus", "00112233445566778899AABBCD");
    EXPECT_EQ(wrong.exitStatus, 1) << Describe(wrong);
    EXPECT_NE(wrong.err.find("authentication failed"), std::string::npos) << wrong.err;

    const stCliResult refused = Run({"connect", "sim1", "--ssid", "Stubborn", "--wepplus", kPlusKey,
                                     "--timeout", "0.3", "--poll-interval", "5"});
    EXPECT_EQ(refused.exitStatus, 1) << Describe(refused);
    EXPECT_NE(refused.out.find("security: WEP Plus not keyed"), std::string::npos) << refused.out;
    EXPECT_NE(refused.err.find("timed out"), std::string::npos) << refused.err;
    unsigned char key[32] = {};
    std::uint32_t size = sizeof key;
    EXPECT_EQ(RegistryGetBinary(kDefaultKeyPath,
                                GeneratedKeyValueName({0x02, 0, 0, 0, 0, 0x11}, "stick").c_str(), key, size),
              0);

    const stCliResult unsupported = Connect("sim0", "PlusOnCard", "--wepplus", "0102030405");
    EXPECT_EQ(unsupported.exitStatus, 1) << Describe(unsupported);
    EXPECT_NE(unsupported.err.find("the adapter does not support this security"), std::string::npos)
        << unsupported.err;
}

// --- shell, tracing --------------------------------------------------------------------------

TEST_F(AirvaneCliTest, ShellRunsASequenceAgainstOneManager) {
    const std::string script = std::string("# a session\n"
                                           "adapters --discover\n"
                                           "\n"
                                           "connect sim2 --ssid Home --poll-interval 1 --wpa-psk \"") +
                               kPassphrase +
                               "\"\n"
                               "scan sim2\n"
                               "disconnect sim2\n"
                               "scan sim2\n"
                               "exit\n"
                               "adapters\n";
    const stCliResult result = Run({"shell"}, script);
    ASSERT_EQ(result.exitStatus, 0) << Describe(result);
    // sim2 came in by discovery in the first line and stays registered for the others.
    EXPECT_NE(result.out.find("Connected to Home."), std::string::npos) << result.out;
    const std::size_t connectedScan = result.out.find("link:     associated\n  security: WPA-PSK completed");
    const std::size_t disconnected = result.out.find("Disconnected sim2.");
    const std::size_t idleScan = result.out.find("link:     not associated\n  security: none", disconnected);
    EXPECT_NE(connectedScan, std::string::npos) << result.out;
    EXPECT_LT(connectedScan, disconnected);
    EXPECT_NE(idleScan, std::string::npos) << result.out;
    EXPECT_EQ(CountOf(result.out, "FRIENDLY NAME"), 1u) << "nothing runs after exit";
}

TEST_F(AirvaneCliTest, ShellStatusIsTheWorstCommandStatus) {
    EXPECT_EQ(Run({"shell"}, "adapters\nscan nosuch\nadapters\n").exitStatus, 1);
    EXPECT_EQ(Run({"shell"}, "adapters\nscan\nscan nosuch\n").exitStatus, 2);
    const stCliResult json = Run({"--json", "shell"}, "adapters\nie decode DD0600");
    EXPECT_EQ(json.exitStatus, 1);
    EXPECT_EQ(CountOf(json.out, "{\"ok\":"), 2u) << json.out;
}

TEST_F(AirvaneCliTest, VerbosePrintsLibraryAndPluginTraces) {
    const stCliResult quiet = Connect("sim0", "Cafe", "--open", "");
    EXPECT_EQ(quiet.err.find("trace:"), std::string::npos) << quiet.err;
    const stCliResult verbose = Connect("sim0", "Cafe", "--open", "", {"-v"});
    ASSERT_EQ(verbose.exitStatus, 0) << Describe(verbose);
    EXPECT_NE(verbose.err.find("trace: Dll loaded : sim_adapter.dll\n"), std::string::npos) << verbose.err;
    EXPECT_NE(verbose.err.find("trace: DLL : sim_adapter.dll supported adapter : sim0\n"), std::string::npos);
    EXPECT_NE(verbose.err.find("trace: Simulated adapter sim0: associated with Cafe"), std::string::npos);
}

// --- information elements --------------------------------------------------------------------

TEST_F(AirvaneCliTest, IEDecodeAndEncodeRoundTrip) {
    const std::string wpa = "DD160050F20101000050F20201000050F20201000050F202";
    const stCliResult decoded = RunCli({"ie", "decode", wpa});
    ASSERT_EQ(decoded.exitStatus, 0) << Describe(decoded);
    EXPECT_EQ(decoded.out, "0x01010404 GROUP_TKIP PAIRWISE_TKIP AKM_PSK PROTO_WPA\n");

    std::vector<std::string> encodeArgs = {"ie",         "encode",        "PROTO_WPA",
                                           "GROUP_TKIP", "PAIRWISE_TKIP", "AKM_PSK"};
    const stCliResult encoded = RunCli(encodeArgs);
    ASSERT_EQ(encoded.exitStatus, 0) << Describe(encoded);
    EXPECT_EQ(encoded.out, wpa + "\n");

    const stCliResult rsn = RunCli({"ie", "encode", "0x02010808"});
    ASSERT_EQ(rsn.exitStatus, 0) << Describe(rsn);
    EXPECT_EQ(rsn.out, "30140100000FAC040100000FAC040100000FAC020000\n");
    const stCliResult back =
        RunCli({"ie", "decode", "30:14:01:00:00:0f:ac:04:01:00:00:0f:ac:04:01:00:00:0f:ac:02:00:00"});
    ASSERT_EQ(back.exitStatus, 0) << Describe(back);
    EXPECT_EQ(back.out, "0x02010808 GROUP_CCMP PAIRWISE_CCMP AKM_PSK PROTO_RSN\n");

    // Several elements: the union of their flags.
    const stCliResult both =
        RunCli({"ie", "decode", wpa, "30140100000FAC040100000FAC040100000FAC020000", "--json"});
    ASSERT_EQ(both.exitStatus, 0) << Describe(both);
    EXPECT_NE(both.out.find("\"flags\":\"0x03010c0c\""), std::string::npos) << both.out;
}

TEST_F(AirvaneCliTest, IEErrors) {
    EXPECT_EQ(RunCli({"ie", "decode", "DD16"}).exitStatus, 1);
    EXPECT_EQ(RunCli({"ie", "decode", "XY"}).exitStatus, 2);
    EXPECT_EQ(RunCli({"ie", "decode", "DD1"}).exitStatus, 2);
    EXPECT_EQ(RunCli({"ie", "encode", "GROUP_TKIP"}).exitStatus, 1) << "no protocol flag";
    EXPECT_EQ(RunCli({"ie", "encode", "PROTO_WPA", "BOGUS"}).exitStatus, 2);
    EXPECT_EQ(RunCli({"ie", "encode", "0x80000000"}).exitStatus, 2);
    EXPECT_EQ(RunCli({"ie"}).exitStatus, 2);
}

// --- usage ------------------------------------------------------------------------------------

TEST_F(AirvaneCliTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"fly"},
        {"adapters", "--bogus"},
        {"scan"},
        {"connect", "sim0", "--ssid", "Cafe"},
        {"connect", "sim0", "--open"},
        {"connect", "sim0", "--ssid", "Cafe", "--open", "--wep", "0102030405"},
        {"connect", "sim0", "--ssid", "Office", "--wep", "0A1B2"},
        {"connect", "sim0", "--ssid", "Office", "--wep", "not-hex"},
        {"connect", "sim0", "--ssid", "Lab", "--wpa-key", "0011"},
        {"connect", "sim0", "--ssid", "Home", "--wpa-psk", "short"},
        {"connect", "sim0", "--ssid", "Home", "--wpa-psk", ""},
        {"connect", "sim0", "--ssid", "Cafe", "--open", "--timeout", "-1"},
        {"-C", "/nonexistent/folder", "adapters"},
    };
    for (const auto& arguments : cases) {
        const stCliResult result = Run(arguments);
        std::string line;
        for (const std::string& argument : arguments) {
            line += argument + " ";
        }
        EXPECT_EQ(result.exitStatus, 2) << line << "\n" << Describe(result);
        EXPECT_FALSE(result.err.empty()) << line;
        EXPECT_EQ(result.out.find("Connecting"), std::string::npos) << line;
    }
}

TEST_F(AirvaneCliTest, HelpForEveryCommand) {
    const std::vector<std::vector<std::string>> cases = {{"--help"},
                                                         {"adapters", "--help"},
                                                         {"scan", "--help"},
                                                         {"connect", "--help"},
                                                         {"disconnect", "--help"},
                                                         {"ie", "--help"},
                                                         {"ie", "decode", "--help"},
                                                         {"ie", "encode", "--help"},
                                                         {"shell", "--help"}};
    for (const auto& arguments : cases) {
        const stCliResult result = RunCli(arguments);
        EXPECT_EQ(result.exitStatus, 0) << arguments[0] << "\n" << Describe(result);
        EXPECT_NE(result.out.find("Usage:"), std::string::npos) << Describe(result);
    }
    EXPECT_NE(RunCli({"connect", "--help"}).out.find("--wpa-psk"), std::string::npos);
    EXPECT_NE(RunCli({"--help"}).out.find("Exit status: 0 success, 1 the operation failed, 2 usage error."),
              std::string::npos);
}

TEST_F(AirvaneCliTest, DisconnectWithoutLinkSucceeds) {
    const stCliResult result = Run({"disconnect", "sim0"});
    EXPECT_EQ(result.exitStatus, 0) << Describe(result);
    EXPECT_EQ(result.out, "Disconnected sim0.\n");
}

} // namespace
} // namespace airvane::test
