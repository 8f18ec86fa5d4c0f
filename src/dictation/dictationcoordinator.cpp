#include "dictation/dictationcoordinator.h"

#include "core/enumname.h"
#include "core/log.h"
#include "dictation/dictationdelivering.h"
#include "dictation/dictationhotkeys.h"
#include "dictation/transcriptcleanup.h"
#include "dictation/wordcount.h"
#include "llm/llmruntime.h"
#include "models/modelmanifest.h"

#include <QCoreApplication>

namespace velmora {

namespace {

QCoro::Task<> nothing() {
    co_return;
}

} // namespace

DictationCoordinator::DictationCoordinator(Dependencies dependencies, QObject *parent)
    : QObject(parent), m_deps(std::move(dependencies)) {
    SpeechRecorder *recorder = m_deps.recorder;
    for (auto signal : {&SpeechRecorder::stateChanged, &SpeechRecorder::ownerChanged,
                        &SpeechRecorder::isCleaningUpChanged, &SpeechRecorder::isModelLoadingChanged})
        connect(recorder, signal, this, &DictationCoordinator::refresh);
    m_publishedStatus = statusText();
}

DictationCoordinator::~DictationCoordinator() = default;

// ---------------------------------------------------------------------------------------------
// Published state.

bool DictationCoordinator::ownsRecorder() const {
    return m_deps.recorder->owner() == static_cast<const SpeechRecorderOwner *>(this);
}

DictationCoordinator::State DictationCoordinator::state() const {
    if (!ownsRecorder())
        return State::Idle;
    switch (m_deps.recorder->state()) {
    case SpeechRecorder::State::Idle: return State::Idle;
    case SpeechRecorder::State::Preparing: return State::Preparing;
    case SpeechRecorder::State::Recording: return State::Recording;
    case SpeechRecorder::State::Processing: break;
    }
    return m_stage.value_or(State::Processing);
}

bool DictationCoordinator::isStopping() const {
    const SpeechRecorderOwner *owner = m_deps.recorder->owner();
    return m_deps.recorder->isCleaningUp() && (!owner || owner == static_cast<const SpeechRecorderOwner *>(this));
}

void DictationCoordinator::refresh() {
    if (m_beginning)
        return;
    const State now = state();
    if (now != m_publishedState) {
        m_publishedState = now;
        emit stateChanged();
    }
    const bool stopping = isStopping();
    if (stopping != m_publishedStopping) {
        m_publishedStopping = stopping;
        emit stoppingChanged();
    }
    const QString status = statusText();
    if (status != m_publishedStatus) {
        m_publishedStatus = status;
        emit statusTextChanged();
    }
}

void DictationCoordinator::setFailure(std::optional<Failure> failure) {
    if (m_failure == failure)
        return;
    m_failure = failure;
    if (!m_beginning)
        emit failureChanged();
}

void DictationCoordinator::setCompleted(bool completed) {
    if (m_completed == completed)
        return;
    m_completed = completed;
    if (!m_beginning) {
        emit completedChanged();
        refresh();
    }
}

void DictationCoordinator::setLatestText(std::optional<QString> text) {
    if (m_latestText == text)
        return;
    m_latestText = std::move(text);
    emit latestTextChanged();
}

void DictationCoordinator::setCleanupSkipped(bool skipped) {
    if (m_cleanupSkipped == skipped)
        return;
    m_cleanupSkipped = skipped;
    if (!m_beginning)
        emit cleanupSkippedChanged();
}

void DictationCoordinator::setHistorySaveFailed(bool failed) {
    if (m_historySaveFailed == failed)
        return;
    m_historySaveFailed = failed;
    if (!m_beginning)
        emit historySaveFailedChanged();
}

void DictationCoordinator::setStage(std::optional<State> stage) {
    if (m_stage == stage)
        return;
    m_stage = stage;
    if (!m_beginning) {
        emit stageChanged();
        refresh();
    }
}

// ---------------------------------------------------------------------------------------------
// Actions.

void DictationCoordinator::attach(std::shared_ptr<HistoryStore> history, Library::Status status) {
    m_history = std::move(history);
    if (m_libraryStatus == status)
        return;
    m_libraryStatus = status;
    emit libraryStatusChanged();
}

void DictationCoordinator::connectHotkeys(DictationHotkeys &hotkeys) {
    connect(&hotkeys, &DictationHotkeys::toggleRequested, this, &DictationCoordinator::toggle);
    connect(&hotkeys, &DictationHotkeys::cancelRequested, this, &DictationCoordinator::cancel);
    connect(this, &DictationCoordinator::activeChanged, &hotkeys, &DictationHotkeys::setOperationActive);
}

void DictationCoordinator::toggle() {
    if (!ownsRecorder()) {
        start();
        return;
    }
    if (state() == State::Recording && !m_deps.recorder->isCleaningUp())
        m_deps.recorder->stop();
}

void DictationCoordinator::start() {
    const std::shared_ptr<HistoryStore> history = m_history;

    // The new run's state is in place before the recorder begins, since its first owner calls
    // may come before begin() returns; a refused start puts the previous values back.
    struct Published {
        std::optional<State> stage;
        std::optional<Failure> failure;
        bool cleanupSkipped, historySaveFailed, completed;
    };
    const Published before{m_stage, m_failure, m_cleanupSkipped, m_historySaveFailed, m_completed};
    DictationMeasurements measurements;
    measurements.speechModel = ModelManifest::speech().filename;
    const bool cleans = m_deps.llm && m_deps.cleanupReady && m_deps.cleanupReady();

    m_beginning = true;
    m_endedWhileBeginning = false;
    std::swap(m_measurements, measurements);
    std::shared_ptr<HistoryStore> previousHistory = std::exchange(m_operationHistory, history);
    const bool previousCleans = std::exchange(m_operationCleans, cleans);
    CleanupContext previousContext =
        std::exchange(m_operationContext, cleans && m_deps.cleanupContext ? m_deps.cleanupContext() : CleanupContext{});
    m_stage.reset();
    m_failure.reset();
    m_cleanupSkipped = false;
    m_historySaveFailed = false;
    m_completed = false;
    m_runCancel = std::make_shared<CancellationSource>();
    m_runText.reset();
    m_runTextDelivered = false;

    const SpeechRecorder::BeginResult result = m_deps.recorder->begin(this, std::nullopt, true, history.get());
    m_beginning = false;

    if (result != SpeechRecorder::BeginResult::Started) {
        std::swap(m_measurements, measurements);
        m_operationHistory = std::move(previousHistory);
        m_operationCleans = previousCleans;
        m_operationContext = std::move(previousContext);
        m_stage = before.stage;
        m_failure = before.failure;
        m_cleanupSkipped = before.cleanupSkipped;
        m_historySaveFailed = before.historySaveFailed;
        m_completed = before.completed;
        m_runCancel.reset();
        if (result == SpeechRecorder::BeginResult::Busy) {
            const SpeechRecorderOwner *owner = m_deps.recorder->owner();
            if (owner && owner != static_cast<const SpeechRecorderOwner *>(this))
                emit busy();
            return;
        }
        Log::dictation().notice("Dictation blocked: model or permission not ready");
        setFailure(Failure::Readiness);
        emit needsSettings();
        return;
    }

    if (m_stage != before.stage)
        emit stageChanged();
    if (m_failure != before.failure)
        emit failureChanged();
    if (m_cleanupSkipped != before.cleanupSkipped)
        emit cleanupSkippedChanged();
    if (m_historySaveFailed != before.historySaveFailed)
        emit historySaveFailedChanged();
    if (m_completed != before.completed)
        emit completedChanged();
    refresh();
    if (!m_endedWhileBeginning)
        emit activeChanged(true);
}

void DictationCoordinator::cancelRun(SpeechRecorder::CancelReason reason, const char *message) {
    if (ownsRecorder() && !m_deps.recorder->isCleaningUp())
        Log::dictation().notice(message);
    m_deps.recorder->cancel(reason, this);
}

void DictationCoordinator::cancel() {
    cancelRun(SpeechRecorder::CancelReason::Canceled, "Dictation canceled");
}

void DictationCoordinator::interrupt() {
    cancelRun(SpeechRecorder::CancelReason::Interrupted, "Dictation interrupted by sleep or lock");
}

void DictationCoordinator::copyLastTranscript() {
    if (m_latestText)
        m_deps.delivery->copy(*m_latestText);
}

void DictationCoordinator::clearLatestText() {
    setLatestText(std::nullopt);
}

void DictationCoordinator::releaseHold() {
    if (!m_holdsLLM)
        return;
    m_holdsLLM = false;
    if (m_deps.llm)
        m_deps.llm->release();
}

// ---------------------------------------------------------------------------------------------
// Owner calls.

void DictationCoordinator::operationWillBegin() {
    if (!m_operationCleans || m_holdsLLM)
        return;
    m_holdsLLM = true;
    if (m_deps.llm)
        m_deps.llm->hold();
}

void DictationCoordinator::operationDidFail(SpeechRecorder::Failure failure) {
    switch (failure) {
    case SpeechRecorder::Failure::Capture: setFailure(Failure::Capture); break;
    case SpeechRecorder::Failure::EmptyAudio: setFailure(Failure::EmptyAudio); break;
    case SpeechRecorder::Failure::Helper: setFailure(Failure::Helper); break;
    }
}

void DictationCoordinator::operationWillCancel() {
    releaseHold();
    // A transcript that never reached the paste stays available to "Copy Last Transcript".
    if (m_runText && !m_runTextDelivered && !m_runText->isEmpty())
        setLatestText(*m_runText);
    if (m_runCancel)
        m_runCancel->cancel();
}

QCoro::Task<> DictationCoordinator::operationDidEnd(QUuid id, ActivityEvent::Outcome outcome) {
    // A run interrupted after its transcript arrived keeps its text in History.
    QCoro::Task<> saving = saveHistory(id, outcome, m_runText && !m_runText->isEmpty() ? m_runText : std::nullopt);
    co_await std::move(saving);
}

void DictationCoordinator::historySaveDidFail() {
    setHistorySaveFailed(true);
}

void DictationCoordinator::ownershipDidEnd() {
    releaseHold();
    setStage(std::nullopt);
    m_runCancel.reset();
    m_runText.reset();
    m_runTextDelivered = false;
    if (m_beginning) {
        m_endedWhileBeginning = true;
        return;
    }
    emit activeChanged(false);
}

// ---------------------------------------------------------------------------------------------
// The run.

QCoro::Task<> DictationCoordinator::transcriptDidArrive(SpeechRecorder::Transcript transcript, QUuid id) {
    QPointer<DictationCoordinator> self(this);
    const CancellationToken token = m_runCancel ? m_runCancel->token() : CancellationToken();
    m_measurements.transcribeMs = transcript.transcribeMs;
    m_measurements.chunks = transcript.chunks;
    if (!transcript.complete && transcript.text.isEmpty()) {
        m_deps.recorder->fail(SpeechRecorder::Failure::Helper);
        co_return;
    }
    setCompleted(true);
    m_runText = transcript.text;

    QCoro::Task<std::optional<QString>> cleaning = cleanUp(transcript.text, id, token);
    const std::optional<QString> cleaned = co_await std::move(cleaning);
    if (!self || !cleaned)
        co_return;
    m_runText = *cleaned;

    QCoro::Task<bool> delivering = deliver(*cleaned, id, token);
    const bool current = co_await std::move(delivering);
    if (!self || !current)
        co_return;

    const ActivityEvent::Outcome outcome =
        transcript.complete ? ActivityEvent::Outcome::Completed : ActivityEvent::Outcome::Partial;
    std::function<QCoro::Task<>()> save = [self, id, outcome, text = *cleaned]() -> QCoro::Task<> {
        return self ? self->saveHistory(id, outcome, text) : nothing();
    };
    QCoro::Task<> finishing = m_deps.recorder->finishOperation(std::move(save));
    co_await std::move(finishing);
    if (!self)
        co_return;
    logFinish(transcript.complete);
}

QCoro::Task<std::optional<QString>> DictationCoordinator::cleanUp(QString text, QUuid id, CancellationToken token) {
    QPointer<DictationCoordinator> self(this);
    if (!m_operationCleans || !m_deps.llm) {
        m_measurements.cleanup = DictationMeasurements::Cleanup::Off;
        co_return text;
    }
    if (text.isEmpty())
        co_return text;
    setStage(State::Cleaning);
    const auto startedAt = ContinuousClock::now();
    QCoro::Task<std::optional<TranscriptCleanup::Result>> race = TranscriptCleanup::run(
        TranscriptCleanup::request(text, m_operationContext), *m_deps.llm, TranscriptCleanup::budget(text), token);
    const std::optional<TranscriptCleanup::Result> result = co_await std::move(race);
    if (!self || !m_deps.recorder->isCurrent(id))
        co_return std::nullopt;
    setCleanupSkipped(!result);
    if (!result) {
        Log::dictation().notice("Cleanup skipped: failed, invalid output or timed out");
        m_measurements.cleanup = DictationMeasurements::Cleanup::Skipped;
    } else {
        m_measurements.cleanup = DictationMeasurements::Cleanup::Applied;
    }
    m_measurements.cleanupMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(ContinuousClock::now() - startedAt).count();
    m_measurements.promptTokens = result ? result->promptTokens : std::nullopt;
    m_measurements.completionTokens = result ? result->completionTokens : std::nullopt;
    m_measurements.textModel = ModelManifest::writing().filename;
    co_return result ? result->text : text;
}

QCoro::Task<bool> DictationCoordinator::deliver(QString text, QUuid id, CancellationToken token) {
    QPointer<DictationCoordinator> self(this);
    if (text.isEmpty()) {
        setFailure(Failure::NoSpeech);
        m_measurements.delivery = DictationMeasurements::Delivery::None;
        co_return true;
    }
    setLatestText(text);
    m_runTextDelivered = true;
    setStage(State::Delivering);
    const QPointer<SpeechRecorder> recorder(m_deps.recorder);
    std::function<bool()> isCurrent = [recorder, id] { return recorder && recorder->isCurrent(id); };
    QCoro::Task<bool> pasting = m_deps.delivery->deliver(text, std::move(isCurrent), token);
    const bool pasted = co_await std::move(pasting);
    if (!self || !m_deps.recorder->isCurrent(id))
        co_return false;
    if (!pasted) {
        setFailure(Failure::Delivery);
        m_measurements.delivery = DictationMeasurements::Delivery::Failed;
    } else {
        m_measurements.delivery = DictationMeasurements::Delivery::Pasted;
    }
    co_return true;
}

QCoro::Task<> DictationCoordinator::saveHistory(QUuid id, ActivityEvent::Outcome outcome, std::optional<QString> text) {
    QPointer<DictationCoordinator> self(this);
    if (!m_deps.recorder->takeHistory(id))
        co_return;
    const std::shared_ptr<HistoryStore> store = m_operationHistory;
    if (!store)
        co_return;
    DictationMeasurements copy = m_measurements;
    copy.micInterrupted = m_deps.recorder->interrupted();
    if (text) {
        const QString &language = m_deps.recorder->language();
        copy.characters = countCharacters(*text);
        copy.words = countWords(*text, language.isEmpty() ? std::nullopt : std::optional<QString>(language));
        copy.countVersion = 1;
        if (!copy.delivery)
            copy.delivery = DictationMeasurements::Delivery::None;
    } else {
        copy.delivery = DictationMeasurements::Delivery::None;
    }
    QCoro::Task<> writing = store->save(id, outcome, text, copy);
    bool failed = false;
    try {
        co_await std::move(writing);
    } catch (...) {
        failed = true;
    }
    if (!self)
        co_return;
    if (failed)
        setHistorySaveFailed(true);
    emit historySaved();
}

void DictationCoordinator::logFinish(bool complete) {
    const DictationMeasurements &m = m_measurements;
    Log::dictation().notice(
        "Dictation finished: %{public}s, %ld s audio, %ld chunks, transcribe %ld ms, cleanup %{public}s %ld ms, "
        "delivery %{public}s",
        {complete ? "complete" : "partial", qint64(m_deps.recorder->recordedSeconds()), m.chunks.value_or(0),
         m.transcribeMs.value_or(0), m.cleanup ? enumName(*m.cleanup) : QStringLiteral("none"), m.cleanupMs.value_or(0),
         m.delivery && *m.delivery != DictationMeasurements::Delivery::None ? enumName(*m.delivery)
                                                                            : QStringLiteral("none")});
}

// ---------------------------------------------------------------------------------------------
// Texts.

QString DictationCoordinator::statusText() const {
    if (isStopping())
        return QCoreApplication::translate("Dictation", "Stopping\u2026",
                                           "Dictation status while a run is still being wound down");
    switch (state()) {
    case State::Idle:
        return m_completed ? QCoreApplication::translate("Dictation", "Pasted",
                                                         "Dictation status after a run that produced a transcript")
                           : QCoreApplication::translate("Dictation", "Ready", "Dictation status when no run is going");
    case State::Preparing:
        return QCoreApplication::translate("Dictation", "Preparing\u2026",
                                           "Dictation status while the recording starts");
    case State::Recording:
        return QCoreApplication::translate("Dictation", "Recording", "Dictation status while recording");
    case State::Processing:
        return m_deps.recorder->isModelLoading()
                   ? QCoreApplication::translate("Dictation", "Loading\u2026",
                                                 "Dictation status while the speech model loads after the recording")
                   : QCoreApplication::translate("Dictation", "Transcribing\u2026",
                                                 "Dictation status while the recording is transcribed");
    case State::Cleaning:
        return QCoreApplication::translate("Dictation", "Cleaning up\u2026",
                                           "Dictation status while the transcript is cleaned up");
    case State::Delivering:
        return QCoreApplication::translate("Dictation", "Pasting\u2026", "Dictation status while the text is pasted");
    }
    return {};
}

std::optional<QString> DictationCoordinator::failureText() const {
    if (!m_failure)
        return std::nullopt;
    switch (*m_failure) {
    case Failure::Readiness:
        return QCoreApplication::translate("Dictation", "Finish setup in Settings.",
                                           "Dictation failure when the microphone, keys or model are not ready");
    case Failure::Capture:
        return QCoreApplication::translate("Dictation", "Couldn't record. Check your microphone.",
                                           "Dictation failure when the microphone failed");
    case Failure::EmptyAudio:
        return QCoreApplication::translate("Dictation", "No audio was recorded. Check your microphone.",
                                           "Dictation failure when no audio arrived");
    case Failure::NoSpeech:
        return QCoreApplication::translate("Dictation", "No speech was heard.",
                                           "A dictation finished without any recognized text");
    case Failure::Helper:
        return QCoreApplication::translate("Dictation", "Couldn't transcribe. Try again.",
                                           "Dictation failure when the speech engine failed");
    case Failure::Delivery:
        return QCoreApplication::translate(
            "Dictation", "Couldn't paste. Copy the transcript below.",
            "Dictation page failure when the text couldn't be pasted into the frontmost app");
    }
    return std::nullopt;
}

std::optional<QString> DictationCoordinator::overlayFailureText() const {
    if (m_failure == Failure::Delivery)
        return QCoreApplication::translate("Dictation", "Couldn't paste. The text is on the Dictation page.",
                                           "Overlay after a hotkey dictation couldn't paste into the frontmost app");
    return failureText();
}

std::optional<QString> DictationCoordinator::historyNote() const {
    if (m_libraryStatus && !m_libraryStatus->isReady()) {
        switch (m_libraryStatus->reason().value_or(Library::UnavailableReason::Other)) {
        case Library::UnavailableReason::NewerVersion:
            return QCoreApplication::translate(
                "Dictation", "History can't be opened. Update Velmora to save dictations.",
                "Note on the Dictation page when the history library was created by a newer app version.");
        case Library::UnavailableReason::Damaged:
            return QCoreApplication::translate(
                "Dictation", "History can't be opened because its data is damaged.",
                "Note on the Dictation page when the history library file is corrupted.");
        case Library::UnavailableReason::DiskFull:
            return QCoreApplication::translate(
                "Dictation", "History can't be opened. Free up disk space, then restart Velmora.",
                "Note on the Dictation page when the history library can't open because the disk is full.");
        case Library::UnavailableReason::Other:
            return QCoreApplication::translate(
                "Dictation", "History can't be opened. Restart Velmora to try again.",
                "Note on the Dictation page when the history library can't open for an unknown reason.");
        }
    }
    if (m_historySaveFailed)
        return QCoreApplication::translate(
            "Dictation", "Couldn't save this dictation to History.",
            "Note on the Dictation page when the text was pasted but saving it to history failed.");
    return std::nullopt;
}

QString DictationCoordinator::busyMessage() {
    return QCoreApplication::translate("Dictation", "Voice Compose is recording.",
                                       "Overlay when the dictation shortcut is pressed while Voice Compose records");
}

QString DictationCoordinator::secureInputMessage() {
    return QCoreApplication::translate("Dictation", "Can't dictate while a password field is active.",
                                       "Overlay when the dictation shortcut is pressed during secure typing");
}

} // namespace velmora
