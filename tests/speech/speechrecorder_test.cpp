#include "speech/speechrecorder.h"

#include "recordingfakes.h"
#include "support/testsupport.h"

#include "core/log.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;
using State = SpeechRecorder::State;
using Reason = SpeechRecorder::CancelReason;

namespace {

class SpeechRecorderTest : public ::testing::Test {
protected:
    SpeechRecorderTest()
        : capture(journal, home.path()), helper(journal), sounds(journal), muter(journal), store(journal, home.path()),
          owner(journal) {}

    void SetUp() override {
        SpeechRecorder::Dependencies deps;
        deps.capture = &capture;
        deps.helper = &helper;
        deps.sounds = &sounds;
        deps.muter = &muter;
        deps.readyModel = [this](bool requiresAccessibility) -> std::optional<QString> {
            lastRequiresAccessibility = requiresAccessibility;
            return modelReady ? std::optional<QString>(QStringLiteral("/models/speech.bin")) : std::nullopt;
        };
        deps.soundsEnabled = [this] { return soundsOn; };
        deps.muteEnabled = [this] { return muteOn; };
        deps.snapshot = [] { return SpeechPreferenceSnapshot{QStringLiteral("en"), QStringLiteral("mic-1")}; };
        deps.unloadSeconds = [this] { return unloadSeconds; };
        recorder.reset();
        recorder = std::make_unique<SpeechRecorder>(std::move(deps));
    }

    // Starts a run and waits until it records with the model loaded.
    void startRecording(RecordingHistoryStoring *history) {
        ASSERT_EQ(recorder->begin(&owner, std::nullopt, true, history), SpeechRecorder::BeginResult::Started);
        ASSERT_TRUE(waitUntil([&] { return recorder->state() == State::Recording && !recorder->isModelLoading(); }));
    }
    bool waitIdle() {
        return waitUntil([&] { return recorder->state() == State::Idle && !recorder->isCleaningUp(); });
    }

