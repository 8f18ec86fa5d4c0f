#pragma once

#include "core/promise.h"

#include <QCoro/QCoroTask>

#include <functional>
#include <memory>

namespace velmora {

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

} // namespace velmora
