#include "tools/translate/translatepanes.h"

#include "dictation/wordcount.h"
#include "tools/translate/languagemenu.h"
#include "tools/translate/swapbutton.h"
#include "tools/translate/translatebutton.h"
#include "tools/translate/translatesession.h"
#include "ui/button.h"
#include "ui/copybutton.h"
#include "ui/environment.h"
#include "ui/optionpills.h"
#include "ui/resulttextview.h"
#include "ui/styledlabel.h"
#include "ui/workspacepane.h"
#include "workspace/selectionsendto.h"
#include "workspace/sendtobutton.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QStackedLayout>

namespace velmora {

namespace {

QString translated(const char *text, const char *comment, int n = -1) {
    return QCoreApplication::translate("Translate", text, comment, n);
}

QString detectTitle() {
    return translated("Detect language", "Source language menu item and label");
}

// The result pane's title: the language menu, then the tone. Short of room the tone gives way
// first (its pills, then its menu's title, down to the menu's symbol); only then does the
// language's name.
class ResultTitle : public QWidget {
public:
    ResultTitle(QWidget *language, QWidget *tone) : m_language(language), m_tone(tone) {
        language->setParent(this);
        tone->setParent(this);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override {
        const QSize language = m_language->sizeHint();
        const QSize tone = m_tone->sizeHint();
        return {language.width() + kSpacing + tone.width(), std::max(language.height(), tone.height())};
    }
    QSize minimumSizeHint() const override {
        const QSize hint = sizeHint();
        return {m_language->minimumSizeHint().width() + kSpacing + m_tone->minimumSizeHint().width(), hint.height()};
    }

protected:
    bool event(QEvent *event) override {
        if (event->type() == QEvent::LayoutRequest) {
            updateGeometry();
            place();
        }
        return QWidget::event(event);
    }
    void resizeEvent(QResizeEvent *event) override {
        QWidget::resizeEvent(event);
        place();
    }

private:
    static constexpr int kSpacing = 12;

    void place() {
        const int languageIdeal = m_language->sizeHint().width();
        const int language =
            std::max(0, std::min(languageIdeal, width() - kSpacing - m_tone->minimumSizeHint().width()));
        const int tone = std::max(0, width() - language - kSpacing);
        const auto put = [this](QWidget *widget, int x, int w) {
            const int h = std::min(height(), widget->sizeHint().height());
            widget->setGeometry(x, (height() - h) / 2, w, h);
        };
        put(m_language, 0, language);
        put(m_tone, language + kSpacing, tone);
    }

    QWidget *m_language;
    QWidget *m_tone;
};

} // namespace

// MARK: - Source editor

TranslateSourceEditor::TranslateSourceEditor(QWidget *parent)
    : QPlainTextEdit(parent), m_placeholder(new StyledLabel(QString(), Typography::Reading, this)) {
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    document()->setDocumentMargin(0);
    setViewportMargins(kInset, kInset, kInset, kInset);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    m_placeholder->setColor(ColorName::TextTertiary);
    m_placeholder->setWordWrap(true);
    m_placeholder->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        const bool empty = document()->isEmpty();
        if (m_placeholder->isHidden() != !empty)
            m_placeholder->setVisible(empty);
    });
    applyStyle();
}

void TranslateSourceEditor::applyStyle() {
    const TextSize size = Environment::textSize(this);
    setFont(fontFor(Typography::Reading, size));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Environment::color(this, ColorName::TextPrimary));
    setPalette(palette);
    placePlaceholder();
}

void TranslateSourceEditor::placePlaceholder() {
    const int width = std::max(0, this->width() - 2 * kInset);
    m_placeholder->setGeometry(kInset, kInset, width, m_placeholder->heightForWidth(width));
}

void TranslateSourceEditor::resizeEvent(QResizeEvent *event) {
    QPlainTextEdit::resizeEvent(event);
    placePlaceholder();
}

bool TranslateSourceEditor::event(QEvent *event) {
    if (Environment::isChange(event))
        applyStyle();
    return QPlainTextEdit::event(event);
}

void TranslateSourceEditor::focusInEvent(QFocusEvent *event) {
    if (m_firstFocus) {
        m_firstFocus = false;
        const Qt::FocusReason reason = event->reason();
        // A click, Tab or a shortcut brought the focus; the window focusing its first editor
        // by itself did not.
        if (reason != Qt::MouseFocusReason && reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason &&
            reason != Qt::ShortcutFocusReason) {
            QPlainTextEdit::focusInEvent(event);
            clearFocus();
            return;
        }
    }
    QPlainTextEdit::focusInEvent(event);
}

