#pragma once

#include "library/draftstore.h"
#include "library/historywritequeue.h"
#include "library/texttaskhistory.h"
#include "llm/chatwire.h"
#include "tools/translate/translatedraft.h"
#include "tools/translate/translatelanguage.h"
#include "tools/translate/translatetone.h"
#include "workspace/translatehandofftarget.h"

#include "core/cancellationtoken.h"
#include "core/promise.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class Defaults;
class Library;
class TextGenerating;

// The state and engine of the Translate page: the source text, the language pair and tone, the
// result, and one translation at a time on the local writing model, streamed into the result.
// Every run that produced text is recorded in History; the page is kept as a draft between
// launches once the Library is attached. One instance lives for the whole run of the program.
// Main thread only.
class TranslateSession : public QObject, public TranslateHandoffTarget {
    Q_OBJECT
public:
    // The most characters a run takes.
    static constexpr qint64 kMaxCharacters = 5000;
    static constexpr std::chrono::milliseconds kEditDelay{1000};

    struct Dependencies {
        TextGenerating *llm = nullptr;
        // The writing model's file name as its manifest names it, recorded with every run.
        std::function<QString()> textModelName;
        // The launch's preview state ("translatePreviewState"); none when the key is absent.
        std::optional<QString> previewState;
        // A run's time budget, counted from the moment the server takes the request (a cold
        // model's load does not eat into it).
        std::function<std::chrono::nanoseconds(const LLMChatRequest &)> budget;
        // How long an edit of the result waits for the next before it is written to History.
        std::chrono::milliseconds editDelay = kEditDelay;
    };

    // Takes the initial values and, at once, the preview state's sample texts.
    explicit TranslateSession(Dependencies dependencies, QObject *parent = nullptr);
    ~TranslateSession() override;

    // The value of "translatePreviewState" when the key is set (also from the launch
    // arguments); none when it is absent.
    static std::optional<QString> readPreviewState(const Defaults &defaults);

    // The sample texts of the preview states.
    static QString sampleJapaneseMail();
    static QString sampleEnglishMail();

    std::optional<TranslateLanguage> chosenSource() const { return m_chosenSource; }
    std::optional<TranslateLanguage> detected() const { return m_detected; }
    TranslateLanguage target() const { return m_target; }
    TranslateTone tone() const { return m_tone; }
    const QString &text() const { return m_text; }
    const QString &result() const { return m_result; }
    std::optional<TranslateTone> resultTone() const { return m_resultTone; }
    bool isEdited() const { return m_edited; }
    bool isFailed() const { return m_failed; }
    // A run is under way, until its History record has been written.
    bool isRunning() const { return m_running; }
    std::optional<QUuid> taskId() const { return m_taskId; }
    HistoryWriteQueue *history() const { return m_history; }
    DraftStore<TranslateDraft> *drafts() const { return m_drafts; }
    bool isHistoryUnavailable() const { return m_historyUnavailable; }
    bool isVisible() const { return m_visible; }
    bool isHolding() const { return m_holding; }
    // Whether a run task exists (the preview's running state has none).
    bool hasRun() const { return m_run.has_value(); }
    const std::optional<QString> &previewState() const { return m_previewState; }

    // The number of user-perceived characters of the text.
    qint64 textCharacters() const { return m_textCharacters; }
    // No run under way, and a text of 1 to 5000 characters (white space counts).
    bool canTranslate() const;
    // The chosen source, else the detected one, else the other language of the target.
    TranslateLanguage resolvedSource() const;
    // Why texts or runs are not being saved, when they are not.
    std::optional<QString> saveNote() const;

    // None: detect the source from the text.
    void setChosenSource(std::optional<TranslateLanguage> source);
    // Swaps instead when a chosen source equals the new target.
    void setTarget(TranslateLanguage target);
    void setTone(TranslateTone tone);
    // A different text forgets the History task and is detected again.
    void setText(const QString &text);
    // The translation becomes the source and the languages change places. Nothing during a run.
    void swap();
    // Empties the text and the result. Nothing during a run.
    void clear();
    // Starts a run of the text, unless canTranslate is false.
    void start();
    // Stops the running translation; it ends, and is recorded, as stopped.
    void stop();
    // The user's edit of the shown result; written to History one edit delay after the last
    // edit. Nothing during a run.
    void editResult(const QString &text);
    // The page is on screen; leaving it writes a pending result edit at once.
    void setVisible(bool visible);

