#include "library/migrations.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <QSet>

namespace velmora::LibraryMigrations {

namespace {

const char *const kSearchScript = R"sql(CREATE VIRTUAL TABLE searchText USING fts5(text, tokenize = 'trigram');
CREATE TABLE searchSource (
    id INTEGER PRIMARY KEY,
    sourceId TEXT NOT NULL UNIQUE,
    taskId TEXT,
    noteId TEXT
);

CREATE TRIGGER artifact_search_insert AFTER INSERT ON artifact WHEN new.text IS NOT NULL BEGIN
    INSERT INTO searchSource (sourceId, taskId) VALUES (new.id, new.taskId);
    INSERT INTO searchText (rowid, text) SELECT id, new.text FROM searchSource WHERE sourceId = new.id;
END;
CREATE TRIGGER artifact_search_update AFTER UPDATE OF text ON artifact
WHEN old.text IS NOT new.text BEGIN
    DELETE FROM searchText WHERE rowid = (SELECT id FROM searchSource WHERE sourceId = old.id);
    DELETE FROM searchSource WHERE sourceId = old.id;
    INSERT INTO searchSource (sourceId, taskId) SELECT new.id, new.taskId WHERE new.text IS NOT NULL;
    INSERT INTO searchText (rowid, text)
        SELECT id, new.text FROM searchSource WHERE sourceId = new.id AND new.text IS NOT NULL;
END;
CREATE TRIGGER artifact_search_delete AFTER DELETE ON artifact WHEN old.text IS NOT NULL BEGIN
    DELETE FROM searchText WHERE rowid = (SELECT id FROM searchSource WHERE sourceId = old.id);
    DELETE FROM searchSource WHERE sourceId = old.id;
END;

CREATE TRIGGER note_search_insert AFTER INSERT ON note BEGIN
    INSERT INTO searchSource (sourceId, noteId) VALUES (new.id, new.id);
    INSERT INTO searchText (rowid, text) SELECT id, new.text FROM searchSource WHERE sourceId = new.id;
END;
CREATE TRIGGER note_search_update AFTER UPDATE OF text ON note WHEN old.text IS NOT new.text BEGIN
    UPDATE searchText SET text = new.text
        WHERE rowid = (SELECT id FROM searchSource WHERE sourceId = new.id);
END;
CREATE TRIGGER note_search_delete AFTER DELETE ON note BEGIN
    DELETE FROM searchText WHERE rowid = (SELECT id FROM searchSource WHERE sourceId = old.id);
    DELETE FROM searchSource WHERE sourceId = old.id;
END;

INSERT INTO searchSource (sourceId, taskId) SELECT id, taskId FROM artifact WHERE text IS NOT NULL;
INSERT INTO searchSource (sourceId, noteId) SELECT id, id FROM note;
INSERT INTO searchText (rowid, text)
    SELECT s.id, a.text FROM searchSource s JOIN artifact a ON a.id = s.sourceId;
INSERT INTO searchText (rowid, text)
    SELECT s.id, n.text FROM searchSource s JOIN note n ON n.id = s.sourceId;)sql";

void v1(SQLite::Database &db) {
    db.exec(R"sql(CREATE TABLE "task" (
    "id" TEXT NOT NULL PRIMARY KEY,
    "tool" TEXT NOT NULL,
    "status" TEXT NOT NULL,
    "createdAt" DATETIME NOT NULL,
    "updatedAt" DATETIME NOT NULL
);
CREATE INDEX "task_on_tool_createdAt" ON "task"("tool", "createdAt");
CREATE TABLE "artifact" (
    "id" TEXT NOT NULL PRIMARY KEY,
    "taskId" TEXT NOT NULL REFERENCES "task"("id") ON DELETE CASCADE,
    "attemptId" TEXT,
    "role" TEXT NOT NULL,
    "kind" TEXT NOT NULL,
    "language" TEXT,
    "text" TEXT,
    "filePath" TEXT,
    "createdAt" DATETIME NOT NULL,
    CHECK ((text IS NULL) <> (filePath IS NULL))
);
CREATE INDEX "index_artifact_on_taskId" ON "artifact"("taskId");
CREATE TABLE "activityEvent" (
    "id" TEXT NOT NULL PRIMARY KEY,
    "taskId" TEXT NOT NULL REFERENCES "task"("id") ON DELETE CASCADE,
    "attemptId" TEXT,
    "tool" TEXT NOT NULL,
    "kind" TEXT NOT NULL,
    "version" INTEGER NOT NULL,
    "occurredAt" DATETIME NOT NULL,
    "timeZone" TEXT NOT NULL,
    "utcOffsetSeconds" INTEGER NOT NULL,
    "outcome" TEXT,
    "measurements" TEXT
);
CREATE INDEX "index_activityEvent_on_taskId" ON "activityEvent"("taskId");
CREATE INDEX "activityEvent_on_tool_occurredAt" ON "activityEvent"("tool", "occurredAt");
CREATE UNIQUE INDEX "activityEvent_one_attemptFinished" ON "activityEvent"("attemptId")
    WHERE kind = 'attemptFinished';)sql");
}