// MARK: - Panes

TranslatePanes::TranslatePanes(TranslateSession &session, TranslateModelReadiness &model, ToolHandoff &handoff,
                               QWidget *parent)
    : QWidget(parent), m_session(session) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    // Source pane.
    m_sourceMenu = new LanguageMenu(detectTitle());
    connect(m_sourceMenu, &LanguageMenu::selected, this, &TranslatePanes::pickSource);
    m_editor = new TranslateSourceEditor;
    SelectionSendTo::attach(m_editor, handoff, WorkspaceTool::Translate);
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_editor->toPlainText();
        if (text != m_session.text())
            m_session.setText(text);
    });
    m_clear = new Button(QString(), QStringLiteral("xmark"), PaneButtonStyle{});
    connect(m_clear, &QAbstractButton::clicked, this, [this] { m_session.clear(); });
    m_translate = new TranslateButton(session, model);
    m_sourcePane = new WorkspacePane(m_sourceMenu, m_editor, {m_clear, m_translate}, this);
    m_sourcePane->setSwapEdge(Qt::RightEdge);

    // Result pane.
    m_targetMenu = new LanguageMenu;
    connect(m_targetMenu, &LanguageMenu::selected, this, [this](std::optional<TranslateLanguage> language) {
        m_session.setTarget(language.value_or(m_session.target()));
    });
    QVariantList tones;
    for (TranslateTone tone : allTranslateTones())
        tones.append(static_cast<int>(tone));
    m_tones = new OptionPills(tones, static_cast<int>(session.tone()), [](const QVariant &value) {
        return pillTitle(static_cast<TranslateTone>(value.toInt()));
    });
    connect(m_tones, &OptionPills::selected, this, [this](const QVariant &value) {
        const auto tone = static_cast<TranslateTone>(value.toInt());
        if (tone != m_session.tone())
            m_session.setTone(tone);
    });
    // In a narrow header the tone gives up width before the language's name does: a speech
    // bubble stands for its title, which becomes the tooltip.
    Environment::setCompressesHeaderOptions(m_tones, true);
    m_tones->fallbackMenu()->setCompactSymbol(QStringLiteral("text.bubble"));
    m_resultLabel = new ResultTitle(m_targetMenu, m_tones);

    m_resultBody = new QWidget;
    auto *stack = new QStackedLayout(m_resultBody);
    m_resultView = new ResultTextView;
    m_resultView->setInset(QSizeF(16, 16));
    m_resultView->setCentered(false);
    m_resultView->setBulletSpacing(8);
    m_resultView->setSendTo(SelectionSendTo::menuProvider(handoff, WorkspaceTool::Translate));
    connect(m_resultView, &ResultTextView::edited, this, [this](const QString &text) { m_session.editResult(text); });
    auto *empty = new QWidget;
    auto *emptyLayout = new QVBoxLayout(empty);
    emptyLayout->setContentsMargins(16, 16, 16, 16);
    m_emptyResult = new StyledLabel(QString(), Typography::Reading);
    m_emptyResult->setColor(ColorName::TextTertiary);
    m_emptyResult->setWordWrap(true);
    emptyLayout->addWidget(m_emptyResult);
    emptyLayout->addStretch(1);
    stack->addWidget(m_resultView);
    stack->addWidget(empty);
    m_copy = new CopyButton(true);
    m_copy->setButtonStyle(PaneButtonStyle{});
    m_sendTo = new SendToButton(handoff);
    m_resultPane = new WorkspacePane(m_resultLabel, m_resultBody, {m_copy, m_sendTo}, this);
    m_resultPane->setSwapEdge(Qt::LeftEdge);

    m_swap = new SwapButton(QStringLiteral("arrow.left.arrow.right"), this);
    connect(m_swap, &QAbstractButton::clicked, this, [this] { m_session.swap(); });
    m_swap->raise();

    for (auto signal :
         {&TranslateSession::chosenSourceChanged, &TranslateSession::detectedChanged, &TranslateSession::targetChanged})
        connect(&session, signal, this, &TranslatePanes::refreshSource);
    connect(&session, &TranslateSession::textChanged, this, &TranslatePanes::refreshText);
    connect(&session, &TranslateSession::toneChanged, this,
            [this] { m_tones->setSelection(static_cast<int>(m_session.tone())); });
    for (auto signal : {&TranslateSession::resultChanged, &TranslateSession::runningChanged,
                        &TranslateSession::editedChanged, &TranslateSession::failedChanged})
        connect(&session, signal, this, &TranslatePanes::refreshResult);
    connect(&session, &TranslateSession::saveNoteChanged, this, &TranslatePanes::refreshNotes);

    retranslate();
}

