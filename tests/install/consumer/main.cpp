// Builds against the installed headers and library only.
#include <airvane/Airvane.h>

#include <cstdio>
#include <cstring>

int main() {
    const char text[] = "<WLAN><ADAPTER DLL=\"drv.dll\"/></WLAN>";
    stXMLNode* root = XMLParseText(text, static_cast<std::uint32_t>(std::strlen(text)), nullptr);
    stXMLNode* adapter = root != nullptr ? XMLFindChild(root, "ADAPTER") : nullptr;
    char* dll = adapter != nullptr ? XMLGetAttribute(adapter, "DLL") : nullptr;
    const bool ok = dll != nullptr && std::strcmp(dll, "drv.dll") == 0;
    XMLFreeString(dll);
    XMLFreeTree(root);
    std::puts(ok ? "consumer ok" : "consumer failed");
    return ok ? 0 : 1;
}
