#include "library/history.h"

#include "library/library.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>

namespace velmora {

HistoryEntry HistoryEntry::fromRow(const SQLite::Statement &row) {
    HistoryEntry e;
    e.id = column::uuid(row, "id");
    e.tool = column::text(row, "tool");
    e.createdAt = column::date(row, "createdAt");
    e.text = column::optionalText(row, "text");
    if (auto outcome = column::optionalText(row, "outcome")) {
        e.outcome = ActivityEvent::outcomeFromString(*outcome);
        if (!e.outcome)
            throw LibraryDecodingError(QStringLiteral("unknown outcome \"%1\"").arg(*outcome));
    }
    e.audioPath = column::optionalText(row, "audioPath");
    e.matchText = column::optionalText(row, "matchText");
    return e;
}

HistoryEntry::Statement HistoryEntry::listStatement(const std::optional<QStringList> &terms, int sources,
                                                    const std::optional<QSet<QString>> &tools,
                                                    std::optional<int> limit) {
    Statement out;
    QString sql;
    if (terms) {
        const Library::HitQuery hit = Library::searchHitQuery(*terms);
        sql += QStringLiteral("WITH hit AS (") + hit.sql + QStringLiteral(") ");
        out.arguments += hit.arguments;
    }
    QStringList parts;
    if (sources & Library::Tasks) {
        QString part = QStringLiteral(
            "SELECT t.id, t.tool, t.createdAt,\n"
            "  (SELECT a.text FROM artifact a WHERE a.taskId = t.id AND a.role = 'output' AND a.kind = 'text'\n"
            "   ORDER BY a.createdAt DESC LIMIT 1) AS text,\n"
            "  (SELECT e.outcome FROM activityEvent e WHERE e.taskId = t.id AND e.kind = 'attemptFinished'\n"
            "   ORDER BY e.occurredAt DESC LIMIT 1) AS outcome,\n"
            "  (SELECT a.filePath FROM artifact a WHERE a.taskId = t.id AND a.kind = 'audio'\n"
            "   ORDER BY a.createdAt DESC LIMIT 1) AS audioPath,");
        part += terms ? QStringLiteral(" h.text AS matchText FROM task t JOIN hit h ON h.taskId = t.id AND h.rank = 1")
                      : QStringLiteral(" NULL AS matchText FROM task t");
        part += QStringLiteral(" WHERE t.status != 'active' AND t.contentDeletedAt IS NULL");
        if (tools) {
            QStringList sorted(tools->begin(), tools->end());
            std::sort(sorted.begin(), sorted.end());
            part += QStringLiteral(" AND t.tool IN (") + QStringList(sorted.size(), QStringLiteral("?")).join(u',') +
                    QStringLiteral(")");
            out.arguments += sorted;
        }
        parts.append(part);
    }
    if (sources & Library::Notes) {
        parts.append(QStringLiteral("SELECT n.id, 'notes' AS tool, n.updatedAt AS createdAt, n.text,\n"
                                    "  NULL AS outcome, NULL AS audioPath, ") +
                     (terms ? QStringLiteral("h.text") : QStringLiteral("NULL")) +
                     QStringLiteral(" AS matchText\nFROM note n ") +
                     (terms ? QStringLiteral("JOIN hit h ON h.noteId = n.id") : QString()));
    }
    sql += parts.join(QStringLiteral(" UNION ALL ")) + QStringLiteral(" ORDER BY createdAt DESC");
    if (limit)
        sql += QStringLiteral(" LIMIT ") + QString::number(*limit);
    out.sql = sql;
    return out;
}

QList<HistoryEntry> HistoryEntry::fetchAll(SQLite::Database &db, const std::optional<QStringList> &terms, int sources,
                                           const std::optional<QSet<QString>> &tools, std::optional<int> limit) {
    const Statement statement = listStatement(terms, sources, tools, limit);
    SQLite::Statement s(db, statement.sql.toStdString());
    for (int i = 0; i < statement.arguments.size(); ++i)
        bind::text(s, i + 1, statement.arguments[i]);
    QList<HistoryEntry> out;
    while (s.executeStep())
        out.append(fromRow(s));
    return out;
}

QSet<QString> HistoryEntry::fetchUsedTools(SQLite::Database &db) {
    SQLite::Statement s(db, "SELECT DISTINCT tool FROM task WHERE status != 'active' AND contentDeletedAt IS NULL");
    QSet<QString> out;
    while (s.executeStep())
        out.insert(column::text(s, "tool"));
    return out;
}

QStringList HistoryEntry::fetchRecentTools(SQLite::Database &db, int limit) {
    SQLite::Statement s(db, "SELECT tool FROM task WHERE status != 'active' AND contentDeletedAt IS NULL\n"
                            "GROUP BY tool ORDER BY MAX(createdAt) DESC LIMIT ?");
    s.bind(1, limit);
    QStringList out;
    while (s.executeStep())
        out.append(column::text(s, "tool"));
    return out;
}

std::optional<HistoryEntryDetail> HistoryEntryDetail::fetch(SQLite::Database &db, const QUuid &id) {
    const std::optional<LibraryTask> task = LibraryTask::fetch(db, id);
    if (!task || task->status == LibraryTask::Status::Active || task->contentDeletedAt)
        return std::nullopt;
    HistoryEntryDetail detail;
    detail.id = task->id;
    detail.tool = task->tool;
    detail.createdAt = task->createdAt;
    detail.artifacts = LibraryArtifact::fetchAll(db, id);
    SQLite::Statement s(db, "SELECT * FROM activityEvent WHERE taskId = ? AND kind = 'attemptFinished'\n"
                            "ORDER BY occurredAt DESC LIMIT 1");
    bind::uuid(s, 1, id);
    if (s.executeStep()) {
        const ActivityEvent event = ActivityEvent::fromRow(s);
        detail.outcome = event.outcome;
        detail.measurements = event.measurements;
    }
    return detail;
}

} // namespace velmora
