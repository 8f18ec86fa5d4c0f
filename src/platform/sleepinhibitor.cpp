#include "platform/sleepinhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <unistd.h>

namespace velmora {

namespace {

// Holds logind's inhibitor descriptor once the asynchronous call has answered; closing it ends
// the inhibition.
struct LogindHold : SleepInhibitor::Hold {
    ~LogindHold() override {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -2; // an answer that arrives later is closed at once
    }
    std::shared_ptr<int> fd = std::make_shared<int>(-1);
};

} // namespace

std::unique_ptr<SleepInhibitor::Hold> LogindSleepInhibitor::begin(const QString &reason) {
    auto hold = std::make_unique<LogindHold>();
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return hold;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("idle:sleep") << QStringLiteral("Velmora") << reason << QStringLiteral("block");
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [fd = hold->fd](QDBusPendingCallWatcher *w) {
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        w->deleteLater();
        if (reply.isError() || !reply.value().isValid())
            return; // no login manager to ask
        const int held = ::dup(reply.value().fileDescriptor());
        if (*fd == -2)
            ::close(held); // the work already ended
        else
            *fd = held;
    });
    return hold;
}

} // namespace velmora