std::pair<int, int> TranslatePanes::paneWidths(int width) {
    const int source = std::max(0, (width - kGap) / 2);
    return {source, std::max(0, width - source - kGap)};
}

int TranslatePanes::swapOffset() const {
    const TextSize size = Environment::textSize(this);
    return int((scaled(size, 36, 4) - scaled(size, 24, 4)) / 2);
}

std::optional<QString> TranslatePanes::sourceCountLabel(qint64 characters) {
    if (characters == 0)
        return std::nullopt;
    if (characters < 4500)
        return translated("%n characters", "Character count of the source", static_cast<int>(characters));
    return translated("%1 / %2 characters",
                      "Source character count near or over the limit; Translate is disabled over it")
        .arg(characters)
        .arg(TranslateSession::kMaxCharacters);
}

QString TranslatePanes::sourceTitle(const TranslateSession &session) {
    if (session.chosenSource())
        return interfaceName(session.resolvedSource());
    if (const std::optional<TranslateLanguage> detected = session.detected())
        return translated("%1 (detected)", "Source language menu label: the language detected from the text")
            .arg(interfaceName(*detected));
    return detectTitle();
}

bool TranslatePanes::canAct(const TranslateSession &session) {
    return !session.result().isEmpty() && !session.isRunning();
}

std::optional<QString> TranslatePanes::resultCountLabel(const TranslateSession &session) {
    if (session.isRunning())
        return translated("Translating…", "Result pane note while translating");
    if (!canAct(session))
        return std::nullopt;
    const QString code = session.target() == TranslateLanguage::English ? QStringLiteral("en") : QStringLiteral("ja");
    return translated("%n words", "Result pane word count", static_cast<int>(countWords(session.result(), code)));
}

QString TranslatePanes::emptyResultText(const TranslateSession &session) {
    if (session.isFailed())
        return translated("The translation didn't finish. Try again.",
                          "Result pane after a translation failed with no text");
    return translated("The translation appears here.", "Empty result pane");
}

void TranslatePanes::pickSource(std::optional<TranslateLanguage> language) {
    if (language && *language == m_session.target()) {
        m_session.swap();
        return;
    }
    m_session.setChosenSource(language);
}

void TranslatePanes::refreshSource() {
    m_sourceMenu->setTitle(sourceTitle(m_session));
    m_sourceMenu->setSelection(m_session.chosenSource());
    m_sourceMenu->setDetectTitle(detectTitle());
    m_targetMenu->setTitle(interfaceName(m_session.target()));
    m_targetMenu->setSelection(m_session.target());
    m_sourcePane->update();
    m_resultPane->update();
    // The result's word count depends on the target.
    refreshResult();
}

void TranslatePanes::refreshText() {
    const QString &text = m_session.text();
    if (m_editor->toPlainText() != text)
        m_editor->setPlainText(text);
    const std::optional<QString> count = sourceCountLabel(m_session.textCharacters());
    if (count != m_sourceCount) {
        m_sourceCount = count;
        m_sourcePane->setCount(count);
    }
    m_clear->setEnabled(!m_session.isRunning() && !(text.isEmpty() && m_session.result().isEmpty()));
}

