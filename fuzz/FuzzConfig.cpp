// Configuration synthesis from an arbitrary host access-mode image: entries with arbitrary
// kit names, hardware identifiers and driver lists (module names and OSCODE lists joined by
// double quotes), then the OS filter and the serialization of every DEVICE, as the manager
// does for a device it rejects. The tokenizer is also run on its own over arbitrary text.

#include "FuzzUnitTime.h"
#include "FuzzXMLCheck.h"

#include "airvane/manager/GestionModeAcces.h"
#include "airvane/manager/internal/InterfaceConfig.h"
#include "airvane/manager/internal/Tokenizer.h"
#include "airvane/xml/XMLTree.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMaxEntries = 12;
constexpr std::size_t kMaxText = 96;
constexpr std::size_t kMaxTokens = 4096;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// Texts of one entry, kept alive while the image is read.
struct stEntryTexts {
    std::string kitName;
    std::string hardwareId;
    std::string driverList;
    bool nullKit = false;
    bool nullHardware = false;
    bool nullDrivers = false;
};

void CheckTokenizer(FuzzedDataProvider& input) {
    const std::string delimiters = input.ConsumeRandomLengthString(4);
    const std::string trimSet = input.ConsumeRandomLengthString(4);
    const std::string text = input.ConsumeRandomLengthString(kMaxText * 4);
    // The scan count may stop short of the text's end, never past it.
    const std::size_t limit = input.ConsumeIntegralInRange<std::size_t>(0, text.size());
    const char* cursor = text.c_str();
    std::size_t remaining = limit;
    char* buffer = nullptr;
    std::size_t capacity = 0;
    for (std::size_t calls = 0; calls < kMaxTokens; ++calls) {
        const char* before = cursor;
        const std::size_t remainingBefore = remaining;
        if (NextToken(delimiters.c_str(), trimSet.c_str(), cursor, remaining, buffer, capacity) != 1) {
            Fail("NextToken failed without running out of memory");
        }
        const auto consumed = static_cast<std::size_t>(cursor - before);
        if (consumed != remainingBefore - remaining || remaining > remainingBefore) {
            Fail("NextToken moved the cursor and the count differently");
        }
        // The buffer holds the capacity plus a terminating zero.
        if (buffer == nullptr || std::strlen(buffer) > capacity || std::strlen(buffer) > consumed) {
            Fail("NextToken gave a token longer than what it consumed or its buffer");
        }
        if (remainingBefore == 0) {
            if (consumed != 0 || *buffer != '\0') {
                Fail("NextToken gave a token after the end of the scan");
            }
            break;
        }
        if (consumed == 0) {
            Fail("NextToken did not advance");
        }
    }
    ReleaseTokenBuffer(buffer, capacity);
    if (buffer != nullptr || capacity != 0) {
        Fail("ReleaseTokenBuffer left a buffer");
    }
}

void CheckDevices(stXMLNode* root) {
    for (stXMLNode* adapter = root->firstChild; adapter != nullptr; adapter = adapter->nextSibling) {
        for (stXMLNode* device = adapter->firstChild; device != nullptr; device = device->nextSibling) {
            const bool forThisSystem = IsDeviceForCurrentOS(device);
            if (!forThisSystem) {
                // A rejected device is written on its own; with its siblings too, every
                // device would write all the following ones (quadratic in the devices).
                CheckSerialization(device, 0);
            }
        }
    }
}

int FuzzOne(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    CheckTokenizer(input);

    const std::size_t entryCount = input.ConsumeIntegralInRange<std::size_t>(0, kMaxEntries);
    std::vector<stEntryTexts> texts(entryCount);
    std::vector<AccessModeEntry> entries(entryCount + 1);
    for (std::size_t i = 0; i < entryCount; ++i) {
        stEntryTexts& text = texts[i];
        const auto nulls = input.ConsumeIntegral<std::uint8_t>();
        text.nullKit = (nulls & 1u) != 0 && (nulls & 0x80u) != 0;
        text.nullHardware = (nulls & 2u) != 0 && (nulls & 0x80u) != 0;
        text.nullDrivers = (nulls & 4u) != 0 && (nulls & 0x80u) != 0;
        text.kitName = input.ConsumeRandomLengthString(kMaxText);
        text.hardwareId = input.ConsumeRandomLengthString(kMaxText);
        text.driverList = input.ConsumeRandomLengthString(kMaxText * 2);
        AccessModeEntry& entry = entries[i];
        entry.kitName = text.nullKit ? nullptr : text.kitName.c_str();
        entry.hardwareId = text.nullHardware ? nullptr : text.hardwareId.c_str();
        entry.driverList = text.nullDrivers ? nullptr : text.driverList.c_str();
        // Mostly wireless entries; the others must be passed over.
        entry.accessMode =
            (nulls & 0x70u) == 0x70u ? static_cast<std::int32_t>(nulls & 0x0Fu) : kAccessModeWifi;
    }

    CGestionModeAcces image{};
    for (std::int32_t index = 0; index < CGestionModeAcces::kAccessModeListCount; ++index) {
        // Lists other than the wireless one point at nothing readable: they must not be read.
        image.m_lists[index].entries = nullptr;
        image.m_lists[index].count = index == kAccessModeWifi ? 0 : 0x7FFFFFFF;
    }
    AccessModeList& wifi = image.m_lists[kAccessModeWifi];
    wifi.entries = entries.data();
    wifi.count = static_cast<std::int32_t>(entryCount);
    if (entryCount == 0 && input.ConsumeBool()) {
        wifi.count = -input.ConsumeIntegralInRange<std::int32_t>(0, 1000);
    }

    stXMLNode* root = BuildInterfaceConfig(&image);
    if (root == nullptr) {
        Fail("BuildInterfaceConfig returned no root for a host object");
    }
    CheckSerialization(root);
    CheckDevices(root);
    XMLFreeTree(root);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return RunWithinTimeBudget(data, size, FuzzOne);
}
