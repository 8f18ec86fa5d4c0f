#include "app/applifetime.h"
#include "app/appservices.h"
#include "app/appsettings.h"
#include "app/speechreadinessmonitor.h"
#include "core/defaults.h"
#include "core/log.h"
#include "dictation/dictationcoordinator.h"
#include "dictation/dictationmeasurements.h"
#include "history/historyfeed.h"
#include "library/migrations.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "platform/keyeventtap.h"
#include "speech/recordingaudioarchive.h"
#include "speech/recordinghistory.h"
#include "support/testsupport.h"
#include "tools/translate/translatesession.h"
#include "tools/translate/translateview.h"
#include "workspace/appnavigation.h"
#include "workspace/settingsattention.h"
#include "workspace/toolhandoff.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <QDir>
#include <QSignalSpy>

#include <csignal>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

class AppServicesTest : public ::testing::Test {
protected:
    test::TempHome home;
    Defaults defaults{QString()};
    QString root = home.dataHome() + QStringLiteral("/com.velmora.app");

    // The services once the Library has been handed over (a test that looks at the opening
    // itself passes false and waits on its own: nothing may outlive the test still opening).
    std::unique_ptr<AppServices> build(bool handedOff = true) {
        auto services = buildOpening();
        if (handedOff)
            test::run(services->libraryHandedOff());
        return services;
    }

    std::unique_ptr<AppServices> buildOpening(AppPlatform platform = AppPlatform::fakes()) {
        AppServices::Options options;
        options.libraryRoot = root;
        options.preferredLanguages = [] { return QStringList{QStringLiteral("en-US")}; };
        options.llmServerPath = test::helperPath(QStringLiteral("llm-helper"));
        options.speechHelperPath = test::helperPath(QStringLiteral("velmora-speech-helper"));
        options.llmLoadTimeout = 20s;
        return std::make_unique<AppServices>(defaults, std::move(platform), options);
    }

    // Starts the stand-in language-model server as a feature's request would.
    void loadWritingModel(AppServices &services) {
        const QString model = home.path() + QStringLiteral("/model.gguf");
        const QString draft = home.path() + QStringLiteral("/draft.gguf");
        test::writeFile(model, "{}");
        test::writeFile(draft, "{}");
        test::run(services.llm().server().start(model, draft));
        ASSERT_TRUE(services.llm().server().isReady());
    }

    static bool processGone(qint64 pid) { return pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH); }
};

FakeMemoryPressure &pressureOf(AppServices &services) {
    return static_cast<FakeMemoryPressure &>(*services.platform().memoryPressure);
}

} // namespace

// The Library opens in the background: the services exist before it, then it is handed over
// ready, and files no History row refers to are swept before the hand-off.
TEST_F(AppServicesTest, OpensTheLibraryInTheBackgroundAndSweepsBeforeTheHandOff) {
    const QString orphan = root + QStringLiteral("/Assets/") +
                           QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral("/left.m4a");
    test::writeFile(orphan, "x");
    auto services = build(false);
    EXPECT_EQ(services->library(), nullptr);
    EXPECT_EQ(services->history().revision(), 0);
    EXPECT_TRUE(static_cast<FakeMemoryPressure &>(*services->platform().memoryPressure).started);
    QSignalSpy opened(services.get(), &AppServices::libraryOpened);
    test::run(services->libraryHandedOff());
    EXPECT_EQ(opened.count(), 1);
    ASSERT_NE(services->library(), nullptr);
    EXPECT_TRUE(services->library()->status().isReady());
    EXPECT_EQ(services->history().library(), services->library());
    EXPECT_EQ(services->history().revision(), 1);
    EXPECT_FALSE(QFile::exists(orphan));
}

