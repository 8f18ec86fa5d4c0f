#pragma once

// The Library's schema as named migrations, applied in order and recorded in the
// migration-tracking table (one row per applied migration, column "identifier").

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace SQLite {
class Database;
}

namespace velmora {

struct LibraryMigration {
    QString identifier;
    std::function<void(SQLite::Database &)> apply;
};

namespace LibraryMigrations {

constexpr const char *kTrackingTable = "migration";

// "v1" to "v7", in order.
const std::vector<LibraryMigration> &registered();
QStringList registeredIdentifiers();
// The search tables, their triggers and the back-fill of existing texts, as "v4" made them.
const char *searchScript();

// Since "v7" the search index is split by owner into this many full-text tables, so that taking
// a deleted run's text out of the index rewrites one of them instead of all of its history.
constexpr int kSearchShards = 16;
// The full-text table of shard k ("searchShard0" ...).
QString searchShard(int k);
// The shard of a searchSource row (its taskId and noteId in scope) as an SQL expression: from the
// first character of the owner's id, 0 to kSearchShards - 1.
const char *searchShardOfSource();

// Every identifier in the tracking table; an absent table counts as empty.
QStringList appliedIdentifiers(SQLite::Database &db);
// The registered identifiers that are applied, in registration order.
QStringList appliedRegistered(SQLite::Database &db);
// Whether the run of applied identifiers from the start of the registered list reaches its end.
bool isComplete(SQLite::Database &db);
// Applies every pending migration, each in its own transaction with its tracking row; foreign
// keys are off while one runs and checked before it commits.
void migrate(SQLite::Database &db);

} // namespace LibraryMigrations
} // namespace velmora