    TempHome home;
    Journal journal;
    FakeCapture capture;
    FakeHelper helper;
    FakeSounds sounds;
    FakeMuter muter;
    FakeHistoryStore store;
    TestOwner owner;
    std::unique_ptr<SpeechRecorder> recorder;
    bool modelReady = true;
    bool soundsOn = true;
    bool muteOn = true;
    std::optional<double> unloadSeconds;
    bool lastRequiresAccessibility = false;
};

TEST_F(SpeechRecorderTest, ACompletedRunDeliversItsTranscriptAndHandsTheRunBack) {
    startRecording(&store);
    EXPECT_TRUE(lastRequiresAccessibility);
    EXPECT_EQ(recorder->language(), QStringLiteral("en"));
    EXPECT_TRUE(recorder->recordingStartedAt());
    capture.write(std::vector<float>(24000, 0.1f));
    recorder->stop();
    ASSERT_TRUE(waitIdle());

    // The cue is heard before the output is muted, and only then does capture write.
    EXPECT_EQ(journal.entries.mid(0, 7), (QStringList{"capture.start", "cue.start", "cue.start done", "mute",
                                                      "capture.begin", "history.begin en", "helper.load"}));
    EXPECT_EQ(journal.only({"owner", "restore", "capture.stop", "cue.falling", "capture.cancel", "helper.transcribe"}),
              (QStringList{"owner willBegin", "restore", "capture.stop", "cue.falling", "helper.transcribe 0+24000",
                           "owner transcript words 0", "capture.cancel keep", "owner ownershipDidEnd"}));
    ASSERT_TRUE(owner.transcript);
    EXPECT_EQ(owner.transcript->text, QStringLiteral("words 0"));
    EXPECT_TRUE(owner.transcript->complete);
    EXPECT_EQ(owner.transcript->chunks, 1);
    EXPECT_GE(owner.transcript->transcribeMs, 0);
    EXPECT_EQ(recorder->owner(), nullptr);
    EXPECT_FALSE(recorder->recordingStartedAt());
    EXPECT_GE(recorder->recordedSeconds(), 0.0);
    // The History record stays with the recorder until the owner takes it (this owner did not).
    EXPECT_EQ(recorder->begin(&owner, QStringLiteral("ja"), false, nullptr), SpeechRecorder::BeginResult::Started);
    EXPECT_EQ(recorder->language(), QStringLiteral("ja"));
}

TEST_F(SpeechRecorderTest, BeginIsRefusedWhileBusyOrNotReady) {
    modelReady = false;
    EXPECT_EQ(recorder->begin(&owner, std::nullopt, true, &store), SpeechRecorder::BeginResult::Blocked);
    EXPECT_EQ(recorder->state(), State::Idle);
    EXPECT_EQ(recorder->owner(), nullptr);
    EXPECT_TRUE(journal.entries.isEmpty());

    modelReady = true;
    startRecording(&store);
    TestOwner other(journal, QStringLiteral("other"));
    EXPECT_EQ(recorder->begin(&other, std::nullopt, false, nullptr), SpeechRecorder::BeginResult::Busy);
    EXPECT_EQ(recorder->owner(), &owner);
    EXPECT_EQ(recorder->state(), State::Recording);

    // A cancel from an owner that does not hold the run does nothing.
    recorder->cancel(Reason::Canceled, &other);
    EXPECT_FALSE(recorder->isCleaningUp());
    EXPECT_TRUE(other.calls.isEmpty());

    recorder->cancel(Reason::Canceled, &owner);
    ASSERT_TRUE(waitIdle());
    // Stop does nothing outside recording.
    recorder->stop();
    EXPECT_EQ(recorder->state(), State::Idle);
}

TEST_F(SpeechRecorderTest, StopBeforeTheModelLoadedStillTranscribes) {
    helper.loadGate.close();
    ASSERT_EQ(recorder->begin(&owner, std::nullopt, true, &store), SpeechRecorder::BeginResult::Started);
    ASSERT_TRUE(waitUntil([&] { return recorder->state() == State::Recording; }));
    EXPECT_TRUE(recorder->isModelLoading());
    capture.write(std::vector<float>(16000, 0.1f));
    recorder->stop();
    // The stop cue is the processing's last step before the chunk is asked for.
    ASSERT_TRUE(waitUntil([&] { return journal.entries.contains("cue.falling"); }));
    EXPECT_TRUE(journal.only({"helper.transcribe"}).isEmpty()) << "the chunk waits for the model";
    EXPECT_TRUE(owner.calls.isEmpty());
    helper.loadGate.open();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(owner.calls, (QStringList{"willBegin", "transcript words 0", "ownershipDidEnd"}));
}

TEST_F(SpeechRecorderTest, ARecordingWithoutSamplesIsCancelledAsEmpty) {
    startRecording(&store);
    LogCapture logs;
    recorder->stop();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(logs.contains("speech", LogLevel::Default, "Recording had no audio"));
    EXPECT_EQ(owner.calls, (QStringList{"willBegin", "didFail emptyAudio", "willCancel", "ownershipDidEnd"}));
    EXPECT_TRUE(journal.entries.contains("history.discard"));
}

TEST_F(SpeechRecorderTest, EveryCancelReasonSettlesHistoryAndHandsTheRunBack) {
    struct Case {
        Reason reason;
        QStringList ownerCalls;
        bool discarded;
        bool stagedFileKept;
        bool helperTerminated;
    };
    const std::vector<Case> cases = {
        {Reason::Canceled, {"willBegin", "willCancel", "ownershipDidEnd"}, true, false, false},
        {Reason::Interrupted, {"willBegin", "willCancel", "didEnd interrupted", "ownershipDidEnd"}, false, true, false},
        {Reason::Failed, {"willBegin", "willCancel", "didEnd failed", "ownershipDidEnd"}, false, true, false},
        {Reason::Quitting, {"willBegin", "willCancel", "ownershipDidEnd"}, false, true, true},
    };
    for (const Case &c : cases) {
        const std::string name = enumName(c.reason).toStdString();
        journal.entries.clear();
        owner.calls.clear();
        helper.terminations = 0;
        SetUp();
        startRecording(&store);
        capture.write(std::vector<float>(1600, 0.1f));
        const QString staged = capture.url;
        if (c.reason == Reason::Quitting)
            run(recorder->prepareToQuit(&owner));
        else
            recorder->cancel(c.reason, &owner);
        ASSERT_TRUE(waitUntil([&] { return owner.calls.endsWith("ownershipDidEnd"); })) << name;
        EXPECT_EQ(owner.calls, c.ownerCalls) << name;
        EXPECT_EQ(journal.entries.contains("history.discard"), c.discarded) << name;
        EXPECT_EQ(QFileInfo::exists(staged), c.stagedFileKept) << name;
        EXPECT_EQ(helper.terminations > 0, c.helperTerminated) << name;
        EXPECT_EQ(recorder->state(), State::Idle) << name;
        EXPECT_EQ(recorder->owner(), nullptr) << name;
        EXPECT_FALSE(recorder->isCleaningUp()) << name;
        if (c.reason != Reason::Quitting) {
            EXPECT_EQ(recorder->begin(&owner, std::nullopt, true, nullptr), SpeechRecorder::BeginResult::Started)
                << name;
        } else {
            EXPECT_EQ(recorder->begin(&owner, std::nullopt, true, nullptr), SpeechRecorder::BeginResult::Busy) << name;
        }
    }
}

TEST_F(SpeechRecorderTest, ACancelledRunKeepsItsStagedFileUntilTheDiscardSucceeded) {
    store.failDiscard = true;
    startRecording(&store);
    capture.write(std::vector<float>(1600, 0.1f));
    recorder->cancel(Reason::Canceled, &owner);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(owner.calls, (QStringList{"willBegin", "willCancel", "historySaveDidFail", "ownershipDidEnd"}));
    EXPECT_FALSE(journal.entries.contains("capture.cancel delete"));
    EXPECT_TRUE(QFileInfo::exists(capture.url));
}

TEST_F(SpeechRecorderTest, ACancelDuringTheStartCueEndsTheStartBeforeMutingOrRecording) {
    unloadSeconds = 30.0;
    recorder->scheduleUnload();
    sounds.startGate.close();
    ASSERT_EQ(recorder->begin(&owner, std::nullopt, true, &store), SpeechRecorder::BeginResult::Started);
    ASSERT_TRUE(waitUntil([&] { return journal.entries.contains("cue.start"); }));
    recorder->cancel(Reason::Canceled, &owner);
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(journal.entries.contains("mute"));
    EXPECT_FALSE(journal.entries.contains("capture.begin"));
    EXPECT_EQ(owner.calls, (QStringList{"willCancel", "ownershipDidEnd"}));
    EXPECT_FALSE(QFileInfo::exists(capture.url));

    // Not ready: blocked, and the idle unload armed after that run keeps running.
    modelReady = false;
    unloadSeconds = 0.05;
    recorder->scheduleUnload();
    EXPECT_EQ(recorder->begin(&owner, std::nullopt, true, &store), SpeechRecorder::BeginResult::Blocked);
    helper.loaded = true;
    EXPECT_TRUE(waitUntil([&] { return helper.terminations == 1; }));
}

TEST_F(SpeechRecorderTest, ACancelWithoutARunStillHandsBack) {
    recorder->cancel(Reason::Canceled, &owner);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(owner.calls, (QStringList{"willCancel", "ownershipDidEnd"}));
    EXPECT_TRUE(journal.entries.contains("capture.cancel delete"));
}

TEST_F(SpeechRecorderTest, FailuresAreLoggedAndEndTheRunAsFailed) {
    struct Case {
        const char *name;
        std::function<void()> arrange;
        std::function<void()> act;
        QString line;
        QStringList ownerCalls;
    };
    const std::vector<Case> cases = {
        {"capture start",
         [&] {
             capture.startError = std::make_exception_ptr(SpeechCaptureError(SpeechCaptureError::Reason::Unavailable));
         },
         [] {},
         "Recording failed: capture, error Velmora.SpeechCaptureError 0",
         {"didFail capture", "willCancel", "didEnd failed", "ownershipDidEnd"}},
        {"model load",
         [&] { helper.loadError = std::make_exception_ptr(SpeechHelperError(SpeechHelperError::Kind::Engine)); },
         [] {},
         "Recording failed: helper, error Velmora.SpeechHelperError 0",
         {"didFail helper", "willCancel", "didEnd failed", "ownershipDidEnd"}},
        {"helper crash mid-chunk",
         [&] { helper.transcribeGate.close(); },
         [&] {
             ASSERT_TRUE(waitUntil([&] { return recorder->state() == State::Recording; }));
             capture.write(std::vector<float>(8000, 0.1f));
             recorder->stop();
             ASSERT_TRUE(waitUntil([&] { return helper.pending > 0; }));
             helper.crash();
         },
         "Recording failed: helper, error none",
         {"willBegin", "didFail helper", "willCancel", "didEnd failed", "ownershipDidEnd"}},
        {"interrupted while preparing",
         [&] { capture.beginGate.close(); },
         [&] {
             ASSERT_TRUE(waitUntil([&] { return journal.entries.contains("capture.begin"); }));
             emit capture.interrupted();
         },
         "Recording failed: capture, error none",
         {"didFail capture", "willCancel", "didEnd failed", "ownershipDidEnd"}},
    };
    for (const Case &c : cases) {
        journal.entries.clear();
        owner.calls.clear();
        capture.startError = nullptr;
        helper.loadError = nullptr;
        helper.loaded = false;
        SetUp();
        c.arrange();
        LogCapture logs;
        ASSERT_EQ(recorder->begin(&owner, std::nullopt, true, &store), SpeechRecorder::BeginResult::Started);
        c.act();
        ASSERT_TRUE(waitUntil([&] { return owner.calls.endsWith("ownershipDidEnd"); })) << c.name;
        EXPECT_TRUE(logs.contains("speech", LogLevel::Error, c.line)) << c.name;
        EXPECT_EQ(owner.calls, c.ownerCalls) << c.name;
        EXPECT_TRUE(waitIdle()) << c.name;
    }
}

TEST_F(SpeechRecorderTest, InterruptionWhileRecordingStopsAndStillDeliversAndHelperFailureAfterTextIsKept) {
    startRecording(&store);
    capture.write(std::vector<float>(16000, 0.1f));
    emit capture.interrupted();
    EXPECT_TRUE(recorder->interrupted());
    EXPECT_NE(recorder->state(), State::Recording);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(owner.calls, (QStringList{"willBegin", "transcript words 0", "ownershipDidEnd"}));

    // A helper failure once a chunk gave text only makes the transcript incomplete.
    owner.calls.clear();
    startRecording(&store);
    capture.write(std::vector<float>(ChunkedTranscription::kStreamingWindowSamples, 0.0f));
    ASSERT_TRUE(waitUntil([&] { return journal.entries.contains("helper.transcribe 0+480000"); }));
    ASSERT_TRUE(waitUntil([&] { return helper.pending == 0; }));
    helper.transcribeGate.close();
    capture.write(std::vector<float>(16000, 0.0f));
    recorder->stop();
    ASSERT_TRUE(waitUntil([&] { return helper.pending > 0; }));
    helper.crash();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(owner.transcript);
    EXPECT_FALSE(owner.transcript->complete);
    EXPECT_EQ(owner.transcript->text, QStringLiteral("words 0"));
    EXPECT_FALSE(owner.calls.contains("didFail helper"));
}

// Once the helper has answered, its exit costs the run nothing: the answer still reaches the
// transcription however late it comes in, and a helper that goes after the transcript was
// handed over cannot fail a run that has already succeeded.
TEST_F(SpeechRecorderTest, AHelperThatExitsAfterAnsweringDoesNotFailTheRun) {
    // The exit is reported before the answer reaches the transcription.
    startRecording(&store);
    helper.transcribeGate.close();
    capture.write(std::vector<float>(16000, 0.1f));
    recorder->stop();
    ASSERT_TRUE(waitUntil([&] { return helper.pending > 0; }));
    helper.exitAfterAnswering();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(owner.calls, (QStringList{"willBegin", "transcript words 0", "ownershipDidEnd"}));
    ASSERT_TRUE(owner.transcript);
    EXPECT_TRUE(owner.transcript->complete);

    // The helper exits while the owner saves a run that heard no speech.
    owner.calls.clear();
    owner.transcript.reset();
    helper.text = QString();
    owner.onTranscript = [&](SpeechRecorder::Transcript, QUuid id) -> QCoro::Task<> {
        EXPECT_TRUE(recorder->takeHistory(id));
        return recorder->finishOperation([&]() -> QCoro::Task<> {
            helper.crash();
            co_return;
        });
    };
    startRecording(&store);
    capture.write(std::vector<float>(16000, 0.0f));
    recorder->stop();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(owner.calls, (QStringList{"willBegin", "transcript ", "ownershipDidEnd"}));
    ASSERT_TRUE(owner.transcript);
    EXPECT_TRUE(owner.transcript->complete);
    EXPECT_FALSE(helper.loaded) << "the helper did go";
}

// A silent recording whose helper answers with no words and exits at once: the empty answer
// is the transcript, not a failure.
TEST_F(SpeechRecorderTest, AnEmptyAnswerBeforeTheHelperExitsIsStillTheTranscript) {
    helper.text = QString();
    startRecording(&store);
    helper.transcribeGate.close();
    capture.write(std::vector<float>(16000, 0.0f));
    recorder->stop();
    ASSERT_TRUE(waitUntil([&] { return helper.pending > 0; }));
    helper.exitAfterAnswering();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(owner.calls, (QStringList{"willBegin", "transcript ", "ownershipDidEnd"}));
    ASSERT_TRUE(owner.transcript);
    EXPECT_TRUE(owner.transcript->complete);
}

// A helper failure reported while the run has no chunk request out is no failure of the run:
// it is late news of a helper that served an earlier run, or of one already replaced. A helper
// that is really gone is started again for the chunk, and only a helper that cannot be had
// fails the run.
TEST_F(SpeechRecorderTest, AHelperFailureWithNoRequestOutIsJudgedByTheRunsOwnRequest) {
    struct Case {
        const char *name;
        bool whilePreparing; // reported during the start cue, else while recording
        bool helperGone;     // the helper is gone by the time the chunk is asked for
        bool cannotStart;    // and it cannot be started again
        QStringList ownerCalls;
        qsizetype loads; // the run's load requests
    };
    const QStringList delivered{"willBegin", "transcript words 0", "ownershipDidEnd"};
    const std::vector<Case> cases = {
        {"after an earlier run, while the next prepares", true, true, false, delivered, 1},
        {"about a helper already replaced, while recording", false, false, false, delivered, 1},
        {"the run's own helper, while recording between chunks", false, true, false, delivered, 2},
        {"the run's own helper, which cannot start again",
         false,
         true,
         true,
         {"willBegin", "didFail helper", "willCancel", "didEnd failed", "ownershipDidEnd"},
         2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        // An earlier run that completed with the same helper.
        startRecording(&store);
        capture.write(std::vector<float>(16000, 0.1f));
        recorder->stop();
        ASSERT_TRUE(waitIdle());
        owner.calls.clear();
        owner.transcript.reset();
        journal.entries.clear();
        LogCapture logs;

        if (c.whilePreparing) {
            sounds.startGate.close();
            ASSERT_EQ(recorder->begin(&owner, std::nullopt, true, &store), SpeechRecorder::BeginResult::Started);
            ASSERT_TRUE(waitUntil([&] { return journal.entries.endsWith("cue.start"); }));
            helper.loaded = !c.helperGone;
            emit helper.failed();
            sounds.startGate.open();
            ASSERT_TRUE(
                waitUntil([&] { return recorder->state() == State::Recording && !recorder->isModelLoading(); }));
        } else {
            startRecording(&store);
            helper.loaded = !c.helperGone;
            emit helper.failed();
        }
        if (c.cannotStart)
            helper.loadError = std::make_exception_ptr(SpeechHelperError(SpeechHelperError::Kind::Unavailable));
        EXPECT_EQ(recorder->state(), State::Recording);
        capture.write(std::vector<float>(16000, 0.1f));
        recorder->stop();
        ASSERT_TRUE(waitUntil([&] { return owner.calls.endsWith("ownershipDidEnd"); }));
        EXPECT_EQ(owner.calls.join(" | "), c.ownerCalls.join(" | "));
        EXPECT_EQ(journal.entries.count("helper.load"), c.loads);
        EXPECT_EQ(logs.contains("speech", LogLevel::Error, "Recording failed: helper, error none"),
                  c.ownerCalls.contains("didFail helper"));
        ASSERT_TRUE(waitIdle());
        helper.loaded = false;
        helper.loadError = nullptr;
    }
}

// The recorder may be destroyed while a cancellation cleans up: what it held is not touched
// once the step it waited for ends. Kept alive, the same cleanup goes on to cancel the capture
// again and hand the run back, which the destroyed one must not do.
TEST_F(SpeechRecorderTest, DestroyingTheRecorderDuringACleanupTouchesNothingAfterwards) {
    for (const bool destroy : {false, true}) {
        SetUp();
        journal.entries.clear();
        owner.calls.clear();
        capture.cancelGate.close();
        recorder->cancel(Reason::Canceled, &owner);
        ASSERT_TRUE(
            waitUntil([&] { return capture.cancelsDone == 0 && journal.entries.contains("capture.cancel delete"); }));
        if (destroy)
            recorder.reset();
        const QStringList before = journal.entries;
        capture.cancelGate.open();
        if (!destroy) {
            ASSERT_TRUE(waitUntil([&] { return owner.calls.endsWith("ownershipDidEnd"); }));
            EXPECT_EQ(journal.entries.count("capture.cancel delete"), 2);
            capture.cancelsDone = 0;
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return capture.cancelsDone == 1; }));
        spin(std::chrono::milliseconds(20));
        EXPECT_EQ(journal.entries.join(" | ").toStdString(), before.join(" | ").toStdString());
        EXPECT_EQ(owner.calls, QStringList{"willCancel"});
    }
}

