#include "dictation/overlayclock.h"

#include <QDateTime>
#include <QTimer>

namespace velmora {

namespace {
// 1 January 2001, UTC, in milliseconds since 1970.
constexpr qint64 kReferenceDateMs = 978'307'200'000;
} // namespace

double SystemOverlayClock::now() const {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch() - kReferenceDateMs) / 1000.0;
}

std::shared_ptr<void> SystemOverlayClock::after(std::chrono::milliseconds delay, std::function<void()> callback) {
    auto *timer = new QTimer;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, std::move(callback));
    timer->start(delay);
    // Dropped from inside its own callback too, so the timer goes later, never under itself.
    return std::shared_ptr<void>(timer, [](void *object) {
        auto *t = static_cast<QTimer *>(object);
        t->stop();
        t->deleteLater();
    });
}

std::shared_ptr<void> FakeOverlayClock::after(std::chrono::milliseconds delay, std::function<void()> callback) {
    auto handle = std::make_shared<int>(0);
    m_entries.emplace(std::pair{m_now + static_cast<double>(delay.count()) / 1000.0, m_sequence++},
                      Entry{m_now + static_cast<double>(delay.count()) / 1000.0, handle, std::move(callback)});
    return handle;
}

void FakeOverlayClock::advance(std::chrono::milliseconds by) {
    const double end = m_now + static_cast<double>(by.count()) / 1000.0;
    while (!m_entries.empty() && m_entries.begin()->first.first <= end + 1e-6) {
        auto node = m_entries.extract(m_entries.begin());
        m_now = std::max(m_now, node.mapped().due);
        if (!node.mapped().handle.expired())
            node.mapped().callback();
    }
    m_now = end;
}

int FakeOverlayClock::pending() const {
    int count = 0;
    for (const auto &[key, entry] : m_entries)
        count += entry.handle.expired() ? 0 : 1;
    return count;
}

} // namespace velmora
