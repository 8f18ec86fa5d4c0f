#pragma once

// A race of work against a time budget. The work gets a token that is cancelled when the
// budget runs out (or when the caller's token is); the result is empty when the budget won.
// A caller's cancellation throws CancelledError.

#include "core/cancellationtoken.h"
#include "core/error.h"
#include "core/promise.h"
#include "core/settled.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <exception>
#include <functional>
#include <optional>

namespace velmora {

template <typename T>
using RaceResult = std::conditional_t<std::is_void_v<T>, bool, std::optional<T>>;

template <typename T>
QCoro::Task<RaceResult<T>> raceBudget(std::chrono::milliseconds budget,
                                      std::function<QCoro::Task<T>(CancellationToken)> work,
                                      CancellationToken caller = {}) {
    caller.throwIfCancelled();
    CancellationSource inner(caller);
    // 0 = work finished, 1 = budget ran out, 2 = caller cancelled
    Promise<int> winner;
    Settled<T> end;

    auto runner = [&]() -> QCoro::Task<> {
        auto settling = settle(work(inner.token()));
        end = co_await std::move(settling);
        winner.resolve(0);
    };

    QTimer timer;
    timer.setSingleShot(true);
    // A coarse timer may fire up to 5% early; callers rely on the whole duration.
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] { winner.resolve(1); });
    timer.start(budget);
    auto callerLink = caller.onCancelled([&] { winner.resolve(2); });

    auto running = runner();
    const int outcome = co_await winner;
    timer.stop();
    callerLink.reset();
    if (outcome != 0) {
        inner.cancel();
        // The work is told to stop; wait for it so nothing it touches outlives this frame.
        co_await std::move(running);
        if (outcome == 2)
            throw CancelledError();
        if constexpr (std::is_void_v<T>)
            co_return false;
        else
            co_return std::nullopt;
    }
    co_await std::move(running);
    if (end.error)
        std::rethrow_exception(end.error);
    if constexpr (std::is_void_v<T>)
        co_return true;
    else
        co_return std::move(*end.value);
}

} // namespace velmora
