#include "app/applifetime.h"
#include "app/appsettings.h"
#include "core/defaults.h"
#include "core/log.h"
#include "support/testsupport.h"

#include <QSignalSpy>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

// Steps that record when they start and end; a step can be held until the test releases it.
struct Recorder {
    QStringList events;
    Promise<void> release;

    QuitStep step(const QString &name, bool holds = false, bool final = false) {
        return QuitStep{name,
                        [this, name, holds]() -> QCoro::Task<> {
                            events.append(name + QStringLiteral(" start"));
                            if (holds)
                                co_await release;
                            else
                                co_await delay(5ms);
                            events.append(name + QStringLiteral(" end"));
                        },
                        final};
    }
};

} // namespace

// Each step starts only after the one before has ended, in the given order.
TEST(AppLifetimeQuit, RunsStepsStrictlyInOrder) {
    Recorder r;
    const QStringList cut =
        test::run(AppLifetime::runSteps({r.step("dictation"), r.step("notes"), r.step("llm", false, true)}, 5s));
    EXPECT_TRUE(cut.isEmpty());
    EXPECT_EQ(r.events,
              (QStringList{"dictation start", "dictation end", "notes start", "notes end", "llm start", "llm end"}));
}

// A stuck flush cannot hold the quit: past the deadline it and the later flushes are cut
// short, while the steps that stop child processes still run.
TEST(AppLifetimeQuit, DeadlineCutsAStuckStepShortButRunsFinalSteps) {
    Recorder r;
    const QStringList cut = test::run(AppLifetime::runSteps(
        {r.step("translate"), r.step("notes", true), r.step("proofread"), r.step("llm", false, true)}, 200ms));
    EXPECT_EQ(cut, (QStringList{"notes", "proofread"}));
    EXPECT_EQ(r.events, (QStringList{"translate start", "translate end", "notes start", "llm start", "llm end"}));
    // The cut-short step still finishes on its own if it can.
    r.release.resolve();
    EXPECT_TRUE(test::waitUntil([&] { return r.events.last() == QStringLiteral("notes end"); }));
}

// The whole sequence: "Quitting" once however often quit is asked, the program's prelude
// first, the deadline's line naming what was cut short, then the confirmation.
TEST(AppLifetimeQuit, OneSequencePerProcessAndTheCutIsLogged) {
    Defaults defaults{QString()};
    LifetimeRegistry registry;
    AppLifetime lifetime(registry, defaults);
    Recorder r;
    lifetime.setPreludeSteps({r.step("library", true)});
    lifetime.setFinalSteps({r.step("speechHelper", false, true)});
    lifetime.setQuitDeadline(100ms);
    LogCapture log;
    QSignalSpy confirmed(&lifetime, &AppLifetime::quitConfirmed);
    QSignalSpy started(&lifetime, &AppLifetime::terminationStarted);
    lifetime.requestQuit();
    lifetime.requestQuit();
    ASSERT_TRUE(confirmed.wait(5000));
    lifetime.requestQuit();
    test::spin(50ms);
    EXPECT_EQ(confirmed.count(), 1);
    EXPECT_EQ(started.count(), 1);
    EXPECT_TRUE(lifetime.wasCutShort());
    EXPECT_EQ(log.messages(QStringLiteral("app")),
              (QStringList{"Quitting", "Quit deadline passed; cut short: library"}));
    EXPECT_EQ(r.events, (QStringList{"library start", "speechHelper start", "speechHelper end"}));
    // The held step ends while the recorder it writes to still lives.
    r.release.resolve();
    EXPECT_TRUE(test::waitUntil([&] { return r.events.last() == QStringLiteral("library end"); }));
}

TEST(AppLifetime, ClosingTheLastWindowQuitsOnlyWithoutTheTrayItem) {
    struct Case {
        const char *name;
        std::function<void(Defaults &)> store;
        bool trayAvailable;
        bool quits;
    };
    const Case cases[] = {
        {"absent", [](Defaults &) {}, true, false},
        {"shown", [](Defaults &d) { d.set(kShowInMenuBar, true); }, true, false},
        {"switched off", [](Defaults &d) { d.set(kShowInMenuBar, false); }, true, true},
        {"not a Boolean", [](Defaults &d) { d.setString(kShowInMenuBar.name, QStringLiteral("NO")); }, true, false},
        {"no tray on the desktop", [](Defaults &) {}, false, true},
    };
    for (const Case &c : cases) {
        Defaults defaults{QString()};
        c.store(defaults);
        LifetimeRegistry registry;
        AppLifetime lifetime(registry, defaults);
        const bool tray = c.trayAvailable;
        lifetime.setTrayAvailable([tray] { return tray; });
        EXPECT_EQ(lifetime.shouldQuitAfterLastWindowClosed(), c.quits) << c.name;
    }
}

// The launch line carries the version and build, "?" for what is unknown, once.
TEST(AppLifetime, LaunchLogsOnceAndWatchesTheSession) {
    Defaults defaults{QString()};
    LifetimeRegistry registry;
    AppLifetime lifetime(registry, defaults);
    FakeSessionEvents events;
    LogCapture log;
    lifetime.didFinishLaunching(events, QStringLiteral("1.2.3"), QString());
    lifetime.didFinishLaunching(events, QStringLiteral("1.2.3"), QString());
    EXPECT_EQ(log.messages(QStringLiteral("app")), QStringList{QStringLiteral("Launched 1.2.3 (?)")});
    EXPECT_TRUE(events.started);
}
