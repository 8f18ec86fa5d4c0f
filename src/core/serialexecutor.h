#pragma once

#include "core/promise.h"
#include "core/runinbackground.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <type_traits>

namespace velmora {

// A dedicated thread that runs blocking jobs one at a time, in order; awaiting a job resumes
// the caller on the thread that awaited.
class SerialExecutor {
public:
    explicit SerialExecutor(const QString &name);
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor &) = delete;
    SerialExecutor &operator=(const SerialExecutor &) = delete;

    template <typename F, typename R = std::invoke_result_t<F>>
    QCoro::Task<R> run(F job) {
        Promise<R> promise;
        // Only the queued job holds the producer: a job dropped unrun rejects the awaiter.
        auto result = promise.waiter();
        dispatch(
            [job = std::move(job), promise = std::move(promise)]() mutable { detail::runAndSettle(job, promise); });
        if constexpr (std::is_void_v<R>)
            co_await std::move(result);
        else
            co_return co_await std::move(result);
    }

    // Runs the job on the executor's thread and blocks the caller until it is done
    // (for shutdown paths that must not return before the work has finished).
    void runBlocking(std::function<void()> job);

    QThread *thread() const { return m_thread; }

private:
    void dispatch(std::function<void()> job);

    QThread *m_thread;
    QObject *m_worker;
};

} // namespace velmora
