#pragma once

#include <QObject>

#include <chrono>
#include <memory>

class QSocketNotifier;

namespace velmora {

// A single-shot timer on the clock that keeps counting while the system sleeps
// (CLOCK_BOOTTIME), for deadlines that a suspend must not stretch. Lives on the thread that
// made it.
class BoottimeTimer : public QObject {
    Q_OBJECT
public:
    // Throws PosixError when the system has no timer to give.
    explicit BoottimeTimer(QObject *parent = nullptr);
    ~BoottimeTimer() override;

    // Arms (or re-arms) the timer; a duration of 0 or less fires on the next turn.
    void start(std::chrono::nanoseconds duration);
    void stop();
    bool isActive() const { return m_active; }

signals:
    void timeout();

private:
    void expired();

    int m_fd = -1;
    bool m_active = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace velmora
