#pragma once

#include "core/promise.h"
#include "core/settled.h"

#include <QCoro/QCoroTask>

#include <memory>

namespace velmora {

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
        auto settling = settle(std::move(task));
        Settled<T> end = co_await std::move(settling);
        if (end.error)
            promise.reject(end.error);
        else if constexpr (std::is_void_v<T>)
            promise.resolve();
        else
            promise.resolve(std::move(*end.value));
    }

    std::shared_ptr<Promise<T>> m_promise;
    std::shared_ptr<QCoro::Task<>> m_driver;
};

} // namespace velmora
