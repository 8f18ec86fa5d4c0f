#pragma once

// Blocking model work (hashing, joining parts) leaves the main thread through here.

#include "core/async.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <exception>
#include <optional>
#include <type_traits>

namespace velmora {

// Runs job on a pool thread; awaiting the returned promise resumes on the main thread with the
// job's result or its exception. The job must end by itself (give it a cancellation token).
// Deliberately not a coroutine: the job is moved straight to the pool.
template <typename F, typename R = std::invoke_result_t<F>>
Promise<R> runInBackground(F job) {
    Promise<R> promise;
    QThreadPool::globalInstance()->start([job = std::move(job), promise]() mutable {
        std::exception_ptr error;
        std::optional<detail::Stored<R>> value;
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
            QCoreApplication::instance(),
            [promise, error, value = std::move(value)]() mutable {
                if (error)
                    promise.reject(error);
                else if constexpr (std::is_void_v<R>)
                    promise.resolve();
                else
                    promise.resolve(std::move(*value));
            },
            Qt::QueuedConnection);
    });
    return promise;
}

} // namespace velmora
