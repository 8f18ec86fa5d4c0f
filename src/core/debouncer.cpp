#include "core/debouncer.h"

namespace velmora {

Debouncer::Debouncer(Mode mode, std::chrono::milliseconds delay, QObject *parent)
    : QObject(parent), m_mode(mode), m_delay(delay) {
    m_timer.setSingleShot(true);
    // A coarse timer may fire up to 5% early; a debounce never fires before its delay.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Debouncer::fire);
}

void Debouncer::trigger() {
    if (m_mode == Mode::Throttling && m_timer.isActive())
        return;
    m_timer.start(m_delay);
}

void Debouncer::flush() {
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    fire();
}

void Debouncer::cancel() {
    m_timer.stop();
}

void Debouncer::fire() {
    emit fired();
}

} // namespace velmora