void v2(SQLite::Database &db) {
    db.exec(R"sql(CREATE TABLE "draft" (
    "tool" TEXT NOT NULL PRIMARY KEY,
    "version" INTEGER NOT NULL,
    "content" TEXT NOT NULL,
    "updatedAt" DATETIME NOT NULL
);)sql");
}

void v3(SQLite::Database &db) {
    db.exec(R"sql(CREATE TABLE "note" (
    "id" TEXT NOT NULL PRIMARY KEY,
    "text" TEXT NOT NULL,
    "createdAt" DATETIME NOT NULL,
    "updatedAt" DATETIME NOT NULL
);
CREATE INDEX "note_on_updatedAt" ON "note"("updatedAt");)sql");
}

void v4(SQLite::Database &db) {
    db.exec(kSearchScript);
}

void v5(SQLite::Database &db) {
    db.exec(R"sql(ALTER TABLE "task" ADD COLUMN "contentDeletedAt" DATETIME)sql");
}

// History lists walk the runs newest first and stop at the page's end.
void v6(SQLite::Database &db) {
    db.exec(R"sql(CREATE INDEX "task_on_createdAt" ON "task"("createdAt"))sql");
}

// The search tables split in shards, filled from the one table they replace, with triggers that
// route each text to its owner's shard.
QString shardedSearchScript() {
    const QString of = QString::fromLatin1(searchShardOfSource());
    auto eachShard = [](const std::function<QString(const QString &, int)> &statement) {
        QString out;
        for (int k = 0; k < kSearchShards; ++k)
            out += QStringLiteral("    ") + statement(searchShard(k), k) + QStringLiteral(";\n");
        return out;
    };
    auto sourceId = [&](int k, const QString &id) {
        return QStringLiteral("(SELECT id FROM searchSource WHERE sourceId = %1 AND %2 = %3)").arg(id, of).arg(k);
    };
    auto insertNew = [&](const QString &id, const QString &text) {
        return eachShard([&](const QString &shard, int k) {
            return QStringLiteral("INSERT INTO %1 (rowid, text) SELECT id, %2 FROM searchSource WHERE sourceId = %3 "
                                  "AND %4 = %5")
                .arg(shard, text, id, of)
                .arg(k);
        });
    };
    auto deleteOld = [&](const QString &id) {
        return eachShard([&](const QString &shard, int k) {
            return QStringLiteral("DELETE FROM %1 WHERE rowid = %2").arg(shard, sourceId(k, id));
        });
    };

    QString script = QStringLiteral("DROP TRIGGER artifact_search_insert;\nDROP TRIGGER artifact_search_update;\n"
                                    "DROP TRIGGER artifact_search_delete;\nDROP TRIGGER note_search_insert;\n"
                                    "DROP TRIGGER note_search_update;\nDROP TRIGGER note_search_delete;\n");
    for (int k = 0; k < kSearchShards; ++k)
        script +=
            QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(text, tokenize = 'trigram');\n"
                           "INSERT INTO %1 (rowid, text) SELECT searchText.rowid, searchText.text FROM searchText "
                           "JOIN searchSource ON searchSource.id = searchText.rowid WHERE %2 = %3;\n")
                .arg(searchShard(k), of)
                .arg(k);
    script += QStringLiteral("DROP TABLE searchText;\n");

    script += QStringLiteral("CREATE TRIGGER artifact_search_insert AFTER INSERT ON artifact WHEN new.text IS NOT NULL "
                             "BEGIN\n    INSERT INTO searchSource (sourceId, taskId) VALUES (new.id, new.taskId);\n") +
              insertNew(QStringLiteral("new.id"), QStringLiteral("new.text")) + QStringLiteral("END;\n");
    script += QStringLiteral("CREATE TRIGGER artifact_search_update AFTER UPDATE OF text ON artifact\n"
                             "WHEN old.text IS NOT new.text BEGIN\n") +
              deleteOld(QStringLiteral("old.id")) +
              QStringLiteral("    DELETE FROM searchSource WHERE sourceId = old.id;\n"
                             "    INSERT INTO searchSource (sourceId, taskId) SELECT new.id, new.taskId "
                             "WHERE new.text IS NOT NULL;\n") +
              insertNew(QStringLiteral("new.id"), QStringLiteral("new.text")) + QStringLiteral("END;\n");
    script += QStringLiteral("CREATE TRIGGER artifact_search_delete AFTER DELETE ON artifact WHEN old.text IS NOT NULL "
                             "BEGIN\n") +
              deleteOld(QStringLiteral("old.id")) +
              QStringLiteral("    DELETE FROM searchSource WHERE sourceId = old.id;\nEND;\n");
    script += QStringLiteral("CREATE TRIGGER note_search_insert AFTER INSERT ON note BEGIN\n"
                             "    INSERT INTO searchSource (sourceId, noteId) VALUES (new.id, new.id);\n") +
              insertNew(QStringLiteral("new.id"), QStringLiteral("new.text")) + QStringLiteral("END;\n");
    script += QStringLiteral("CREATE TRIGGER note_search_update AFTER UPDATE OF text ON note "
                             "WHEN old.text IS NOT new.text BEGIN\n") +
              eachShard([&](const QString &shard, int k) {
                  return QStringLiteral("UPDATE %1 SET text = new.text WHERE rowid = %2")
                      .arg(shard, sourceId(k, QStringLiteral("new.id")));
              }) +
              QStringLiteral("END;\n");
    script += QStringLiteral("CREATE TRIGGER note_search_delete AFTER DELETE ON note BEGIN\n") +
              deleteOld(QStringLiteral("old.id")) +
              QStringLiteral("    DELETE FROM searchSource WHERE sourceId = old.id;\nEND;\n");
    return script;
}

