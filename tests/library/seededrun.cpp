#include "seededrun.h"

#include "support/testsupport.h"

#include <SQLiteCpp/SQLiteCpp.h>

namespace velmora::test {

QUuid SeededRun::insert(SQLite::Database &db) const {
    const QUuid id = QUuid::createUuid();
    LibraryTask{id, tool, status, at, at, deletedAt}.insert(db);
    LibraryArtifact in;
    in.id = QUuid::createUuid();
    in.taskId = id;
    in.text = input;
    in.createdAt = at;
    in.insert(db);
    if (audio) {
        LibraryArtifact recording = in;
        recording.id = QUuid::createUuid();
        recording.kind = LibraryArtifact::Kind::Audio;
        recording.text.reset();
        recording.filePath = audio;
        recording.insert(db);
    }
    const QDateTime attemptAt = at.addMSecs(1);
    if (output) {
        LibraryArtifact out = in;
        out.id = QUuid::createUuid();
        out.role = LibraryArtifact::Role::Output;
        out.attemptId = id;
        out.text = output;
        out.createdAt = attemptAt;
        out.insert(db);
    }
    if (outcome) {
        ActivityEvent event;
        event.id = QUuid::createUuid();
        event.taskId = id;
        event.attemptId = id;
        event.tool = tool;
        event.occurredAt = attemptAt;
        event.timeZone = QStringLiteral("UTC");
        event.outcome = outcome;
        event.measurements = QStringLiteral("{}");
        event.insert(db);
    }
    return id;
}

QUuid seedRun(Library &library, const SeededRun &run) {
    return test::run(library.write([run](SQLite::Database &db) { return run.insert(db); }));
}

} // namespace velmora::test
