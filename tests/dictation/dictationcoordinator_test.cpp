// Whole dictation runs: fake capture, the stand-in speech helper, the stand-in writing model, a
// real Library and a fake delivery.

#include "dictationrunfixture.h"
#include "fakewriter.h"

#include "core/enumname.h"
#include "dictation/dictationdelivery.h"
#include "dictation/transcriptcleanup.h"
#include "dictation/wordcount.h"
#include "models/modelmanifest.h"
#include "platform/accessibilitytrust.h"
#include "platform/clipboard.h"
#include "platform/keyboardstate.h"
#include "platform/keysender.h"

#include <QCoreApplication>
#include <QTimer>
#include <QTranslator>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;
using State = DictationCoordinator::State;
using Failure = DictationCoordinator::Failure;
using M = DictationMeasurements;

namespace {

QString finishLine(const char *completeness, double recordedSeconds, const M &m) {
    return Log::render(
        "Dictation finished: %{public}s, %ld s audio, %ld chunks, transcribe %ld ms, cleanup "
        "%{public}s %ld ms, delivery %{public}s",
        {completeness, qint64(recordedSeconds), m.chunks.value_or(0), m.transcribeMs.value_or(0),
         m.cleanup ? enumName(*m.cleanup) : QStringLiteral("none"), m.cleanupMs.value_or(0),
         m.delivery && *m.delivery != M::Delivery::None ? enumName(*m.delivery) : QStringLiteral("none")});
}

const QString kSkipped = QStringLiteral("Cleanup skipped: failed, invalid output or timed out");

// ---------------------------------------------------------------------------------------------
// The main road.

TEST_F(DictationRunTest, ToggleToggleDeliversTheCleanedTextOnceAndRecordsTheRun) {
    context = {QStringLiteral("software development"), {}, {QStringLiteral("Velmora")}};
    QStringList statuses;
    QObject scope; // the connection ends with the test body
    QObject::connect(&dictation(), &DictationCoordinator::statusTextChanged, &scope,
                     [&] { statuses.append(coordinator->statusText()); });
    QSignalSpy saved(&dictation(), &DictationCoordinator::historySaved);

    dictate(40000);

    EXPECT_EQ(fakeDelivery.delivered, QStringList{QStringLiteral("Hello there.")});
    EXPECT_EQ(coordinator->latestText(), QStringLiteral("Hello there."));
    EXPECT_EQ(coordinator->failure(), std::nullopt);
    EXPECT_TRUE(coordinator->completed());
    EXPECT_FALSE(coordinator->cleanupSkipped());
    EXPECT_EQ(coordinator->state(), State::Idle);
    EXPECT_EQ(coordinator->statusText(), QStringLiteral("Pasted"));
    EXPECT_EQ(saved.count(), 1);

    // The request the writing model got: the transcript with the speaker's context.
    const QList<QJsonObject> requests = writerRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].value("messages").toArray().at(0).toObject().value("content").toString(),
              TranscriptCleanup::request(QStringLiteral("hello there"), context).messages[0].content);
    EXPECT_EQ(requests[0].value("max_tokens").toInt(), 75);

    // One History task with the run's exact figures.
    const StoredRun run = onlyRun();
    ASSERT_TRUE(run.task);
    EXPECT_EQ(run.task->status, LibraryTask::Status::Completed);
    EXPECT_EQ(run.output(), QStringLiteral("Hello there."));
    ASSERT_EQ(run.events.size(), 1);
    EXPECT_EQ(run.events[0].outcome, ActivityEvent::Outcome::Completed);
    const std::optional<M> m = run.measurements<M>();
    ASSERT_TRUE(m);
    const M &live = coordinator->measurements();
    M expected;
    expected.audioSeconds = 2.5;
    expected.chunks = 1;
    expected.characters = 12;
    expected.words = 2;
    expected.countVersion = 1;
    expected.cleanup = M::Cleanup::Applied;
    expected.promptTokens = live.promptTokens;
    expected.completionTokens = live.completionTokens;
    expected.delivery = M::Delivery::Pasted;
    expected.micInterrupted = false;
    expected.transcribeMs = live.transcribeMs;
    expected.cleanupMs = live.cleanupMs;
    expected.speechModel = ModelManifest::speech().filename;
    expected.textModel = ModelManifest::writing().filename;
    EXPECT_EQ(*m, expected) << run.events[0].measurements->toStdString();
    EXPECT_GT(live.promptTokens.value_or(0), 100);
    EXPECT_EQ(live.completionTokens, 2);
    EXPECT_GE(live.transcribeMs.value_or(-1), 0);
    EXPECT_GE(live.cleanupMs.value_or(-1), 0);

    EXPECT_EQ(dictationLog(), QStringList{finishLine("complete", recorder->recordedSeconds(), live)});

    // What the run showed, in order.
    const QStringList road{QStringLiteral("Preparing\u2026"),
                           QStringLiteral("Recording"),
                           QStringLiteral("Transcribing\u2026"),
                           QStringLiteral("Cleaning up\u2026"),
                           QStringLiteral("Pasting\u2026"),
                           QStringLiteral("Stopping\u2026"),
                           QStringLiteral("Pasted")};
    qsizetype at = 0;
    for (const QString &status : statuses)
        if (at < road.size() && status == road[at])
            ++at;
    EXPECT_EQ(at, road.size()) << statuses.join(QStringLiteral(" > ")).toStdString();

    // The keys knew the run was active (Escape was watched), and the writing model is released.
    EXPECT_FALSE(hotkeys->isOperationActive());
    EXPECT_EQ(taps.created(KeyEventTaps::Kind::Escape), 1);
    EXPECT_EQ(runtime->holds(), 0);
    EXPECT_EQ(contextReads, 1);
    // The rising cue, then the falling one; the speakers were muted while it recorded.
    EXPECT_EQ(player.played, (QList<QByteArray>{DictationSounds::cue(true), DictationSounds::cue(false)}));
    EXPECT_EQ(output.writes, (QStringList{"speakers=1", "speakers=0"}));
    EXPECT_FALSE(output.devices["speakers"].muted);
}

