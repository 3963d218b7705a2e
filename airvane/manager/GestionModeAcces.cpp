#include "airvane/manager/GestionModeAcces.h"

AccessModeList* CGestionModeAcces::GetAccessModeList(std::int32_t index) {
    // -1 is the host's "no mode"; indexes past the lists this object has would address
    // memory that is not part of it.
    if (index < 0 || index >= kAccessModeListCount) {
        return nullptr;
    }
    return &m_lists[index];
}