// The search index in shards (see kSearchShards).
void v7(SQLite::Database &db) {
    db.exec(shardedSearchScript().toStdString());
}

bool trackingTableExists(SQLite::Database &db) {
    SQLite::Statement s(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    s.bind(1, kTrackingTable);
    return s.executeStep();
}

void rollbackQuietly(SQLite::Database &db) {
    if (!sqlite3_get_autocommit(db.getHandle()))
        sqlite3_exec(db.getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void applyOne(SQLite::Database &db, const LibraryMigration &migration) {
    db.exec("PRAGMA foreign_keys = OFF");
    try {
        db.exec("BEGIN IMMEDIATE");
        migration.apply(db);
        SQLite::Statement check(db, "PRAGMA foreign_key_check");
        if (check.executeStep())
            throw SQLite::Exception("foreign key violation after migration " + migration.identifier.toStdString(),
                                    SQLITE_CONSTRAINT_FOREIGNKEY);
        SQLite::Statement record(db, std::string("INSERT INTO \"") + kTrackingTable + "\" (identifier) VALUES (?)");
        record.bind(1, migration.identifier.toStdString());
        record.exec();
        db.exec("COMMIT");
    } catch (...) {
        rollbackQuietly(db);
        db.exec("PRAGMA foreign_keys = ON");
        throw;
    }
    db.exec("PRAGMA foreign_keys = ON");
}

} // namespace

const std::vector<LibraryMigration> &registered() {
    static const std::vector<LibraryMigration> list{
        {QStringLiteral("v1"), v1}, {QStringLiteral("v2"), v2}, {QStringLiteral("v3"), v3}, {QStringLiteral("v4"), v4},
        {QStringLiteral("v5"), v5}, {QStringLiteral("v6"), v6}, {QStringLiteral("v7"), v7},
    };
    return list;
}

QStringList registeredIdentifiers() {
    QStringList out;
    for (const auto &m : registered())
        out.append(m.identifier);
    return out;
}

const char *searchScript() {
    return kSearchScript;
}

QString searchShard(int k) {
    return QStringLiteral("searchShard") + QString::number(k);
}

const char *searchShardOfSource() {
    // Ids are upper-case UUID texts: their first character is one of 16 evenly spread digits.
    static_assert(kSearchShards == 16);
    return "instr('123456789ABCDEF', upper(substr(coalesce(taskId, noteId), 1, 1)))";
}

QStringList appliedIdentifiers(SQLite::Database &db) {
    QStringList out;
    if (!trackingTableExists(db))
        return out;
    SQLite::Statement s(db, std::string("SELECT identifier FROM \"") + kTrackingTable + "\"");
    while (s.executeStep())
        out.append(QString::fromStdString(s.getColumn(0).getString()));
    return out;
}

QStringList appliedRegistered(SQLite::Database &db) {
    const QStringList applied = appliedIdentifiers(db);
    const QSet<QString> set(applied.begin(), applied.end());
    QStringList out;
    for (const auto &m : registered())
        if (set.contains(m.identifier))
            out.append(m.identifier);
    return out;
}

bool isComplete(SQLite::Database &db) {
    const QStringList applied = appliedIdentifiers(db);
    const QSet<QString> set(applied.begin(), applied.end());
    for (const auto &m : registered())
        if (!set.contains(m.identifier))
            return false;
    return true;
}

void migrate(SQLite::Database &db) {
    db.exec(std::string("CREATE TABLE IF NOT EXISTS \"") + kTrackingTable +
            "\" (\"identifier\" TEXT NOT NULL PRIMARY KEY)");
    const QStringList applied = appliedIdentifiers(db);
    const QSet<QString> set(applied.begin(), applied.end());
    for (const auto &m : registered())
        if (!set.contains(m.identifier))
            applyOne(db, m);
}

} // namespace velmora::LibraryMigrations
