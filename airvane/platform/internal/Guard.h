#pragma once

#include <utility>

namespace airvane {

// The boundary of a function other modules call: no exception may leave it. Runs `body` and
// returns its result, or `onError` when it throws (in practice: out of memory).
template <typename R, typename F> R Guard(R onError, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        return onError;
    }
}

// The same for a body without a result: an exception ends the body and goes no further.
template <typename F> void Guard(F&& body) noexcept {
    try {
        std::forward<F>(body)();
    } catch (...) {
    }
}

} // namespace airvane
