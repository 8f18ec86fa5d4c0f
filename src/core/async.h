#pragma once

// The async kit: every long piece of work in the program is a QCoro task on the main thread.
// Tasks start eagerly; cancellation is cooperative through CancellationToken; a time budget
// is a race between the work and a timer; blocking work leaves the main thread only through
// a SerialExecutor.

#include "core/error.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

namespace velmora {

// ---------------------------------------------------------------------------------------------
// Promise: a value that is set once and can be awaited by any number of coroutines.

namespace detail {
template <typename T>
using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
}

template <typename T>
class Promise {
    struct State {
        std::optional<detail::Stored<T>> value;
        std::exception_ptr error;
        std::vector<std::coroutine_handle<>> waiters;
        bool done() const { return value.has_value() || error; }
    };

public:
    Promise() : m_state(std::make_shared<State>()) {}

    bool isDone() const { return m_state->done(); }

    template <typename U = T>
    requires(!std::is_void_v<U>) void resolve(U value) {
        if (m_state->done())
            return;
        m_state->value.emplace(std::move(value));
        wake();
    }

    template <typename U = T>
    requires std::is_void_v<U>
    void resolve() {
        if (m_state->done())
            return;
        m_state->value.emplace();
        wake();
    }

    void reject(std::exception_ptr error) {
        if (m_state->done())
            return;
        m_state->error = std::move(error);
        wake();
    }

    struct Awaiter {
        std::shared_ptr<State> state;
        bool await_ready() const noexcept { return state->done(); }
        void await_suspend(std::coroutine_handle<> h) { state->waiters.push_back(h); }
        T await_resume() const {
            if (state->error)
                std::rethrow_exception(state->error);
            if constexpr (!std::is_void_v<T>)
                return *state->value;
        }
    };

    Awaiter operator co_await() const { return Awaiter{m_state}; }

private:
    void wake() {
        // The state stays alive while waiters run, even if they drop the last promise.
        auto keep = m_state;
        auto waiters = std::move(keep->waiters);
        keep->waiters.clear();
        for (auto h : waiters)
            h.resume();
    }

    std::shared_ptr<State> m_state;
};

// ---------------------------------------------------------------------------------------------
// Cancellation.

class CancellationToken;

class CancellationRegistration {
public:
    CancellationRegistration() = default;
    CancellationRegistration(CancellationRegistration &&other) noexcept;
    CancellationRegistration &operator=(CancellationRegistration &&other) noexcept;
    ~CancellationRegistration();
    void reset();

private:
    friend class CancellationToken;
    std::shared_ptr<struct CancellationState> m_state;
    quint64 m_id = 0;
};

struct CancellationState {
    std::mutex mutex;
    bool cancelled = false;
    quint64 nextId = 1;
    std::vector<std::pair<quint64, std::function<void()>>> callbacks;
};

// Seen by the work; a default-constructed token is never cancelled.
class CancellationToken {
public:
    CancellationToken() = default;

    bool isCancelled() const;
    void throwIfCancelled() const;
    // Runs callback when cancelled (at once if already cancelled) until the registration ends.
    [[nodiscard]] CancellationRegistration onCancelled(std::function<void()> callback) const;
    // Completes when cancelled; never completes for a token that cannot be cancelled.
    QCoro::Task<> whenCancelled() const;

private:
    friend class CancellationSource;
    explicit CancellationToken(std::shared_ptr<CancellationState> s) : m_state(std::move(s)) {}
    std::shared_ptr<CancellationState> m_state;
};

// Owned by whoever may cancel the work.
class CancellationSource {
public:
    CancellationSource();
    // A source that is also cancelled when parent is.
    explicit CancellationSource(const CancellationToken &parent);

    CancellationToken token() const { return CancellationToken(m_state); }
    bool isCancelled() const;
    void cancel();

private:
    std::shared_ptr<CancellationState> m_state;
    std::shared_ptr<CancellationRegistration> m_parentLink;
};

// ---------------------------------------------------------------------------------------------
// A task that several callers can await: it runs once and every awaiter gets its result.

template <typename T>
class SharedTask {
public:
    SharedTask() = default;
    explicit SharedTask(QCoro::Task<T> task) : m_promise(std::make_shared<Promise<T>>()) {
        m_driver = std::make_shared<QCoro::Task<>>(drive(std::move(task), *m_promise));
    }

    bool isValid() const { return bool(m_promise); }
    bool isDone() const { return m_promise && m_promise->isDone(); }

    auto operator co_await() const { return m_promise->operator co_await(); }

private:
    static QCoro::Task<> drive(QCoro::Task<T> task, Promise<T> promise) {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(task);
                promise.resolve();
            } else {
                promise.resolve(co_await std::move(task));
            }
        } catch (...) {
            promise.reject(std::current_exception());
        }
    }

    std::shared_ptr<Promise<T>> m_promise;
    std::shared_ptr<QCoro::Task<>> m_driver;
};

