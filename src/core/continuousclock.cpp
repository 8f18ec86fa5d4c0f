#include "core/continuousclock.h"

#include "core/boottimetimer.h"
#include "core/error.h"
#include "core/promise.h"

#include <QTimer>

#include <ctime>

namespace velmora {

ContinuousClock::time_point ContinuousClock::now() noexcept {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

QCoro::Task<> sleepFor(std::chrono::nanoseconds duration, CancellationToken token) {
    token.throwIfCancelled();
    if (duration <= std::chrono::nanoseconds::zero())
        co_return;
    BoottimeTimer timer;
    Promise<bool> done; // true when the time has passed, false when cancelled
    QObject::connect(&timer, &BoottimeTimer::timeout, [&] { done.resolve(true); });
    timer.start(duration);
    auto reg = token.onCancelled([&] { done.resolve(false); });
    const bool elapsed = co_await done;
    timer.stop();
    if (!elapsed)
        throw CancelledError();
}

QCoro::Task<> delay(std::chrono::milliseconds duration, CancellationToken token) {
    token.throwIfCancelled();
    Promise<bool> done;
    QTimer timer;
    timer.setSingleShot(true);
    // A coarse timer may fire up to 5% early; callers rely on the whole duration.
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] { done.resolve(true); });
    timer.start(duration);
    auto reg = token.onCancelled([&] { done.resolve(false); });
    const bool elapsed = co_await done;
    timer.stop();
    if (!elapsed)
        throw CancelledError();
}

} // namespace velmora
