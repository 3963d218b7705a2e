// Benchmark driver: builds the XML documents, registers the benchmarks that need them and
// runs everything selected on the command line.

#include "XMLAdversarial.h"
#include "XMLDocuments.h"
#include "XMLReaderBench.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>

namespace {

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kMiB = 1024 * 1024;

struct stDocumentSize {
    const char* name;
    std::size_t bytes;
};

constexpr stDocumentSize kSizes[] = {{"10KB", 10 * kKiB}, {"1MB", kMiB}, {"10MB", 10 * kMiB}};

} // namespace

int main(int argc, char** argv) {
    const std::string example = ReadWholeFile(AIRVANE_BENCH_EXAMPLE_CONFIG);
    if (example.empty()) {
        std::fprintf(stderr, "cannot read %s\n", AIRVANE_BENCH_EXAMPLE_CONFIG);
        return 1;
    }
    RegisterXMLBenchmarks("example", example);
    for (const stDocumentSize& size : kSizes) {
        RegisterXMLBenchmarks(std::string("adapters_") + size.name, MakeAdapterDocument(size.bytes));
        RegisterXMLBenchmarks(std::string("flat_") + size.name, MakeFlatDistinctDocument(size.bytes));
        RegisterXMLBenchmarks(std::string("nested8_") + size.name, MakeNestedDocument(size.bytes));
    }
    RegisterXMLAdversarialBenchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
