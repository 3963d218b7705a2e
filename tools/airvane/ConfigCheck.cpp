#include "tools/airvane/ConfigCheck.h"

#include "airvane/manager/WLANAdapter.h"
#include "airvane/platform/Module.h"
#include "airvane/xml/XMLReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <unordered_map>

namespace airvane::cli {

namespace {

constexpr const char kAdapterElement[] = "ADAPTER";
constexpr const char kDeviceElement[] = "DEVICE";
constexpr const char kDllAttribute[] = "DLL";
constexpr std::size_t kShownText = 40;
// DescribeTree indents two spaces per level down to this depth; deeper elements keep this
// indentation and show their depth as a number, so a line's length does not grow with depth.
constexpr std::size_t kIndentedDepth = 32;

struct stTreeDeleter {
    void operator()(stXMLNode* node) const { XMLFreeTree(node); }
};
using TreePtr = std::unique_ptr<stXMLNode, stTreeDeleter>;

struct stStringDeleter {
    void operator()(char* text) const { XMLFreeString(text); }
};
using XMLStringPtr = std::unique_ptr<char, stStringDeleter>;

std::size_t CountChildren(stXMLNode* node, const char* name) {
    std::size_t count = 0;
    for (stXMLNode* child = XMLFindChild(node, name); child != nullptr;
         child = XMLFindNextSibling(child, name)) {
        ++count;
    }
    return count;
}

std::string ExplainAdapter(stXMLNode* adapter, std::size_t number) {
    const std::string prefix = "ADAPTER " + std::to_string(number) + ": ";
    const XMLStringPtr dll(XMLGetAttribute(adapter, kDllAttribute));
    if (dll == nullptr) {
        return prefix + "no DLL attribute naming its module";
    }
    const std::string module = std::string("module ") + dll.get();
    const platform::ModuleHandle handle = platform::LoadModule(dll.get());
    if (handle == nullptr) {
        const std::string reason = platform::LastModuleLoadError();
        return prefix + module + " did not load: " + (reason.empty() ? "no reason given" : reason);
    }
    if (platform::GetModuleExport(handle, kWLANGetAdapterExport) == nullptr) {
        return prefix + module + " loaded but does not export " + kWLANGetAdapterExport;
    }
    const std::size_t devices = CountChildren(adapter, kDeviceElement);
    if (devices == 0) {
        return prefix + module + " loaded; the ADAPTER has no DEVICE element";
    }
    return prefix + module + " loaded; none of its " + std::to_string(devices) +
           " DEVICE elements gave a usable adapter (declined by the plug-in, which may say why "
           "itself; or rejected by the operating-system filter, absent or not ready, which -v "
           "traces)";
}

// Line starts of a text, to turn byte offsets into lines and columns.
class CLineMap {
public:
    explicit CLineMap(const std::string& text) {
        m_starts.push_back(0);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                m_starts.push_back(i + 1);
            }
        }
    }
    stReaderTrap At(std::size_t offset, std::string text) const {
        const auto next = std::upper_bound(m_starts.begin(), m_starts.end(), offset);
        const std::size_t line = static_cast<std::size_t>(next - m_starts.begin());
        return stReaderTrap{line, offset - m_starts[line - 1] + 1, std::move(text)};
    }

private:
    std::vector<std::size_t> m_starts;
};

bool StartsWith(const std::string& text, std::size_t at, const char* prefix) {
    return text.compare(at, std::strlen(prefix), prefix) == 0;
}

// The name at the start of a tag's inside: up to white space, "/" or the end.
std::string TagName(const std::string& inside) {
    const std::size_t end = inside.find_first_of(" \t\r\n/");
    return inside.substr(0, end);
}

struct stOpenTag {
    std::string name;
    std::size_t offset;
};

// A name or value of the tree on one line of its description: line feeds become spaces.
std::string OneLine(const char* text) {
    std::string line = text != nullptr ? text : "";
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

} // namespace

std::vector<std::string> ExplainNoAdapter(const std::string& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return {"cannot read " + file + ": " + std::strerror(errno)};
    }
    if (stream.peek() == std::ifstream::traits_type::eof()) {
        return {file + " is empty"};
    }
    const TreePtr root(XMLLoadFile(file.c_str()));
    if (root == nullptr) {
        return {file +
                " holds no XML element (truncated, not XML, or a tree past the reader's memory budget, "
                "AIRVANE_XML_BUDGET): 'airvane config check' shows why"};
    }
    const std::size_t adapters = CountChildren(root.get(), kAdapterElement);
    if (adapters == 0) {
        return {file + " has no ADAPTER element under <" +
                std::string(root->name != nullptr ? root->name : "") +
                ">: 'airvane config check' shows what the reader saw"};
    }
    std::vector<std::string> reasons;
    std::size_t number = 0;
    for (stXMLNode* adapter = XMLFindChild(root.get(), kAdapterElement); adapter != nullptr;
         adapter = XMLFindNextSibling(adapter, kAdapterElement)) {
        reasons.push_back(ExplainAdapter(adapter, ++number));
    }
    return reasons;
}

// The tags open at a point of the scan, outermost first, and for each name the positions in
// `tags` of the open tags of that name, innermost last: a closing tag finds its match without
// looking at the tags of other names.
struct stOpenTags {
    std::vector<stOpenTag> tags;
    std::unordered_map<std::string, std::vector<std::size_t>> byName;
};