// A recording a crash left in staging is closed into History before the hand-off, so the
// first History list already shows it; its samples become an archive, not an orphan.
TEST_F(AppServicesTest, StagedRecordingIsRecoveredBeforeTheHandOff) {
    const QUuid id = QUuid::createUuid();
    QString staged;
    {
        auto library = Library::open(root);
        ASSERT_TRUE(library->status().isReady());
        RecordingHistory<DictationMeasurements> history(QStringLiteral("dictation"), library,
                                                        RecordingAudioArchive::convert);
        test::run(history.begin(id, QStringLiteral("en"), QDateTime::currentDateTimeUtc()));
        staged = history.stagedURL(id);
        QByteArray samples(16000 * 4, 0);
        float *f = reinterpret_cast<float *>(samples.data());
        for (int i = 0; i < 16000; ++i)
            f[i] = (i / 400) % 2 ? 0.2f : 0.0f;
        test::writeFile(staged, samples);
    }
    auto services = build();
    test::run(services->libraryHandedOff());
    const auto task =
        test::run(services->library()->read([id](SQLite::Database &db) { return LibraryTask::fetch(db, id); }));
    ASSERT_TRUE(task.has_value());
    EXPECT_NE(task->status, LibraryTask::Status::Active);
    EXPECT_FALSE(QFile::exists(staged));
}

// A failed recovery keeps the staged recordings away from the sweep, and does not keep the
// next tool's recovery from running.
TEST_F(AppServicesTest, NoSweepAfterAFailedRecovery) {
    auto library = Library::open(root);
    ASSERT_TRUE(library->status().isReady());
    const QString orphan = root + QStringLiteral("/Staging/left-behind.f32");
    QStringList ran;
    auto recovery = [&ran](const char *tool, bool fails) {
        return AppServices::StagedRecovery{QString::fromLatin1(tool),
                                           [&ran, tool, fails](std::shared_ptr<Library>) -> QCoro::Task<> {
                                               ran.append(QString::fromLatin1(tool));
                                               co_await delay(1ms);
                                               if (fails)
                                                   throw Error(QStringLiteral("Test"), 1);
                                           }};
    };
    test::writeFile(orphan, "x");
    EXPECT_FALSE(test::run(
        AppServices::recoverThenSweep(library, {recovery("dictation", true), recovery("voiceCompose", false)})));
    EXPECT_EQ(ran, (QStringList{"dictation", "voiceCompose"}));
    EXPECT_TRUE(QFile::exists(orphan));

    EXPECT_TRUE(test::run(
        AppServices::recoverThenSweep(library, {recovery("dictation", false), recovery("voiceCompose", false)})));
    EXPECT_FALSE(QFile::exists(orphan));
}

