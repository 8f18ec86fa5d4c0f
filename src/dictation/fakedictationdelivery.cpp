#include "dictation/fakedictationdelivery.h"

namespace velmora {

QCoro::Task<bool> FakeDictationDelivery::deliver(QString text, std::function<bool()> isCurrent,
                                                 CancellationToken token) {
    delivered.append(text);
    if (hold) {
        Promise<bool> waiting;
        m_waiting = waiting;
        auto registration = token.onCancelled([this, waiting]() mutable {
            sawCancel = true;
            waiting.resolve(false);
        });
        const bool released = co_await waiting;
        registration.reset();
        m_waiting.reset();
        if (!released)
            co_return false;
    }
    co_return result &&isCurrent();
}

void FakeDictationDelivery::release() {
    hold = false;
    if (m_waiting)
        m_waiting->resolve(true);
}

} // namespace velmora
