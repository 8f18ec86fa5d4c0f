#pragma once

// The one recorder of the program. Dictation and Voice Compose each ask it to run a recording
// for them and become that run's owner until it is handed back: it checks readiness, stages
// the samples in History, starts the capture, plays the start cue, mutes the output, loads the
// speech model while the user already speaks, feeds chunked transcription, and after stop hands
// the transcript to the owner. One run at a time; everything on the main thread.

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/enumname.h"
#include "core/sharedtask.h"
#include "library/records.h"
#include "speech/chunkedtranscription.h"
#include "speech/speechcapturing.h"
#include "speech/speechhelping.h"
#include "speech/speechpreferences.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace velmora {

class RecordingHistoryStoring;

// The start and stop cues, as the recorder uses them.
class DictationSoundPlaying {
public:
    virtual ~DictationSoundPlaying() = default;
    // Plays the rising cue and returns after it has been heard; stops early when cancelled.
    virtual QCoro::Task<> playStart(CancellationToken token) = 0;
    // Starts a cue without waiting; returns its duration in seconds (0 when it could not play).
    virtual double play(bool rising) = 0;
    virtual void stop() = 0;
};

// Muting the system output while recording.
class SystemAudioMuting {
public:
    virtual ~SystemAudioMuting() = default;
    virtual void muteOutput() = 0;
    virtual void restoreOutput() = 0;
};

class SpeechRecorderOwner;

class SpeechRecorder : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Preparing, Recording, Processing };
    Q_ENUM(State)
    enum class Failure { Capture, EmptyAudio, Helper };
    Q_ENUM(Failure)
    enum class BeginResult { Started, Busy, Blocked };
    Q_ENUM(BeginResult)
    enum class CancelReason { Canceled, Failed, Interrupted, Quitting };
    Q_ENUM(CancelReason)

    struct Transcript {
        QString text;
        bool complete = false;   // every chunk was transcribed completely
        qint64 chunks = 0;       // chunk texts the transcription holds
        qint64 transcribeMs = 0; // from stop() until the transcript was ready
        bool operator==(const Transcript &) const = default;
    };

    struct Dependencies {
        SpeechCapturing *capture = nullptr;
        SpeechHelping *helper = nullptr;
        DictationSoundPlaying *sounds = nullptr;
        SystemAudioMuting *muter = nullptr;
        // The speech model file when the permissions the run needs are granted and the model
        // is installed; none otherwise.
        std::function<std::optional<QString>(bool requiresAccessibility)> readyModel;
        std::function<bool()> soundsEnabled;
        std::function<bool()> muteEnabled;
        std::function<SpeechPreferenceSnapshot()> snapshot;
        // Idle delay before the speech model is unloaded; none for never.
        std::function<std::optional<double>()> unloadSeconds;
    };

    // The capture's and the helper's callbacks are wired here.
    explicit SpeechRecorder(Dependencies dependencies, QObject *parent = nullptr);
    ~SpeechRecorder() override;

    State state() const { return m_state; }
    // Owners are services that live as long as the program; the recorder keeps a pointer
    // while the run lasts.
    SpeechRecorderOwner *owner() const { return m_owner; }
    bool interrupted() const { return m_interrupted; }
    bool isCleaningUp() const { return m_isCleaningUp; }
    float audioLevel() const { return m_audioLevel; }
    std::optional<QDateTime> recordingStartedAt() const { return m_recordingStartedAt; }
    double recordedSeconds() const { return m_recordedSeconds; }
    bool isModelLoading() const { return m_isModelLoading; }
    const QString &language() const { return m_language; }
    bool isQuitting() const { return m_quitting; }

    // history is the owner's store and, like the owner, outlives every run it is given to (the
    // recorder's awaits check only the recorder itself).
    BeginResult begin(SpeechRecorderOwner *owner, std::optional<QString> language, bool requiresAccessibility,
                      RecordingHistoryStoring *history);
    bool isCurrent(const QUuid &id) const { return m_generation && *m_generation == id; }
    // Hands the run's open History record to its owner, once.
    bool takeHistory(const QUuid &id);

    void captureLevelChanged(float level);
    void captureProgress(qint64 samples);
    void captureInterrupted();
    void captureWriteFailed();
    void helperFailed();

    void stop();
    void fail(Failure failure, std::exception_ptr error = nullptr);
    void cancel(CancelReason reason, SpeechRecorderOwner *owner);
    // Runs the owner's saving work; new runs, cancels and unloads wait until it is done.
    QCoro::Task<> finishOperation(std::function<QCoro::Task<>()> work);
    QCoro::Task<> prepareToQuit(SpeechRecorderOwner *owner);
    void scheduleUnload();
    // Unloads an idle speech model at once; false when a run, a cleanup or quitting is in the
    // way, or nothing is loaded.
    QCoro::Task<bool> freeUpMemory();

