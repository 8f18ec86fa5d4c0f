#pragma once

// The read side of History: the list of entries (optionally searched), the tools in use and
// the detail of one entry. Every function runs inside Library::read on the open connection.

#include "library/records.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace velmora {

struct HistoryEntry {
    QUuid id;
    QString tool;
    QDateTime createdAt;
    std::optional<QString> text;
    std::optional<ActivityEvent::Outcome> outcome;
    std::optional<QString> audioPath;
    std::optional<QString> matchText;

    bool operator==(const HistoryEntry &) const = default;

    static HistoryEntry fromRow(const SQLite::Statement &row);
    struct Statement {
        QString sql;
        QStringList arguments;
    };
    // sources: Library::Tasks and/or Library::Notes; terms from Library::searchTerms. The
    // statements run are appended to `ran` when given.
    static QList<HistoryEntry> fetchAll(SQLite::Database &db, const std::optional<QStringList> &terms, int sources,
                                        const std::optional<QSet<QString>> &tools, std::optional<int> limit,
                                        QList<Statement> *ran = nullptr);
    static QSet<QString> fetchUsedTools(SQLite::Database &db);
    // Tools by their newest visible entry, newest first.
    static QStringList fetchRecentTools(SQLite::Database &db, int limit);
};

struct HistoryEntryDetail {
    QUuid id;
    QString tool;
    QDateTime createdAt;
    QList<LibraryArtifact> artifacts;
    std::optional<ActivityEvent::Outcome> outcome;
    std::optional<QString> measurements;

    // None when the task is missing, still active or its content was deleted.
    static std::optional<HistoryEntryDetail> fetch(SQLite::Database &db, const QUuid &id);
};

} // namespace velmora
