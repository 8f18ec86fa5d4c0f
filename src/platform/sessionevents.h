#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <optional>

namespace velmora {

// The moments a running recording must stop: the machine goes to sleep, the screen locks, or
// the user switches to another session.
class SessionEvents : public QObject {
    Q_OBJECT
public:
    enum class Kind { Sleep, ScreenLock, SessionResign };

    using QObject::QObject;
    // Begins watching; events arrive on the main thread.
    virtual void start() = 0;

signals:
    void interrupted(velmora::SessionEvents::Kind kind);
};

// logind on the system bus (PrepareForSleep, the session's Lock signal and its Active
// property) and the desktop's screen saver on the session bus (ActiveChanged of
// org.freedesktop.ScreenSaver and org.gnome.ScreenSaver). A bus that cannot be reached is
// logged once and the rest keeps working.
class LogindSessionEvents : public SessionEvents {
    Q_OBJECT
public:
    static constexpr const char *kLogindService = "org.freedesktop.login1";

    LogindSessionEvents();
    // The buses to watch (tests give private ones).
    LogindSessionEvents(QDBusConnection systemBus, QDBusConnection sessionBus, QObject *parent = nullptr);

    void start() override;
    // The object path of this process's logind session, once it is known.
    const QString &sessionPath() const { return m_sessionPath; }

signals:
    // The session path was looked up (empty when logind does not know this process).
    void sessionResolved();

private slots:
    void prepareForSleep(bool starting);
    void sessionLocked();
    void sessionPropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);
    void screenSaverActiveChanged(bool active);

private:
    void watchSession(const QString &path);

    QDBusConnection m_system;
    QDBusConnection m_session;
    QString m_sessionPath;
    bool m_started = false;
};

class FakeSessionEvents : public SessionEvents {
    Q_OBJECT
public:
    using SessionEvents::SessionEvents;
    void start() override { started = true; }
    void post(Kind kind) { emit interrupted(kind); }
    bool started = false;
};

} // namespace velmora
