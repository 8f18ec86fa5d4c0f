#include "core/async.h"

#include <QSocketNotifier>

#include <cerrno>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace velmora {

// --- cancellation ---------------------------------------------------------------------------

CancellationRegistration::CancellationRegistration(CancellationRegistration &&other) noexcept
    : m_state(std::move(other.m_state)), m_id(other.m_id) {
    other.m_id = 0;
}

CancellationRegistration &CancellationRegistration::operator=(CancellationRegistration &&other) noexcept {
    if (this != &other) {
        reset();
        m_state = std::move(other.m_state);
        m_id = other.m_id;
        other.m_id = 0;
    }
    return *this;
}

CancellationRegistration::~CancellationRegistration() {
    reset();
}

void CancellationRegistration::reset() {
    if (m_state && m_id) {
        std::lock_guard lock(m_state->mutex);
        auto &cbs = m_state->callbacks;
        for (auto it = cbs.begin(); it != cbs.end(); ++it) {
            if (it->first == m_id) {
                cbs.erase(it);
                break;
            }
        }
    }
    m_state.reset();
    m_id = 0;
}

bool CancellationToken::isCancelled() const {
    if (!m_state)
        return false;
    std::lock_guard lock(m_state->mutex);
    return m_state->cancelled;
}

void CancellationToken::throwIfCancelled() const {
    if (isCancelled())
        throw CancelledError();
}

CancellationRegistration CancellationToken::onCancelled(std::function<void()> callback) const {
    CancellationRegistration reg;
    if (!m_state)
        return reg;
    {
        std::lock_guard lock(m_state->mutex);
        if (!m_state->cancelled) {
            reg.m_state = m_state;
            reg.m_id = m_state->nextId++;
            m_state->callbacks.emplace_back(reg.m_id, std::move(callback));
            return reg;
        }
    }
    callback();
    return reg;
}

QCoro::Task<> CancellationToken::whenCancelled() const {
    Promise<void> fired;
    auto reg = onCancelled([fired]() mutable { fired.resolve(); });
    co_await fired;
}

CancellationSource::CancellationSource() : m_state(std::make_shared<CancellationState>()) {}

CancellationSource::CancellationSource(const CancellationToken &parent) : CancellationSource() {
    std::weak_ptr<CancellationState> weak = m_state;
    m_parentLink = std::make_shared<CancellationRegistration>(parent.onCancelled([weak] {
        if (auto state = weak.lock()) {
            CancellationSource relay;
            relay.m_state = state;
            relay.cancel();
        }
    }));
}

bool CancellationSource::isCancelled() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->cancelled;
}

void CancellationSource::cancel() {
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->cancelled)
            return;
        m_state->cancelled = true;
    }
    // One at a time, so a callback whose registration ended meanwhile (its owner finished
    // because of an earlier callback) is never called.
    for (;;) {
        std::function<void()> callback;
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->callbacks.empty())
                break;
            callback = std::move(m_state->callbacks.front().second);
            m_state->callbacks.erase(m_state->callbacks.begin());
        }
        callback();
    }
}

// --- time -----------------------------------------------------------------------------------

ContinuousClock::time_point ContinuousClock::now() noexcept {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

QCoro::Task<> sleepFor(std::chrono::nanoseconds duration, CancellationToken token) {
    token.throwIfCancelled();
    if (duration <= std::chrono::nanoseconds::zero())
        co_return;
    const int fd = timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0)
        throw PosixError(errno);
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    itimerspec spec{};
    spec.it_value.tv_sec = duration.count() / 1'000'000'000;
    spec.it_value.tv_nsec = duration.count() % 1'000'000'000;
    if (timerfd_settime(fd, 0, &spec, nullptr) != 0)
        throw PosixError(errno);

    Promise<bool> done; // true when the time has passed, false when cancelled
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        quint64 expirations = 0;
        [[maybe_unused]] auto n = ::read(fd, &expirations, sizeof expirations);
        notifier.setEnabled(false);
        done.resolve(true);
    });
    auto reg = token.onCancelled([&] { done.resolve(false); });
    const bool elapsed = co_await done;
    notifier.setEnabled(false);
    if (!elapsed)
        throw CancelledError();
}

QCoro::Task<> delay(std::chrono::milliseconds duration, CancellationToken token) {
    token.throwIfCancelled();
    Promise<bool> done;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] { done.resolve(true); });
    timer.start(duration);
    auto reg = token.onCancelled([&] { done.resolve(false); });
    const bool elapsed = co_await done;
    timer.stop();
    if (!elapsed)
        throw CancelledError();
}

// --- serial queue ---------------------------------------------------------------------------

namespace {
QCoro::Task<> runPosted(SerialQueue *queue, std::function<QCoro::Task<void>()> job) {
    try {
        co_await queue->run<void>(std::move(job));
    } catch (...) {
    }
}
} // namespace

void SerialQueue::post(std::function<QCoro::Task<void>()> job) {
    runPosted(this, std::move(job));
}

QCoro::Task<> SerialQueue::drain() {
    auto tail = m_tail;
    co_await *tail;
}

// --- serial executor ------------------------------------------------------------------------

SerialExecutor::SerialExecutor(const QString &name)
    : m_thread(new QThread), m_worker(new QObject), m_home(new QObject) {
    m_thread->setObjectName(name);
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

SerialExecutor::~SerialExecutor() {
    // Jobs already queued still run; their results, posted to m_home, are dropped with it.
    m_thread->quit();
    m_thread->wait();
    delete m_home;
    delete m_worker;
    delete m_thread;
}

void SerialExecutor::dispatch(std::function<void()> job) {
    QMetaObject::invokeMethod(m_worker, std::move(job), Qt::QueuedConnection);
}

void SerialExecutor::runBlocking(std::function<void()> job) {
    if (QThread::currentThread() == m_thread) {
        job();
        return;
    }
    QMetaObject::invokeMethod(m_worker, std::move(job), Qt::BlockingQueuedConnection);
}

} // namespace velmora
