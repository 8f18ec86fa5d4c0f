#include "speech/speechrecorder.h"

#include "core/log.h"
#include "speech/recordinghistory.h"

#include <QPointer>

namespace velmora {

namespace {

// Awaits a task and drops its failure.
// (Tasks given a lambda are made first and awaited as a local: the coroutine rule in
// core/promise.h.)
QCoro::Task<> settle(SharedTask<void> task) {
    try {
        co_await task;
    } catch (...) {
    }
}

} // namespace

SpeechRecorder::SpeechRecorder(Dependencies dependencies, QObject *parent)
    : QObject(parent), m_deps(std::move(dependencies)) {
    connect(m_deps.capture, &SpeechCapturing::levelChanged, this, &SpeechRecorder::captureLevelChanged);
    connect(m_deps.capture, &SpeechCapturing::samplesWritten, this, &SpeechRecorder::captureProgress);
    connect(m_deps.capture, &SpeechCapturing::interrupted, this, &SpeechRecorder::captureInterrupted);
    connect(m_deps.capture, &SpeechCapturing::writeFailed, this, &SpeechRecorder::captureWriteFailed);
    connect(m_deps.helper, &SpeechHelping::failed, this, &SpeechRecorder::helperFailed);
}

SpeechRecorder::~SpeechRecorder() {
    for (auto *task : {&m_starting, &m_operation, &m_loading, &m_unload})
        if (*task)
            (*task)->cancel->cancel();
}

// ---------------------------------------------------------------------------------------------
// Published properties.

void SpeechRecorder::setState(State state) {
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

void SpeechRecorder::setOwner(SpeechRecorderOwner *owner) {
    m_owner = owner;
    emit ownerChanged();
}

void SpeechRecorder::setInterrupted(bool value) {
    if (m_interrupted == value)
        return;
    m_interrupted = value;
    emit interruptedChanged();
}

void SpeechRecorder::setIsCleaningUp(bool value) {
    if (m_isCleaningUp == value)
        return;
    m_isCleaningUp = value;
    emit isCleaningUpChanged();
}

void SpeechRecorder::refreshCleaningUp() {
    setIsCleaningUp(m_cleanupRunning || m_savingRunning || m_unloadRunning);
}

void SpeechRecorder::setAudioLevel(float value) {
    if (m_audioLevel == value)
        return;
    m_audioLevel = value;
    emit audioLevelChanged();
}

void SpeechRecorder::setRecordingStartedAt(std::optional<QDateTime> value) {
    if (m_recordingStartedAt == value)
        return;
    m_recordingStartedAt = value;
    emit recordingStartedAtChanged();
}

void SpeechRecorder::setRecordedSeconds(double value) {
    if (m_recordedSeconds == value)
        return;
    m_recordedSeconds = value;
    emit recordedSecondsChanged();
}

void SpeechRecorder::setIsModelLoading(bool value) {
    if (m_isModelLoading == value)
        return;
    m_isModelLoading = value;
    emit isModelLoadingChanged();
}

// ---------------------------------------------------------------------------------------------
// Start.

SpeechRecorder::BeginResult SpeechRecorder::begin(SpeechRecorderOwner *owner, std::optional<QString> language,
                                                  bool requiresAccessibility, RecordingHistoryStoring *history) {
    if (m_quitting || m_isCleaningUp || m_state != State::Idle)
        return BeginResult::Busy;
    const std::optional<QString> model = m_deps.readyModel(requiresAccessibility);
    if (!model)
        return BeginResult::Blocked;
    if (m_unload)
        m_unload->cancel->cancel();
    setRecordedSeconds(0);
    const QUuid id = QUuid::createUuid();
    const SpeechPreferenceSnapshot snapshot = m_deps.snapshot();
    m_generation = id;
    setOwner(owner);
    m_operationSoundsEnabled = m_deps.soundsEnabled();
    m_operationMutes = m_deps.muteEnabled();
    setAudioLevel(0);
    setRecordingStartedAt(std::nullopt);
    m_language = language.value_or(snapshot.languageCode);
    setInterrupted(false);
    setState(State::Preparing);

    auto cancel = std::make_shared<CancellationSource>();
    QCoro::Task<> task = start(id, history, *model, snapshot.selectedDeviceID, cancel->token());
    m_starting = RunningTask{SharedTask<void>(std::move(task)), cancel};
    return BeginResult::Started;
}

QCoro::Task<> SpeechRecorder::start(QUuid id, RecordingHistoryStoring *history, QString modelPath,
                                    std::optional<QString> selectedDeviceID, CancellationToken token) {
    QPointer<SpeechRecorder> self(this);
    const std::optional<QString> staged = history ? std::optional<QString>(history->stagedURL(id)) : std::nullopt;

    QString url;
    std::exception_ptr error;
    try {
        QCoro::Task<QString> starting = m_deps.capture->start(selectedDeviceID, id, staged);
        url = co_await std::move(starting);
    } catch (...) {
        error = std::current_exception();
    }
    if (!goesOn(self, id, error, Failure::Capture))
        co_return;

    if (m_operationSoundsEnabled) {
        QCoro::Task<> cue = m_deps.sounds->playStart(token);
        co_await std::move(cue);
        if (!goesOn(self, id))
            co_return;
    }
    // After the cue, so the cue is heard.
    if (m_operationMutes)
        m_deps.muter->muteOutput();

    try {
        co_await m_deps.capture->beginRecording();
    } catch (...) {
        error = std::current_exception();
    }
    if (!goesOn(self, id, error, Failure::Capture))
        co_return;
    m_recordingStartedInstant = ContinuousClock::now();
    setRecordingStartedAt(QDateTime::currentDateTimeUtc());

    if (history) {
        co_await beginHistory(history, id);
        if (!goesOn(self, id))
            co_return;
    }

    std::function<QCoro::Task<>()> ready = [self, modelPath, id] { return waitForLoad(self, modelPath, id); };
    m_transcription =
        ChunkedTranscription::create(*m_deps.helper, url, m_language, id, ChunkPolicy::standard(), std::move(ready));
    setState(State::Recording);
    setIsModelLoading(!m_deps.helper->isLoaded());
    if (m_writeFailed == id)
        stop();

    auto loadCancel = std::make_shared<CancellationSource>();
    QCoro::Task<> load = loadModel(modelPath, id);
    m_loading = RunningTask{SharedTask<void>(std::move(load)), loadCancel};
    SharedTask<void> loading = m_loading->task;
    try {
        co_await loading;
    } catch (...) {
        error = std::current_exception();
    }
    if (!goesOn(self, id, error, Failure::Helper))
        co_return;
    setIsModelLoading(false);
    if (m_owner)
        m_owner->operationWillBegin();
}

bool SpeechRecorder::goesOn(const QPointer<SpeechRecorder> &self, const QUuid &id, std::exception_ptr error,
                            Failure failure) {
    if (!self)
        return false;
    if (error) {
        if (self->isCurrent(id))
            self->fail(failure, error);
        return false;
    }
    return self->isCurrent(id);
}

QCoro::Task<> SpeechRecorder::loadModel(QString modelPath, QUuid id) {
    QCoro::Task<> load = m_deps.helper->load(modelPath, id);
    co_await std::move(load);
}

QCoro::Task<> SpeechRecorder::waitForLoad(QPointer<SpeechRecorder> self, QString modelPath, QUuid id) {
    if (!self || !self->m_loading)
        co_return;
    const SharedTask<void> loading = self->m_loading->task;
    co_await loading;
    // A helper that has gone since (on its own, with none of this run's requests out) is
    // started again for the chunk rather than failing a run that lost nothing to it.
    if (!self || !self->isCurrent(id) || self->m_deps.helper->isLoaded())
        co_return;
    QCoro::Task<> reload = self->m_deps.helper->load(modelPath, id);
    co_await std::move(reload);
}

QCoro::Task<> SpeechRecorder::beginHistory(RecordingHistoryStoring *history, QUuid id) {
    QPointer<SpeechRecorder> self(this);
    const QDateTime startedAt = m_recordingStartedAt.value_or(QDateTime::currentDateTimeUtc());
    const std::optional<QString> language = m_language.isEmpty() ? std::nullopt : std::optional<QString>(m_language);
    bool opened = false;
    try {
        QCoro::Task<> opening = history->begin(id, language, startedAt);
        co_await std::move(opening);
        opened = true;
    } catch (...) {
    }
    if (!self)
        co_return;
    if (opened) {
        m_historyTask = HistoryTask{id, history};
        m_stagedID = id;
    } else if (m_owner) {
        // The recording goes on without a History record.
        m_owner->historySaveDidFail();
    }
}

bool SpeechRecorder::takeHistory(const QUuid &id) {
    if (!m_historyTask || m_historyTask->id != id)
        return false;
    m_historyTask.reset();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Capture and helper callbacks.

void SpeechRecorder::captureLevelChanged(float level) {
    if (m_state == State::Recording && !m_isCleaningUp)
        setAudioLevel(level);
}

void SpeechRecorder::captureProgress(qint64 samples) {
    if (m_state == State::Recording && !m_isCleaningUp && m_transcription)
        m_transcription->progress(samples);
}

void SpeechRecorder::captureInterrupted() {
    if (m_state == State::Preparing) {
        fail(Failure::Capture);
    } else if (m_state == State::Recording) {
        setInterrupted(true);
        stop();
    }
}

void SpeechRecorder::captureWriteFailed() {
    if (!m_generation || (m_state != State::Preparing && m_state != State::Recording))
        return;
    // Nothing more reaches the file: stop now and keep what it holds.
    m_writeFailed = *m_generation;
    stop();
}

void SpeechRecorder::helperFailed() {
    // Only a failure while this run has a chunk request out is the run's business. Any other
    // report is late (about a helper whose run has finished, arriving while the next one
    // prepares and before it starts a helper of its own) or early: a request the run sends
    // afterwards fails by itself, and the processing takes that as the helper's failure.
    if (!m_generation || !m_transcription || !m_transcription->isRequesting())
        return;
    const QUuid id = *m_generation;
    // Once the transcription has finished the run no longer needs the helper; once some text
    // exists the transcript is only marked incomplete.
    if (m_transcribed == id || m_transcription->hasText())
        return;
    // The helper may have answered just before it went: judge once that answer is in.
    QCoro::Task<> judging = judgeHelperFailure(id, m_transcription);
    Q_UNUSED(judging);
}

QCoro::Task<> SpeechRecorder::judgeHelperFailure(QUuid id, std::shared_ptr<ChunkedTranscription> transcription) {
    QPointer<SpeechRecorder> self(this);
    QCoro::Task<> settled = transcription->requestSettled();
    co_await std::move(settled);
    if (!self || !isCurrent(id) || m_transcribed == id || transcription->hasText() || !transcription->isHelperFailed())
        co_return;
    fail(Failure::Helper);
}

// ---------------------------------------------------------------------------------------------
// Stop and processing.

void SpeechRecorder::stop() {
    if (m_state != State::Recording || !m_generation)
        return;
    setState(State::Processing);
    setAudioLevel(0);
    setRecordedSeconds(m_recordingStartedAt
                           ? std::chrono::duration<double>(ContinuousClock::now() - m_recordingStartedInstant).count()
                           : 0.0);
    // Before the stop cue plays, so the cue is heard.
    m_deps.muter->restoreOutput();
    const auto stoppedAt = ContinuousClock::now();
    auto cancel = std::make_shared<CancellationSource>();
    QCoro::Task<> task = process(*m_generation, stoppedAt);
    m_operation = RunningTask{SharedTask<void>(std::move(task)), cancel};
}

QCoro::Task<> SpeechRecorder::process(QUuid id, ContinuousClock::time_point stoppedAt) {
    QPointer<SpeechRecorder> self(this);
    SpeechRecording recording;
    std::exception_ptr error;
    try {
        recording = co_await m_deps.capture->stop();
    } catch (...) {
        error = std::current_exception();
    }
    if (!goesOn(self, id, error, Failure::Capture))
        co_return;
    if (m_operationSoundsEnabled)
        m_deps.sounds->play(false);

    if (recording.cutShortBy) {
        if (recording.samples < 1) {
            fail(Failure::Capture, recording.cutShortBy);
            co_return;
        }
        // What reached the file is whole: it is transcribed and handed over as incomplete.
        Log::speech().error("Recording cut short: %{public}s", {Log::errorCode(recording.cutShortBy)});
    }
    if (recording.samples < 1 || !m_transcription) {
        Log::speech().notice("Recording had no audio");
        if (m_owner)
            m_owner->operationDidFail(Failure::EmptyAudio);
        cancel(CancelReason::Canceled, nullptr);
        co_return;
    }

    const std::shared_ptr<ChunkedTranscription> transcription = m_transcription;
    ChunkedTranscription::Result result;
    try {
        result = co_await transcription->finish(recording.samples);
    } catch (...) {
        error = std::current_exception();
    }
    if (!goesOn(self, id, error, Failure::Helper))
        co_return;
    // The helper could not be had or left a request unanswered before any text existed: it
    // failed the run (an answer, even an empty or incomplete one, is a transcript).
    if (transcription->isHelperFailed() && !transcription->hasText()) {
        fail(Failure::Helper);
        co_return;
    }
    m_transcribed = id;

    Transcript transcript;
    transcript.text = result.text;
    transcript.complete = result.complete && !recording.cutShortBy;
    transcript.chunks = transcription->chunkCount();
    transcript.transcribeMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(ContinuousClock::now() - stoppedAt).count();
    SpeechRecorderOwner *owner = m_owner;
    if (owner) {
        QCoro::Task<> handling = owner->transcriptDidArrive(transcript, id);
        co_await std::move(handling);
    }
    if (!goesOn(self, id))
        co_return;
    co_await endOperation(id);
}

QCoro::Task<> SpeechRecorder::endOperation(QUuid id) {
    QPointer<SpeechRecorder> self(this);
    // The staged file belongs to History, which has archived it or still needs it.
    co_await m_deps.capture->cancel(m_stagedID == id);
    if (!goesOn(self, id))
        co_return;
    m_generation.reset();
    m_operation.reset();
    m_starting.reset();
    m_loading.reset();
    m_transcription.reset();
    setState(State::Idle);
    setRecordingStartedAt(std::nullopt);
    setIsModelLoading(false);
    SpeechRecorderOwner *owner = m_owner;
    setOwner(nullptr);
    if (owner)
        owner->ownershipDidEnd();
    scheduleUnload();
}

void SpeechRecorder::fail(Failure failure, std::exception_ptr error) {
    Log::speech().error("Recording failed: %{public}s, error %{public}s",
                        {enumName(failure), error ? Log::errorCode(error) : QStringLiteral("none")});
    if (m_owner)
        m_owner->operationDidFail(failure);
    cancel(CancelReason::Failed, nullptr);
}

QCoro::Task<> SpeechRecorder::finishOperation(std::function<QCoro::Task<>()> work) {
    m_savingRunning = true;
    refreshCleaningUp();
    auto cancel = std::make_shared<CancellationSource>();
    QCoro::Task<> task = runSaving(std::move(work));
    const SharedTask<void> saving(std::move(task));
    m_saving = RunningTask{saving, cancel};
    QPointer<SpeechRecorder> self(this);
    co_await saving;
    if (!self)
        co_return;
    m_saving.reset();
    m_savingRunning = false;
    refreshCleaningUp();
}

QCoro::Task<> SpeechRecorder::runSaving(std::function<QCoro::Task<>()> work) {
    // The owner reports its own failures; the recorder only waits for the work.
    try {
        co_await work();
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------------------------
// Cancellation.

void SpeechRecorder::cancel(CancelReason reason, SpeechRecorderOwner *owner) {
    if (m_isCleaningUp)
        return;
    if (m_owner && owner && m_owner != owner)
        return;
    const std::optional<QUuid> id = m_generation;
    SpeechRecorderOwner *notify = m_owner ? m_owner : owner;

    m_deps.sounds->stop();
    m_deps.muter->restoreOutput();
    setAudioLevel(0);
    setIsModelLoading(false);
    setRecordingStartedAt(std::nullopt);
    m_generation.reset();
    if (m_transcription) {
        m_transcription->cancel();
        m_transcription.reset();
    }
    if (notify)
        notify->operationWillCancel();

    std::vector<SharedTask<void>> operations;
    for (auto *task : {&m_starting, &m_operation}) {
        if (*task) {
            (*task)->cancel->cancel();
            operations.push_back((*task)->task);
        }
    }
    std::optional<SharedTask<void>> loading;
    if (m_loading) {
        m_loading->cancel->cancel();
        loading = m_loading->task;
    }
    if (m_unload)
        m_unload->cancel->cancel();

    m_cleanupRunning = true;
    refreshCleaningUp();
    QCoro::Task<> task = runCleanup(reason, std::move(operations), std::move(loading), id, notify);
    RunningTask cleanup{SharedTask<void>(std::move(task)), std::make_shared<CancellationSource>()};
    if (m_cleanupRunning)
        m_cleanup = cleanup;
}

QCoro::Task<> SpeechRecorder::releaseCapture(CancelReason reason, std::optional<QUuid> id) {
    if (reason == CancelReason::Canceled) {
        // History's staged file stays until its record has been discarded: deleting it first
        // would bring a cancelled run back as an interrupted one if the discard fails.
        co_await m_deps.capture->cancel(id && m_stagedID == id);
        co_return;
    }
    try {
        co_await m_deps.capture->stop();
    } catch (...) {
    }
}

QCoro::Task<> SpeechRecorder::runCleanup(CancelReason reason, std::vector<SharedTask<void>> operations,
                                         std::optional<SharedTask<void>> loading, std::optional<QUuid> id,
                                         SpeechRecorderOwner *owner) {
    QPointer<SpeechRecorder> self(this);
    QCoro::Task<> releaseTask = releaseCapture(reason, id);
    const SharedTask<void> release(std::move(releaseTask));
    if (m_deps.helper->isBusy() || m_quitting) {
        co_await m_deps.helper->terminate();
        if (!self)
            co_return;
    }
    co_await release;
    if (!self)
        co_return;
    for (const SharedTask<void> &operation : operations) {
        QCoro::Task<> waiting = settle(operation);
        co_await std::move(waiting);
        if (!self)
            co_return;
    }
    if (loading) {
        QCoro::Task<> waiting = settle(*loading);
        co_await std::move(waiting);
        if (!self)
            co_return;
    }
    if (m_deps.helper->isBusy()) {
        co_await m_deps.helper->terminate();
        if (!self)
            co_return;
    }
    if (!id) {
        co_await m_deps.capture->cancel(false);
    } else {
        const bool stays = co_await settleHistory(*id, reason, owner);
        if (!self)
            co_return;
        if (!stays)
            co_await m_deps.capture->cancel(m_stagedID == id);
    }
    if (!self)
        co_return;

    m_operation.reset();
    m_starting.reset();
    m_loading.reset();
    setState(State::Idle);
    setOwner(nullptr);
    m_cleanupRunning = false;
    refreshCleaningUp();
    if (owner)
        owner->ownershipDidEnd();
    if (!self)
        co_return;
    if (!m_cleanupRunning)
        m_cleanup.reset();
    scheduleUnload();
}

QCoro::Task<bool> SpeechRecorder::settleHistory(QUuid id, CancelReason reason, SpeechRecorderOwner *owner) {
    QPointer<SpeechRecorder> self(this);
    switch (reason) {
    case CancelReason::Canceled: {
        if (!m_historyTask || m_historyTask->id != id)
            co_return false;
        RecordingHistoryStoring *store = m_historyTask->store;
        m_historyTask.reset();
        bool discarded = false;
        try {
            co_await store->discard(id);
            discarded = true;
        } catch (...) {
        }
        if (self && !discarded && owner)
            owner->historySaveDidFail();
        co_return false;
    }
    case CancelReason::Failed:
    case CancelReason::Interrupted:
        if (owner)
            co_await owner->operationDidEnd(id, reason == CancelReason::Failed ? ActivityEvent::Outcome::Failed
                                                                               : ActivityEvent::Outcome::Interrupted);
        co_return false;
    case CancelReason::Quitting: co_return m_historyTask && m_historyTask->id == id;
    }
    co_return false;
}

// ---------------------------------------------------------------------------------------------
// Quit and unloading.

QCoro::Task<> SpeechRecorder::prepareToQuit(SpeechRecorderOwner *owner) {
    QPointer<SpeechRecorder> self(this);
    m_quitting = true;
    if (m_saving) {
        const SharedTask<void> saving = m_saving->task;
        QCoro::Task<> waiting = settle(saving);
        co_await std::move(waiting);
        if (!self)
            co_return;
    }
    cancel(CancelReason::Quitting, owner);
    if (m_cleanup) {
        const SharedTask<void> cleanup = m_cleanup->task;
        QCoro::Task<> waiting = settle(cleanup);
        co_await std::move(waiting);
        if (!self)
            co_return;
    }
    if (m_unload) {
        const SharedTask<void> unload = m_unload->task;
        QCoro::Task<> waiting = settle(unload);
        co_await std::move(waiting);
    }
}

void SpeechRecorder::scheduleUnload() {
    if (m_unload)
        m_unload->cancel->cancel();
    if (m_state != State::Idle || m_isCleaningUp || m_quitting)
        return;
    const std::optional<double> seconds = m_deps.unloadSeconds ? m_deps.unloadSeconds() : std::nullopt;
    if (!seconds)
        return;
    auto cancel = std::make_shared<CancellationSource>();
    QCoro::Task<> task = unloadAfter(*seconds, cancel->token());
    m_unload = RunningTask{SharedTask<void>(std::move(task)), cancel};
}

QCoro::Task<> SpeechRecorder::unloadAfter(double seconds, CancellationToken token) {
    QPointer<SpeechRecorder> self(this);
    try {
        QCoro::Task<> sleeping = sleepFor(std::chrono::nanoseconds(qint64(seconds * 1e9)), token);
        co_await std::move(sleeping);
    } catch (...) {
        co_return;
    }
    if (!self || token.isCancelled() || m_state != State::Idle || m_isCleaningUp)
        co_return;
    co_await unloadNow();
}

QCoro::Task<> SpeechRecorder::unloadNow() {
    QPointer<SpeechRecorder> self(this);
    m_unloadRunning = true;
    refreshCleaningUp();
    co_await m_deps.helper->terminate();
    if (!self)
        co_return;
    m_unloadRunning = false;
    refreshCleaningUp();
}

QCoro::Task<bool> SpeechRecorder::freeUpMemory() {
    if (m_state != State::Idle || m_isCleaningUp || m_quitting || !m_deps.helper->isLoaded())
        co_return false;
    if (m_unload)
        m_unload->cancel->cancel();
    auto cancel = std::make_shared<CancellationSource>();
    QCoro::Task<> task = unloadNow();
    const SharedTask<void> unload(std::move(task));
    m_unload = RunningTask{unload, cancel};
    co_await unload;
    co_return true;
}

} // namespace velmora
