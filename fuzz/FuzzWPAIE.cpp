// The WPA / RSN information element codec: parse arbitrary bytes; generate from an arbitrary
// flag word into a buffer of arbitrary length and parse the result back.

#include "FuzzUnitTime.h"
#include "airvane/security/WPASecureMethod.h"
#include "airvane/wpa_ie/WPAIEFlags.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr unsigned long kProtocolMask = WPAIE_PROTO_WPA | WPAIE_PROTO_RSN;
constexpr unsigned long kGroupMask = WPAIE_GROUP_NONE | WPAIE_GROUP_WEP | WPAIE_GROUP_TKIP | WPAIE_GROUP_CCMP;
constexpr unsigned long kPairwiseMask =
    WPAIE_PAIRWISE_NONE | WPAIE_PAIRWISE_WEP | WPAIE_PAIRWISE_TKIP | WPAIE_PAIRWISE_CCMP;
constexpr unsigned long kAkmMask = WPAIE_AKM_PSK | WPAIE_AKM_8021X;
constexpr unsigned long kAllFlags = kProtocolMask | kGroupMask | kPairwiseMask | kAkmMask;
constexpr unsigned int kMinGenerateBuffer = 40;
constexpr std::size_t kMaxGenerateBuffer = 4096;

[[noreturn]] void Fail(const char* what, unsigned long chosen, unsigned long parsed) {
    std::fprintf(stderr, "WPA IE round trip: %s (flags 0x%08lx, parsed 0x%08lx)\n", what, chosen, parsed);
    std::abort();
}

// What generation is expected to choose from `flags`, field by field: 0 means the field is
// left unwritten (no flag chose a suite), so its parsed value depends on the buffer.
unsigned long ExpectedProtocol(unsigned long flags) {
    if ((flags & WPAIE_PROTO_RSN) != 0) {
        return WPAIE_PROTO_RSN;
    }
    if ((flags & WPAIE_PROTO_WPA) != 0) {
        return WPAIE_PROTO_WPA;
    }
    return 0;
}

unsigned long ExpectedGroup(unsigned long flags) {
    for (unsigned long flag : {WPAIE_GROUP_CCMP, WPAIE_GROUP_TKIP, WPAIE_GROUP_WEP}) {
        if ((flags & flag) != 0) {
            return flag;
        }
    }
    return 0;
}

unsigned long ExpectedPairwise(unsigned long flags) {
    for (unsigned long flag : {WPAIE_PAIRWISE_CCMP, WPAIE_PAIRWISE_TKIP, WPAIE_PAIRWISE_NONE}) {
        if ((flags & flag) != 0) {
            return flag;
        }
    }
    return 0;
}

unsigned long ExpectedAkm(unsigned long flags) {
    for (unsigned long flag : {WPAIE_AKM_8021X, WPAIE_AKM_PSK}) {
        if ((flags & flag) != 0) {
            return flag;
        }
    }
    return 0;
}

void ParseArbitrary(const std::vector<unsigned char>& bytes, unsigned long seed) {
    // Exactly the bytes, so that a read past them is caught.
    std::unique_ptr<unsigned char[]> copy(new unsigned char[bytes.empty() ? 1 : bytes.size()]);
    if (!bytes.empty()) {
        std::memcpy(copy.get(), bytes.data(), bytes.size());
    }
    unsigned long flags = seed;
    const auto length = static_cast<unsigned int>(bytes.size());
    const int parsed =
        CWLANWPAGenSecureMethod::WPAParseIEinfo(bytes.empty() ? nullptr : copy.get(), length, flags);
    if (parsed == 0 && flags != seed) {
        Fail("a failed parse changed the flags", seed, flags);
    }
    if (parsed == 1 && ((flags & ~seed & ~kAllFlags) != 0 || (flags & seed) != seed)) {
        Fail("a parse set an unknown flag or cleared one", seed, flags);
    }
}

void RoundTrip(unsigned long chosen, std::size_t bufferLength, unsigned char fill) {
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferLength == 0 ? 1 : bufferLength]);
    std::memset(buffer.get(), fill, bufferLength == 0 ? 1 : bufferLength);
    const int written = CWLANWPAGenSecureMethod::WPAGenerateIEinfo(
        chosen, bufferLength == 0 ? nullptr : buffer.get(), static_cast<unsigned int>(bufferLength));
    const unsigned long protocol = ExpectedProtocol(chosen);
    if (bufferLength < kMinGenerateBuffer || protocol == 0) {
        if (written != -1) {
            Fail("generation should have refused", chosen, 0);
        }
        return;
    }
    if (written <= 0 || static_cast<std::size_t>(written) > bufferLength) {
        Fail("generation wrote no element or more than the buffer", chosen, 0);
    }
    unsigned long parsedFlags = 0;
    if (CWLANWPAGenSecureMethod::WPAParseIEinfo(buffer.get(), static_cast<unsigned int>(written),
                                                parsedFlags) != 1) {
        // A suite left unwritten keeps the buffer's bytes, which still form a selector of the
        // right length, so the element must always parse.
        Fail("the generated element does not parse", chosen, parsedFlags);
    }
    if ((parsedFlags & kProtocolMask) != protocol) {
        Fail("protocol differs", chosen, parsedFlags);
    }
    const unsigned long group = ExpectedGroup(chosen);
    if (group != 0 && (parsedFlags & kGroupMask) != group) {
        Fail("group cipher differs", chosen, parsedFlags);
    }
    const unsigned long pairwise = ExpectedPairwise(chosen);
    if (pairwise != 0 && (parsedFlags & kPairwiseMask) != pairwise) {
        Fail("pairwise cipher differs", chosen, parsedFlags);
    }
    const unsigned long akm = ExpectedAkm(chosen);
    if (akm != 0 && (parsedFlags & kAkmMask) != akm) {
        Fail("key management differs", chosen, parsedFlags);
    }
}

int FuzzOne(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto chosen = static_cast<unsigned long>(input.ConsumeIntegral<std::uint32_t>());
    const std::size_t bufferLength = input.ConsumeIntegralInRange<std::size_t>(0, kMaxGenerateBuffer);
    const auto fill = input.ConsumeIntegral<unsigned char>();
    const auto seed = static_cast<unsigned long>(input.ConsumeIntegral<std::uint32_t>()) & kAllFlags;
    const std::vector<unsigned char> element = input.ConsumeRemainingBytes<unsigned char>();

    ParseArbitrary(element, seed);
    RoundTrip(chosen, bufferLength, fill);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return RunWithinTimeBudget(data, size, FuzzOne);
}