// ---------------------------------------------------------------------------------------------
// Time.

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

// ---------------------------------------------------------------------------------------------
// A race of work against a time budget. The work gets a token that is cancelled when the
// budget runs out (or when the caller's token is); the result is empty when the budget won.
// A caller's cancellation throws CancelledError.

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
    std::exception_ptr workError;
    std::optional<detail::Stored<T>> value;

    auto runner = [&]() -> QCoro::Task<> {
        // The task is made outside the try block: GCC 12 may destroy temporaries of a
        // co_await expression twice when they live inside one.
        auto task = work(inner.token());
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(task);
                value.emplace();
            } else {
                value.emplace(co_await std::move(task));
            }
        } catch (...) {
            workError = std::current_exception();
        }
        winner.resolve(0);
    };

    QTimer timer;
    timer.setSingleShot(true);
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
    if (workError)
        std::rethrow_exception(workError);
    if constexpr (std::is_void_v<T>)
        co_return true;
    else
        co_return std::move(*value);
}

// ---------------------------------------------------------------------------------------------
// A serial queue on the main thread: jobs run one after another, each after the previous one
// has finished (whether it succeeded or failed).

class SerialQueue {
public:
    SerialQueue() : m_tail(std::make_shared<Promise<void>>()), m_pending(std::make_shared<int>(0)) {
        m_tail->resolve();
    }

    template <typename T>
    QCoro::Task<T> run(std::function<QCoro::Task<T>()> job) {
        auto previous = m_tail;
        auto mine = std::make_shared<Promise<void>>();
        m_tail = mine;
        ++*m_pending;
        // Releases the next job however this one ends, including by an exception.
        struct Turn {
            std::shared_ptr<Promise<void>> mine;
            std::shared_ptr<int> pending;
            ~Turn() {
                --*pending;
                mine->resolve();
            }
        } turn{mine, m_pending};
        co_await *previous;
        co_return co_await job();
    }

    // Runs the job in turn without waiting for it; its failure is dropped.
    void post(std::function<QCoro::Task<void>()> job);

    // Completes when every job queued so far has finished.
    QCoro::Task<> drain();

    int pending() const { return *m_pending; }

private:
    std::shared_ptr<Promise<void>> m_tail;
    std::shared_ptr<int> m_pending;
};

// ---------------------------------------------------------------------------------------------
// Blocking work off the main thread.

namespace detail {
// Runs job on the calling (worker) thread and settles promise with its outcome on context's thread.
template <typename R, typename F>
void runAndSettle(F &job, Promise<R> promise, QObject *context) {
    std::exception_ptr error;
    std::optional<Stored<R>> value;
    try {
        if constexpr (std::is_void_v<R>) {
            job();
            value.emplace();
        } else {
            value.emplace(job());
        }
    } catch (...) {
        error = std::current_exception();
    }
    QMetaObject::invokeMethod(
        context,
        [promise, error, value = std::move(value)]() mutable {
            if (error)
                promise.reject(error);
            else if constexpr (std::is_void_v<R>)
                promise.resolve();
            else
                promise.resolve(std::move(*value));
        },
        Qt::QueuedConnection);
}
} // namespace detail

// Runs job on a pool thread; awaiting the returned promise resumes on the main thread with the
// job's result or its exception. The job must end by itself (give it a cancellation token).
// Deliberately not a coroutine: the job is moved straight to the pool.
template <typename F, typename R = std::invoke_result_t<F>>
Promise<R> runInBackground(F job, QThread::Priority priority = QThread::InheritPriority) {
    Promise<R> promise;
    QThreadPool::globalInstance()->start(
        [job = std::move(job), promise]() mutable { detail::runAndSettle(job, promise, QCoreApplication::instance()); },
        priority);
    return promise;
}

// ---------------------------------------------------------------------------------------------
// A dedicated thread that runs blocking jobs one at a time, in order; awaiting a job resumes
// the caller on the main thread.

class SerialExecutor {
public:
    explicit SerialExecutor(const QString &name);
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor &) = delete;
    SerialExecutor &operator=(const SerialExecutor &) = delete;

    template <typename F, typename R = std::invoke_result_t<F>>
    QCoro::Task<R> run(F job) {
        Promise<R> promise;
        QObject *home = m_home;
        dispatch([job = std::move(job), promise, home]() mutable { detail::runAndSettle(job, promise, home); });
        if constexpr (std::is_void_v<R>)
            co_await promise;
        else
            co_return co_await promise;
    }

    // Runs the job on the executor's thread and blocks the caller until it is done
    // (for shutdown paths that must not return before the work has finished).
    void runBlocking(std::function<void()> job);

    QThread *thread() const { return m_thread; }

private:
    void dispatch(std::function<void()> job);

    QThread *m_thread;
    QObject *m_worker;
    QObject *m_home;
};

} // namespace velmora