TEST_F(DictationRunTest, WithCleanupOffTheTranscriptGoesOutAsItIs) {
    cleanupOn = false;
    dictate();
    EXPECT_EQ(fakeDelivery.delivered, QStringList{QStringLiteral("hello there")});
    EXPECT_TRUE(writerRequests().isEmpty());
    EXPECT_FALSE(server->isReady());
    const M m = *onlyRun().measurements<M>();
    EXPECT_EQ(m.cleanup, M::Cleanup::Off);
    EXPECT_EQ(m.cleanupMs, std::nullopt);
    EXPECT_EQ(m.textModel, std::nullopt);
    EXPECT_EQ(m.promptTokens, std::nullopt);
    EXPECT_EQ(dictationLog(), QStringList{finishLine("complete", recorder->recordedSeconds(), m)});
    EXPECT_TRUE(dictationLog().first().contains(QStringLiteral("cleanup off 0 ms, delivery pasted")));
}

TEST_F(DictationRunTest, WithoutAWritingModelNothingIsCleanedAndTheContextIsNotRead) {
    llm = nullptr;
    dictate();
    EXPECT_EQ(contextReads, 0);
    EXPECT_EQ(fakeDelivery.delivered, QStringList{QStringLiteral("hello there")});
    EXPECT_EQ(onlyRun().measurements<M>()->cleanup, M::Cleanup::Off);
    EXPECT_FALSE(server->isReady());
}

// ---------------------------------------------------------------------------------------------
// Cleanup that gives nothing.

struct SkipCase {
    const char *name;
    QJsonObject script;
    bool writerReady;
};
void PrintTo(const SkipCase &c, std::ostream *os) {
    *os << c.name;
}

class CleanupSkippedTest : public DictationRunTest, public ::testing::WithParamInterface<SkipCase> {};

