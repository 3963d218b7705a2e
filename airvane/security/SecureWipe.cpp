#include "airvane/security/SecureWipe.h"

namespace airvane::security {

void SecureWipe(void* data, std::size_t size) {
    if (data == nullptr) {
        return;
    }
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = 0;
    }
}

void SecureWipeString(std::string& text) {
    // Growing to the capacity never reallocates, so the whole buffer that held the text is wiped.
    text.resize(text.capacity());
    SecureWipe(&text[0], text.size());
    text.clear();
}

} // namespace airvane::security
