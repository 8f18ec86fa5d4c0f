#include "core/threadcontext.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace velmora {

namespace {
// Counts a posted call from the post until it has run or been dropped with its receiver.
class Counted {
public:
    Counted(std::function<void()> call, std::shared_ptr<std::atomic<int>> pending)
        : m_call(std::make_shared<std::function<void()>>(std::move(call))), m_pending(std::move(pending)) {
        ++*m_pending;
    }
    Counted(const Counted &other) : m_call(other.m_call), m_pending(other.m_pending) { ++*m_pending; }
    Counted &operator=(const Counted &) = delete;
    ~Counted() { --*m_pending; }
    void operator()() const {
        // Released as soon as it has run, not when Qt drops the event.
        auto call = std::exchange(*m_call, nullptr);
        if (call)
            call();
    }

private:
    std::shared_ptr<std::function<void()>> m_call;
    std::shared_ptr<std::atomic<int>> m_pending;
};
} // namespace

struct ThreadContextHolder {
    std::shared_ptr<ThreadContext> context;
    ~ThreadContextHolder() {
        if (context)
            context->end();
    }
};

ThreadContext::ThreadContext(QThread *thread)
    : m_receiver(new QObject), m_thread(thread), m_pending(std::make_shared<std::atomic<int>>(0)) {
    if (thread != QThread::currentThread())
        m_receiver->moveToThread(thread);
}

ThreadContext::~ThreadContext() {
    end();
}

std::shared_ptr<ThreadContext> ThreadContext::mainThread() {
    static std::mutex mutex;
    static std::shared_ptr<ThreadContext> context;
    std::lock_guard lock(mutex);
    if (!context) {
        QCoreApplication *app = QCoreApplication::instance();
        context.reset(new ThreadContext(app ? app->thread() : QThread::currentThread()));
    }
    return context;
}

std::shared_ptr<ThreadContext> ThreadContext::current() {
    thread_local ThreadContextHolder holder;
    if (!holder.context) {
        QCoreApplication *app = QCoreApplication::instance();
        if (app && app->thread() == QThread::currentThread())
            holder.context = mainThread();
        else
            holder.context.reset(new ThreadContext(QThread::currentThread()));
    }
    return holder.context;
}

void ThreadContext::end() {
    QObject *receiver = nullptr;
    {
        std::lock_guard lock(m_mutex);
        receiver = std::exchange(m_receiver, nullptr);
    }
    // Calls still queued go with the receiver, unrun.
    delete receiver;
}

bool ThreadContext::post(std::function<void()> call) {
    std::lock_guard lock(m_mutex);
    if (!m_receiver)
        return false;
    return QMetaObject::invokeMethod(m_receiver, Counted(std::move(call), m_pending), Qt::QueuedConnection);
}

void ThreadContext::drainCurrent(std::chrono::milliseconds limit) {
    const std::shared_ptr<ThreadContext> context = current();
    QDeadlineTimer deadline(limit);
    do {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    } while (context->pending() > 0 && !deadline.hasExpired());
}

bool ThreadContext::isCurrent() const {
    return QThread::currentThread() == m_thread;
}

} // namespace velmora
