#pragma once

#include "library/history.h"
#include "workspace/workspacetool.h"

#include <QList>
#include <QString>

#include <optional>

namespace velmora {

// A text on offer in a Send to menu and what may be done with it.
struct SendableText {
    QString text;
    // The source the text was made from (a translation's original); the menus then offer a new
    // note holding both.
    std::optional<QString> original;
    // The file name proposed when saving, without ".txt".
    QString fileName;
    // The tool the text comes from; it is left out of the targets.
    std::optional<WorkspaceTool> from;
    bool allowsNewNote = true;
    bool allowsFiles = true;

    // Translate, Summarize and Proofread, in that order, without the source tool.
    QList<WorkspaceTool> targets() const;

    // A History entry's text, named after its tool; none when the entry has no text.
    static std::optional<SendableText> fromEntry(const HistoryEntry &entry, std::optional<WorkspaceTool> from);
    // A note's text named by its title (the notes store's title, already falling back to the
    // title of an empty note); none when the text is blank. Notes offer no new note.
    static std::optional<SendableText> fromNote(const QString &text, const QString &title);
};

} // namespace velmora
