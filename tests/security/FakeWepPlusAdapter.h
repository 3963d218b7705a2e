#pragma once

#include "airvane/security/WepPlusAdapter.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace airvane::test {

// Scripted IWepPlusAdapter that counts the calls it receives.
class CFakeWepPlusAdapter : public IWepPlusAdapter {
public:
    std::array<std::uint8_t, 6> address{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}};
    std::array<std::uint8_t, 6> peer{{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
    std::array<std::uint8_t, 4> indicator{{0, 0, 0, 0}};
    std::uint32_t counter1 = 0;
    std::uint32_t counter2 = 0;
    bool addressOk = true;
    bool peerOk = true;
    bool indicatorOk = true;
    bool countersOk = true;
    bool nullLabel = false;
    std::string label = "Label";

    int reservedCalls = 0;
    int addressCalls = 0;
    int peerCalls = 0;
    int indicatorCalls = 0;
    int counterCalls = 0;
    int labelCalls = 0;
    std::uint32_t lastAddressLength = 0;
    std::uint32_t lastPeerLength = 0;
    std::uint32_t lastIndicatorLength = 0;
    bool indicatorBufferWasZero = true;
    bool countersWereZero = true;

    int Reserved() override { return ++reservedCalls; }
    int GetAdapterAddress(std::uint8_t* buffer, std::uint32_t* length) override {
        ++addressCalls;
        lastAddressLength = *length;
        if (!addressOk) {
            return 0;
        }
        std::memcpy(buffer, address.data(), address.size());
        return 1;
    }
    int GetPeerAddress(std::uint8_t* buffer, std::uint32_t* length) override {
        ++peerCalls;
        lastPeerLength = *length;
        if (!peerOk) {
            return 0;
        }
        std::memcpy(buffer, peer.data(), peer.size());
        return 1;
    }
    int GetIndicator(std::uint8_t* buffer, std::uint32_t* length) override {
        ++indicatorCalls;
        lastIndicatorLength = *length;
        indicatorBufferWasZero = buffer[0] == 0 && buffer[1] == 0 && buffer[2] == 0 && buffer[3] == 0;
        std::memcpy(buffer, indicator.data(), indicator.size());
        return indicatorOk ? 1 : 0;
    }
    int GetCounters(std::uint32_t* c1, std::uint32_t* c2) override {
        ++counterCalls;
        countersWereZero = *c1 == 0 && *c2 == 0;
        if (!countersOk) {
            return 0;
        }
        *c1 = counter1;
        *c2 = counter2;
        return 1;
    }
    const char* GetLabel() override {
        ++labelCalls;
        return nullLabel ? nullptr : label.c_str();
    }
};

} // namespace airvane::test
