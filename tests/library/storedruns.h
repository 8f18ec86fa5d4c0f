#pragma once

// What History holds of the runs a tool recorded, read back through the test's Library.

#include "library/library.h"
#include "library/records.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace velmora::test {

// The rows of one run.
struct StoredRun {
    std::optional<LibraryTask> task;
    QList<LibraryArtifact> artifacts;
    QList<ActivityEvent> events;

    // The newest text artifact in the role.
    std::optional<LibraryArtifact> artifact(LibraryArtifact::Role role) const;
    // The newest audio artifact.
    std::optional<LibraryArtifact> audio() const;
    std::optional<QString> output() const;
    // Of the newest attempt.
    std::optional<ActivityEvent::Outcome> outcome() const;
    // The newest attempt's measurements, decoded by M::decode.
    template <typename M>
    std::optional<M> measurements() const {
        if (events.isEmpty() || !events.last().measurements)
            return std::nullopt;
        return M::decode(*events.last().measurements);
    }
};

// The tool's tasks, oldest first (in the order of writing when created at the same moment).
QList<QUuid> storedTasks(Library &library, const QString &tool);
StoredRun storedRun(Library &library, const QUuid &id);
// The tool's one task; a failed expectation when there is not exactly one.
StoredRun onlyStoredRun(Library &library, const QString &tool);

} // namespace velmora::test
