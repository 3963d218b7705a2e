#include "XMLAdversarial.h"

#include "XMLDocuments.h"

#include "airvane/xml/XMLReader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// `unit(i)` appended for i = 0, 1, ... between `head` and `tail` until the text is about
// `bytes` long.
std::string Repeat(std::size_t bytes, const std::string& head,
                   const std::function<std::string(std::size_t)>& unit, const std::string& tail) {
    std::string text = head;
    for (std::size_t i = 0; text.size() + tail.size() < bytes; ++i) {
        text += unit(i);
    }
    return text + tail;
}

// `levels` openings of `open`, `middle`, then as many `close`.
std::string Nest(std::size_t bytes, const std::string& open, const std::string& middle,
                 const std::string& close) {
    const std::size_t levels = bytes / (open.size() + close.size());
    std::string text;
    text.reserve(levels * (open.size() + close.size()) + middle.size());
    for (std::size_t i = 0; i < levels; ++i) {
        text += open;
    }
    text += middle;
    for (std::size_t i = 0; i < levels; ++i) {
        text += close;
    }
    return text;
}

struct stFamily {
    const char* name;
    std::function<std::string(std::size_t)> make;
};

const std::string kName124(124, 'N');
const std::string kName125(125, 'L');

const stFamily kFamilies[] = {
    {"realistic", MakeAdapterDocument},
    {"unclosed_distinct",
     [](std::size_t b) {
         return Repeat(
             b, "<R>", [](std::size_t i) { return "<T" + std::to_string(i) + ">"; }, "</R>");
     }},
    {"unclosed_same",
     [](std::size_t b) {
         return Repeat(
             b, "<R>", [](std::size_t) { return "<T>"; }, "</R>");
     }},
    {"cdata_pseudo_names",
     [](std::size_t b) {
         return Repeat(
             b, "<R>", [](std::size_t i) { return "<![CDATA[ab]]><C" + std::to_string(i) + ">"; }, "</R>");
     }},
    {"more_openings",
     [](std::size_t b) {
         return Repeat(
             b, "<R>", [](std::size_t) { return "<A><A></A>"; }, "</R>");
     }},
    {"deep_same", [](std::size_t b) { return Nest(b, "<A>", "x", "</A>"); }},
    {"deep_same_inner_empty", [](std::size_t b) { return Nest(b, "<A><A/>", "x", "</A>"); }},
    {"same_siblings",
     [](std::size_t b) {
         return Repeat(
             b, "<R>", [](std::size_t) { return "<A>v</A>"; }, "</R>");
     }},
    {"long_attribute_list",
     [](std::size_t b) {
         return Repeat(
             b, "<R><E", [](std::size_t) { return " a=\"1\""; }, "/></R>");
     }},
    {"entity_chains",
     [](std::size_t b) {
         return Repeat(
             b, "<R><E v=\"&amp;", [](std::size_t) { return "amp;amp;#65;"; }, "\"/></R>");
     }},
    {"less_without_greater",
     [](std::size_t b) {
         return Repeat(
             b, "<R>", [](std::size_t) { return "a<b <"; }, "</R>");
     }},
    {"names_124_and_125",
     [](std::size_t b) {
         return Repeat(
             b, "<R>",
             [](std::size_t) { return "<" + kName124 + ">v</" + kName124 + "><" + kName125 + " a=\"1\"/>"; },
             "</R>");
     }},
    {"greater_run_before_empty_tag",
     [](std::size_t b) {
         // As many ">" as attribute bytes: each ">" reads the tag and its attributes again.
         std::string attributes;
         while (attributes.size() < b / 2) {
             attributes += " a=\"1\"";
         }
         return "<R>" + std::string(b - b / 2, '>') + "<E" + attributes + "/></R>";
     }},
};

struct stLazyDocument {
    const stFamily* family;
    std::size_t bytes;
    std::string text;

    // The document, made the first time it is asked for.
    const std::string& Text() {
        if (text.empty()) {
            text = family->make(bytes);
        }
        return text;
    }
};

void CountBytes(benchmark::State& state, const std::string& text) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

void ParseAdversarial(benchmark::State& state, const std::shared_ptr<stLazyDocument>& doc) {
    const std::string& document = doc->Text();
    const char* text = document.c_str();
    const auto length = static_cast<std::uint32_t>(document.size() + 1);
    for (auto _ : state) {
        stXMLNode* root = XMLParseText(text, length, nullptr);
        benchmark::DoNotOptimize(root);
        XMLFreeTree(root);
    }
    CountBytes(state, document);
}

// What a parse of a document that is one long value does besides counting its marks, at the C
// library's speed: its reads of the text (its length, the search for the value's closing quote and
// the decoder's search for "&") and its copy of the text into a block of its own. On
// `entity_chains` these show what the machine's caches alone make of a 10 MiB text against a
// 1 MiB one.
void ScanReference(benchmark::State& state, const std::shared_ptr<stLazyDocument>& doc) {
    const std::string& document = doc->Text();
    const char* text = document.c_str();
    for (auto _ : state) {
        const std::size_t length = strnlen(text, document.size() + 1);
        // Each search starts past the mark's first occurrence, at the value's start.
        for (const char mark : {'"', '&'}) {
            const char* first = static_cast<const char*>(std::memchr(text, mark, length));
            const std::size_t from = first != nullptr ? static_cast<std::size_t>(first - text) + 1 : length;
            benchmark::DoNotOptimize(std::memchr(text + from, mark, length - from));
        }
        benchmark::ClobberMemory();
    }
    CountBytes(state, document);
}

void CopyReference(benchmark::State& state, const std::shared_ptr<stLazyDocument>& doc) {
    const std::string& document = doc->Text();
    for (auto _ : state) {
        const std::unique_ptr<char[]> copy(new char[document.size() + 1]);
        std::memcpy(copy.get(), document.c_str(), document.size() + 1);
        benchmark::DoNotOptimize(copy.get());
        benchmark::ClobberMemory();
    }
    CountBytes(state, document);
}

double Fastest(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

} // namespace

void RegisterXMLAdversarialBenchmarks() {
    for (const stFamily& family : kFamilies) {
        for (const std::size_t mib : {1, 10}) {
            auto doc = std::make_shared<stLazyDocument>(stLazyDocument{&family, mib * kMiB, {}});
            const std::string name =
                std::string("XMLAdversarial/") + family.name + "/" + std::to_string(mib) + "MB";
            // The fastest repetition beside the median: on a virtual machine the time of one
            // repetition can swing several fold with the host's load.
            benchmark::RegisterBenchmark(name.c_str(), ParseAdversarial, doc)
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("min", Fastest);
            if (std::string_view(family.name) == "entity_chains") {
                const std::string size = "_of_entity_chains/" + std::to_string(mib) + "MB";
                benchmark::RegisterBenchmark(("XMLAdversarial/scans" + size).c_str(), ScanReference, doc)
                    ->Unit(benchmark::kMillisecond)
                    ->ComputeStatistics("min", Fastest);
                benchmark::RegisterBenchmark(("XMLAdversarial/copy" + size).c_str(), CopyReference, doc)
                    ->Unit(benchmark::kMillisecond)
                    ->ComputeStatistics("min", Fastest);
            }
        }
    }
}
