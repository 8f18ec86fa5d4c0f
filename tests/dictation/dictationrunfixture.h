#pragma once

// A whole dictation run without hardware or models: the fake capture source, the stand-in speech
// helper, the stand-in language-model server, a real Library in the test's temporary home, and
// a fake delivery (or any other DictationDelivering the test puts in). The keys, cues and mute are
// the real ones over the platform's fakes: the test taps the fn key and listens to the outputs.

#include "dictation/dictationcoordinator.h"
#include "dictation/dictationhotkeys.h"
#include "dictation/dictationsounds.h"
#include "dictation/fakedictationdelivery.h"
#include "dictation/speechshortcuts.h"
#include "dictation/systemaudiomute.h"

#include "core/defaults.h"
#include "core/log.h"
#include "library/library.h"
#include "library/records.h"
#include "library/storedruns.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "llm/standinserver.h"
#include "platform/accessibilitytrust.h"
#include "platform/audiooutputcontrol.h"
#include "platform/globalshortcutregistry.h"
#include "platform/keyeventtap.h"
#include "platform/secureinput.h"
#include "platform/soundplayer.h"
#include "speech/fakespeechcapturesource.h"
#include "speech/recordersetup.h"
#include "speech/recordingaudioarchive.h"
#include "speech/recordinghistory.h"
#include "speech/speechcapture.h"
#include "speech/speechhelperclient.h"
#include "speech/speechrecorder.h"
#include "support/testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace velmora::test {

using DictationHistory = RecordingHistory<DictationMeasurements>;

class DictationRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = Library::open(Library::defaultRoot());
        history =
            std::make_shared<DictationHistory>(QStringLiteral("dictation"), library, &RecordingAudioArchive::convert);
        speakInBursts(source);
        capture = std::make_unique<SpeechCapture>(SpeechCapture::defaultDirectory(), source);
        helper = std::make_unique<SpeechHelperClient>(helperPath(SpeechHelperClient::kExecutableName));

        // Cues that take no time, so runs keep their pace; the cue tests wait for real ones.
        player.duration = 0;
        output.devices[QStringLiteral("speakers")] = {};
        output.defaultDevice = QStringLiteral("speakers");
        muter = std::make_unique<SystemAudioMute>(output, defaults);
        trust.trusted = true;
        hotkeys = std::make_unique<DictationHotkeys>(
            DictationHotkeys::Dependencies{&shortcuts, &registry, &taps, &secureInput, &trust});
        hotkeys->setAccessibilityGranted(true);

        recorder =
            std::make_unique<SpeechRecorder>(recorderDependencies(*capture, *helper, sounds, *muter, [this](bool) {
                return speechReady ? std::optional<QString>(speechModel) : std::nullopt;
            }));

        server = standInServer(runTimings());
        runtime = standInRuntime(*server, writer, [this] { return writerReady; });
        speak({{"text", "hello there"}});
        write({{"reply", "Hello there."}});
    }

    void TearDown() override {
        if (coordinator && !recorder->isQuitting())
            run(recorder->prepareToQuit(coordinator.get()));
        if (runtime)
            run(runtime->prepareToQuit());
    }

    // Builds the coordinator (after the test set its dependencies up).
    DictationCoordinator &dictation() {
        if (!coordinator) {
            DictationCoordinator::Dependencies deps;
            deps.recorder = recorder.get();
            deps.delivery = delivery;
            deps.llm = llm.value_or(runtime.get());
            deps.cleanupReady = [this] { return cleanupOn; };
            deps.cleanupContext = [this] {
                ++contextReads;
                return context;
            };
            coordinator = std::make_unique<DictationCoordinator>(std::move(deps));
            coordinator->attach(history, library->status());
            coordinator->connectHotkeys(*hotkeys);
            ended = std::make_unique<QSignalSpy>(coordinator.get(), &DictationCoordinator::activeChanged);
        }
        return *coordinator;
    }

    // The speech helper's script (see helpers/speech-helper).
    void speak(const QJsonObject &script) {
        speechModel = m_models.path() + QStringLiteral("/speech.model");
        writeFile(speechModel, QJsonDocument(script).toJson());
    }
    // The writing model's script (see helpers/llm-server); its requests are recorded.
    void write(QJsonObject script) { writer.setScript(std::move(script)); }
    // The request bodies the writing model received.
    QList<QJsonObject> writerRequests() const { return writer.requestObjects(); }

    // A bare tap of the fn key (Right Ctrl); returns once the coordinator has had it.
    void pressToggle() {
        dictation();
        QSignalSpy toggles(hotkeys.get(), &DictationHotkeys::toggleRequested);
        taps.tapFn();
        ASSERT_TRUE(waitUntil([&] { return toggles.count() == 1; }));
    }
    // Starts a run with the key and waits until it records.
    void startRecording() {
        pressToggle();
        ASSERT_TRUE(waitUntil([&] { return coordinator->state() == DictationCoordinator::State::Recording; }));
    }
    // Speaks for frames samples, then stops with the key.
    void speakAndStop(qint64 frames = 40000) {
        ASSERT_TRUE(source.deliver(frames));
        // The audio is in the file before the stop.
        ASSERT_TRUE(waitUntil([&] { return !recorder->isModelLoading(); }));
        pressToggle();
    }
    // Waits until the recorder has handed the run back.
    bool waitForEnd(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        return waitUntil(
            [&] {
                return !ended->isEmpty() && !ended->last().at(0).toBool() && !recorder->isCleaningUp() &&
                       recorder->owner() == nullptr;
            },
            timeout);
    }
    // Records one whole run.
    void dictate(qint64 frames = 40000) {
        startRecording();
        speakAndStop(frames);
        ASSERT_TRUE(waitForEnd());
    }

    // The dictation tasks in History, oldest first.
    QList<QUuid> storedTasks() { return test::storedTasks(*library, QStringLiteral("dictation")); }
    StoredRun stored(const QUuid &id) { return storedRun(*library, id); }
    StoredRun onlyRun() { return onlyStoredRun(*library, QStringLiteral("dictation")); }
    QStringList dictationLog() const { return log.messages(QStringLiteral("dictation")); }

    TempHome home;
    LogCapture log;
    std::shared_ptr<Library> library;
    std::shared_ptr<DictationHistory> history;
    FakeSpeechCaptureSource source;
    std::unique_ptr<SpeechCapture> capture;
    std::unique_ptr<SpeechHelperClient> helper;
    FakeSoundPlayer player;
    DictationSounds sounds{player};
    Defaults defaults{QString()};
    FakeAudioOutputControl output;
    std::unique_ptr<SystemAudioMute> muter;
    std::unique_ptr<SpeechRecorder> recorder;
    QString speechModel;
    bool speechReady = true;
    StandIn writer;
    bool writerReady = true;
    std::unique_ptr<LLMServer> server;
    std::unique_ptr<LLMRuntime> runtime;
    // Another writing model in place of the stand-in's runtime.
    std::optional<TextGenerating *> llm;
    FakeDictationDelivery fakeDelivery;
    DictationDelivering *delivery = &fakeDelivery;
    bool cleanupOn = true;
    CleanupContext context;
    int contextReads = 0;
    SpeechShortcuts shortcuts{defaults};
    FakeGlobalShortcutRegistry registry;
    FakeKeyEventTaps taps;
    FakeSecureInput secureInput;
    FakeAccessibilityTrust trust;
    std::unique_ptr<DictationHotkeys> hotkeys;
    std::unique_ptr<DictationCoordinator> coordinator;
    std::unique_ptr<QSignalSpy> ended;

private:
    QTemporaryDir m_models;
};

} // namespace velmora::test
