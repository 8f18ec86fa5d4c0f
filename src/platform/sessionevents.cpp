#include "platform/sessionevents.h"

#include "core/log.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <unistd.h>

namespace velmora {

namespace {
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
} // namespace

LogindSessionEvents::LogindSessionEvents()
    : LogindSessionEvents(QDBusConnection::systemBus(), QDBusConnection::sessionBus()) {}

LogindSessionEvents::LogindSessionEvents(QDBusConnection systemBus, QDBusConnection sessionBus, QObject *parent)
    : SessionEvents(parent), m_system(std::move(systemBus)), m_session(std::move(sessionBus)) {}

void LogindSessionEvents::start() {
    if (m_started)
        return;
    m_started = true;

    if (m_system.isConnected()) {
        m_system.connect(QString::fromLatin1(kLogindService), kLogindPath, kManagerInterface,
                         QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
        // The session of this process; a process outside any session gets no Lock signal.
        QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kLogindService), kLogindPath,
                                                           kManagerInterface, QStringLiteral("GetSessionByPID"));
        call << quint32(::getpid());
        auto *watcher = new QDBusPendingCallWatcher(m_system.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
            QDBusPendingReply<QDBusObjectPath> reply = *w;
            w->deleteLater();
            if (!reply.isError())
                watchSession(reply.value().path());
            emit sessionResolved();
        });
    } else {
        Log::app().notice("No system bus: sleep and screen lock are not watched");
    }

    if (m_session.isConnected()) {
        m_session.connect(QString(), QStringLiteral("/org/freedesktop/ScreenSaver"),
                          QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
                          SLOT(screenSaverActiveChanged(bool)));
        m_session.connect(QString(), QStringLiteral("/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
                          QStringLiteral("ActiveChanged"), this, SLOT(screenSaverActiveChanged(bool)));
        m_session.connect(QString(), QStringLiteral("/org/gnome/ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver"),
                          QStringLiteral("ActiveChanged"), this, SLOT(screenSaverActiveChanged(bool)));
    } else {
        Log::app().notice("No session bus: the screen saver is not watched");
    }
}

void LogindSessionEvents::watchSession(const QString &path) {
    if (path.isEmpty())
        return;
    m_sessionPath = path;
    m_system.connect(QString::fromLatin1(kLogindService), path, kSessionInterface, QStringLiteral("Lock"), this,
                     SLOT(sessionLocked()));
    m_system.connect(QString::fromLatin1(kLogindService), path, kPropertiesInterface,
                     QStringLiteral("PropertiesChanged"), this,
                     SLOT(sessionPropertiesChanged(QString, QVariantMap, QStringList)));
}

void LogindSessionEvents::prepareForSleep(bool starting) {
    if (starting)
        emit interrupted(Kind::Sleep);
}

void LogindSessionEvents::sessionLocked() {
    emit interrupted(Kind::ScreenLock);
}

void LogindSessionEvents::sessionPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                                   const QStringList &) {
    if (interface != kSessionInterface)
        return;
    const auto active = changed.constFind(QStringLiteral("Active"));
    if (active != changed.constEnd() && !active->toBool())
        emit interrupted(Kind::SessionResign);
}

void LogindSessionEvents::screenSaverActiveChanged(bool active) {
    if (active)
        emit interrupted(Kind::ScreenLock);
}

} // namespace velmora
