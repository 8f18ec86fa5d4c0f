#pragma once

#include "core/settled.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <type_traits>
#include <utility>

namespace velmora {

namespace detail {
template <typename T, typename OnResult, typename OnError>
QCoro::Task<> deliverTo(QPointer<QObject> context, QCoro::Task<T> task, OnResult onResult, OnError onError) {
    auto settling = settle(std::move(task));
    Settled<T> end = co_await std::move(settling);
    if (!context)
        co_return;
    if (end.error)
        onError(end.error);
    else if constexpr (std::is_void_v<T>)
        onResult();
    else
        onResult(std::move(*end.value));
}
} // namespace detail

// Lets an object (a widget, a view model) start work without holding a coroutine of its own:
// the task runs to its end, and its result goes to onResult (its error to onError) on the
// context's thread, only while context still exists; once context is gone, the outcome is
// dropped without a word. The callbacks may capture context (`this`); the task itself must not
// touch it. Call on the context's thread.
//
//     startTask(this, m_library.historyEntries(...),
//               [this](QList<HistoryEntry> entries) { show(entries); },
//               [this](std::exception_ptr error) { showFailure(error); });
template <typename T, typename OnResult, typename OnError>
void startTask(QObject *context, QCoro::Task<T> task, OnResult onResult, OnError onError) {
    Q_ASSERT(context && context->thread() == QThread::currentThread());
    detail::deliverTo(QPointer<QObject>(context), std::move(task), std::move(onResult), std::move(onError));
}

// The same for work whose failure the object does not show: an error is dropped.
template <typename T, typename OnResult>
void startTask(QObject *context, QCoro::Task<T> task, OnResult onResult) {
    startTask(context, std::move(task), std::move(onResult), [](const std::exception_ptr &) {});
}

} // namespace velmora
