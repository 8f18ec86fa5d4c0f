#include "storedruns.h"

#include "support/testsupport.h"

#include <SQLiteCpp/SQLiteCpp.h>

namespace velmora::test {

std::optional<LibraryArtifact> StoredRun::artifact(LibraryArtifact::Role role) const {
    std::optional<LibraryArtifact> found;
    for (const LibraryArtifact &a : artifacts)
        if (a.role == role && a.kind == LibraryArtifact::Kind::Text)
            found = a;
    return found;
}

std::optional<LibraryArtifact> StoredRun::audio() const {
    std::optional<LibraryArtifact> found;
    for (const LibraryArtifact &a : artifacts)
        if (a.kind == LibraryArtifact::Kind::Audio)
            found = a;
    return found;
}

std::optional<QString> StoredRun::output() const {
    const std::optional<LibraryArtifact> a = artifact(LibraryArtifact::Role::Output);
    return a ? a->text : std::nullopt;
}

std::optional<ActivityEvent::Outcome> StoredRun::outcome() const {
    return events.isEmpty() ? std::nullopt : events.last().outcome;
}

QList<QUuid> storedTasks(Library &library, const QString &tool) {
    return run(library.read([tool](SQLite::Database &db) {
        QList<QUuid> ids;
        SQLite::Statement query(db, "SELECT id FROM task WHERE tool = ? ORDER BY createdAt, rowid");
        bind::text(query, 1, tool);
        while (query.executeStep())
            ids.append(column::uuid(query, "id"));
        return ids;
    }));
}

StoredRun storedRun(Library &library, const QUuid &id) {
    return run(library.read([id](SQLite::Database &db) {
        return StoredRun{LibraryTask::fetch(db, id), LibraryArtifact::fetchAll(db, id),
                         ActivityEvent::fetchAll(db, id)};
    }));
}

StoredRun onlyStoredRun(Library &library, const QString &tool) {
    const QList<QUuid> ids = storedTasks(library, tool);
    EXPECT_EQ(ids.size(), 1);
    return ids.isEmpty() ? StoredRun{} : storedRun(library, ids.first());
}

} // namespace velmora::test
