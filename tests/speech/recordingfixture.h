#pragma once

// Shared pieces of the recording tests: a real Library in the test's temporary home, a
// measurements type, and readers of what History holds.

#include "library/library.h"
#include "speech/recordinghistory.h"

#include "support/testsupport.h"

#include <QJsonObject>

#include <memory>
#include <optional>

namespace velmora::test {

struct TestMeasurements {
    static constexpr qint64 version = 1;
    std::optional<double> audioSeconds;
    std::optional<qint64> chunks;
    std::optional<QString> note;

    QJsonObject toJson() const {
        QJsonObject o;
        if (audioSeconds)
            o.insert(QStringLiteral("audioSeconds"), *audioSeconds);
        if (chunks)
            o.insert(QStringLiteral("chunks"), *chunks);
        if (note)
            o.insert(QStringLiteral("note"), *note);
        return o;
    }
};

using TestHistory = RecordingHistory<TestMeasurements>;

struct TaskRows {
    std::optional<LibraryTask> task;
    QList<LibraryArtifact> artifacts;
    QList<ActivityEvent> events;

    std::optional<LibraryArtifact> audio() const {
        for (const auto &a : artifacts)
            if (a.kind == LibraryArtifact::Kind::Audio)
                return a;
        return std::nullopt;
    }
    std::optional<LibraryArtifact> output() const {
        for (const auto &a : artifacts)
            if (a.role == LibraryArtifact::Role::Output && a.kind == LibraryArtifact::Kind::Text)
                return a;
        return std::nullopt;
    }
};

inline TaskRows readTask(Library &library, const QUuid &id) {
    return run(library.read([id](SQLite::Database &db) {
        return TaskRows{LibraryTask::fetch(db, id), LibraryArtifact::fetchAll(db, id), ActivityEvent::fetchAll(db, id)};
    }));
}

// Runs SQL on the Library's connection (to inject faults with triggers).
inline void execSql(Library &library, const QString &sql) {
    const std::string text = sql.toStdString();
    run(library.write([text](SQLite::Database &db) { db.exec(text); }));
}

} // namespace velmora::test
