#pragma once

#include "workspace/workspacetool.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QMenu;

namespace velmora {

class AppNavigation;
class Clipboard;
class HandoffPrompts;
class ProofreadHandoffTarget;
class SummarizeHandoffTarget;
class TextModelReadiness;
class TranslateHandoffTarget;
class UrlOpener;
class WorkspaceNotes;

// Moves text out of the place it was made: into Translate, Summarize or Proofread, into a new
// note, into a plain-text file, or out through the share menu (copy, e-mail). The one way text
// reaches the three writing tools from elsewhere. Main thread only.
class ToolHandoff : public QObject {
    Q_OBJECT
public:
    // The sessions that receive text; one not built yet is null and its page opens empty.
    struct Targets {
        TranslateHandoffTarget *translate = nullptr;
        SummarizeHandoffTarget *summarize = nullptr;
        ProofreadHandoffTarget *proofread = nullptr;
    };

    // The longest file name, in bytes, that file systems take.
    static constexpr int kMaxFileNameBytes = 255;
    // Longer "mailto:" addresses would not fit in one argument to the mail program.
    static constexpr int kMaxMailtoBytes = 100000;

    ToolHandoff(AppNavigation &navigation, WorkspaceNotes &notes, TextModelReadiness &textModel, Targets targets,
                HandoffPrompts &prompts, UrlOpener &urls, Clipboard &clipboard, QObject *parent = nullptr);

    AppNavigation &navigation() const { return m_navigation; }

    // Opens the tool's page and hands it the text; the run starts when the writing model is
    // ready. Any tool but Translate, Summarize and Proofread does nothing.
    void send(const QString &text, WorkspaceTool tool);
    // A new note with the text, then that note is opened; false when the notes refused it (not
    // ready, blank text).
    bool newNote(const QString &text);
    // A new note with the original, a blank line and the text.
    bool newNoteWithOriginal(const QString &original, const QString &text);
    // Asks where to save and writes the text there as UTF-8, atomically; a failed write is
    // logged and shown to the user.
    void saveAsFile(const QString &text, const QString &fileNameStem);
    // The share menu (Copy, Email) at the pointer; nothing without an active window.
    void share(const QString &text);
    // Puts the text on the clipboard as plain text.
    void copy(const QString &text);
    // Opens a new message with the text in the desktop's mail program.
    void email(const QString &text);

    // The stem with ".txt", made safe as a file name: no "/" or control characters, at most 255
    // bytes in UTF-8 (cut between characters).
    static QString proposedFileName(const QString &stem);
    // The "mailto:" address of a new message holding the text.
    static QUrl mailtoUrl(const QString &text);
    // Whether the text fits in a "mailto:" address.
    static bool fitsInMail(const QString &text);
    // The share menu's items for a text, acting through this hand-off.
    QMenu *shareMenu(const QString &text);

signals:
    // A hand-off to Translate or Summarize reached its session (after send() has returned).
    void delivered(WorkspaceTool tool);
    // A file was written.
    void saved(const QString &path);

private:
    void writeFile(const QString &path, const QString &text);
    static QCoro::Task<> deliverTranslate(QPointer<ToolHandoff> self, TranslateHandoffTarget *target, QString text,
                                          bool start);
    static QCoro::Task<> deliverSummarize(QPointer<ToolHandoff> self, SummarizeHandoffTarget *target, QString text,
                                          bool start);

    AppNavigation &m_navigation;
    WorkspaceNotes &m_notes;
    TextModelReadiness &m_textModel;
    Targets m_targets;
    HandoffPrompts &m_prompts;
    UrlOpener &m_urls;
    Clipboard &m_clipboard;
};

} // namespace velmora
