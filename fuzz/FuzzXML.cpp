// The XML reader on arbitrary bytes, then the writer on what it read.

#include "FuzzUnitTime.h"
#include "FuzzXMLCheck.h"

#include "airvane/xml/XMLReader.h"
#include "airvane/xml/XMLTree.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr char kParentName[] = "PARENT";

// A tree budget well above what any document needs (a dense one needs about 20 bytes per text
// byte) but small enough that inputs which multiply the text (">" runs before an empty-element
// tag) stop within the unit's time.
constexpr std::uint32_t kBudgetPerTextByte = 32;
constexpr std::uint64_t kBudgetExtraBytes = 256 * 1024;

int FuzzOne(const std::uint8_t* data, std::size_t size) {
    XMLSetMemoryBudget(kBudgetPerTextByte, kBudgetExtraBytes);
    if (size > 0xFFFFFFF0u) {
        return 0;
    }
    // Exactly the input and its terminating zero, so that any read past it is caught.
    std::unique_ptr<char[]> text(new char[size + 1]);
    if (size != 0) {
        std::memcpy(text.get(), data, size);
    }
    text[size] = '\0';
    const auto length = static_cast<std::uint32_t>(size);

    // Even sizes are read at the top level, odd ones under a parent, which receives the text
    // after the last tag. The parent's own text is the input, so the text it replaces is the
    // one being read. One parse per unit keeps the largest inputs within the unit's time.
    if ((size & 1u) == 0) {
        stXMLNode* root = XMLParseText(text.get(), length, nullptr);
        CheckSerialization(root);
        XMLFreeTree(root);
        return 0;
    }
    stXMLNode* parent = XMLCreateNode(kParentName, nullptr);
    if (parent == nullptr) {
        return 0;
    }
    parent->value = XMLAllocString(size);
    if (parent->value != nullptr) {
        std::memcpy(parent->value, text.get(), size);
        parent->firstChild = XMLParseText(parent->value, length, parent);
        CheckSerialization(parent);
    }
    XMLFreeTree(parent);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return RunWithinTimeBudget(data, size, FuzzOne);
}
