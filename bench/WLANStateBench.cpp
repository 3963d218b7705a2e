// The network-state record with all 32 networks listed: copy, and the order-independent
// comparison of SSIDs and qualities.

#include "airvane/security/WLANState.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

// Lists every network; `reversed` lists the same SSIDs and qualities in the opposite order,
// so that the comparison has to search for each one.
void FillNetworks(CWLANState& state, bool reversed) {
    state.m_count = CWLANState::kMaxNetworks;
    for (std::uint32_t i = 0; i < CWLANState::kMaxNetworks; ++i) {
        const std::uint32_t slot = reversed ? CWLANState::kMaxNetworks - 1 - i : i;
        std::snprintf(state.m_ssid[slot], CWLANState::kSSIDSlotBytes, "Network-%02u-%s", i,
                      "with-a-fairly-long-common-name");
        state.m_quality[slot] = static_cast<std::int32_t>(i * 3);
    }
}

void BM_WLANStateCopy(benchmark::State& state) {
    auto source = std::make_unique<CWLANState>();
    FillNetworks(*source, false);
    for (auto _ : state) {
        auto copy = std::make_unique<CWLANState>(*source);
        benchmark::DoNotOptimize(copy.get());
        benchmark::ClobberMemory();
    }
}

void BM_WLANStateEqualQualitySSID(benchmark::State& state) {
    auto left = std::make_unique<CWLANState>();
    auto right = std::make_unique<CWLANState>();
    FillNetworks(*left, false);
    FillNetworks(*right, true);
    if (!left->equalQualitySSID(*right)) {
        state.SkipWithError("the two records should compare equal");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(left.get());
        benchmark::DoNotOptimize(left->equalQualitySSID(*right));
    }
}

} // namespace

BENCHMARK(BM_WLANStateCopy);
BENCHMARK(BM_WLANStateEqualQualitySSID);
