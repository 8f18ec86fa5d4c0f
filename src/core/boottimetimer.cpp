#include "core/boottimetimer.h"

#include "core/error.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <sys/timerfd.h>
#include <unistd.h>

namespace velmora {

BoottimeTimer::BoottimeTimer(QObject *parent) : QObject(parent) {
    m_fd = timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0)
        throw PosixError(errno);
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &BoottimeTimer::expired);
}

BoottimeTimer::~BoottimeTimer() {
    m_notifier.reset();
    ::close(m_fd);
}

void BoottimeTimer::start(std::chrono::nanoseconds duration) {
    const qint64 ns = std::max<qint64>(duration.count(), 1);
    itimerspec spec{};
    spec.it_value.tv_sec = ns / 1'000'000'000;
    spec.it_value.tv_nsec = ns % 1'000'000'000;
    if (timerfd_settime(m_fd, 0, &spec, nullptr) != 0)
        throw PosixError(errno);
    m_active = true;
}

void BoottimeTimer::stop() {
    // Setting the timer also drops an expiry counted but not yet read, so it never fires late.
    const itimerspec disarm{};
    timerfd_settime(m_fd, 0, &disarm, nullptr);
    m_active = false;
}

void BoottimeTimer::expired() {
    quint64 expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations || expirations == 0)
        return;
    m_active = false;
    emit timeout();
}

} // namespace velmora
