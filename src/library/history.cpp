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
    e.outcome = column::optionalOutcome(row, "outcome");
    e.audioPath = column::optionalText(row, "audioPath");
    e.matchText = column::optionalText(row, "matchText");
    return e;
}

namespace {

// A statement under construction: its text and its arguments in the order of their places.
struct Builder {
    QString sql;
    QStringList arguments;
    Builder &add(const QString &text, const QStringList &args = {}) {
        sql += text;
        arguments += args;
        return *this;
    }
};

// A search whose page lies among this many hits goes from the hits to their runs; with more
// hits, walking the runs newest first reaches a page sooner.
qsizetype probeLimit(int limit) {
    return std::max<qsizetype>(1, limit) * 20;
}

// How the page's rows are chosen.
enum class Plan {
    Plain,     // no search
    Hits,      // from the hit table: the given hit rows, or every hit without them
    RunsFirst, // runs newest first, each tested for a hit, up to the limit
};

struct ListRequest {
    const std::optional<QStringList> &terms;
    int sources;
    const std::optional<QSet<QString>> &tools;
    std::optional<int> limit;
};

QString limitClause(std::optional<int> limit) {
    return limit ? QStringLiteral(" LIMIT ") + QString::number(*limit) : QString();
}

// A source's part of the page, newest first by `newest`. A RunsFirst part tests the runs newest
// first in a subquery whose LIMIT keeps SQLite from merging it into the outer query, which stops
// at the page's end.
void openPart(Builder &b, Plan plan) {
    if (plan == Plan::RunsFirst)
        b.add(QStringLiteral("SELECT * FROM ("));
}

void closePart(Builder &b, Plan plan, const QString &newest, std::optional<int> limit) {
    if (plan == Plan::RunsFirst)
        b.add(QStringLiteral(" ORDER BY ") + newest + QStringLiteral(" DESC LIMIT -1) WHERE matchText IS NOT NULL") +
              limitClause(limit));
    else
        b.add(QStringLiteral(" ORDER BY ") + newest + QStringLiteral(" DESC") + limitClause(limit));
}

// The text of a RunsFirst search's best hit among the texts of `owner` (a task's artifacts
// or a note) named `alias`: the long terms through the hit rows gathered once, with the unary
// plus so SQLite tests membership instead of probing its index once per gathered row, the short
// terms on the text itself (the very text searchText holds).
void addBestHit(Builder &b, const QStringList &terms, bool note) {
    const QString text = note ? QStringLiteral("n.text") : QStringLiteral("a.text");
    const Library::SearchFilter filter = Library::searchFilter(terms, text);
    QStringList conditions;
    QStringList arguments;
    if (filter.phrases) {
        const Library::HitQuery rows = filter.rows();
        conditions.append(QStringLiteral("+s.id IN (SELECT id FROM (") + rows.sql + QStringLiteral("))"));
        arguments += rows.arguments;
    }
    conditions += filter.textConditions;
    arguments += filter.textArguments;
    if (note) {
        b.add(QStringLiteral("(SELECT n.text FROM searchSource s WHERE s.sourceId = n.id AND ") +
                  conditions.join(QStringLiteral(" AND ")) + QStringLiteral(")"),
              arguments);
    } else {
        b.add(QStringLiteral("(SELECT a.text FROM artifact a") +
                  (filter.phrases ? QStringLiteral(" JOIN searchSource s ON s.sourceId = a.id") : QString()) +
                  QStringLiteral(" WHERE a.taskId = t.id AND a.text IS NOT NULL AND ") +
                  conditions.join(QStringLiteral(" AND ")) +
                  QStringLiteral(" ORDER BY a.role = 'output' DESC, a.createdAt DESC LIMIT 1)"),
              arguments);
    }
}

HistoryEntry::Statement listStatement(const ListRequest &request, Plan plan, const QStringList &hitRows) {
    Builder b;
    const bool both = (request.sources & Library::Tasks) && (request.sources & Library::Notes);

    b.add(QStringLiteral("WITH "));
    if (plan == Plan::Hits && hitRows.isEmpty()) {
        const Library::SearchFilter filter = Library::searchFilter(*request.terms);
        const Library::HitQuery rows = filter.rows();
        const Library::HitQuery where = filter.where();
        b.add(QStringLiteral("hit AS (") + Library::searchHitSql(rows.sql, where.sql) + QStringLiteral("),\n"),
              rows.arguments + where.arguments);
    } else if (plan == Plan::Hits) {
        // The hits are known: their texts are the artifacts' and notes' that the index copies.
        b.add(QStringLiteral("hit AS (") +
                  Library::searchHitSql(
                      QStringLiteral("SELECT s.id, coalesce(a.text, n.text) AS text FROM searchSource s "
                                     "LEFT JOIN artifact a ON a.id = s.sourceId LEFT JOIN note n ON n.id = s.noteId "
                                     "WHERE s.id IN (SELECT value FROM json_each(?))"),
                      QString()) +
                  QStringLiteral("),\n"),
              {QLatin1Char('[') + hitRows.join(QLatin1Char(',')) + QLatin1Char(']')});
    }

    // The page: ids, sort keys and the best hit only, limited before anything else is looked up;
    // materialized, so its limit is never taken over by the outer sort (which would then look at
    // every run).
    b.add(QStringLiteral("page AS MATERIALIZED ("));
    if (both)
        b.add(QStringLiteral("SELECT * FROM ("));
    if (request.sources & Library::Tasks) {
        openPart(b, plan);
        b.add(QStringLiteral("SELECT t.id, t.tool, t.createdAt, 0 AS isNote, NULL AS noteText, "));
        if (plan == Plan::Plain)
            b.add(QStringLiteral("NULL"));
        else if (plan == Plan::Hits)
            b.add(QStringLiteral("h.text"));
        else
            addBestHit(b, *request.terms, false);
        b.add(QStringLiteral(" AS matchText FROM task t"));
        if (plan == Plan::Hits)
            b.add(QStringLiteral(" JOIN hit h ON h.taskId = t.id AND h.rank = 1"));
        b.add(QStringLiteral(" WHERE t.status != 'active' AND t.contentDeletedAt IS NULL"));
        if (request.tools) {
            QStringList sorted(request.tools->begin(), request.tools->end());
            std::sort(sorted.begin(), sorted.end());
            // A search walks the runs newest first whatever the tools.
            b.add((plan == Plan::RunsFirst ? QStringLiteral(" AND +t.tool IN (") : QStringLiteral(" AND t.tool IN (")) +
                      QStringList(sorted.size(), QStringLiteral("?")).join(u',') + QStringLiteral(")"),
                  sorted);
        }
        closePart(b, plan, QStringLiteral("t.createdAt"), request.limit);
    }
    if (both)
        b.add(QStringLiteral(") UNION ALL SELECT * FROM ("));
    if (request.sources & Library::Notes) {
        openPart(b, plan);
        b.add(QStringLiteral("SELECT n.id, 'notes' AS tool, n.updatedAt AS createdAt, 1 AS isNote, "
                             "n.text AS noteText, "));
        if (plan == Plan::Plain)
            b.add(QStringLiteral("NULL AS matchText FROM note n"));
        else if (plan == Plan::Hits)
            b.add(QStringLiteral("h.text AS matchText FROM note n JOIN hit h ON h.noteId = n.id"));
        else {
            addBestHit(b, *request.terms, true);
            b.add(QStringLiteral(" AS matchText FROM note n"));
        }
        closePart(b, plan, QStringLiteral("n.updatedAt"), request.limit);
    }
    if (both)
        b.add(QStringLiteral(") ORDER BY createdAt DESC") + limitClause(request.limit));
    b.add(QStringLiteral(")\n"));

    // The fields of the page's rows.
    b.add(QStringLiteral(
        "SELECT p.id, p.tool, p.createdAt,\n"
        "  CASE WHEN p.isNote THEN p.noteText ELSE\n"
        "  (SELECT a.text FROM artifact a WHERE a.taskId = p.id AND a.role = 'output' AND a.kind = 'text'\n"
        "   ORDER BY a.createdAt DESC LIMIT 1) END AS text,\n"
        "  (SELECT e.outcome FROM activityEvent e WHERE e.taskId = p.id AND e.kind = 'attemptFinished'\n"
        "   ORDER BY e.occurredAt DESC LIMIT 1) AS outcome,\n"
        "  (SELECT a.filePath FROM artifact a WHERE a.taskId = p.id AND a.kind = 'audio'\n"
        "   ORDER BY a.createdAt DESC LIMIT 1) AS audioPath,\n"
        "  p.matchText\n"
        "FROM page p ORDER BY p.createdAt DESC"));
    return {b.sql, b.arguments};
}

void bindAll(SQLite::Statement &s, const QStringList &arguments) {
    for (int i = 0; i < arguments.size(); ++i)
        bind::text(s, i + 1, arguments[i]);
}

} // namespace

