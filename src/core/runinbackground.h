#pragma once

#include "core/promise.h"

#include <QThread>
#include <QThreadPool>

#include <exception>
#include <type_traits>

namespace velmora {

namespace detail {
// Runs job on the calling (worker) thread and settles promise with its outcome; the awaiters
// resume on their own threads.
template <typename R, typename F>
void runAndSettle(F &job, Promise<R> &promise) {
    try {
        if constexpr (std::is_void_v<R>) {
            job();
            promise.resolve();
        } else {
            promise.resolve(job());
        }
    } catch (...) {
        promise.reject(std::current_exception());
    }
}
} // namespace detail

// Runs job on a pool thread; awaiting the returned promise resumes on the awaiting thread with
// the job's result or its exception. The job must end by itself (give it a cancellation token).
// Deliberately not a coroutine: the job is moved straight to the pool.
template <typename F, typename R = std::invoke_result_t<F>>
Promise<R> runInBackground(F job, QThread::Priority priority = QThread::InheritPriority) {
    Promise<R> promise;
    QThreadPool::globalInstance()->start(
        [job = std::move(job), promise]() mutable { detail::runAndSettle(job, promise); }, priority);
    return promise;
}

} // namespace velmora
