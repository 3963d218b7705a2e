#include "plugins/sim/adapter/SimWorld.h"
#include "airvane/Hex.h"

#include "airvane/xml/XMLReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace airvane::sim {
namespace {

std::string DeviceText(const std::string& adapterAttributes, const std::string& networks,
                       const std::string& hardwareId = "PCI\\SIM") {
    return "<DEVICE CLASS=\"NET\" HARDWAREID=\"" + hardwareId + "\"><X KITNAME=\"k\"/><SIMADAPTER " +
           adapterAttributes + ">" + networks + "</SIMADAPTER></DEVICE>";
}

// A device with one network of the given attributes.
std::string NetworkText(const std::string& attributes) {
    return DeviceText("NAME=\"a\"", "<NETWORK SSID=\"x\" " + attributes + "/>");
}

bool Parse(const std::string& text, stSimAdapterConfig& config, std::string& error) {
    stXMLNode* device = XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr);
    EXPECT_NE(device, nullptr);
    const bool parsed = ParseSimDevice(device, config, error);
    XMLFreeTree(device);
    return parsed;
}

TEST(SimWorldTest, DefaultsForAMinimalAdapter) {
    stSimAdapterConfig config;
    std::string error;
    ASSERT_TRUE(Parse(DeviceText("NAME=\"sim0\"", "<NETWORK SSID=\"Cafe\"/>"), config, error)) << error;
    EXPECT_EQ(config.name, "sim0");
    EXPECT_EQ(config.friendlyName, "sim0");
    EXPECT_EQ(config.label, "sim0");
    EXPECT_EQ(config.hardwareId, "PCI\\SIM");
    EXPECT_TRUE(config.present && config.ready && config.prepareSucceeds && config.acceptsSelection);
    EXPECT_TRUE(config.wpaSupported);
    EXPECT_FALSE(config.hotPlug);
    EXPECT_FALSE(config.wepPlusSupported);
    EXPECT_EQ(config.maxCipher, 3);
    EXPECT_EQ(config.address[0], 0x02) << "locally administered stand-in address";
    ASSERT_EQ(config.networks.size(), 1u);
    const stSimNetwork& network = config.networks[0];
    EXPECT_EQ(network.ssid, "Cafe");
    EXPECT_EQ(network.quality, 50);
    EXPECT_EQ(network.security, SIM_SECURITY_NONE);
    EXPECT_EQ(network.association, SIM_ASSOCIATION_ACCEPT);
    EXPECT_TRUE(network.acceptsRenewal);
    EXPECT_EQ(network.bssid[0], 0x02);

    // Derived addresses are stable and differ between names.
    stSimAdapterConfig again;
    stSimAdapterConfig other;
    ASSERT_TRUE(Parse(DeviceText("NAME=\"sim0\"", ""), again, error));
    ASSERT_TRUE(Parse(DeviceText("NAME=\"sim1\"", ""), other, error));
    EXPECT_EQ(0, std::memcmp(config.address, again.address, kSimAddressBytes));
    EXPECT_NE(0, std::memcmp(config.address, other.address, kSimAddressBytes));
}

TEST(SimWorldTest, ReadsEveryAttribute) {
    const std::string networks =
        "<NETWORK SSID=\"Home\" QUALITY=\"82\" SECURITY=\"WPA-PSK\" PASSPHRASE=\"a &amp; b pass\" "
        "BSSID=\"0a-0b-0c-0d-0e-0f\" ASSOCIATION=\"ignore\"/>"
        "<NETWORK SSID=\"Lab\" SECURITY=\"WPA-PSK\" "
        "KEY=\"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\"/>"
        "<NETWORK SSID=\"Office\" QUALITY=\"0\" SECURITY=\"WEP\" KEY=\"0102030405\" ASSOCIATION=\"refuse\"/>"
        "<NETWORK SSID=\"Plus\" QUALITY=\"100\" SECURITY=\"WEPPLUS\" KEY=\"AABBCC\" RENEWAL=\"refuse\"/>";
    stSimAdapterConfig config;
    std::string error;
    ASSERT_TRUE(
        Parse(DeviceText("NAME=\"s\" FRIENDLYNAME=\"Friendly\" ADDRESS=\"02:00:5E:00:00:01\" PRESENT=\"no\" "
                         "HOTPLUG=\"yes\" READY=\"no\" PREPARE=\"fail\" SELECT=\"refuse\" WPA=\"no\" "
                         "CIPHER=\"TKIP\" LABEL=\"lbl\"",
                         networks, "usb\\VID_03EB&amp;PID_7605\\X"),
              config, error))
        << error;
    EXPECT_EQ(config.friendlyName, "Friendly");
    EXPECT_EQ(config.label, "lbl");
    EXPECT_EQ(FormatHardwareAddress(config.address), "02:00:5E:00:00:01");
    EXPECT_FALSE(config.present || config.ready || config.prepareSucceeds || config.acceptsSelection);
    EXPECT_FALSE(config.wpaSupported);
    EXPECT_TRUE(config.hotPlug);
    EXPECT_EQ(config.maxCipher, 2);
    EXPECT_TRUE(config.wepPlusSupported) << "hardware identifier of a WEP Plus device";
    ASSERT_EQ(config.networks.size(), 4u);
    EXPECT_EQ(config.networks[0].passphrase, "a & b pass");
    EXPECT_EQ(config.networks[0].quality, 82);
    EXPECT_EQ(FormatHardwareAddress(config.networks[0].bssid), "0A:0B:0C:0D:0E:0F");
    EXPECT_EQ(config.networks[0].association, SIM_ASSOCIATION_IGNORE);
    ASSERT_EQ(config.networks[1].key.size(), 32u);
    EXPECT_EQ(config.networks[1].key[31], 0x1f);
    EXPECT_TRUE(config.networks[1].passphrase.empty());
    EXPECT_EQ(config.networks[2].security, SIM_SECURITY_WEP);
    EXPECT_EQ(config.networks[2].quality, 0);
    EXPECT_EQ(config.networks[2].association, SIM_ASSOCIATION_REFUSE);
    EXPECT_EQ(config.networks[3].security, SIM_SECURITY_WEPPLUS);
    EXPECT_EQ(config.networks[3].quality, 100);
    EXPECT_FALSE(config.networks[3].acceptsRenewal);
    EXPECT_EQ(config.networks[3].key, (std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC}));
}