void TranslatePanes::refreshResult() {
    const bool running = m_session.isRunning();
    const bool act = canAct(m_session);
    const bool showsView = running || !m_session.result().isEmpty();
    auto *stack = static_cast<QStackedLayout *>(m_resultBody->layout());
    if (showsView) {
        m_resultView->setResult(m_session.result(), running);
        stack->setCurrentIndex(0);
    } else {
        m_resultView->setResult(QString(), false);
        m_emptyResult->setText(emptyResultText(m_session));
        stack->setCurrentIndex(1);
    }
    const std::optional<QString> count = resultCountLabel(m_session);
    if (count != m_resultCount) {
        m_resultCount = count;
        m_resultPane->setCount(count);
    }
    QStringList notes;
    if (act && m_session.isEdited())
        notes.append(translated("Edited", "Result pane note after the user edits the translation"));
    if (notes != m_resultNotes) {
        m_resultNotes = notes;
        m_resultPane->setNotes(notes);
    }
    m_copy->setCopyText(act ? std::optional(m_session.result()) : std::nullopt);
    if (act) {
        SendableText content;
        content.text = m_session.result();
        content.original = m_session.text();
        content.fileName = translated("Translation", "History entry section with the translated text");
        content.from = WorkspaceTool::Translate;
        content.allowsNewNote = true;
        content.allowsFiles = true;
        m_sendTo->setContent(content);
    } else {
        m_sendTo->setContent(std::nullopt);
    }
    m_swap->setEnabled(!running);
    m_clear->setEnabled(!running && !(m_session.text().isEmpty() && m_session.result().isEmpty()));
    m_editor->setReadOnly(false);
}

void TranslatePanes::refreshNotes() {
    QStringList notes;
    if (const std::optional<QString> note = m_session.saveNote())
        notes.append(*note);
    if (notes != m_sourceNotes) {
        m_sourceNotes = notes;
        m_sourcePane->setNotes(notes);
    }
}

void TranslatePanes::retranslate() {
    m_editor->placeholder()->setText(translated("Paste or type Japanese or English text.", "Empty source pane"));
    m_sourceMenu->setAccessibleName(translated("Source language", "VoiceOver label"));
    m_targetMenu->setAccessibleName(translated("Translation language", "VoiceOver label"));
    m_tones->setAccessibleName(translated("Tone", "Label before the tone pills on the Translate page"));
    m_clear->setText(translated("Clear", "Clears the source pane"));
    m_clear->setToolTip(translated("Clear", "Clears the source pane"));
    const QString swap = translated("Swap languages", "Button between the panes");
    m_swap->setToolTip(swap);
    m_swap->setAccessibleName(swap);
    // The pills re-read their titles.
    QVariantList tones;
    for (TranslateTone tone : allTranslateTones())
        tones.append(static_cast<int>(tone));
    m_tones->setOptions(tones);
    m_tones->setSelection(static_cast<int>(m_session.tone()));
    m_sourceCount.reset();
    m_resultCount.reset();
    m_sourceNotes.clear();
    m_resultNotes.clear();
    refreshSource();
    refreshText();
    refreshNotes();
    m_sourcePane->setCount(m_sourceCount);
    m_resultPane->setCount(m_resultCount);
    m_sourcePane->setNotes(m_sourceNotes);
    m_resultPane->setNotes(m_resultNotes);
}

void TranslatePanes::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

bool TranslatePanes::event(QEvent *event) {
    const bool result = QWidget::event(event);
    if (Environment::isChange(event))
        place();
    return result;
}

void TranslatePanes::place() {
    // The panes' frames sit inside their focus-ring bands; the numbers are the frames'.
    const int band = WorkspacePane::kRingBand;
    const QRect inner = rect().adjusted(band, band, -band, -band);
    const auto [source, result] = paneWidths(inner.width());
    const QRect sourceFrame(inner.left(), inner.top(), source, inner.height());
    const QRect resultFrame(inner.left() + source + kGap, inner.top(), result, inner.height());
    m_sourcePane->setGeometry(sourceFrame.adjusted(-band, -band, band, band));
    m_resultPane->setGeometry(resultFrame.adjusted(-band, -band, band, band));
    const int side = m_swap->sizeHint().width();
    m_swap->setGeometry(inner.left() + (inner.width() - side) / 2, inner.top() + swapOffset(), side, side);
}

void TranslatePanes::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    place();
}

QSize TranslatePanes::sizeHint() const {
    const QSize source = m_sourcePane->sizeHint();
    const QSize result = m_resultPane->sizeHint();
    return {source.width() + result.width() + kGap, std::max({source.height(), result.height(), 360})};
}

QSize TranslatePanes::minimumSizeHint() const {
    const QSize source = m_sourcePane->minimumSizeHint();
    const QSize result = m_resultPane->minimumSizeHint();
    return {2 * std::max(source.width(), result.width()) + kGap, std::max(source.height(), result.height())};
}

} // namespace velmora
