#include "core/continuousclock.h"

#include "core/boottimetimer.h"
#include "core/error.h"
#include "core/promise.h"

#include <QTimer>

#include <ctime>
#include <utility>

namespace velmora {

ContinuousClock::time_point ContinuousClock::now() noexcept {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

namespace {

// Starts the timer and waits for its timeout; throws CancelledError when the token is cancelled
// first.
template <typename Timer, typename Duration>
QCoro::Task<> timeoutOf(Timer &timer, Duration duration, CancellationToken token) {
    Promise<bool> done; // true when the time has passed, false when cancelled
    QObject::connect(&timer, &Timer::timeout, [&] { done.resolve(true); });
    timer.start(duration);
    auto reg = token.onCancelled([&] { done.resolve(false); });
    const bool elapsed = co_await done;
    timer.stop();
    if (!elapsed)
        throw CancelledError();
}

} // namespace

QCoro::Task<> sleepFor(std::chrono::nanoseconds duration, CancellationToken token) {
    token.throwIfCancelled();
    if (duration <= std::chrono::nanoseconds::zero())
        co_return;
    BoottimeTimer timer;
    auto waiting = timeoutOf(timer, duration, std::move(token));
    co_await std::move(waiting);
}

QCoro::Task<> delay(std::chrono::milliseconds duration, CancellationToken token) {
    token.throwIfCancelled();
    QTimer timer;
    timer.setSingleShot(true);
    // A coarse timer may fire up to 5% early; callers rely on the whole duration.
    timer.setTimerType(Qt::PreciseTimer);
    auto waiting = timeoutOf(timer, duration, std::move(token));
    co_await std::move(waiting);
}

} // namespace velmora