// The recorder destroyed while its run waits on a collaborator (its owner's teardown mid-run):
// the wait ends without touching the recorder, and nothing more reaches the owner or the
// collaborators.
TEST_F(SpeechRecorderTest, DestroyingTheRecorderWhileItsRunWaitsTouchesNothingAfterwards) {
    Gate ownerGate;
    struct Case {
        const char *name;
        Gate *gate;        // what the run waits on when the recorder goes
        QString waitingAt; // the journal entry that shows it waits there
        bool stopped;      // the run has recorded and been stopped
    };
    const std::vector<Case> cases = {
        {"the start cue", &sounds.startGate, "cue.start", false},
        {"the capture's begin", &capture.beginGate, "capture.begin", false},
        {"the model load", &helper.loadGate, "helper.load", false},
        {"the transcription", &helper.transcribeGate, "helper.transcribe 0+24000", true},
        {"the owner's handling of the transcript", &ownerGate, "owner transcript words 0", true},
    };
    owner.onTranscript = [&](SpeechRecorder::Transcript, QUuid) { return ownerGate.pass(); };
    const QStringList others = {"owner", "capture", "helper", "mute", "restore", "history"};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        journal.entries.clear();
        owner.calls.clear();
        helper.loaded = false;
        if (c.stopped) {
            startRecording(&store);
            capture.write(std::vector<float>(24000, 0.1f));
            c.gate->close();
            recorder->stop();
        } else {
            c.gate->close();
            ASSERT_EQ(recorder->begin(&owner, std::nullopt, true, &store), SpeechRecorder::BeginResult::Started);
        }
        ASSERT_TRUE(waitUntil([&] { return journal.entries.contains(c.waitingAt); }));
        const QStringList before = journal.only(others);
        const QStringList calls = owner.calls;
        recorder.reset();
        c.gate->open();
        drainPostedEvents();
        EXPECT_EQ(journal.only(others), before);
        EXPECT_EQ(owner.calls, calls);
    }
}

