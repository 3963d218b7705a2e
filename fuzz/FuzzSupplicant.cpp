// The simulated supplicant's network block parser on arbitrary text.

#include "FuzzUnitTime.h"
#include "plugins/sim/supplicant/NetworkBlock.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

int FuzzOne(const std::uint8_t* data, std::size_t size) {
    // Exactly the input and its terminating zero, so that any read past it is caught.
    std::unique_ptr<char[]> text(new char[size + 1]);
    if (size != 0) {
        std::memcpy(text.get(), data, size);
    }
    text[size] = '\0';
    airvane::sim::stSimNetworkBlock block;
    std::string error;
    const bool parsed = airvane::sim::ParseNetworkBlock(text.get(), block, &error);
    if (parsed) {
        if (block.ssid.empty() || block.ssid.size() > 32) {
            std::fprintf(stderr, "accepted a block with an SSID of %zu bytes\n", block.ssid.size());
            std::abort();
        }
        if (block.hasPassphrase == block.hasKey) {
            std::fprintf(stderr, "accepted a block without exactly one of pass phrase and key\n");
            std::abort();
        }
        if (block.hasPassphrase && (block.passphrase.size() < 8 || block.passphrase.size() > 63)) {
            std::fprintf(stderr, "accepted a pass phrase of %zu characters\n", block.passphrase.size());
            std::abort();
        }
    } else if (error.empty()) {
        std::fprintf(stderr, "rejected a block without a reason\n");
        std::abort();
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return RunWithinTimeBudget(data, size, FuzzOne);
}
