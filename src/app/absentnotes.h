#pragma once

#include "workspace/workspacenotes.h"

namespace velmora {

// The notes as navigation and the text hand-off see them while the program has no notes store:
// nothing is held or selected, and a new note is refused as by a store that is not ready.
class AbsentNotes : public WorkspaceNotes {
public:
    std::optional<QUuid> selectedNoteId() const override { return std::nullopt; }
    bool containsNote(const QUuid &) const override { return false; }
    bool listsNote(const QUuid &) const override { return false; }
    void clearSearch() override {}
    void selectNote(const std::optional<QUuid> &) override {}
    void newNote() override {}
    std::optional<QUuid> createNote(const QString &) override { return std::nullopt; }
};

} // namespace velmora