QList<HistoryEntry> HistoryEntry::fetchAll(SQLite::Database &db, const std::optional<QStringList> &terms, int sources,
                                           const std::optional<QSet<QString>> &tools, std::optional<int> limit,
                                           QList<Statement> *ran) {
    Plan plan = terms ? Plan::Hits : Plan::Plain;
    QStringList hitRows;
    if (terms && limit) {
        // A bounded look at the hits decides the plan; when they are few, it has found them all.
        const Library::SearchFilter filter = Library::searchFilter(*terms);
        const Library::HitQuery rows = filter.rows();
        const Library::HitQuery where = filter.where();
        const qsizetype bound = probeLimit(*limit);
        const Statement probe{QStringLiteral("SELECT searchText.id FROM (") + rows.sql +
                                  QStringLiteral(") AS searchText") +
                                  (where.sql.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.sql) +
                                  QStringLiteral(" LIMIT ") + QString::number(bound),
                              rows.arguments + where.arguments};
        if (ran)
            ran->append(probe);
        SQLite::Statement s(db, probe.sql.toStdString());
        bindAll(s, probe.arguments);
        while (s.executeStep())
            hitRows.append(QString::number(s.getColumn(0).getInt64()));
        if (hitRows.size() >= bound)
            plan = Plan::RunsFirst;
        else if (hitRows.isEmpty())
            return {};
    }
    const Statement statement =
        listStatement({terms, sources, tools, limit}, plan, plan == Plan::Hits ? hitRows : QStringList());
    if (ran)
        ran->append(statement);
    SQLite::Statement s(db, statement.sql.toStdString());
    bindAll(s, statement.arguments);
    return allRows<HistoryEntry>(s);
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
    if (const std::optional<ActivityEvent> event = firstRow<ActivityEvent>(s)) {
        detail.outcome = event->outcome;
        detail.measurements = event->measurements;
    }
    return detail;
}

} // namespace velmora