TEST_P(CleanupSkippedTest, TheRawTranscriptIsPastedAndTheCleanupCountsAsSkipped) {
    write(GetParam().script);
    writerReady = GetParam().writerReady;
    dictate();
    EXPECT_EQ(fakeDelivery.delivered, QStringList{QStringLiteral("hello there")});
    EXPECT_TRUE(coordinator->cleanupSkipped());
    EXPECT_EQ(coordinator->failure(), std::nullopt);
    const M m = *onlyRun().measurements<M>();
    EXPECT_EQ(m.cleanup, M::Cleanup::Skipped);
    EXPECT_TRUE(m.cleanupMs);
    EXPECT_EQ(m.textModel, ModelManifest::writing().filename);
    EXPECT_EQ(m.promptTokens, std::nullopt);
    EXPECT_EQ(m.completionTokens, std::nullopt);
    EXPECT_EQ(m.words, 2);
    EXPECT_EQ(onlyRun().output(), QStringLiteral("hello there"));
    EXPECT_EQ(dictationLog(), (QStringList{kSkipped, finishLine("complete", recorder->recordedSeconds(), m)}));
    EXPECT_EQ(runtime->holds(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, CleanupSkippedTest,
    ::testing::Values(SkipCase{"CutOffAtTheTokenLimit", {{"reply", "Hello there"}, {"finishReason", "length"}}, true},
                      SkipCase{"BlankReply", {{"reply", "  \n\n "}}, true},
                      SkipCase{"ServerError", {{"httpStatus", 500}}, true},
                      SkipCase{"ServerExitsWhileLoading", {{"exitWhileLoading", 5}}, true},
                      SkipCase{"WritingModelMissing", {{"reply", "unused"}}, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DictationRunTest, ACleanupPastItsBudgetIsCutOffAndTheRawTextPasted) {
    // "hello there": 15 s + (11 + 64) / 20 s.
    write({{"reply", "Too late."}, {"stallMs", 60000}});
    dictate();
    EXPECT_EQ(fakeDelivery.delivered, QStringList{QStringLiteral("hello there")});
    const M m = *onlyRun().measurements<M>();
    EXPECT_EQ(m.cleanup, M::Cleanup::Skipped);
    EXPECT_GE(m.cleanupMs.value_or(0), 18750);
    EXPECT_EQ(dictationLog().first(), kSkipped);
}

// ---------------------------------------------------------------------------------------------
// Transcripts without text, partial transcripts.

TEST_F(DictationRunTest, AnEmptyTranscriptPastesNothingAndSaysNoSpeech) {
    speak({{"text", ""}});
    dictate();
    EXPECT_TRUE(fakeDelivery.delivered.isEmpty());
    EXPECT_TRUE(writerRequests().isEmpty());
    EXPECT_EQ(coordinator->failure(), Failure::NoSpeech);
    EXPECT_EQ(coordinator->failureText(), QStringLiteral("No speech was heard."));
    EXPECT_EQ(coordinator->overlayFailureText(), QStringLiteral("No speech was heard."));
    EXPECT_EQ(coordinator->latestText(), std::nullopt);
    const StoredRun run = onlyRun();
    EXPECT_EQ(run.events.value(0).outcome, ActivityEvent::Outcome::Completed);
    // An empty text is stored as no output text.
    EXPECT_EQ(run.output(), std::nullopt);
    const M m = *run.measurements<M>();
    EXPECT_EQ(m.characters, 0);
    EXPECT_EQ(m.words, 0);
    EXPECT_EQ(m.countVersion, 1);
    EXPECT_EQ(m.delivery, M::Delivery::None);
    EXPECT_EQ(m.cleanup, std::nullopt);
    ASSERT_EQ(dictationLog().size(), 1);
    EXPECT_TRUE(dictationLog().first().endsWith(QStringLiteral("cleanup none 0 ms, delivery none")));
}

TEST_F(DictationRunTest, APartialTranscriptIsPastedAndSavedAsPartial) {
    speak({{"text", "one two three four"}, {"transcribeDefault", QJsonArray{QJsonObject{{"partial", 5}}}}});
    write({{"reply", "One two."}});
    dictate();
    EXPECT_EQ(fakeDelivery.delivered, QStringList{QStringLiteral("One two.")});
    const StoredRun run = onlyRun();
    EXPECT_EQ(run.task->status, LibraryTask::Status::Partial);
    EXPECT_EQ(run.events.value(0).outcome, ActivityEvent::Outcome::Partial);
    EXPECT_EQ(dictationLog(),
              QStringList{finishLine("partial", recorder->recordedSeconds(), coordinator->measurements())});
    EXPECT_TRUE(dictationLog().first().startsWith(QStringLiteral("Dictation finished: partial, ")));
}

TEST_F(DictationRunTest, AnIncompleteTranscriptWithoutTextIsAHelperFailure) {
    speak({{"text", ""}, {"transcribeDefault", QJsonArray{QJsonObject{{"partial", 5}}}}});
    dictate();
    EXPECT_TRUE(fakeDelivery.delivered.isEmpty());
    EXPECT_EQ(coordinator->failure(), Failure::Helper);
    EXPECT_EQ(coordinator->failureText(), QStringLiteral("Couldn't transcribe. Try again."));
    EXPECT_FALSE(coordinator->completed());
    EXPECT_EQ(coordinator->statusText(), QStringLiteral("Ready"));
    EXPECT_TRUE(log.contains(QStringLiteral("speech"), LogLevel::Error,
                             QStringLiteral("Recording failed: helper, error none")));
    EXPECT_TRUE(dictationLog().isEmpty());
    const StoredRun run = onlyRun();
    EXPECT_EQ(run.events.value(0).outcome, ActivityEvent::Outcome::Failed);
    EXPECT_EQ(run.output(), std::nullopt);
    const M m = *run.measurements<M>();
    EXPECT_EQ(m.delivery, M::Delivery::None);
    EXPECT_EQ(m.speechModel, ModelManifest::speech().filename);
    EXPECT_EQ(m.micInterrupted, false);
    EXPECT_EQ(m.characters, std::nullopt);
    EXPECT_EQ(m.audioSeconds, 2.5);
}

// ---------------------------------------------------------------------------------------------
// Paste failures and History failures.

TEST_F(DictationRunTest, AFailedPasteKeepsTheTextForCopyLastTranscript) {
    fakeDelivery.result = false;
    dictate();
    EXPECT_EQ(coordinator->failure(), Failure::Delivery);
    EXPECT_EQ(coordinator->statusText(), QStringLiteral("Pasted"));
    EXPECT_EQ(coordinator->failureText(), QStringLiteral("Couldn't paste. Copy the transcript below."));
    EXPECT_EQ(coordinator->overlayFailureText(), QStringLiteral("Couldn't paste. The text is on the Dictation page."));
    EXPECT_EQ(coordinator->latestText(), QStringLiteral("Hello there."));
    const M m = *onlyRun().measurements<M>();
    EXPECT_EQ(m.delivery, M::Delivery::Failed);
    EXPECT_TRUE(dictationLog().value(0).endsWith(QStringLiteral("delivery failed")));

    coordinator->copyLastTranscript();
    EXPECT_EQ(fakeDelivery.copies, QStringList{QStringLiteral("Hello there.")});
}

// The real delivery over fake platform layers: what the user sees when the paste cannot happen.
struct PasteCase {
    const char *name;
    std::function<void(FakeClipboard &, FakeKeyboardState &, DictationDelivery::Dependencies &)> arrange;
    QStringList deliveryLog;
    // What the clipboard holds afterwards.
    QList<QPair<QString, QByteArray>> clipboard;
};
void PrintTo(const PasteCase &c, std::ostream *os) {
    *os << c.name;
}

class PasteFailureTest : public DictationRunTest, public ::testing::WithParamInterface<PasteCase> {};

TEST_P(PasteFailureTest, ThePasteFailsVisiblyAndTheTextIsKept) {
    FakeClipboard board;
    board.setForeign({{QStringLiteral("text/plain"), "earlier"}});
    FakeKeyboardState keyboard;
    FakeAccessibilityTrust trust;
    trust.trusted = true;
    FakeKeySender keys;
    DictationDelivery::Dependencies deps;
    deps.board = &board;
    deps.keyboard = &keyboard;
    deps.trust = &trust;
    deps.keys = &keys;
    deps.timing.unread = 300ms;
    GetParam().arrange(board, keyboard, deps);
    DictationDelivery real(deps);
    delivery = &real;

    dictate();
    EXPECT_EQ(coordinator->failure(), Failure::Delivery);
    EXPECT_EQ(coordinator->overlayFailureText(), QStringLiteral("Couldn't paste. The text is on the Dictation page."));
    EXPECT_EQ(coordinator->latestText(), QStringLiteral("Hello there."));
    EXPECT_EQ(onlyRun().measurements<M>()->delivery, M::Delivery::Failed);
    QStringList expectedLog = GetParam().deliveryLog;
    expectedLog.append(finishLine("complete", recorder->recordedSeconds(), coordinator->measurements()));
    EXPECT_EQ(dictationLog(), expectedLog);
    EXPECT_TRUE(dictationLog().last().endsWith(QStringLiteral("delivery failed")));
    EXPECT_EQ(board.entries(), GetParam().clipboard);
}

INSTANTIATE_TEST_SUITE_P(
    Deliveries, PasteFailureTest,
    ::testing::Values(PasteCase{"ClipboardOwnerNeverAnswers",
                                [](FakeClipboard &board, FakeKeyboardState &, DictationDelivery::Dependencies &) {
                                    board.unreadableTypes = true;
                                },
                                {},
                                {{QStringLiteral("text/plain"), "earlier"}}},
                      PasteCase{
                          "ModifierHeldPastTheTimeout",
                          [](FakeClipboard &, FakeKeyboardState &keyboard, DictationDelivery::Dependencies &deps) {
                              keyboard.held = true;
                              deps.modifierTimeout = 200ms;
                          },
                          {},
                          {{QStringLiteral("text/plain"), "earlier"}}},
                      PasteCase{"NobodyReadsThePaste",
                                [](FakeClipboard &, FakeKeyboardState &, DictationDelivery::Dependencies &) {},
                                {QStringLiteral("Paste not read before timeout")},
                                {{QStringLiteral("text/plain"), "Hello there."}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DictationRunTest, AFailedHistorySaveStillDeliversAndKeepsTheText) {
    run(library->write([](SQLite::Database &db) {
        db.exec("CREATE TRIGGER refuse_events BEFORE INSERT ON activityEvent BEGIN SELECT RAISE(ABORT, 'full'); END");
    }));
    QSignalSpy saved(&dictation(), &DictationCoordinator::historySaved);
    dictate();
    EXPECT_EQ(fakeDelivery.delivered, QStringList{QStringLiteral("Hello there.")});
    EXPECT_TRUE(coordinator->historySaveFailed());
    EXPECT_EQ(coordinator->historyNote(), QStringLiteral("Couldn't save this dictation to History."));
    EXPECT_EQ(saved.count(), 1);
    EXPECT_EQ(coordinator->latestText(), QStringLiteral("Hello there."));
    EXPECT_EQ(coordinator->failure(), std::nullopt);
    ASSERT_EQ(dictationLog().size(), 1);
    EXPECT_TRUE(dictationLog().first().startsWith(QStringLiteral("Dictation finished: complete")));
    coordinator->copyLastTranscript();
    EXPECT_EQ(fakeDelivery.copies, QStringList{QStringLiteral("Hello there.")});

    // The next run starts clean.
    run(library->write([](SQLite::Database &db) { db.exec("DROP TRIGGER refuse_events"); }));
    dictate();
    EXPECT_FALSE(coordinator->historySaveFailed());
    EXPECT_EQ(coordinator->historyNote(), std::nullopt);
}

TEST_F(DictationRunTest, WithoutAHistoryStoreARunStillPastesAndLogs) {
    dictation().attach(nullptr, Library::Status::unavailable(Library::UnavailableReason::Damaged));
    QSignalSpy saved(coordinator.get(), &DictationCoordinator::historySaved);
    dictate();
    EXPECT_EQ(fakeDelivery.delivered, QStringList{QStringLiteral("Hello there.")});
    EXPECT_EQ(saved.count(), 0);
    EXPECT_TRUE(storedTasks().isEmpty());
    EXPECT_EQ(dictationLog().size(), 1);
    EXPECT_EQ(coordinator->historyNote(), QStringLiteral("History can't be opened because its data is damaged."));
}

// ---------------------------------------------------------------------------------------------
// Cancelling and interrupting each stage.

enum class Stage { Recording, Cleaning, Delivering };

struct StopCase {
    const char *name;
    Stage stage;
    bool interrupt;
};
void PrintTo(const StopCase &c, std::ostream *os) {
    *os << c.name;
}

class StoppedRunTest : public DictationRunTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StoppedRunTest, EndsQuietlyAndNeverLosesAnArrivedTranscript) {
    const StopCase &c = GetParam();
    write({{"reply", "Hello there."}, {"stallMs", c.stage == Stage::Cleaning ? 30000 : 0}});
    fakeDelivery.hold = c.stage == Stage::Delivering;
    startRecording();
    if (c.stage != Stage::Recording) {
        speakAndStop();
        const State waitFor = c.stage == Stage::Cleaning ? State::Cleaning : State::Delivering;
        ASSERT_TRUE(waitUntil([&] { return coordinator->state() == waitFor; }, 30s));
    } else {
        ASSERT_TRUE(source.deliver(16000));
    }
    if (c.interrupt)
        coordinator->interrupt();
    else
        coordinator->cancel();
    ASSERT_TRUE(waitForEnd());

    EXPECT_EQ(dictationLog().value(0), c.interrupt ? QStringLiteral("Dictation interrupted by sleep or lock")
                                                   : QStringLiteral("Dictation canceled"));
    EXPECT_EQ(dictationLog().size(), 1) << dictationLog().join(" | ").toStdString();
    EXPECT_EQ(coordinator->failure(), std::nullopt);
    EXPECT_EQ(coordinator->state(), State::Idle);
    EXPECT_EQ(runtime->holds(), 0);
    if (c.stage == Stage::Delivering)
        EXPECT_TRUE(fakeDelivery.sawCancel);
    else
        EXPECT_TRUE(fakeDelivery.delivered.isEmpty());

    // The transcript, raw before its cleanup or cleaned at the paste, stays available.
    const std::optional<QString> text = c.stage == Stage::Recording  ? std::nullopt
                                        : c.stage == Stage::Cleaning ? std::optional(QStringLiteral("hello there"))
                                                                     : std::optional(QStringLiteral("Hello there."));
    EXPECT_EQ(coordinator->latestText(), text);

    const QList<QUuid> tasks = storedTasks();
    if (!c.interrupt) {
        // A user cancel discards the record.
        EXPECT_TRUE(tasks.isEmpty());
        return;
    }
    ASSERT_EQ(tasks.size(), 1);
    const StoredRun run = stored(tasks.first());
    EXPECT_EQ(run.events.value(0).outcome, ActivityEvent::Outcome::Interrupted);
    EXPECT_EQ(run.output(), text);
    const M m = *run.measurements<M>();
    EXPECT_EQ(m.delivery, M::Delivery::None);
    EXPECT_EQ(m.speechModel, ModelManifest::speech().filename);
    if (text) {
        EXPECT_EQ(m.characters, countCharacters(*text));
        EXPECT_EQ(m.countVersion, 1);
    } else {
        EXPECT_EQ(m.characters, std::nullopt);
    }
}

INSTANTIATE_TEST_SUITE_P(Stages, StoppedRunTest,
                         ::testing::Values(StopCase{"CancelWhileRecording", Stage::Recording, false},
                                           StopCase{"CancelWhileCleaning", Stage::Cleaning, false},
                                           StopCase{"CancelWhilePasting", Stage::Delivering, false},
                                           StopCase{"InterruptWhileRecording", Stage::Recording, true},
                                           StopCase{"InterruptWhileCleaning", Stage::Cleaning, true},
                                           StopCase{"InterruptWhilePasting", Stage::Delivering, true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(DictationRunTest, ACancelReleasesTheWritingModelOnce) {
    FakeWriter writer;
    llm = &writer;
    startRecording();
    ASSERT_TRUE(waitUntil([&] { return writer.holds == 1; }));
    coordinator->cancel();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(writer.holds, 1);
    EXPECT_EQ(writer.releases, 1);
}

TEST_F(DictationRunTest, CancelWithoutARunLogsNothing) {
    dictation().cancel();
    coordinator->interrupt();
    EXPECT_TRUE(dictationLog().isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Starts that are refused, keys at the wrong moment.

TEST_F(DictationRunTest, AStartWithoutTheModelOrPermissionsAsksForSetup) {
    speechReady = false;
    QSignalSpy needsSettings(&dictation(), &DictationCoordinator::needsSettings);
    QSignalSpy active(coordinator.get(), &DictationCoordinator::activeChanged);
    pressToggle();
    EXPECT_EQ(coordinator->failure(), Failure::Readiness);
    EXPECT_EQ(coordinator->failureText(), QStringLiteral("Finish setup in Settings."));
    EXPECT_EQ(needsSettings.count(), 1);
    EXPECT_EQ(active.count(), 0);
    EXPECT_EQ(dictationLog(), QStringList{QStringLiteral("Dictation blocked: model or permission not ready")});

    speechReady = true;
    dictate();
    EXPECT_EQ(coordinator->failure(), std::nullopt);
}

class OtherOwner : public SpeechRecorderOwner {
public:
    void operationWillBegin() override {}
    void operationDidFail(SpeechRecorder::Failure) override {}
    QCoro::Task<> transcriptDidArrive(SpeechRecorder::Transcript, QUuid) override { co_return; }
    void operationWillCancel() override {}
    QCoro::Task<> operationDidEnd(QUuid, ActivityEvent::Outcome) override { co_return; }
    void historySaveDidFail() override {}
    void ownershipDidEnd() override { ended = true; }
    bool ended = false;
};

TEST_F(DictationRunTest, WhileVoiceComposeRecordsTheKeyOnlySaysBusy) {
    speechReady = false;
    dictation().toggle();
    ASSERT_EQ(coordinator->failure(), Failure::Readiness);
    speechReady = true;

    OtherOwner voiceCompose;
    ASSERT_EQ(recorder->begin(&voiceCompose, std::nullopt, false, nullptr), SpeechRecorder::BeginResult::Started);
    QSignalSpy busy(coordinator.get(), &DictationCoordinator::busy);
    pressToggle();
    EXPECT_EQ(busy.count(), 1);
    EXPECT_EQ(coordinator->failure(), Failure::Readiness);
    EXPECT_EQ(coordinator->state(), State::Idle);
    EXPECT_EQ(DictationCoordinator::busyMessage(), QStringLiteral("Voice Compose is recording."));
    // Its cancel key does not reach the other owner's run.
    coordinator->cancel();
    EXPECT_EQ(recorder->owner(), &voiceCompose);
    recorder->cancel(SpeechRecorder::CancelReason::Canceled, &voiceCompose);
    ASSERT_TRUE(waitUntil([&] { return voiceCompose.ended; }));
}

TEST_F(DictationRunTest, TheKeyDuringProcessingDoesNothing) {
    speak({{"text", "hello there"},
           {"transcribeDefault", QJsonArray{QJsonObject{{"sleepMs", 600}}, QJsonObject{{"result", true}}}}});
    startRecording();
    speakAndStop();
    ASSERT_TRUE(waitUntil([&] { return coordinator->state() == State::Processing; }));
    pressToggle();
    pressToggle();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(fakeDelivery.delivered, QStringList{QStringLiteral("Hello there.")});
    EXPECT_EQ(storedTasks().size(), 1);
}

TEST_F(DictationRunTest, AnInterruptedMicrophoneIsRecordedWithTheRun) {
    startRecording();
    ASSERT_TRUE(source.deliver(40000));
    ASSERT_TRUE(waitUntil([&] { return !recorder->isModelLoading(); }));
    recorder->captureInterrupted();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(fakeDelivery.delivered, QStringList{QStringLiteral("Hello there.")});
    EXPECT_EQ(onlyRun().measurements<M>()->micInterrupted, true);
}

TEST_F(DictationRunTest, CopyLastTranscriptWithoutATranscriptDoesNothing) {
    dictation().copyLastTranscript();
    EXPECT_TRUE(fakeDelivery.copies.isEmpty());
    EXPECT_EQ(fakeDelivery.copyRevision, 0);
}

// ---------------------------------------------------------------------------------------------
// History notes.

struct NoteCase {
    const char *name;
    std::optional<Library::UnavailableReason> reason;
    QString note;
};
void PrintTo(const NoteCase &c, std::ostream *os) {
    *os << c.name;
}

class HistoryNoteTest : public DictationRunTest, public ::testing::WithParamInterface<NoteCase> {};

TEST_P(HistoryNoteTest, NamesWhyDictationsAreNotSaved) {
    QSignalSpy changed(&dictation(), &DictationCoordinator::libraryStatusChanged);
    const Library::Status status =
        GetParam().reason ? Library::Status::unavailable(*GetParam().reason) : Library::Status::ready();
    coordinator->attach(nullptr, status);
    coordinator->attach(nullptr, status);
    EXPECT_EQ(coordinator->libraryStatus(), status);
    EXPECT_EQ(coordinator->historyNote().value_or(QString()), GetParam().note);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, HistoryNoteTest,
    ::testing::Values(NoteCase{"Ready", {}, {}},
                      NoteCase{"NewerVersion", Library::UnavailableReason::NewerVersion,
                               QStringLiteral("History can't be opened. Update Velmora to save dictations.")},
                      NoteCase{"Damaged", Library::UnavailableReason::Damaged,
                               QStringLiteral("History can't be opened because its data is damaged.")},
                      NoteCase{"DiskFull", Library::UnavailableReason::DiskFull,
                               QStringLiteral("History can't be opened. Free up disk space, then restart Velmora.")},
                      NoteCase{"Other", Library::UnavailableReason::Other,
                               QStringLiteral("History can't be opened. Restart Velmora to try again.")}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DictationRunTest, AnUnopenedLibraryOutranksAFailedSave) {
    run(library->write([](SQLite::Database &db) {
        db.exec("CREATE TRIGGER refuse_events BEFORE INSERT ON activityEvent BEGIN SELECT RAISE(ABORT, 'x'); END");
    }));
    dictation().attach(history, Library::Status::unavailable(Library::UnavailableReason::Damaged));
    dictate();
    EXPECT_TRUE(coordinator->historySaveFailed());
    EXPECT_EQ(coordinator->historyNote(), QStringLiteral("History can't be opened because its data is damaged."));
}

TEST_F(DictationRunTest, BeforeTheLibraryOpensThereIsNoNote) {
    EXPECT_EQ(dictation().libraryStatus(), library->status());
    DictationCoordinator::Dependencies deps;
    deps.recorder = recorder.get();
    deps.delivery = delivery;
    DictationCoordinator fresh(deps);
    EXPECT_EQ(fresh.libraryStatus(), std::nullopt);
    EXPECT_EQ(fresh.historyNote(), std::nullopt);
    EXPECT_EQ(fresh.statusText(), QStringLiteral("Ready"));
    EXPECT_EQ(DictationCoordinator::secureInputMessage(),
              QStringLiteral("Can't dictate while a password field is active."));
}

TEST_F(DictationRunTest, TheTextsFollowTheApplicationLanguage) {
    fakeDelivery.result = false;
    dictate();
    QTranslator japanese;
    ASSERT_TRUE(japanese.load(QStringLiteral(":/translations/dictation_ja.qm")));
    QCoreApplication::installTranslator(&japanese);
    EXPECT_EQ(coordinator->statusText(), QStringLiteral("ペースト済み"));
    EXPECT_EQ(coordinator->overlayFailureText(),
              QStringLiteral("ペーストできませんでした。テキストは音声入力ページにあります。"));
    EXPECT_EQ(DictationCoordinator::busyMessage(), QStringLiteral("Voice Compose が録音中です。"));
    QCoreApplication::removeTranslator(&japanese);
    EXPECT_EQ(coordinator->statusText(), QStringLiteral("Pasted"));
}

} // namespace
