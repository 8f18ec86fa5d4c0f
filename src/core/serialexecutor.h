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
