#include "platform/sessionevents.h"

#include "core/log.h"
#include "support/testsupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

using namespace velmora;

namespace {

// A private message bus for one test.
class PrivateBus {
public:
    explicit PrivateBus(const QString &name) : m_name(name) {
        m_process.setProgram(QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")));
        m_process.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                                QStringLiteral("--print-address=1")});
        m_address = test::startAndReadFirstLine(m_process);
    }
    ~PrivateBus() {
        for (const QString &c : m_connections)
            QDBusConnection::disconnectFromBus(c);
        test::endProcess(m_process);
    }
    QDBusConnection connect(const QString &who) {
        const QString name = m_name + QLatin1Char('-') + who;
        m_connections.append(name);
        return QDBusConnection::connectToBus(m_address, name);
    }
    bool isRunning() const { return !m_address.isEmpty(); }

private:
    QString m_name;
    QProcess m_process;
    QString m_address;
    QStringList m_connections;
};

// logind's manager as far as the watcher asks it: the session of a process.
class FakeLogindManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    static inline const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/_34");
public slots:
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(kSessionPath); }
};

void sendSignal(QDBusConnection &bus, const QString &path, const QString &interface, const QString &name,
                const QVariantList &arguments) {
    QDBusMessage message = QDBusMessage::createSignal(path, interface, name);
    message.setArguments(arguments);
    ASSERT_TRUE(bus.send(message));
}

class SessionEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        ASSERT_TRUE(system.isRunning());
        ASSERT_TRUE(session.isRunning());
        logind = system.connect(QStringLiteral("logind"));
        ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
        ASSERT_TRUE(logind.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager,
                                          QDBusConnection::ExportAllSlots));
        screenSaver = session.connect(QStringLiteral("screensaver"));
    }

    PrivateBus system{QStringLiteral("system")};
    PrivateBus session{QStringLiteral("session")};
    FakeLogindManager manager;
    QDBusConnection logind{QString()};
    QDBusConnection screenSaver{QString()};
};

} // namespace

// Every source of an interruption reaches the watcher; the events that are not interruptions
// (waking up, unlocking, becoming active) do not.
TEST_F(SessionEventsTest, ReportsSleepLockAndResignFromTheBuses) {
    LogindSessionEvents events(system.connect(QStringLiteral("app")), session.connect(QStringLiteral("app")));
    QSignalSpy resolved(&events, &LogindSessionEvents::sessionResolved);
    QSignalSpy spy(&events, &SessionEvents::interrupted);
    events.start();
    ASSERT_TRUE(resolved.wait(5000));
    EXPECT_EQ(events.sessionPath(), FakeLogindManager::kSessionPath);

    const QString manager = QStringLiteral("org.freedesktop.login1.Manager");
    const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");
    const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
    const QString login1 = QStringLiteral("/org/freedesktop/login1");
    const QString path = FakeLogindManager::kSessionPath;

    sendSignal(logind, login1, manager, QStringLiteral("PrepareForSleep"), {false});
    sendSignal(logind, login1, manager, QStringLiteral("PrepareForSleep"), {true});
    sendSignal(logind, QStringLiteral("/org/freedesktop/login1/session/_99"), sessionInterface, QStringLiteral("Lock"),
               {});
    sendSignal(logind, path, sessionInterface, QStringLiteral("Lock"), {});
    sendSignal(logind, path, properties, QStringLiteral("PropertiesChanged"),
               {sessionInterface, QVariantMap{{QStringLiteral("Active"), true}}, QStringList()});
    sendSignal(logind, path, properties, QStringLiteral("PropertiesChanged"),
               {sessionInterface, QVariantMap{{QStringLiteral("Active"), false}}, QStringList()});
    sendSignal(screenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"),
               QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"), {false});
    sendSignal(screenSaver, QStringLiteral("/org/gnome/ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver"),
               QStringLiteral("ActiveChanged"), {true});

    ASSERT_TRUE(test::waitUntil([&] { return spy.count() >= 4; }));
    test::spin(std::chrono::milliseconds(100)); // nothing further may arrive
    QList<SessionEvents::Kind> kinds;
    for (const auto &call : spy)
        kinds.append(call.at(0).value<SessionEvents::Kind>());
    // Signals from two connections may interleave; each expected kind arrives exactly once.
    std::sort(kinds.begin(), kinds.end());
    EXPECT_EQ(kinds, (QList<SessionEvents::Kind>{SessionEvents::Kind::Sleep, SessionEvents::Kind::ScreenLock,
                                                 SessionEvents::Kind::ScreenLock, SessionEvents::Kind::SessionResign}));
}

// Without any bus the watcher says so once per bus and stays usable.
TEST(SessionEvents, NoBusIsLoggedAndHarmless) {
    LogCapture log;
    LogindSessionEvents events(QDBusConnection(QStringLiteral("none-system")),
                               QDBusConnection(QStringLiteral("none-session")));
    QSignalSpy spy(&events, &SessionEvents::interrupted);
    events.start();
    events.start();
    EXPECT_EQ(log.messages(QStringLiteral("app")),
              (QStringList{QStringLiteral("No system bus: sleep and screen lock are not watched"),
                           QStringLiteral("No session bus: the screen saver is not watched")}));
    EXPECT_EQ(spy.count(), 0);
}

#include "sessionevents_test.moc"
