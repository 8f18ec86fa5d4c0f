// The program as a whole, started as a user starts it, under bad conditions.
#include "velmoraprocess.h"

#include <QDir>
#include <QFile>

using namespace velmora::test;

namespace {
const QString kLaunched = QStringLiteral("Launched ");
} // namespace

// SIGTERM before the main loop even runs is not lost: the same orderly quit runs once the loop
// starts, and the program ends with status 0.
TEST(Velmora, TerminationDuringStartUpQuitsInOrder) {
    TempHome home;
    VelmoraProcess app(home);
    app.start();
    // The stand-in line is written before the services are built.
    ASSERT_TRUE(app.waitForLine(QStringLiteral("Running on stand-ins")));
    app.signal(SIGTERM);
    EXPECT_EQ(app.waitForExit(), 0) << app.output().toStdString();
    EXPECT_TRUE(app.output().contains(QStringLiteral("Quitting")));
    EXPECT_FALSE(app.output().contains(QStringLiteral("Quit deadline passed")));
}

// SIGTERM while the Library is still being opened: the quit waits for the opening to end
// (nothing is cut off mid-way), then the program ends normally. The Library waits for the held
// lock far longer than the test takes, so the opening ends when the test lets go, not before.
TEST(Velmora, TerminationDuringTheLibraryOpeningWaitsForIt) {
    TempHome home;
    auto locked = std::make_unique<LockedLibrary>(home);
    VelmoraProcess app(home, {QStringLiteral("-libraryBusyWaitMs"), QStringLiteral("600000")});
    app.start();
    ASSERT_TRUE(app.waitForLine(kLaunched)) << app.output().toStdString();
    ASSERT_FALSE(app.output().contains(QStringLiteral("com.velmora.app.library"))) << "the opening ended too early";
    app.signal(SIGINT);
    ASSERT_TRUE(app.waitForLine(QStringLiteral("Quitting")));
    EXPECT_TRUE(app.isRunning());
    locked.reset();
    EXPECT_EQ(app.waitForExit(), 0) << app.output().toStdString();
    EXPECT_TRUE(app.output().contains(QStringLiteral("Library opened")) ||
                app.output().contains(QStringLiteral("Library unavailable")));
    const int quitting = app.output().indexOf(QStringLiteral("Quitting"));
    const int library = app.output().indexOf(QStringLiteral("com.velmora.app.library"));
    EXPECT_GT(library, quitting);
}

// A damaged settings file, no D-Bus at all and no tray: the program says so, keeps the damaged
// file aside, starts, and quits normally.
TEST(Velmora, StartsWithDamagedSettingsNoBusAndNoTray) {
    TempHome home;
    const QString settings = home.configHome() + QStringLiteral("/com.velmora.app/defaults.json");
    writeFile(settings, "{\"values\": {\"appLanguage\": ");
    VelmoraProcess app(home);
    QProcessEnvironment env = app.environment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    app.setEnvironment(env);
    app.start();
    ASSERT_TRUE(app.waitForLine(QStringLiteral("No session bus"))) << app.output().toStdString();
    const QString log = app.output();
    EXPECT_TRUE(log.contains(QStringLiteral("Defaults file is damaged")));
    EXPECT_TRUE(log.contains(QStringLiteral("No system bus: sleep and screen lock are not watched")));
    EXPECT_TRUE(log.contains(QStringLiteral("No system tray: the tray menu is not shown")));
    EXPECT_TRUE(log.contains(kLaunched));
    EXPECT_EQ(readFile(settings + QStringLiteral(".damaged")), QByteArray("{\"values\": {\"appLanguage\": "));
    app.signal(SIGTERM);
    EXPECT_EQ(app.waitForExit(), 0) << app.output().toStdString();
}

// The stand-ins in use are named in one line at start; a configured real program replaces
// its stand-in.
TEST(Velmora, NamesTheStandInsInUse) {
    TempHome home;
    {
        VelmoraProcess app(home, {QStringLiteral("-modelManifests"), QStringLiteral("standIn")});
        app.start();
        ASSERT_TRUE(app.waitForLine(kLaunched));
        EXPECT_TRUE(app.output().contains(
            QStringLiteral("Running on stand-ins: language-model server, speech engine, model hub and model files")))
            << app.output().toStdString();
        app.signal(SIGTERM);
        EXPECT_EQ(app.waitForExit(), 0);
    }
    VelmoraProcess real(home, {QStringLiteral("-llmServerPath"), QStringLiteral("/usr/bin/true"),
                               QStringLiteral("-speechHelperPath"), QStringLiteral("/usr/bin/true")});
    real.start();
    ASSERT_TRUE(real.waitForLine(kLaunched));
    EXPECT_TRUE(real.output().contains(QStringLiteral("Running without stand-ins"))) << real.output().toStdString();
    real.signal(SIGTERM);
    EXPECT_EQ(real.waitForExit(), 0);
}
