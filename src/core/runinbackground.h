#pragma once

#include "core/promise.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QThreadPool>

#include <exception>
#include <optional>
#include <type_traits>

namespace velmora {

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

} // namespace velmora
