// The WPA / RSN information element codec, one element per iteration.

#include "airvane/security/WPASecureMethod.h"
#include "airvane/wpa_ie/WPAIEFlags.h"

#include <benchmark/benchmark.h>

namespace {

// WPA element: version 1, group TKIP, one pairwise suite (TKIP), one key management suite (PSK).
constexpr unsigned char kWPAElement[] = {0xDD, 0x16, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00,
                                         0x00, 0x50, 0xF2, 0x02, 0x01, 0x00, 0x00, 0x50,
                                         0xF2, 0x02, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02};
// RSN element: version 1, group CCMP, one pairwise suite (CCMP), one key management suite
// (PSK), capabilities.
constexpr unsigned char kRSNElement[] = {0x30, 0x14, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00,
                                         0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x02, 0x00, 0x00};

void ParseElement(benchmark::State& state, const unsigned char* element, unsigned int length) {
    for (auto _ : state) {
        unsigned long flags = 0;
        benchmark::DoNotOptimize(element);
        const int parsed = CWLANWPAGenSecureMethod::WPAParseIEinfo(element, length, flags);
        benchmark::DoNotOptimize(parsed);
        benchmark::DoNotOptimize(flags);
    }
}

void BM_WPAParseIEinfo_WPA(benchmark::State& state) {
    ParseElement(state, kWPAElement, sizeof kWPAElement);
}

void BM_WPAParseIEinfo_RSN(benchmark::State& state) {
    ParseElement(state, kRSNElement, sizeof kRSNElement);
}

void GenerateElement(benchmark::State& state, unsigned long flags) {
    unsigned char buffer[64] = {};
    for (auto _ : state) {
        benchmark::DoNotOptimize(flags);
        const int written = CWLANWPAGenSecureMethod::WPAGenerateIEinfo(flags, buffer, sizeof buffer);
        benchmark::DoNotOptimize(written);
        benchmark::ClobberMemory();
    }
}

void BM_WPAGenerateIEinfo_WPA(benchmark::State& state) {
    GenerateElement(state, WPAIE_PROTO_WPA | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_PSK);
}

void BM_WPAGenerateIEinfo_RSN(benchmark::State& state) {
    GenerateElement(state, WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_PSK);
}

} // namespace

BENCHMARK(BM_WPAParseIEinfo_WPA);
BENCHMARK(BM_WPAParseIEinfo_RSN);
BENCHMARK(BM_WPAGenerateIEinfo_WPA);
BENCHMARK(BM_WPAGenerateIEinfo_RSN);
