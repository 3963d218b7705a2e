#include "airvane/manager/internal/InterfaceConfig.h"

#include "airvane/manager/GestionModeAcces.h"
#include "airvane/manager/internal/Tokenizer.h"
#include "airvane/manager/internal/XMLOwners.h"
#include "airvane/platform/internal/Guard.h"
#include "airvane/system/OSVersion.h"

#include <cstring>
#include <map>
#include <new>
#include <string>

namespace {

// Driver list: module name, OSCODE list, module name, ... joined by double quotes.
constexpr const char kDriverListDelimiters[] = "\"";
// OSCODE list: codes separated by commas or semicolons.
constexpr const char kOSCodeDelimiters[] = ",;";
// Blanks trimmed around every token.
constexpr const char kTokenTrimSet[] = "\t \r\n";

const char* TextOrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

// Token buffer of NextToken, released on scope exit.
struct CTokenBuffer {
    CTokenBuffer() = default;
    CTokenBuffer(const CTokenBuffer&) = delete;
    CTokenBuffer& operator=(const CTokenBuffer&) = delete;
    ~CTokenBuffer() { ReleaseTokenBuffer(buffer, capacity); }

    char* buffer = nullptr;
    std::size_t capacity = 0;
};

// Whether `node` holds the attribute with a value: a value that could not be copied leaves the
// attribute out, or null.
bool HasValue(const stXMLNode* node, const char* name) {
    for (const stXMLAttribute* attribute = node->attributes; attribute != nullptr;
         attribute = attribute->next) {
        if (attribute->name != nullptr && std::strcmp(attribute->name, name) == 0) {
            return attribute->value != nullptr;
        }
    }
    return false;
}

// Sets the attribute; false when no memory was left to store it.
bool SetAttribute(stXMLNode* node, const char* name, const char* value) {
    XMLSetAttribute(node, name, value);
    return HasValue(node, name);
}

// Links an element made without a parent as the parent's first child, as XMLCreateNode does.
void LinkFirst(stXMLNode* parent, stXMLNode* child) {
    child->parent = parent;
    child->nextSibling = parent->firstChild;
    parent->firstChild = child;
}

// Adds one DEVICE (with its X child) for a module to the document. False when no memory
// was left. Each element is built apart and linked once whole: an ADAPTER without its DLL, or a
// DEVICE without an attribute, its X child or that child's OSCODE (which keeps the device to
// some systems), never reaches the document.
bool AddDevice(stXMLNode* root, std::map<std::string, stXMLNode*>& adapters, const char* dll,
               const char* osCodes, const AccessModeEntry& entry) {
    stXMLNode*& adapter = adapters[dll];
    if (adapter == nullptr) {
        stXMLNode* const made = XMLCreateNode(kConfigAdapterElement, nullptr);
        if (made == nullptr || !SetAttribute(made, kConfigDllAttribute, dll)) {
            XMLFreeTree(made);
            return false;
        }
        LinkFirst(root, made);
        adapter = made;
    }
    stXMLNode* const device = XMLCreateNode(kConfigDeviceElement, nullptr);
    if (device == nullptr) {
        return false;
    }
    stXMLNode* kit = nullptr;
    const bool whole = SetAttribute(device, kConfigClassAttribute, kConfigDeviceClass) &&
                       SetAttribute(device, kConfigHardwareIdAttribute, TextOrEmpty(entry.hardwareId)) &&
                       (kit = XMLCreateNode(kConfigKitElement, device)) != nullptr &&
                       SetAttribute(kit, kConfigKitNameAttribute, TextOrEmpty(entry.kitName)) &&
                       (*osCodes == '\0' || SetAttribute(kit, kConfigOSCodeAttribute, osCodes));
    if (!whole) {
        XMLFreeTree(device);
        return false;
    }
    LinkFirst(adapter, device);
    return true;
}

// Adds the devices of every wireless entry. False when memory ran out (the document then
// holds what was added before).
bool AddEntries(stXMLNode* root, const AccessModeList& list) {
    // One buffer per token stream, kept across all entries.
    CTokenBuffer dll;
    CTokenBuffer osCodes;
    std::map<std::string, stXMLNode*> adapters;
    for (std::int32_t index = 0; index < list.count && list.entries != nullptr; ++index) {
        const AccessModeEntry& entry = list.entries[index];
        if (entry.accessMode != kAccessModeWifi) {
            continue;
        }
        const char* text = entry.driverList;
        if (text == nullptr || *text == '\0') {
            continue;
        }
        const char* cursor = text;
        std::size_t remaining = std::strlen(text);
        while (remaining != 0) {
            if (NextToken(kDriverListDelimiters, kTokenTrimSet, cursor, remaining, dll.buffer,
                          dll.capacity) == 0 ||
                NextToken(kDriverListDelimiters, kTokenTrimSet, cursor, remaining, osCodes.buffer,
                          osCodes.capacity) == 0) {
                return false;
            }
            if (!AddDevice(root, adapters, dll.buffer, osCodes.buffer, entry)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

stXMLNode* BuildInterfaceConfig(CGestionModeAcces* pAccessModes) {
    if (pAccessModes == nullptr) {
        return nullptr;
    }
    const AccessModeList* list = pAccessModes->GetAccessModeList(kAccessModeWifi);
    stXMLNode* root = XMLCreateNode(kConfigRootElement, nullptr);
    if (root == nullptr || list == nullptr || list->count < 1) {
        return root;
    }
    // Out of memory in the lookup: keep the document built so far.
    airvane::Guard([&] { AddEntries(root, *list); });
    return root;
}

bool IsDeviceForCurrentOS(stXMLNode* device) {
    stXMLNode* kit = XMLFindChild(device, kConfigKitElement);
    if (kit == nullptr) {
        return true;
    }
    const XMLStringOwner osCodes(XMLGetAttribute(kit, kConfigOSCodeAttribute));
    if (osCodes.get() == nullptr) {
        // Without a code list the device applies everywhere; a list held but not copied (no
        // memory) cannot be shown to name this system.
        return !HasValue(kit, kConfigOSCodeAttribute);
    }
    if (*osCodes.get() == '\0') {
        return false;
    }
    // No memory for the system's code: the device cannot be shown to apply.
    return airvane::Guard(false, [&] {
        const std::string current = COSVersion::Instance().GetOSCode();
        CTokenBuffer token;
        const char* cursor = osCodes.get();
        std::size_t remaining = std::strlen(osCodes.get());
        while (remaining != 0) {
            if (NextToken(kOSCodeDelimiters, kTokenTrimSet, cursor, remaining, token.buffer,
                          token.capacity) == 0) {
                return false;
            }
            if (current == token.buffer) {
                return true;
            }
        }
        return false;
    });
}
