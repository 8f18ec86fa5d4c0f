#pragma once

#include "tools/translate/translatelanguage.h"

#include <QPlainTextEdit>
#include <QWidget>

#include <optional>
#include <utility>

namespace velmora {

class Button;
class CopyButton;
class LanguageMenu;
class OptionPills;
class ResultTextView;
class SendToButton;
class StyledLabel;
class SwapButton;
class ToolHandoff;
class TranslateButton;
class TranslateModelReadiness;
class TranslateSession;
class WorkspacePane;

// The source text of the Translate page: a plain editor in the reading style with its
// placeholder over the top-leading corner. The first time it gains the focus, the focus stays
// only when a click or a key brought it there, so opening the page leaves no caret in it.
class TranslateSourceEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kInset = 16;

    explicit TranslateSourceEditor(QWidget *parent = nullptr);

    StyledLabel *placeholder() const { return m_placeholder; }
    // Until the editor has gained the focus once.
    bool isFirstFocus() const { return m_firstFocus; }

protected:
    bool event(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyStyle();
    void placePlaceholder();

    StyledLabel *m_placeholder;
    bool m_firstFocus = true;
};

// The working area of the Translate page: the source pane and the result pane side by side
// with the swap button between their headers. Every control reads the session and calls one of
// its operations; the panes keep nothing of their own beyond the editor's focus.
class TranslatePanes : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGap = 12;

    TranslatePanes(TranslateSession &session, TranslateModelReadiness &model, ToolHandoff &handoff,
                   QWidget *parent = nullptr);

    // The widths of the source and the result pane for the width offered to both.
    static std::pair<int, int> paneWidths(int width);
    // How far the swap button sits below the top of the panes: 6 or 8.
    int swapOffset() const;

    // The texts the panes show, from the session's state.
    static std::optional<QString> sourceCountLabel(qint64 characters);
    static QString sourceTitle(const TranslateSession &session);
    static std::optional<QString> resultCountLabel(const TranslateSession &session);
    static QString emptyResultText(const TranslateSession &session);
    // The result is there and no run is under way.
    static bool canAct(const TranslateSession &session);

    WorkspacePane *sourcePane() const { return m_sourcePane; }
    WorkspacePane *resultPane() const { return m_resultPane; }
    TranslateSourceEditor *editor() const { return m_editor; }
    LanguageMenu *sourceMenu() const { return m_sourceMenu; }
    LanguageMenu *targetMenu() const { return m_targetMenu; }
    OptionPills *tonePills() const { return m_tones; }
    Button *clearButton() const { return m_clear; }
    TranslateButton *translateButton() const { return m_translate; }
    SwapButton *swapButton() const { return m_swap; }
    ResultTextView *resultView() const { return m_resultView; }
    StyledLabel *emptyResult() const { return m_emptyResult; }
    CopyButton *copyButton() const { return m_copy; }
    SendToButton *sendToButton() const { return m_sendTo; }
    // The source pane's footer notes and count, and the result pane's, as shown.
    QStringList sourceNotes() const { return m_sourceNotes; }
    QStringList resultNotes() const { return m_resultNotes; }
    std::optional<QString> sourceCount() const { return m_sourceCount; }
    std::optional<QString> resultCount() const { return m_resultCount; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void place();
    void refreshText();
    void refreshSource();
    void refreshResult();
    void refreshNotes();
    void retranslate();
    void pickSource(std::optional<TranslateLanguage> language);

    TranslateSession &m_session;
    TranslateSourceEditor *m_editor;
    LanguageMenu *m_sourceMenu;
    LanguageMenu *m_targetMenu;
    OptionPills *m_tones;
    QWidget *m_resultLabel;
    Button *m_clear;
    TranslateButton *m_translate;
    QWidget *m_resultBody;
    ResultTextView *m_resultView;
    StyledLabel *m_emptyResult;
    CopyButton *m_copy;
    SendToButton *m_sendTo;
    WorkspacePane *m_sourcePane;
    WorkspacePane *m_resultPane;
    SwapButton *m_swap;
    QStringList m_sourceNotes;
    QStringList m_resultNotes;
    std::optional<QString> m_sourceCount;
    std::optional<QString> m_resultCount;
};

} // namespace velmora