signals:
    void stateChanged();
    void ownerChanged();
    void interruptedChanged();
    void isCleaningUpChanged();
    void audioLevelChanged();
    void recordingStartedAtChanged();
    void recordedSecondsChanged();
    void isModelLoadingChanged();

private:
    struct RunningTask {
        SharedTask<void> task;
        std::shared_ptr<CancellationSource> cancel;
    };
    struct HistoryTask {
        QUuid id;
        RecordingHistoryStoring *store = nullptr;
    };

    void setState(State state);
    void setOwner(SpeechRecorderOwner *owner);
    void setInterrupted(bool value);
    void setIsCleaningUp(bool value);
    void setAudioLevel(float value);
    void setRecordingStartedAt(std::optional<QDateTime> value);
    void setRecordedSeconds(double value);
    void setIsModelLoading(bool value);
    // Clean-up stays reported while any of the cleanup, saving work or unload still runs.
    void refreshCleaningUp();

    QCoro::Task<> start(QUuid id, RecordingHistoryStoring *history, QString modelPath,
                        std::optional<QString> selectedDeviceID, CancellationToken token);
    // Whether run id goes on after an await: the recorder lives and the run is still current. A
    // failure of the current run fails it.
    static bool goesOn(const QPointer<SpeechRecorder> &self, const QUuid &id, std::exception_ptr error = nullptr,
                       Failure failure = Failure::Capture);
    QCoro::Task<> beginHistory(RecordingHistoryStoring *history, QUuid id);
    QCoro::Task<> loadModel(QString modelPath, QUuid id);
    static QCoro::Task<> waitForLoad(QPointer<SpeechRecorder> self, QString modelPath, QUuid id);
    QCoro::Task<> judgeHelperFailure(QUuid id, std::shared_ptr<ChunkedTranscription> transcription);
    QCoro::Task<> process(QUuid id, ContinuousClock::time_point stoppedAt);
    QCoro::Task<> endOperation(QUuid id);
    QCoro::Task<> releaseCapture(CancelReason reason, std::optional<QUuid> id);
    QCoro::Task<> runCleanup(CancelReason reason, std::vector<SharedTask<void>> operations,
                             std::optional<SharedTask<void>> loading, std::optional<QUuid> id,
                             SpeechRecorderOwner *owner);
    QCoro::Task<bool> settleHistory(QUuid id, CancelReason reason, SpeechRecorderOwner *owner);
    QCoro::Task<> runSaving(std::function<QCoro::Task<>()> work);
    QCoro::Task<> unloadAfter(double seconds, CancellationToken token);
    QCoro::Task<> unloadNow();

    Dependencies m_deps;

    State m_state = State::Idle;
    SpeechRecorderOwner *m_owner = nullptr;
    bool m_interrupted = false;
    bool m_isCleaningUp = false;
    float m_audioLevel = 0;
    std::optional<QDateTime> m_recordingStartedAt;
    ContinuousClock::time_point m_recordingStartedInstant{};
    double m_recordedSeconds = 0;
    bool m_isModelLoading = false;
    QString m_language;

    bool m_operationSoundsEnabled = false;
    bool m_operationMutes = false;
    std::optional<QUuid> m_generation;
    // The start task, kept after stop() so a cancellation waits for it too.
    std::optional<RunningTask> m_starting;
    // The processing task after stop().
    std::optional<RunningTask> m_operation;
    std::optional<RunningTask> m_loading;
    std::shared_ptr<ChunkedTranscription> m_transcription;
    std::optional<RunningTask> m_cleanup;
    std::optional<RunningTask> m_saving;
    std::optional<RunningTask> m_unload;
    bool m_cleanupRunning = false;
    bool m_savingRunning = false;
    bool m_unloadRunning = false;
    bool m_quitting = false;
    std::optional<HistoryTask> m_historyTask;
    std::optional<QUuid> m_stagedID;
    // The run whose transcription has finished (from then on the helper no longer matters to it).
    std::optional<QUuid> m_transcribed;
    // The run whose sample file stopped taking samples while it was still preparing.
    std::optional<QUuid> m_writeFailed;
};

// What the recorder tells the owner of a run, in this order: the model has loaded; the run
// failed; the transcript is ready; the run is being cancelled; it ended without a transcript;
// its History record could not be opened or discarded; the run is handed back (always last).
class SpeechRecorderOwner {
public:
    virtual ~SpeechRecorderOwner() = default;
    virtual void operationWillBegin() = 0;
    virtual void operationDidFail(SpeechRecorder::Failure failure) = 0;
    virtual QCoro::Task<> transcriptDidArrive(SpeechRecorder::Transcript transcript, QUuid id) = 0;
    virtual void operationWillCancel() = 0;
    virtual QCoro::Task<> operationDidEnd(QUuid id, ActivityEvent::Outcome outcome) = 0;
    virtual void historySaveDidFail() = 0;
    virtual void ownershipDidEnd() = 0;
};

} // namespace velmora
