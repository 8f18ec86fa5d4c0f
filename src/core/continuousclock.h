#pragma once

#include "core/cancellationtoken.h"

#include <QCoro/QCoroTask>

#include <chrono>

namespace velmora {

// A clock that keeps counting while the system sleeps (CLOCK_BOOTTIME).
struct ContinuousClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ContinuousClock>;
    static constexpr bool is_steady = true;
    static time_point now() noexcept;
};

// Sleeps for the duration on the continuous clock; throws CancelledError when cancelled.
QCoro::Task<> sleepFor(std::chrono::nanoseconds duration, CancellationToken token = {});

// Completes after the duration on the ordinary monotonic timer (for short budgets and delays).
QCoro::Task<> delay(std::chrono::milliseconds duration, CancellationToken token = {});

} // namespace velmora
