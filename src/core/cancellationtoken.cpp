#include "core/cancellationtoken.h"

#include "core/error.h"
#include "core/promise.h"
#include "core/threadcontext.h"

#include <QCoreApplication>
#include <QThread>

namespace velmora {

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
    // The work sees the flag at once; the callbacks touch the main thread's objects, so from any
    // other thread they are queued there.
    QCoreApplication *app = QCoreApplication::instance();
    if (app && app->thread() != QThread::currentThread()) {
        ThreadContext::mainThread()->post([state = m_state] { runCallbacks(*state); });
        return;
    }
    runCallbacks(*m_state);
}

void CancellationSource::runCallbacks(CancellationState &state) {
    // One at a time, so a callback whose registration ended meanwhile (its owner finished
    // because of an earlier callback) is never called.
    for (;;) {
        std::function<void()> callback;
        {
            std::lock_guard lock(state.mutex);
            if (state.callbacks.empty())
                break;
            callback = std::move(state.callbacks.front().second);
            state.callbacks.erase(state.callbacks.begin());
        }
        callback();
    }
}

} // namespace velmora