// A Library written by a newer version is not an error for the program: it starts, the status
// is handed over, and nothing is swept.
TEST_F(AppServicesTest, UnavailableLibraryIsHandedOverWithItsReason) {
    QDir().mkpath(root);
    {
        SQLite::Database db((root + QStringLiteral("/Library.sqlite")).toStdString(),
                            SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(std::string("CREATE TABLE \"") + LibraryMigrations::kTrackingTable +
                "\" (identifier TEXT NOT NULL PRIMARY KEY)");
        db.exec(std::string("INSERT INTO \"") + LibraryMigrations::kTrackingTable + "\" VALUES ('v99')");
    }
    const QString staged = root + QStringLiteral("/Staging/kept.f32");
    test::writeFile(staged, "x");
    auto services = build();
    test::run(services->libraryHandedOff());
    ASSERT_NE(services->library(), nullptr);
    EXPECT_EQ(services->library()->status(), Library::Status::unavailable(Library::UnavailableReason::NewerVersion));
    EXPECT_TRUE(QFile::exists(staged));
    // The feed has it too, and answers empty.
    EXPECT_EQ(services->history().revision(), 1);
    EXPECT_TRUE(test::run(services->history().entries(std::nullopt, std::nullopt, 12)).isEmpty());
}

// Each History writer raises the feed's revision by one after it has written.
TEST_F(AppServicesTest, EveryHistoryWriterRaisesTheRevision) {
    auto services = build();
    HistoryFeed &feed = services->history();
    const qint64 before = feed.revision();
    emit services->dictation().historySaved();
    EXPECT_EQ(feed.revision(), before + 1);
    emit services->translate().historyChanged();
    EXPECT_EQ(feed.revision(), before + 2);
}

// Pressure while nothing is loaded costs nothing: no line, no work.
TEST_F(AppServicesTest, PressureWithNothingLoadedDoesNothing) {
    auto services = build();
    LogCapture log;
    pressureOf(*services).raise();
    test::spin(50ms);
    EXPECT_TRUE(log.messages(QStringLiteral("app")).isEmpty());
}

// Pressure while the writing model is loaded and idle stops its server.
TEST_F(AppServicesTest, PressureUnloadsAnIdleWritingModel) {
    auto services = build();
    loadWritingModel(*services);
    const qint64 pid = services->llm().server().processId();
    LogCapture log;
    pressureOf(*services).raise(MemoryPressureSource::Level::Critical);
    ASSERT_TRUE(test::waitUntil([&] { return log.messages(QStringLiteral("app")).size() == 2; }));
    EXPECT_EQ(log.messages(QStringLiteral("app")),
              (QStringList{QStringLiteral("Memory pressure: freeing models"),
                           QStringLiteral("Free up memory: speech false, text true")}));
    EXPECT_FALSE(services->llm().server().isReady());
    EXPECT_TRUE(test::waitUntil([&] { return processGone(pid); }));
    EXPECT_FALSE(services->hasLoadedModels());
}

// Freeing memory never stops the server under a feature that holds it for its run, nor while a
// recording runs; the line reports that nothing was unloaded.
TEST_F(AppServicesTest, FreeUpMemoryLeavesAHeldOrBusyServerRunning) {
    auto services = build();
    loadWritingModel(*services);
    LogCapture log;
    services->llm().hold();
    test::run(services->freeUpMemory(false));
    EXPECT_TRUE(services->llm().server().isReady());
    services->llm().release();
    test::run(services->freeUpMemory(true));
    EXPECT_TRUE(services->llm().server().isReady());
    EXPECT_EQ(log.messages(QStringLiteral("app")),
              (QStringList{QStringLiteral("Free up memory: speech false, text false"),
                           QStringLiteral("Free up memory: speech false, text false")}));
    // Two freeings in a row: the second finds nothing left to unload.
    test::run(services->freeUpMemory(false));
    test::run(services->freeUpMemory(false));
    EXPECT_EQ(log.messages(QStringLiteral("app")).mid(2),
              (QStringList{QStringLiteral("Free up memory: speech false, text true"),
                           QStringLiteral("Free up memory: speech false, text false")}));
}

// The quit's language-model step stops a running server: nothing is left behind.
TEST_F(AppServicesTest, QuitStepsStopTheServer) {
    auto services = build();
    loadWritingModel(*services);
    const qint64 pid = services->llm().server().processId();
    ASSERT_GT(pid, 0);
    const QStringList cut = test::run(AppLifetime::runSteps(AppLifetime::quitSteps(services->lifetime()), 5s));
    EXPECT_TRUE(cut.isEmpty());
    EXPECT_TRUE(services->llm().isQuitting());
    EXPECT_TRUE(processGone(pid));
}

// The workspace reaches the services: text sent to a tool whose session is not built opens its
// page, a new note is refused while there is no notes store (nothing opens), and the share
// menu's copy reaches the platform's clipboard.
TEST_F(AppServicesTest, TheWorkspaceIsWiredToTheServices) {
    auto services = build();
    ToolHandoff &handoff = services->handoff();
    handoff.send(QStringLiteral("Bonjour"), WorkspaceTool::Translate);
    EXPECT_EQ(services->navigation().page(), WorkspacePage::tool(WorkspaceTool::Translate));
    EXPECT_FALSE(handoff.newNote(QStringLiteral("A note")));
    EXPECT_EQ(services->navigation().page(), WorkspacePage::tool(WorkspaceTool::Translate));

    handoff.copy(QStringLiteral("shared"));
    const auto copied = services->platform().clipboard->data(QStringLiteral("text/plain"));
    ASSERT_TRUE(copied.has_value());
    EXPECT_EQ(QString::fromUtf8(*copied), QStringLiteral("shared"));
    EXPECT_EQ(services->settingsAttention().count(SettingsCategory::Permissions), 0);
}

// The keys reach dictation only once the main window has shown (the readiness monitor tells
// them the Accessibility grant): a Right Ctrl tap then starts a run, which without a speech
// model opens the setup at the models pane. Showing the window again registers nothing twice,
// and the quit sequence and the sleep/lock interrupt reach the coordinator.
TEST_F(AppServicesTest, TheFnKeyReachesDictationOnceTheWindowHasShown) {
    auto services = build();
    auto &taps = static_cast<FakeKeyEventTaps &>(*services->platform().keyTaps);
    LifetimeRegistry &registry = services->lifetime();
    QList<bool> setups;
    SpeechReadinessMonitor monitor(services->speechPermissions(), services->dictationHotkeys(), services->dictation(),
                                   registry, [&](bool models) { setups.append(models); });
    EXPECT_FALSE(taps.isRunning(KeyEventTaps::Kind::Modifiers));
    EXPECT_TRUE(registry.dictation.isNull());
    // Before the window shows, the quit does not reach dictation.
    EXPECT_EQ(AppLifetime::quitSteps(registry).front().name, QStringLiteral("translate"));

    monitor.start();
    EXPECT_EQ(registry.dictation.data(), &services->dictation());
    ASSERT_TRUE(taps.isRunning(KeyEventTaps::Kind::Modifiers));
    QSignalSpy needsSettings(&services->dictation(), &DictationCoordinator::needsSettings);
    taps.tapFn();
    ASSERT_TRUE(test::waitUntil([&] { return needsSettings.count() == 1; }));
    EXPECT_EQ(setups, QList<bool>{true});

    monitor.start();
    taps.tapFn();
    ASSERT_TRUE(test::waitUntil([&] { return needsSettings.count() == 2; }));
    EXPECT_EQ(setups, (QList<bool>{true, true}));
    EXPECT_EQ(taps.created(KeyEventTaps::Kind::Modifiers), 1);

    EXPECT_EQ(AppLifetime::quitSteps(registry).front().name, QStringLiteral("dictation"));
    EXPECT_FALSE(services->isRecorderBusy());
}

// Translate is one session for the whole run: its page is registered with the workspace, text
// sent to Translate reaches it, and its quit step comes after dictation's and before the server
// stops, writing the draft the user was still typing.
TEST_F(AppServicesTest, TranslateIsWiredToThePageTheHandOffAndTheQuit) {
    auto services = build();
    TranslateSession &session = services->translate();
    EXPECT_NE(session.drafts(), nullptr);
    EXPECT_NE(session.history(), nullptr);

    ASSERT_TRUE(services->pages().has(WorkspacePage::tool(WorkspaceTool::Translate)));
    QWidget window;
    QWidget *page = services->pages().createPage(WorkspacePage::tool(WorkspaceTool::Translate), &window);
    ASSERT_NE(qobject_cast<TranslateView *>(page), nullptr);
    EXPECT_EQ(page->parentWidget(), &window);

    services->handoff().send(QStringLiteral("Bonjour"), WorkspaceTool::Translate);
    EXPECT_TRUE(test::waitUntil([&] { return session.text() == QStringLiteral("Bonjour"); }));

    LifetimeRegistry &registry = services->lifetime();
    QStringList names;
    for (const QuitStep &step : AppLifetime::quitSteps(registry))
        names.append(step.name);
    EXPECT_EQ(names, (QStringList{"translate", "llm"}));
    registry.dictation = &services->dictation();
    names.clear();
    for (const QuitStep &step : AppLifetime::quitSteps(registry))
        names.append(step.name);
    EXPECT_EQ(names, (QStringList{"dictation", "translate", "llm"}));

    // The first save of a burst is written at once, the next waits its turn: only the quit
    // step's flush writes it before the program ends.
    session.setText(QStringLiteral("first words"));
    const auto storedDraft = [&] {
        return test::run(services->library()->read([](SQLite::Database &db) {
            const std::optional<LibraryDraft> draft = LibraryDraft::fetch(db, "translate");
            return draft ? draft->content : QString();
        }));
    };
    ASSERT_TRUE(test::waitUntil([&] { return storedDraft().contains(QStringLiteral("first words")); }));
    session.setText(QStringLiteral("the last words typed"));
    const QStringList cut = test::run(AppLifetime::runSteps(AppLifetime::quitSteps(registry), 5s));
    EXPECT_TRUE(cut.isEmpty());
    EXPECT_TRUE(storedDraft().contains(QStringLiteral("the last words typed")));
}
