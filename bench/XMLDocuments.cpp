#include "XMLDocuments.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

constexpr const char kHeader[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
constexpr int kNestDepth = 7; // below the root: 8 levels in all

} // namespace

std::string MakeAdapterDocument(std::size_t targetBytes) {
    std::string text = kHeader;
    text += "<WLAN>\n";
    const std::string closing = "</WLAN>\n";
    char line[256];
    for (unsigned adapter = 0; text.size() + closing.size() < targetBytes; ++adapter) {
        std::snprintf(line, sizeof line, "  <ADAPTER DLL=\"driver%u.dll\">\n", adapter % 16);
        text += line;
        for (unsigned device = 0; device < 4 && text.size() + closing.size() < targetBytes; ++device) {
            std::snprintf(line, sizeof line,
                          "    <DEVICE CLASS=\"NET\" HARDWAREID=\"PCI\\VEN_%04X&amp;DEV_%04X\\%u\">\n",
                          adapter, device, adapter * 4 + device);
            text += line;
            std::snprintf(line, sizeof line,
                          "      <X KITNAME=\"Kit &quot;%u&quot;\" OSCODE=\"XP;2000;LINUX\"/>\n", device);
            text += line;
            text += "    </DEVICE>\n";
        }
        text += "  </ADAPTER>\n";
    }
    text += closing;
    return text;
}

std::string MakeFlatDistinctDocument(std::size_t targetBytes) {
    std::string text = kHeader;
    text += "<ROOT>\n";
    const std::string closing = "</ROOT>\n";
    char line[160];
    for (unsigned i = 0; text.size() + closing.size() < targetBytes; ++i) {
        std::snprintf(line, sizeof line, "  <E%07u VALUE=\"%u\">text %u</E%07u>\n", i, i, i, i);
        text += line;
    }
    text += closing;
    return text;
}

std::string MakeNestedDocument(std::size_t targetBytes) {
    std::string text = kHeader;
    text += "<ROOT>\n";
    const std::string closing = "</ROOT>\n";
    char line[160];
    for (unsigned i = 0; text.size() + closing.size() < targetBytes; ++i) {
        for (int level = 1; level <= kNestDepth; ++level) {
            std::snprintf(line, sizeof line, "<L%d ID=\"%u\">", level, i);
            text += line;
        }
        std::snprintf(line, sizeof line, "leaf %u", i);
        text += line;
        for (int level = kNestDepth; level >= 1; --level) {
            std::snprintf(line, sizeof line, "</L%d>", level);
            text += line;
        }
        text += '\n';
    }
    text += closing;
    return text;
}

std::string ReadWholeFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::string();
    }
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}
