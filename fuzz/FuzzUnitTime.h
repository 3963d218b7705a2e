#pragma once

#include <cstddef>
#include <cstdint>

// Runs one fuzz unit and fails it when it uses more than its time budget. libFuzzer's own
// -timeout counts whole seconds; this holds every unit to a budget in milliseconds (100 by
// default, AIRVANE_FUZZ_UNIT_LIMIT_MS overrides it, 0 turns it off).
//
// It measures the CPU time of the calling thread, so a machine shared with other work does
// not fail a fast unit; a unit that blocks is still caught by libFuzzer's -timeout. A unit
// over budget is run twice more before it fails: the sanitizer runtime now and then does
// bulk work of its own (recycling its quarantine, mapping shadow memory) inside a unit, and
// only an input that is slow every time is a finding.
int RunWithinTimeBudget(const std::uint8_t* data, std::size_t size,
                        int (*unit)(const std::uint8_t* data, std::size_t size));