    // Hands the session its Library once opened, whatever its status: restores the stored draft
    // into an empty page, then keeps the draft and records runs. Nothing in a preview state.
    QCoro::Task<> attach(std::shared_ptr<Library> library);
    // Text from another tool: stops a running translation (recording what it made), flushes
    // pending History edits, returns to automatic detection, shows the text with an empty result
    // and, when asked and possible, translates it.
    QCoro::Task<> receive(QString text, bool start) override;
    // The quit step: a translation still running is stopped and recorded, the draft and every
    // pending History write are written.
    QCoro::Task<> flush();

    TranslateDraft makeDraft() const;
    void restore(const TranslateDraft &draft);
    // Clears the task id when it still names a run that has gone from History.
    void forgetMissingTask(const QUuid &taskId);

signals:
    void chosenSourceChanged();
    void detectedChanged();
    void targetChanged();
    void toneChanged();
    void textChanged();
    void resultChanged();
    void resultToneChanged();
    void editedChanged();
    void failedChanged();
    void runningChanged();
    void taskIdChanged();
    void historyUnavailableChanged();
    void visibleChanged();
    // The draft store or the History queue arrived, or one of their save flags changed.
    void saveNoteChanged();
    // A History write of this tool succeeded: History lists reload.
    void historyChanged();

private:
    struct RunInput {
        QString text;
        qint64 characters = 0;
        TranslateLanguage source = TranslateLanguage::Japanese;
        TranslateLanguage target = TranslateLanguage::English;
        TranslateTone tone = TranslateTone::Natural;
        std::optional<QUuid> taskId;
        bool detected = true;
        bool guarded = false;
    };
    struct ActiveRun {
        quint64 id = 0;
        CancellationSource cancel;
        Promise<void> ended;
    };

    static QCoro::Task<> translate(QPointer<TranslateSession> self, quint64 id, RunInput input, CancellationToken token,
                                   Promise<void> ended);
    // Stops the running translation and waits until it has ended; false when the session went
    // away meanwhile.
    QCoro::Task<bool> endRun();
    void finishRun(quint64 id);
    void applyPreviewState();
    void updateDetection();
    void resetResultFlags();
    void syncHolding();
    void saveDraft();
    void trackDraftChanges();
    void draftFieldChanged();

    void setDetected(std::optional<TranslateLanguage> detected);
    void setTargetValue(TranslateLanguage target);
    void setResult(const QString &result);
    void setResultTone(std::optional<TranslateTone> tone);
    void setEdited(bool edited);
    void setFailed(bool failed);
    void setRunning(bool running);
    void setTaskId(std::optional<QUuid> taskId);

    TextGenerating *m_llm;
    std::function<QString()> m_textModelName;
    std::optional<QString> m_previewState;
    std::function<std::chrono::nanoseconds(const LLMChatRequest &)> m_budget;
    std::chrono::milliseconds m_editDelay;

    std::optional<TranslateLanguage> m_chosenSource;
    std::optional<TranslateLanguage> m_detected;
    TranslateLanguage m_target = TranslateLanguage::English;
    TranslateTone m_tone = TranslateTone::Natural;
    QString m_text;
    qint64 m_textCharacters = 0;
    QString m_result;
    std::optional<TranslateTone> m_resultTone;
    bool m_edited = false;
    bool m_failed = false;
    bool m_running = false;
    std::optional<QUuid> m_taskId;
    QPointer<HistoryWriteQueue> m_history;
    std::optional<TextTaskHistory> m_store;
    bool m_historyUnavailable = false;
    bool m_visible = false;
    std::optional<ActiveRun> m_run;
    quint64 m_runs = 0;
    bool m_holding = false;
    QPointer<DraftStore<TranslateDraft>> m_drafts;
    bool m_attached = false;
    bool m_draftSavePending = false;
};

} // namespace velmora
