#include "tools/translate/translatesession.h"

#include "core/defaults.h"
#include "core/log.h"
#include "dictation/wordcount.h"
#include "library/library.h"
#include "llm/llmruntime.h"
#include "llm/streamedreply.h"
#include "tools/translate/translatemeasurements.h"
#include "tools/translate/translateprompt.h"
#include "tools/translate/translatesettings.h"

#include <QCoreApplication>

namespace velmora {

namespace {

const QString kTool = QStringLiteral("translate");

ActivityEvent::Outcome outcomeOf(const StreamedReply::End &end) {
    switch (end.kind) {
    case StreamedReply::End::Kind::Finished: return ActivityEvent::Outcome::Completed;
    case StreamedReply::End::Kind::Failed: return ActivityEvent::Outcome::Failed;
    case StreamedReply::End::Kind::Truncated:
    case StreamedReply::End::Kind::Stopped:
    case StreamedReply::End::Kind::TimedOut: break;
    }
    return ActivityEvent::Outcome::Partial;
}

qint64 wholeMilliseconds(std::chrono::nanoseconds duration) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

} // namespace

TranslateSession::TranslateSession(Dependencies dependencies, QObject *parent)
    : QObject(parent), m_llm(dependencies.llm), m_textModelName(std::move(dependencies.textModelName)),
      m_previewState(std::move(dependencies.previewState)), m_budget(std::move(dependencies.budget)),
      m_editDelay(dependencies.editDelay) {
    Q_ASSERT(m_llm);
    if (!m_budget)
        m_budget = &StreamedReply::budgetFor;
    applyPreviewState();
}

TranslateSession::~TranslateSession() {
    if (m_run)
        m_run->cancel.cancel();
    if (m_holding)
        m_llm->release();
}

std::optional<QString> TranslateSession::readPreviewState(const Defaults &defaults) {
    if (!defaults.contains(kTranslatePreviewState.name))
        return std::nullopt;
    return defaults.get(kTranslatePreviewState);
}

QString TranslateSession::sampleJapaneseMail() {
    return QStringLiteral("田中様\n\nお世話になっております。本日午前にご相談しました第3四半期の数値について、ご連絡い"
                          "たします。\n\n大阪工場は、主に第2ラインの設備更新の影響で、予測を約4%下回る見込みです。最終"
                          "的な数値が揃い次第ご報告したく、レビューを木曜日に変更させていただけますでしょうか。\n\nご検"
                          "討のほど、よろしくお願いいたします。");
}

QString TranslateSession::sampleEnglishMail() {
    return QStringLiteral(
        "Dear Tanaka-san,\n\nThank you for your continued support. I am following up on the Q3 figures we discussed "
        "this morning.\n\nThe Osaka plant is expected to come in about 4% under forecast, mainly due to the retooling "
        "of line two. I would like to move the review to Thursday so that we can share the final figures once they "
        "are in.\n\nI would be grateful for your consideration.");
}

bool TranslateSession::canTranslate() const {
    return !m_running && !m_text.isEmpty() && m_textCharacters <= kMaxCharacters;
}

TranslateLanguage TranslateSession::resolvedSource() const {
    if (m_chosenSource)
        return *m_chosenSource;
    if (m_detected)
        return *m_detected;
    return otherLanguage(m_target);
}

std::optional<QString> TranslateSession::saveNote() const {
    if (m_historyUnavailable)
        return QCoreApplication::translate("Translate", "History can't be opened, so translations aren't saved.",
                                           "Note on the Translate page when the library can't open");
    if (m_drafts && m_drafts->saveFailed())
        return QCoreApplication::translate("Translate", "Couldn't save your text. Keep Velmora open so it isn't lost.",
                                           "Note on the Translate page when saving its text failed");
    if (m_history && m_history->saveFailed())
        return QCoreApplication::translate("Translate", "Couldn't save this translation to History.",
                                           "Note on the Translate page when saving to History failed");
    return std::nullopt;
}

// MARK: - Fields

void TranslateSession::setChosenSource(std::optional<TranslateLanguage> source) {
    if (m_chosenSource != source) {
        m_chosenSource = source;
        emit chosenSourceChanged();
    }
    updateDetection();
}

void TranslateSession::setTarget(TranslateLanguage target) {
    if (m_chosenSource && resolvedSource() == target) {
        swap();
        return;
    }
    setTargetValue(target);
    updateDetection();
}

void TranslateSession::setTone(TranslateTone tone) {
    if (m_tone == tone)
        return;
    m_tone = tone;
    emit toneChanged();
}

void TranslateSession::setText(const QString &text) {
    if (m_text == text)
        return;
    m_text = text;
    m_textCharacters = countCharacters(text);
    emit textChanged();
    setTaskId(std::nullopt);
    updateDetection();
}

void TranslateSession::setVisible(bool visible) {
    if (m_visible != visible) {
        m_visible = visible;
        emit visibleChanged();
    }
    if (!visible && m_history)
        m_history->flush();
}

void TranslateSession::setDetected(std::optional<TranslateLanguage> detected) {
    if (m_detected == detected)
        return;
    m_detected = detected;
    emit detectedChanged();
}

void TranslateSession::setTargetValue(TranslateLanguage target) {
    if (m_target == target)
        return;
    m_target = target;
    emit targetChanged();
}

void TranslateSession::setResult(const QString &result) {
    if (m_result == result)
        return;
    m_result = result;
    emit resultChanged();
}

void TranslateSession::setResultTone(std::optional<TranslateTone> tone) {
    if (m_resultTone == tone)
        return;
    m_resultTone = tone;
    emit resultToneChanged();
}

void TranslateSession::setEdited(bool edited) {
    if (m_edited == edited)
        return;
    m_edited = edited;
    emit editedChanged();
}

void TranslateSession::setFailed(bool failed) {
    if (m_failed == failed)
        return;
    m_failed = failed;
    emit failedChanged();
}

void TranslateSession::setRunning(bool running) {
    if (m_running == running)
        return;
    m_running = running;
    emit runningChanged();
}

void TranslateSession::setTaskId(std::optional<QUuid> taskId) {
    if (m_taskId == taskId)
        return;
    m_taskId = taskId;
    emit taskIdChanged();
}

void TranslateSession::updateDetection() {
    if (!m_chosenSource && !m_text.isEmpty()) {
        const TranslateLanguage found = detectLanguage(m_text, m_target);
        setDetected(found);
        if (found == m_target)
            setTargetValue(otherLanguage(found));
    } else {
        setDetected(std::nullopt);
    }
}

void TranslateSession::resetResultFlags() {
    setResultTone(std::nullopt);
    setEdited(false);
    setFailed(false);
}

void TranslateSession::syncHolding() {
    if (m_holding == m_running)
        return;
    m_holding = m_running;
    if (m_holding)
        m_llm->hold();
    else
        m_llm->release();
}

// MARK: - Operations

void TranslateSession::swap() {
    if (m_running)
        return;
    const TranslateLanguage source = resolvedSource();
    const QString oldText = m_text;
    const QString oldResult = m_result;
    setChosenSource(m_target);
    setTargetValue(source);
    // Without a translation there is nothing to bring over: the text stays the source, and the
    // result pane stays empty rather than showing the old source as a translation.
    if (!oldResult.isEmpty()) {
        setText(oldResult);
        setResult(oldText);
    }
    resetResultFlags();
}

void TranslateSession::clear() {
    if (m_running)
        return;
    setText(QString());
    setResult(QString());
    resetResultFlags();
}

void TranslateSession::start() {
    if (!canTranslate())
        return;
    RunInput input;
    input.text = m_text;
    input.characters = m_textCharacters;
    input.source = resolvedSource();
    input.target = m_target;
    input.tone = m_tone;
    input.taskId = m_taskId;
    input.detected = !m_chosenSource.has_value();
    input.guarded = TranslatePrompt::needsGuard(m_text);

    if (m_history)
        m_history->flush();
    setResult(QString());
    resetResultFlags();
    setResultTone(input.tone);
    setRunning(true);
    syncHolding();
    Log::translate().notice("Translate started: %ld chars, %{public}s → %{public}s, tone %{public}s",
                            {input.characters, toString(input.source), toString(input.target), toString(input.tone)});

    const quint64 id = ++m_runs;
    m_run.emplace(ActiveRun{id, CancellationSource(), Promise<void>()});
    translate(QPointer<TranslateSession>(this), id, std::move(input), m_run->cancel.token(), m_run->ended);
}

void TranslateSession::stop() {
    if (m_run)
        m_run->cancel.cancel();
}

QCoro::Task<> TranslateSession::translate(QPointer<TranslateSession> self, quint64 id, RunInput input,
                                          CancellationToken token, Promise<void> ended) {
    LLMChatRequest request;
    request.messages = {
        LLMMessage{QStringLiteral("user"), TranslatePrompt::build(input.tone, input.text, input.source, input.target)}};
    request.temperature = 0.0;
    request.maxTokens = input.characters + 256;
    request.stream = true;
    const std::chrono::nanoseconds budget = self->m_budget(request);
    TextGenerating &llm = *self->m_llm;
    const bool guarded = input.guarded;
    auto progress = [self, guarded](const QString &text) {
        if (self)
            self->setResult(guarded ? TranslatePrompt::unguard(text) : text);
    };
    auto running = StreamedReply::run(std::move(request), llm, budget, std::move(progress), token);
    StreamedReply::Result reply = co_await std::move(running);
    if (guarded)
        reply.text = TranslatePrompt::unguard(reply.text);
    if (!self) {
        ended.resolve();
        co_return;
    }

    self->setResult(reply.text);
    self->setFailed(reply.text.isEmpty() && reply.end.kind != StreamedReply::End::Kind::Stopped);
    if (reply.text.isEmpty())
        self->setResultTone(std::nullopt);

    if (!reply.text.isEmpty() && self->m_history && self->m_store) {
        TranslateMeasurements measurements;
        measurements.sourceLanguage = toString(input.source);
        measurements.targetLanguage = toString(input.target);
        measurements.detected = input.detected;
        measurements.tone = input.tone;
        measurements.sourceCharacters = input.characters;
        measurements.resultCharacters = countCharacters(reply.text);
        measurements.resultWords = countWords(reply.text, toString(input.target));
        measurements.countVersion = 1;
        measurements.promptTokens = reply.promptTokens;
        measurements.completionTokens = reply.completionTokens;
        measurements.translateMs = wholeMilliseconds(reply.duration);
        if (reply.firstText)
            measurements.firstTextMs = wholeMilliseconds(*reply.firstText);
        measurements.textModel = self->m_textModelName ? self->m_textModelName() : QString();

        TextTaskHistory::Run run;
        run.input = input.text;
        run.inputLanguage = toString(input.source);
        run.output = reply.text;
        run.outputLanguage = toString(input.target);
        run.outcome = outcomeOf(reply.end);
        run.measurements = measurements.toJson();
        run.measurementsVersion = TranslateMeasurements::kVersion;

        HistoryWriteQueue *history = self->m_history;
        history->flush();
        auto recording = history->record([store = *self->m_store, run, taskId = input.taskId]() {
            return TextTaskHistory::logFailures(QStringLiteral("save"), store.tool(), store.record(run, taskId));
        });
        const std::optional<QUuid> recorded = co_await recording;
        if (!self) {
            ended.resolve();
            co_return;
        }
        // An id that arrives after the user changed the text belongs to another text.
        if (recorded && self->m_text == input.text)
            self->setTaskId(*recorded);
    }

    self->finishRun(id);
    reply.log(QStringLiteral("Translate"), Log::translate());
    ended.resolve();
}

void TranslateSession::finishRun(quint64 id) {
    setRunning(false);
    if (m_run && m_run->id == id)
        m_run.reset();
    syncHolding();
}

QCoro::Task<bool> TranslateSession::endRun() {
    QPointer<TranslateSession> self(this);
    while (m_running) {
        if (!m_run) {
            // The preview's running state has no run to wait for: it counts as ended.
            setRunning(false);
            syncHolding();
            break;
        }
        m_run->cancel.cancel();
        Promise<void> ended = m_run->ended;
        co_await ended;
        if (!self)
            co_return false;
    }
    co_return true;
}

void TranslateSession::editResult(const QString &text) {
    if (m_running || text == m_result)
        return;
    setResult(text);
    setEdited(true);
    if (m_taskId && m_history)
        m_history->scheduleEdit(*m_taskId, text);
}

void TranslateSession::forgetMissingTask(const QUuid &taskId) {
    if (m_taskId == taskId)
        setTaskId(std::nullopt);
}

// MARK: - Lifecycle

QCoro::Task<> TranslateSession::attach(std::shared_ptr<Library> library) {
    if (m_previewState || m_attached)
        co_return;
    m_attached = true;
    if (!library || !library->status().isReady()) {
        m_historyUnavailable = true;
        emit historyUnavailableChanged();
        emit saveNoteChanged();
        co_return;
    }

    QPointer<TranslateSession> self(this);
    auto *drafts = new DraftStore<TranslateDraft>(library, kTool, this);
    auto loading = drafts->load();
    const std::optional<TranslateDraft> draft = co_await std::move(loading);
    if (!self)
        co_return;
    // Text received or typed before the Library opened wins over the stored draft.
    if (draft && m_text.isEmpty() && m_result.isEmpty() && !m_running)
        restore(*draft);
    m_drafts = drafts;
    connect(drafts, &DraftStoreBase::saveFailedChanged, this, &TranslateSession::saveNoteChanged);
    trackDraftChanges();

    m_store.emplace(library, kTool);
    const TextTaskHistory store = *m_store;
    auto *history = new HistoryWriteQueue(
        [store](QUuid taskId, QString text) {
            return TextTaskHistory::logFailures(QStringLiteral("edit"), store.tool(),
                                                store.updateOutput(taskId, std::move(text)));
        },
        m_editDelay, this);
    connect(history, &HistoryWriteQueue::changed, this, &TranslateSession::historyChanged);
    connect(history, &HistoryWriteQueue::missing, this, &TranslateSession::forgetMissingTask);
    connect(history, &HistoryWriteQueue::saveFailedChanged, this, &TranslateSession::saveNoteChanged);
    m_history = history;
    emit saveNoteChanged();
}

TranslateDraft TranslateSession::makeDraft() const {
    TranslateDraft draft;
    draft.source = m_text;
    draft.sourceMode = TranslateDraft::sourceModeFor(m_chosenSource);
    draft.target = m_target;
    draft.tone = m_tone;
    draft.result = m_result;
    draft.taskId = m_taskId;
    return draft;
}

void TranslateSession::restore(const TranslateDraft &draft) {
    setChosenSource(draft.chosenSource());
    setText(draft.source);
    setTargetValue(draft.target);
    setTone(draft.tone);
    setResult(draft.result);
    setTaskId(draft.taskId);
    resetResultFlags();
}

void TranslateSession::saveDraft() {
    if (!m_drafts)
        return;
    if (m_text.isEmpty() && m_result.isEmpty())
        m_drafts->clear();
    else
        m_drafts->schedule(makeDraft());
}

void TranslateSession::trackDraftChanges() {
    for (auto signal :
         {&TranslateSession::textChanged, &TranslateSession::chosenSourceChanged, &TranslateSession::targetChanged,
          &TranslateSession::toneChanged, &TranslateSession::resultChanged, &TranslateSession::taskIdChanged})
        connect(this, signal, this, &TranslateSession::draftFieldChanged);
}

void TranslateSession::draftFieldChanged() {
    // One save for every burst of changes, with the state at its end.
    if (m_draftSavePending)
        return;
    m_draftSavePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_draftSavePending = false;
            saveDraft();
        },
        Qt::QueuedConnection);
}