// A sample file that stops taking samples (a full disk) stops the recording at once: what it
// holds is transcribed and handed over as incomplete, for the owner to keep as a partial run.
// With nothing written there is nothing to keep, and the run fails as a capture failure.
TEST_F(SpeechRecorderTest, ASampleFileThatStopsTakingSamplesEndsTheRunWithWhatItHolds) {
    startRecording(&store);
    capture.write(std::vector<float>(16000, 0.1f));
    LogCapture logs;
    capture.failWriting(std::make_exception_ptr(PosixError(ENOSPC)));
    EXPECT_TRUE(journal.entries.contains("capture.stop")) << "stopped without being asked";
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(owner.calls, (QStringList{"willBegin", "transcript words 0", "ownershipDidEnd"}));
    ASSERT_TRUE(owner.transcript);
    EXPECT_FALSE(owner.transcript->complete);
    EXPECT_FALSE(recorder->interrupted()) << "the microphone was not interrupted";
    EXPECT_TRUE(logs.contains("speech", LogLevel::Error, "Recording cut short: NSPOSIXErrorDomain 28"));
    EXPECT_FALSE(logs.contains("speech", LogLevel::Error, "Recording failed: capture, error NSPOSIXErrorDomain 28"));

    owner.calls.clear();
    startRecording(&store);
    capture.failWriting(std::make_exception_ptr(PosixError(ENOSPC)));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(owner.calls,
              (QStringList{"willBegin", "didFail capture", "willCancel", "didEnd failed", "ownershipDidEnd"}));
    EXPECT_TRUE(logs.contains("speech", LogLevel::Error, "Recording failed: capture, error NSPOSIXErrorDomain 28"));
}