TEST(SimWorldTest, RejectsMalformedWorlds) {
    const std::string key64(64, 'a');
    const struct {
        std::string text;
        const char* reason; // part of the error text
    } cases[] = {
        {"<DEVICE CLASS=\"NET\"><X/></DEVICE>", "no SIMADAPTER"},
        {"<DEVICE><SIMADAPTER NAME=\"a\"/><SIMADAPTER NAME=\"b\"/></DEVICE>", "more than one"},
        {DeviceText("FRIENDLYNAME=\"x\"", ""), "NAME"},
        {DeviceText("NAME=\"\"", ""), "NAME"},
        {DeviceText("NAME=\"" + std::string(256, 'n') + "\"", ""), "NAME"},
        {DeviceText("NAME=\"a\" ADDRESS=\"02:00:5E:00:00\"", ""), "ADDRESS"},
        {DeviceText("NAME=\"a\" ADDRESS=\"02.00.5E.00.00.01\"", ""), "ADDRESS"},
        {DeviceText("NAME=\"a\" PRESENT=\"maybe\"", ""), "PRESENT=\"maybe\": expected yes or no"},
        {DeviceText("NAME=\"a\" CIPHER=\"AES\"", ""), "CIPHER"},
        {DeviceText("NAME=\"a\" SELECT=\"yes\"", ""), "SELECT"},
        {DeviceText("NAME=\"a\"", "<NETWORK QUALITY=\"3\"/>"), "NETWORK 1: SSID"},
        {DeviceText("NAME=\"a\"", "<NETWORK SSID=\"" + std::string(33, 's') + "\"/>"), "SSID"},
        {NetworkText("QUALITY=\"101\""), "QUALITY"},
        {NetworkText("QUALITY=\"-1\""), "QUALITY"},
        {NetworkText("SECURITY=\"WPA2\""), "SECURITY"},
        {NetworkText("KEY=\"01\""), "open network"},
        {NetworkText("SECURITY=\"WEP\""), "KEY"},
        {NetworkText("SECURITY=\"WEP\" KEY=\"012\""), "KEY"},
        {NetworkText("SECURITY=\"WEP\" KEY=\"" + std::string(66, '1') + "\""), "KEY"},
        {NetworkText("SECURITY=\"WPA-PSK\" KEY=\"" + key64 + "\" PASSPHRASE=\"12345678\""), "either"},
        {NetworkText("SECURITY=\"WPA-PSK\""), "either"},
        {NetworkText("SECURITY=\"WPA-PSK\" KEY=\"0102\""), "32 bytes"},
        {NetworkText("SECURITY=\"WPA-PSK\" PASSPHRASE=\"1234567\""), "8 to 63"},
        {DeviceText("NAME=\"a\"", "<NETWORK SSID=\"x\"/><NETWORK SSID=\"x\"/>"), "NETWORK 2"},
        {NetworkText("BSSID=\"zz:00:00:00:00:00\""), "BSSID"},
        {NetworkText("ASSOCIATION=\"maybe\""), "ASSOCIATION"},
        {NetworkText("RENEWAL=\"no\""), "RENEWAL"},
    };
    for (const auto& c : cases) {
        stSimAdapterConfig config;
        config.name = "untouched";
        std::string error;
        EXPECT_FALSE(Parse(c.text, config, error)) << c.text;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
        EXPECT_EQ(config.name, "untouched") << c.text;
    }
    stSimAdapterConfig config;
    std::string error;
    EXPECT_FALSE(ParseSimDevice(nullptr, config, error));
}

TEST(SimWorldTest, HardwareAddressesAndHex) {
    std::uint8_t address[kSimAddressBytes] = {};
    EXPECT_TRUE(ParseHardwareAddress("aa:BB:cc-DD:ee:FF", address));
    EXPECT_EQ(FormatHardwareAddress(address), "AA:BB:CC:DD:EE:FF");
    for (const char* bad : {"aa:bb:cc:dd:ee:f", "aa:bb:cc:dd:ee:ff:", "aabb:cc:dd:ee:ff:"}) {
        EXPECT_FALSE(ParseHardwareAddress(bad, address)) << bad;
    }
    std::vector<std::uint8_t> bytes = {9};
    EXPECT_FALSE(airvane::hex::Decode("", bytes));
    EXPECT_FALSE(airvane::hex::Decode("0g", bytes));
    EXPECT_EQ(bytes, std::vector<std::uint8_t>{9}) << "unchanged on failure";
    EXPECT_TRUE(airvane::hex::Decode("00fF10", bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0x10}));
}

} // namespace
} // namespace airvane::sim
