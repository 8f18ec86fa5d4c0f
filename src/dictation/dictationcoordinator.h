#pragma once

// The state machine of dictation: a shortcut press starts a recording through the shared
// recorder, a second press stops it, and once the transcript arrives the run cleans it up with
// the writing model, pastes it into the frontmost program, saves it to History and logs one
// finish line. Main thread only; the recorder calls the owner methods there too.

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "dictation/cleanupcontext.h"
#include "dictation/dictationmeasurements.h"
#include "library/library.h"
#include "speech/recordinghistory.h"
#include "speech/speechrecorder.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class DictationDelivering;
class DictationHotkeys;
class TextGenerating;

class DictationCoordinator : public QObject, public SpeechRecorderOwner {
    Q_OBJECT
public:
    enum class State { Idle, Preparing, Recording, Processing, Cleaning, Delivering };
    enum class Failure { Readiness, Capture, EmptyAudio, NoSpeech, Helper, Delivery };

    using HistoryStore = RecordingHistorySaving<DictationMeasurements>;

    struct Dependencies {
        SpeechRecorder *recorder = nullptr;
        DictationDelivering *delivery = nullptr;
        // The writing model; without it nothing is cleaned up.
        TextGenerating *llm = nullptr;
        // Cleanup is switched on and the writing model is installed; asked at each start.
        std::function<bool()> cleanupReady;
        // The speaker's context, read at each start of a run that cleans.
        std::function<CleanupContext()> cleanupContext;
    };

    explicit DictationCoordinator(Dependencies dependencies, QObject *parent = nullptr);
    ~DictationCoordinator() override;

    // Idle unless this coordinator owns the recorder; then the recorder's state, or while it
    // processes, the coordinator's own stage.
    State state() const;
    // The recorder, owned by this coordinator or by nobody, is still cleaning up after a run.
    bool isStopping() const;
    std::optional<Failure> failure() const { return m_failure; }
    bool completed() const { return m_completed; }
    // The last text handed to delivery (after cleanup): what "Copy Last Transcript" copies.
    const std::optional<QString> &latestText() const { return m_latestText; }
    bool cleanupSkipped() const { return m_cleanupSkipped; }
    bool historySaveFailed() const { return m_historySaveFailed; }
    std::optional<Library::Status> libraryStatus() const { return m_libraryStatus; }
    std::optional<State> stage() const { return m_stage; }
    // The latest run's figures.
    const DictationMeasurements &measurements() const { return m_measurements; }
    // The shared recorder (the quit sequence lets it finish with this coordinator as owner).
    SpeechRecorder &recorder() const { return *m_deps.recorder; }

    // Hands over the History store (none when the Library could not be opened) and its status.
    void attach(std::shared_ptr<HistoryStore> history, Library::Status status);
    // Follows the keys' requests and tells them whether a run is active.
    void connectHotkeys(DictationHotkeys &hotkeys);

    // Starts a run when none of ours is going; stops the recording when it records.
    void toggle();
    // A user cancel; and the same for sleep, screen lock or a switch of user.
    void cancel();
    void interrupt();
    void copyLastTranscript();
    // Forgets the last transcript (at quit).
    void clearLatestText();

    // Texts of the string table "Dictation", in the application language.
    QString statusText() const;
    std::optional<QString> failureText() const;
    std::optional<QString> overlayFailureText() const;
    std::optional<QString> historyNote() const;
    static QString busyMessage();
    static QString secureInputMessage();

    // SpeechRecorderOwner.
    void operationWillBegin() override;
    void operationDidFail(SpeechRecorder::Failure failure) override;
    QCoro::Task<> transcriptDidArrive(SpeechRecorder::Transcript transcript, QUuid id) override;
    void operationWillCancel() override;
    QCoro::Task<> operationDidEnd(QUuid id, ActivityEvent::Outcome outcome) override;
    void historySaveDidFail() override;
    void ownershipDidEnd() override;

signals:
    void stateChanged();
    void stoppingChanged();
    void statusTextChanged();
    void failureChanged();
    void completedChanged();
    void latestTextChanged();
    void cleanupSkippedChanged();
    void historySaveFailedChanged();
    void libraryStatusChanged();
    void stageChanged();
    // True when a run starts, false when the recorder hands it back.
    void activeChanged(bool active);
    // A start was refused because a permission or the speech model is not ready.
    void needsSettings();
    // A start was refused because another owner (Voice Compose) holds the recorder.
    void busy();
    // After each History write attempt of a run.
    void historySaved();

private:
    void start();
    void cancelRun(SpeechRecorder::CancelReason reason, const char *message);
    void releaseHold();
    bool ownsRecorder() const;
    void refresh();

    void setFailure(std::optional<Failure> failure);
    void setCompleted(bool completed);
    void setLatestText(std::optional<QString> text);
    void setCleanupSkipped(bool skipped);
    void setHistorySaveFailed(bool failed);
    void setStage(std::optional<State> stage);

    QCoro::Task<std::optional<QString>> cleanUp(QString text, QUuid id, CancellationToken token);
    QCoro::Task<bool> deliver(QString text, QUuid id, CancellationToken token);
    QCoro::Task<> saveHistory(QUuid id, ActivityEvent::Outcome outcome, std::optional<QString> text);
    void logFinish(bool complete);

    Dependencies m_deps;

    std::optional<Failure> m_failure;
    bool m_completed = false;
    std::optional<QString> m_latestText;
    bool m_cleanupSkipped = false;
    bool m_historySaveFailed = false;
    std::optional<Library::Status> m_libraryStatus;
    std::optional<State> m_stage;

    std::shared_ptr<HistoryStore> m_history;
    std::shared_ptr<HistoryStore> m_operationHistory;
    bool m_operationCleans = false;
    CleanupContext m_operationContext;
    bool m_holdsLLM = false;
    DictationMeasurements m_measurements;

    // The current run: cancelled when the recorder cancels it, so its cleanup race and its
    // paste stop at once.
    std::shared_ptr<CancellationSource> m_runCancel;
    // The run's text once its transcript arrived (cleaned once cleanup applied), so that a run
    // cancelled or interrupted before its paste does not lose it.
    std::optional<QString> m_runText;
    bool m_runTextDelivered = false;

    // Inside begin(): owner calls may already arrive; their signals wait until it returns.
    bool m_beginning = false;
    bool m_endedWhileBeginning = false;

    // The last published values of the computed properties.
    State m_publishedState = State::Idle;
    bool m_publishedStopping = false;
    QString m_publishedStatus;
};

} // namespace velmora
