#pragma once

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

class QObject;
class QThread;

namespace velmora {

// The receiver of queued calls on one thread. The async kit posts each resumption of a
// coroutine (and each cancellation callback raised from another thread) to the context of the
// thread that waited, so the code after a co_await runs on that thread from its event loop,
// never inside whoever settled the wait (another thread, a destructor, a signal emission).
class ThreadContext {
public:
    // The calling thread's context, made on first use; it ends with the thread.
    static std::shared_ptr<ThreadContext> current();
    // The context of the application's (main) thread, from any thread.
    static std::shared_ptr<ThreadContext> mainThread();

    // Queues call to run on the context's thread; false (call dropped) once that thread has ended.
    bool post(std::function<void()> call);
    bool isCurrent() const;
    // Calls posted here that have neither run nor been dropped.
    int pending() const { return m_pending->load(); }
    // Runs the calling thread's queued calls, and those they queue in turn, until none is left
    // or the limit passes (a call that requeues itself forever). Used after the event loop has
    // ended, so coroutines waiting there still finish and free their frames.
    static void drainCurrent(std::chrono::milliseconds limit);

    ThreadContext(const ThreadContext &) = delete;
    ThreadContext &operator=(const ThreadContext &) = delete;
    ~ThreadContext();

private:
    explicit ThreadContext(QThread *thread);
    void end();
    friend struct ThreadContextHolder;

    mutable std::mutex m_mutex;
    QObject *m_receiver;
    QThread *m_thread;
    std::shared_ptr<std::atomic<int>> m_pending;
};

} // namespace velmora