TEST_F(SpeechRecorderTest, IdleUnloadAndFreeingMemory) {
    unloadSeconds = 0.05;
    startRecording(nullptr);
    capture.write(std::vector<float>(1600, 0.1f));
    recorder->stop();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(waitUntil([&] { return helper.terminations == 1; }));
    EXPECT_FALSE(helper.loaded);

    // Never: nothing is armed, but freeing memory still unloads an idle, loaded model.
    unloadSeconds.reset();
    startRecording(nullptr);
    EXPECT_FALSE(run(recorder->freeUpMemory())) << "a run is in progress";
    recorder->cancel(Reason::Canceled, &owner);
    ASSERT_TRUE(waitIdle());
    spin(std::chrono::milliseconds(100));
    EXPECT_EQ(helper.terminations, 1);
    EXPECT_TRUE(run(recorder->freeUpMemory()));
    EXPECT_EQ(helper.terminations, 2);
    EXPECT_FALSE(run(recorder->freeUpMemory())) << "nothing loaded";
}

TEST_F(SpeechRecorderTest, QuitWaitsForTheOwnersSaveAndLeavesAnOpenRecordingForRecovery) {
    Gate saveGate;
    saveGate.close();
    bool saved = false;
    owner.onTranscript = [&](SpeechRecorder::Transcript, QUuid id) -> QCoro::Task<> {
        EXPECT_TRUE(recorder->takeHistory(id));
        EXPECT_FALSE(recorder->takeHistory(id));
        return recorder->finishOperation([&]() -> QCoro::Task<> { return saveGate.pass(); });
    };
    startRecording(&store);
    capture.write(std::vector<float>(1600, 0.1f));
    recorder->stop();
    ASSERT_TRUE(waitUntil([&] { return recorder->isCleaningUp(); }));
    EXPECT_EQ(recorder->begin(&owner, std::nullopt, true, nullptr), SpeechRecorder::BeginResult::Busy);
    recorder->cancel(Reason::Canceled, &owner);
    EXPECT_FALSE(owner.calls.contains("willCancel")) << "a cancel waits while the owner saves";

    auto quitting = [](SpeechRecorder *r, TestOwner *o, bool *done) -> QCoro::Task<> {
        co_await r->prepareToQuit(o);
        *done = true;
    };
    auto quit = quitting(recorder.get(), &owner, &saved);
    spin(std::chrono::milliseconds(20));
    EXPECT_FALSE(saved);
    saveGate.open();
    ASSERT_TRUE(waitUntil([&] { return saved; }));
    EXPECT_EQ(helper.terminations, 1) << "quitting always ends the helper";
    EXPECT_EQ(recorder->begin(&owner, std::nullopt, true, nullptr), SpeechRecorder::BeginResult::Busy);
}

TEST_F(SpeechRecorderTest, QuittingDuringARecordingLeavesItsStagedFileAndRecord) {
    startRecording(&store);
    capture.write(std::vector<float>(1600, 0.1f));
    run(recorder->prepareToQuit(&owner));
    EXPECT_FALSE(journal.entries.contains("history.discard"));
    EXPECT_FALSE(journal.entries.contains("capture.cancel delete"));
    EXPECT_TRUE(QFileInfo::exists(capture.url));
    EXPECT_EQ(QFileInfo(capture.url).size(), 1600 * 4);
}

} // namespace