// Pairs an element tag with the open ones: a closing tag closes the innermost open tag of its
// name and reports the tags it leaves unclosed, innermost first; an opening tag (not an
// empty-element one) opens. Each tag is opened and closed once, so a scan pairs in linear time.
void PairTag(const CLineMap& lines, const std::string& name, bool closing, bool selfClosing,
             std::size_t offset, stOpenTags& open, std::vector<stReaderTrap>& traps) {
    if (!closing) {
        if (!selfClosing) {
            open.byName[name].push_back(open.tags.size());
            open.tags.push_back({name, offset});
        }
        return;
    }
    const auto positions = open.byName.find(name);
    if (positions == open.byName.end() || positions->second.empty()) {
        traps.push_back(lines.At(offset, "</" + name + "> closes no open <" + name +
                                             ">: the reader reads it as an element without a name"));
        return;
    }
    const std::size_t match = positions->second.back();
    while (open.tags.size() > match + 1) {
        const stOpenTag& inner = open.tags.back();
        traps.push_back(lines.At(inner.offset, "<" + inner.name + "> is not closed before </" + name +
                                                   ">: the reader drops it or reads it with no content"));
        open.byName[inner.name].pop_back();
        open.tags.pop_back();
    }
    positions->second.pop_back();
    open.tags.pop_back();
}

std::vector<stReaderTrap> FindReaderTraps(const std::string& text) {
    const CLineMap lines(text);
    std::vector<stReaderTrap> traps;
    stOpenTags open;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t next = text.find_first_of("<>", at);
        if (next == std::string::npos) {
            break;
        }
        if (text[next] == '>') {
            traps.push_back(lines.At(next,
                                     "'>' outside any tag (write &gt;): the reader looks for a tag's end "
                                     "at the first '>' and may end a tag here"));
            at = next + 1;
            continue;
        }
        const std::size_t close = text.find('>', next);
        if (close == std::string::npos) {
            traps.push_back(lines.At(next,
                                     "'<' without a '>' after it: the reader takes the rest of the file as "
                                     "text"));
            break;
        }
        if (StartsWith(text, next, "<!--")) {
            const std::size_t end = text.find("-->", next + 4);
            const std::size_t stop = end == std::string::npos ? text.size() : end + 3;
            if (close + 1 < stop) {
                traps.push_back(lines.At(next,
                                         "comment holds '>': the reader ends the comment at its first '>' "
                                         "and reads what follows as text and tags"));
            }
            at = stop;
            continue;
        }
        at = close + 1;
        if (StartsWith(text, next, "<?") || StartsWith(text, next, "<!")) {
            continue;
        }
        const std::string inside = text.substr(next + 1, close - next - 1);
        if (std::count(inside.begin(), inside.end(), '"') % 2 != 0) {
            traps.push_back(
                lines.At(close, "'>' inside a quoted value (write &gt;): the reader ends the tag here"));
        }
        const bool closing = !inside.empty() && inside[0] == '/';
        const std::string name = TagName(closing ? inside.substr(1) : inside);
        if (name.empty()) {
            traps.push_back(lines.At(next, "tag without a name: the reader makes an element without a name "
                                           "of it, or ends the level here"));
            continue;
        }
        PairTag(lines, name, closing, inside.back() == '/', next, open, traps);
    }
    for (const stOpenTag& tag : open.tags) {
        traps.push_back(lines.At(tag.offset, "<" + tag.name + "> is never closed: the reader drops it"));
    }
    std::stable_sort(traps.begin(), traps.end(), [](const stReaderTrap& a, const stReaderTrap& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return traps;
}

std::string DescribeTree(const stXMLNode* root) {
    std::string out;
    struct stLevel {
        const stXMLNode* node;
        std::size_t depth;
    };
    std::vector<stLevel> pending;
    for (const stXMLNode* node = root; node != nullptr; node = node->nextSibling) {
        pending.push_back({node, 0});
    }
    std::reverse(pending.begin(), pending.end());
    while (!pending.empty()) {
        const stLevel level = pending.back();
        pending.pop_back();
        out.append(std::min(level.depth, kIndentedDepth) * 2, ' ');
        if (level.depth > kIndentedDepth) {
            out += "[depth " + std::to_string(level.depth) + "] ";
        }
        out += "<" + OneLine(level.node->name);
        for (const stXMLAttribute* attribute = level.node->attributes; attribute != nullptr;
             attribute = attribute->next) {
            out += " " + OneLine(attribute->name) + "=\"" + OneLine(attribute->value) + "\"";
        }
        out += ">";
        const std::string value = level.node->value != nullptr ? level.node->value : "";
        if (!value.empty()) {
            std::string shown = value.substr(0, kShownText);
            std::replace(shown.begin(), shown.end(), '\n', ' ');
            out += " text \"" + shown + (value.size() > kShownText ? "...\"" : "\"");
        }
        out += "\n";
        std::vector<stLevel> children;
        for (const stXMLNode* child = level.node->firstChild; child != nullptr; child = child->nextSibling) {
            children.push_back({child, level.depth + 1});
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return out;
}

} // namespace airvane::cli
