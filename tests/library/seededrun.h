#pragma once

// A run written straight into the Library, as a tool would have left it, for the tests (and the
// screenshots) that need History at chosen times without running the tool.

#include "library/library.h"
#include "library/records.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace SQLite {
class Database;
}

namespace velmora::test {

struct SeededRun {
    QString tool = {};
    QDateTime at = {};
    QString input = QStringLiteral("input");
    // Written a millisecond after the input, as the run's one attempt.
    std::optional<QString> output = std::nullopt;
    LibraryTask::Status status = LibraryTask::Status::Completed;
    std::optional<QDateTime> deletedAt = std::nullopt;
    // A recording's file, stored beside the input.
    std::optional<QString> audio = std::nullopt;
    // The attempt's event, with the output's time, when set.
    std::optional<ActivityEvent::Outcome> outcome = std::nullopt;

    // Writes the rows inside the caller's write; returns the task's id.
    QUuid insert(SQLite::Database &db) const;
};

// Writes the run in a write of its own and returns the task's id.
QUuid seedRun(Library &library, const SeededRun &run);

} // namespace velmora::test
