#include "airvane/manager/ListWLANAdapter.h"

#include <cstring>

namespace {

// Valid entries of a record; a count beyond the record's capacity is read as full so that
// a damaged count never leads past the arrays.
std::uint32_t ValidEntries(const stListWLANAdapter& list) {
    return list.adapterCount < stListWLANAdapter::kMaxAdapters ? list.adapterCount
                                                               : stListWLANAdapter::kMaxAdapters;
}

// Exact byte comparison of two name slots, each read as ending at its first zero byte or
// at the end of its 256 bytes, whichever comes first.
std::size_t SlotLength(const char* slot) {
    const void* end = std::memchr(slot, '\0', stListWLANAdapter::kNameBytes);
    return end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - slot)
                          : stListWLANAdapter::kNameBytes;
}

bool SameName(const char* left, const char* right) {
    const std::size_t leftLength = SlotLength(left);
    const std::size_t rightLength = SlotLength(right);
    return leftLength == rightLength && std::memcmp(left, right, leftLength) == 0;
}

} // namespace

// The entries stay as they are: only the count says which of them mean anything.
// cppcheck-suppress uninitMemberVar
stListWLANAdapter::stListWLANAdapter() : adapterCount(0) {}

stListWLANAdapter::stListWLANAdapter(const stListWLANAdapter& other) {
    CopyEntries(other);
}

stListWLANAdapter& stListWLANAdapter::operator=(const stListWLANAdapter& other) {
    if (this != &other) {
        CopyEntries(other);
    }
    return *this;
}

// Every entry of every array, whatever the count.
void stListWLANAdapter::CopyEntries(const stListWLANAdapter& other) {
    adapterCount = other.adapterCount;
    std::memcpy(adapterName, other.adapterName, sizeof(adapterName));
    std::memcpy(friendlyName, other.friendlyName, sizeof(friendlyName));
    std::memcpy(adapterInfo, other.adapterInfo, sizeof(adapterInfo));
    std::memcpy(adapterInfoLength, other.adapterInfoLength, sizeof(adapterInfoLength));
}

bool stListWLANAdapter::operator==(const stListWLANAdapter& other) const {
    if (adapterCount != other.adapterCount) {
        return false;
    }
    const std::uint32_t leftCount = ValidEntries(*this);
    const std::uint32_t rightCount = ValidEntries(other);
    for (std::uint32_t left = 0; left < leftCount; ++left) {
        bool found = false;
        for (std::uint32_t right = 0; right < rightCount && !found; ++right) {
            found = SameName(adapterName[left], other.adapterName[right]);
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

bool stListWLANAdapter::operator!=(const stListWLANAdapter& other) const {
    return !(*this == other);
}
