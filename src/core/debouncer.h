#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

namespace velmora {

// Turns a burst of triggers into one fired() on the thread it lives on. Sliding: each trigger
// restarts the delay, so fired() comes once the triggers have paused for the delay (a search
// field, a draft being typed). Throttling: the first trigger starts the delay and later ones
// join it, so fired() comes at most one delay after the first trigger even while triggers keep
// coming (a write queue, a store of settings).
class Debouncer : public QObject {
    Q_OBJECT
public:
    enum class Mode { Sliding, Throttling };

    Debouncer(Mode mode, std::chrono::milliseconds delay, QObject *parent = nullptr);

    Mode mode() const { return m_mode; }
    std::chrono::milliseconds delay() const { return m_delay; }
    // Whether a trigger is waiting for its fired().
    bool isPending() const { return m_timer.isActive(); }

    void trigger();
    // Fires now when a trigger is pending; does nothing otherwise.
    void flush();
    // Drops a pending trigger without firing.
    void cancel();

signals:
    void fired();

private:
    void fire();

    const Mode m_mode;
    const std::chrono::milliseconds m_delay;
    QTimer m_timer;
};

} // namespace velmora
