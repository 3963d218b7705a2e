#include "FuzzUnitTime.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr long long kDefaultLimitMilliseconds = 100;
constexpr long long kNanosecondsPerMillisecond = 1000000;
constexpr long long kNanosecondsPerSecond = 1000000000;
constexpr int kRuns = 3;

long long ThreadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

long long LimitNanoseconds() {
    static const long long limit = [] {
        const char* text = std::getenv("AIRVANE_FUZZ_UNIT_LIMIT_MS");
        long long milliseconds = kDefaultLimitMilliseconds;
        if (text != nullptr && *text != '\0') {
            char* end = nullptr;
            milliseconds = std::strtoll(text, &end, 10);
            if (*end != '\0' || milliseconds < 0) {
                std::fprintf(stderr, "AIRVANE_FUZZ_UNIT_LIMIT_MS is not a number of milliseconds: %s\n",
                             text);
                std::abort();
            }
        }
        return milliseconds * kNanosecondsPerMillisecond;
    }();
    return limit;
}

} // namespace

int RunWithinTimeBudget(const std::uint8_t* data, std::size_t size,
                        int (*unit)(const std::uint8_t* data, std::size_t size)) {
    const long long limit = LimitNanoseconds();
    long long fastest = 0;
    for (int run = 0; run < kRuns; ++run) {
        const long long start = ThreadCpuNanoseconds();
        const int result = unit(data, size);
        const long long used = ThreadCpuNanoseconds() - start;
        if (limit == 0 || used <= limit) {
            return result;
        }
        fastest = run == 0 || used < fastest ? used : fastest;
    }
    std::fprintf(stderr,
                 "unit took at least %lld ms of CPU time in each of %d runs, over the budget of %lld ms\n",
                 fastest / kNanosecondsPerMillisecond, kRuns, limit / kNanosecondsPerMillisecond);
    std::abort();
}
