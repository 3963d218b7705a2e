#pragma once

#include "airvane/security/WepPlusAdapter.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace airvane::test {

// Scripted IWepPlusAdapter that records the calls it receives.
class CFakeWepPlusAdapter : public IWepPlusAdapter {
public:
    std::array<std::uint8_t, 6> address{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}};
    std::array<std::uint8_t, 6> peer{{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
    std::array<std::uint8_t, 4> indicator{{0, 0, 0, 0}};
    std::uint32_t counter1 = 0, counter2 = 0;
    bool addressOk = true, peerOk = true, indicatorOk = true, countersOk = true, nullLabel = false;
    std::string label = "Label";

    int addressCalls = 0, peerCalls = 0, indicatorCalls = 0;
    std::uint32_t lastAddressLength = 0, lastPeerLength = 0, lastIndicatorLength = 0;
    bool indicatorBufferWasZero = true, countersWereZero = true;

    int Reserved() override { return 0; }
    int GetAdapterAddress(std::uint8_t* buffer, std::uint32_t* length) override {
        return Address(address, addressOk, addressCalls, lastAddressLength, buffer, length);
    }
    int GetPeerAddress(std::uint8_t* buffer, std::uint32_t* length) override {
        return Address(peer, peerOk, peerCalls, lastPeerLength, buffer, length);
    }
    int GetIndicator(std::uint8_t* buffer, std::uint32_t* length) override {
        ++indicatorCalls;
        lastIndicatorLength = *length;
        indicatorBufferWasZero = buffer[0] == 0 && buffer[1] == 0 && buffer[2] == 0 && buffer[3] == 0;
        std::memcpy(buffer, indicator.data(), indicator.size());
        return indicatorOk ? 1 : 0;
    }
    int GetCounters(std::uint32_t* c1, std::uint32_t* c2) override {
        countersWereZero = *c1 == 0 && *c2 == 0;
        *c1 = countersOk ? counter1 : *c1;
        *c2 = countersOk ? counter2 : *c2;
        return countersOk ? 1 : 0;
    }
    const char* GetLabel() override { return nullLabel ? nullptr : label.c_str(); }

    static int Address(const std::array<std::uint8_t, 6>& value, bool ok, int& calls,
                       std::uint32_t& lastLength, std::uint8_t* buffer, const std::uint32_t* length) {
        ++calls;
        lastLength = *length;
        std::memcpy(buffer, value.data(), ok ? value.size() : 0);
        return ok ? 1 : 0;
    }
};

} // namespace airvane::test
