#include "XMLReaderBench.h"

#include "airvane/xml/XMLReader.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>
#include <tinyxml2.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

// The reader wants zero-terminated text; both parsers get the same bytes.
struct stBenchText {
    std::string text;
};

void ParseWithReader(benchmark::State& state, const std::shared_ptr<stBenchText>& doc) {
    const char* text = doc->text.c_str();
    const auto length = static_cast<std::uint32_t>(doc->text.size() + 1);
    for (auto _ : state) {
        stXMLNode* root = XMLParseText(text, length, nullptr);
        if (root == nullptr) {
            state.SkipWithError("the reader found no element");
            break;
        }
        benchmark::DoNotOptimize(root);
        XMLFreeTree(root);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(doc->text.size()));
}

// The parse alone: freeing the tree, and the allocator's merging of the blocks freed (which
// glibc does at the next large request, here made on purpose), are left out of the time.
void ParseOnlyWithReader(benchmark::State& state, const std::shared_ptr<stBenchText>& doc) {
    const char* text = doc->text.c_str();
    const auto length = static_cast<std::uint32_t>(doc->text.size() + 1);
    for (auto _ : state) {
        stXMLNode* root = XMLParseText(text, length, nullptr);
        state.PauseTiming();
        if (root == nullptr) {
            state.SkipWithError("the reader found no element");
            break;
        }
        XMLFreeTree(root);
        void* large = std::malloc(std::size_t{64} << 10);
        benchmark::DoNotOptimize(large);
        std::free(large);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(doc->text.size()));
}

void ParseWithTinyXML2(benchmark::State& state, const std::shared_ptr<stBenchText>& doc) {
    const char* text = doc->text.c_str();
    const std::size_t length = doc->text.size();
    for (auto _ : state) {
        tinyxml2::XMLDocument parsed;
        if (parsed.Parse(text, length) != tinyxml2::XML_SUCCESS) {
            state.SkipWithError("tinyxml2 rejected the document");
            break;
        }
        benchmark::DoNotOptimize(parsed.RootElement());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(length));
}

void ParseWithPugixml(benchmark::State& state, const std::shared_ptr<stBenchText>& doc) {
    const char* text = doc->text.c_str();
    const std::size_t length = doc->text.size();
    for (auto _ : state) {
        pugi::xml_document parsed;
        if (!parsed.load_buffer(text, length)) {
            state.SkipWithError("pugixml rejected the document");
            break;
        }
        benchmark::DoNotOptimize(parsed.first_child());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(length));
}

} // namespace

void RegisterXMLBenchmarks(const std::string& name, const std::string& text) {
    auto doc = std::make_shared<stBenchText>(stBenchText{text});
    benchmark::RegisterBenchmark(("XMLReader/" + name).c_str(), ParseWithReader, doc)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("XMLReaderParseOnly/" + name).c_str(), ParseOnlyWithReader, doc)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("TinyXML2/" + name).c_str(), ParseWithTinyXML2, doc)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Pugixml/" + name).c_str(), ParseWithPugixml, doc)
        ->Unit(benchmark::kMicrosecond);
}
