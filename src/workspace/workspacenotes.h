#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace velmora {

// What the navigation and the text hand-off need of the notes store. The notes store (a higher
// layer) implements it; the composition root hands it to AppNavigation and ToolHandoff.
class WorkspaceNotes {
public:
    virtual ~WorkspaceNotes() = default;

    virtual std::optional<QUuid> selectedNoteId() const = 0;
    // Whether the loaded notes hold the note, whatever the notes search lets through. Nothing
    // is held while the store is not loaded.
    virtual bool containsNote(const QUuid &id) const = 0;
    // Whether the notes the current search lets through hold the note.
    virtual bool listsNote(const QUuid &id) const = 0;
    // Empties the notes search.
    virtual void clearSearch() = 0;
    // Selects a note (or nothing); selecting the selected note does nothing.
    virtual void selectNote(const std::optional<QUuid> &id) = 0;
    // Clears the search and selects a new blank note (reusing a blank one not yet stored).
    virtual void newNote() = 0;
    // Stores a new note with the text at the top of the list; none when the store is not ready
    // or the text is blank.
    virtual std::optional<QUuid> createNote(const QString &text) = 0;
};

} // namespace velmora