QCoro::Task<> TranslateSession::receive(QString text, bool start) {
    QPointer<TranslateSession> self(this);
    auto ending = endRun();
    if (!co_await std::move(ending) || !self)
        co_return;
    if (m_history)
        m_history->flush();
    if (m_chosenSource)
        setChosenSource(std::nullopt);
    else
        updateDetection();
    setText(text);
    setResult(QString());
    resetResultFlags();
    if (start)
        this->start();
}

QCoro::Task<> TranslateSession::flush() {
    QPointer<TranslateSession> self(this);
    // A translation still streaming is stopped and recorded now, while the server still runs.
    auto ending = endRun();
    if (!co_await std::move(ending) || !self)
        co_return;
    saveDraft();
    if (m_drafts) {
        auto flushing = m_drafts->flush();
        co_await std::move(flushing);
        if (!self)
            co_return;
    }
    if (m_history) {
        auto writing = m_history->flushAndWait();
        co_await std::move(writing);
    }
}

void TranslateSession::applyPreviewState() {
    if (!m_previewState)
        return;
    const QString &state = *m_previewState;
    const QString japanese = sampleJapaneseMail();
    const QString english = sampleEnglishMail();
    if (state == u"typing" || state == u"missing") {
        setText(japanese);
    } else if (state == u"running") {
        setText(japanese);
        setResult(english.left(english.indexOf(QStringLiteral(" come in"))));
        setResultTone(m_tone);
        // A running look without a run: the model is not held.
        setRunning(true);
    } else if (state == u"done" || state == u"edited") {
        setText(japanese);
        setResult(english);
        setResultTone(m_tone);
        setEdited(state == u"edited");
    } else if (state == u"failed") {
        setText(japanese);
        setFailed(true);
    } else if (state == u"over") {
        QString over;
        for (int i = 0; i < 33; ++i)
            over += japanese + QStringLiteral("\n\n");
        setText(over);
    }
}

} // namespace velmora
