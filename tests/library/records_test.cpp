#include "libraryfixture.h"

#include "core/uuid.h"

#include <QTimeZone>

using namespace velmora;
using velmora::test::LibraryTest;

namespace {

const QDateTime kT0 = QDateTime(QDate(2026, 3, 1), QTime(9, 30, 15, 250), Qt::UTC);

LibraryTask makeTask(const QString &tool = "dictation", LibraryTask::Status status = LibraryTask::Status::Completed) {
    return LibraryTask{QUuid::createUuid(), tool, status, kT0, kT0, std::nullopt};
}

LibraryArtifact textArtifact(const QUuid &taskId, LibraryArtifact::Role role, const QString &text,
                             std::optional<QUuid> attemptId = std::nullopt) {
    LibraryArtifact a;
    a.id = QUuid::createUuid();
    a.taskId = taskId;
    a.attemptId = attemptId;
    a.role = role;
    a.kind = LibraryArtifact::Kind::Text;
    a.language = QStringLiteral("en");
    a.text = text;
    a.createdAt = kT0;
    return a;
}

ActivityEvent finishedEvent(const QUuid &taskId, std::optional<QUuid> attemptId) {
    ActivityEvent e;
    e.id = QUuid::createUuid();
    e.taskId = taskId;
    e.attemptId = attemptId;
    e.tool = QStringLiteral("dictation");
    e.occurredAt = kT0;
    e.timeZone = QStringLiteral("Asia/Tokyo");
    e.utcOffsetSeconds = 32400;
    e.outcome = ActivityEvent::Outcome::Completed;
    e.measurements = QStringLiteral("{\"a\":1}");
    return e;
}

} // namespace

TEST(LibraryRecords, EnumerationsKeepTheirRawStrings) {
    EXPECT_EQ(ActivityEvent::outcomeFromString("completed"), ActivityEvent::Outcome::Completed);
    EXPECT_EQ(ActivityEvent::outcomeFromString("interrupted"), ActivityEvent::Outcome::Interrupted);
    EXPECT_EQ(ActivityEvent::outcomeFromString("Completed"), std::nullopt);
    EXPECT_EQ(ActivityEvent::outcomeFromString(""), std::nullopt);
    const std::vector<std::pair<LibraryTask::Status, QString>> statuses{{LibraryTask::Status::Active, "active"},
                                                                        {LibraryTask::Status::Completed, "completed"},
                                                                        {LibraryTask::Status::Partial, "partial"},
                                                                        {LibraryTask::Status::Failed, "failed"}};
    for (const auto &[status, raw] : statuses) {
        EXPECT_EQ(LibraryTask::toString(status), raw);
        EXPECT_EQ(LibraryTask::statusFromString(raw), status);
    }
    EXPECT_EQ(LibraryArtifact::roleFromString("output"), LibraryArtifact::Role::Output);
    EXPECT_EQ(LibraryArtifact::kindFromString("audio"), LibraryArtifact::Kind::Audio);
    EXPECT_EQ(LibraryArtifact::kindFromString("Audio"), std::nullopt);
    EXPECT_EQ(ActivityEvent::toString(ActivityEvent::Kind::AttemptFinished), "attemptFinished");
}

TEST(LibraryRecords, TaskStatusFollowsTheOutcome) {
    const std::vector<std::pair<ActivityEvent::Outcome, LibraryTask::Status>> cases{
        {ActivityEvent::Outcome::Completed, LibraryTask::Status::Completed},
        {ActivityEvent::Outcome::Partial, LibraryTask::Status::Partial},
        {ActivityEvent::Outcome::Failed, LibraryTask::Status::Failed},
        {ActivityEvent::Outcome::Interrupted, LibraryTask::Status::Failed}};
    for (const auto &[outcome, status] : cases)
        EXPECT_EQ(LibraryTask::statusAfter(outcome), status);
}

TEST(LibraryRecords, DatesUseTheStoredUtcForm) {
    const QDateTime tokyo(QDate(2026, 3, 1), QTime(18, 30, 15, 250), QTimeZone("Asia/Tokyo"));
    const QDateTime newYork(QDate(2026, 3, 1), QTime(4, 30, 15, 251), QTimeZone("America/New_York"));
    EXPECT_EQ(libraryDateString(tokyo), "2026-03-01 09:30:15.250");
    EXPECT_EQ(libraryDateString(newYork), "2026-03-01 09:30:15.251");
    EXPECT_LT(libraryDateString(tokyo), libraryDateString(newYork));
    EXPECT_EQ(parseLibraryDate("2026-03-01 09:30:15.250"), tokyo);
    for (const char *bad : {"2026-03-01T09:30:15.250", "2026-13-01 09:30:15.250", "2026-03-01 09:30:15", ""})
        EXPECT_THROW(parseLibraryDate(bad), LibraryDecodingError) << bad;
}

TEST_F(LibraryTest, RecordsRoundTripInTheirStoredForms) {
    auto library = openReady();
    LibraryTask task = makeTask();
    LibraryArtifact audio;
    audio.id = QUuid::createUuid();
    audio.taskId = task.id;
    audio.role = LibraryArtifact::Role::Input;
    audio.kind = LibraryArtifact::Kind::Audio;
    audio.filePath = QStringLiteral("Staging/X.f32");
    audio.createdAt = kT0;
    ActivityEvent event = finishedEvent(task.id, task.id);
    test::run(library->write([=](SQLite::Database &db) {
        task.insert(db);
        audio.insert(db);
        event.insert(db);
    }));

    EXPECT_EQ(query("SELECT id || '|' || status || '|' || createdAt || '|' || IFNULL(contentDeletedAt, 'null') "
                    "FROM task"),
              QStringList{uuidString(task.id) + "|completed|2026-03-01 09:30:15.250|null"});
    EXPECT_EQ(query("SELECT taskId || '|' || role || '|' || kind || '|' || IFNULL(text, 'null') || '|' || filePath "
                    "FROM artifact"),
              QStringList{uuidString(task.id) + "|input|audio|null|Staging/X.f32"});
    EXPECT_EQ(query("SELECT attemptId || '|' || kind || '|' || outcome || '|' || utcOffsetSeconds FROM activityEvent"),
              QStringList{uuidString(task.id) + "|attemptFinished|completed|32400"});
    EXPECT_EQ(uuidString(task.id), uuidString(task.id).toUpper());

    auto [readTask, artifacts, events] = test::run(library->read([id = task.id](SQLite::Database &db) {
        return std::make_tuple(LibraryTask::fetch(db, id), LibraryArtifact::fetchAll(db, id),
                               ActivityEvent::fetchAll(db, id));
    }));
    ASSERT_TRUE(readTask);
    EXPECT_EQ(readTask->status, LibraryTask::Status::Completed);
    EXPECT_EQ(readTask->createdAt, kT0);
    EXPECT_FALSE(readTask->contentDeletedAt);
    ASSERT_EQ(artifacts.size(), 1);
    EXPECT_EQ(artifacts[0].filePath, "Staging/X.f32");
    EXPECT_FALSE(artifacts[0].text);
    EXPECT_FALSE(artifacts[0].attemptId);
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].timeZone, "Asia/Tokyo");
    EXPECT_EQ(events[0].measurements, "{\"a\":1}");
    EXPECT_EQ(events[0].outcome, ActivityEvent::Outcome::Completed);
}

TEST_F(LibraryTest, UnknownStoredStringsMakeTheRowUnreadable) {
    auto library = openReady();
    const LibraryTask task = makeTask();
    test::run(library->write([=](SQLite::Database &db) {
        task.insert(db);
        db.exec("UPDATE task SET status = 'Completed'");
    }));
    EXPECT_THROW(test::run(library->read([id = task.id](SQLite::Database &db) { return LibraryTask::fetch(db, id); })),
                 LibraryDecodingError);
}

TEST_F(LibraryTest, ConstraintsRejectBrokenRows) {
    auto library = openReady();
    const LibraryTask task = makeTask();
    test::run(library->write([=](SQLite::Database &db) { task.insert(db); }));

    struct Case {
        const char *name;
        std::function<void(SQLite::Database &)> write;
        bool accepted;
    };
    const QUuid attempt = QUuid::createUuid();
    const std::vector<Case> cases{
        {"artifact with text and file",
         [&](SQLite::Database &db) {
             auto a = textArtifact(task.id, LibraryArtifact::Role::Input, "x");
             a.filePath = "Staging/a.f32";
             a.insert(db);
         },
         false},
        {"artifact with neither",
         [&](SQLite::Database &db) {
             auto a = textArtifact(task.id, LibraryArtifact::Role::Input, "x");
             a.text.reset();
             a.insert(db);
         },
         false},
        {"artifact of a missing task",
         [&](SQLite::Database &db) { textArtifact(QUuid::createUuid(), LibraryArtifact::Role::Input, "x").insert(db); },
         false},
        {"two finished events without attempt",
         [&](SQLite::Database &db) {
             finishedEvent(task.id, std::nullopt).insert(db);
             finishedEvent(task.id, std::nullopt).insert(db);
         },
         true},
        {"first finished event of an attempt",
         [&](SQLite::Database &db) { finishedEvent(task.id, attempt).insert(db); }, true},
        {"second finished event of the same attempt",
         [&](SQLite::Database &db) { finishedEvent(task.id, attempt).insert(db); }, false},
        {"another kind of event for that attempt",
         [&](SQLite::Database &db) {
             SQLite::Statement s(db, "INSERT INTO activityEvent VALUES (?, ?, ?, 'dictation', 'other', 1, "
                                     "'2026-01-01 00:00:00.000', 'UTC', 0, NULL, NULL)");
             s.bind(1, newUuidString().toStdString());
             s.bind(2, uuidString(task.id).toStdString());
             s.bind(3, uuidString(attempt).toStdString());
             s.exec();
         },
         true},
        {"a second task with the same id", [&](SQLite::Database &db) { task.insert(db); }, false},
    };
    for (const auto &c : cases) {
        bool accepted = true;
        try {
            test::run(library->write(c.write));
        } catch (const DatabaseError &e) {
            accepted = false;
            EXPECT_EQ(e.kind(), 19) << c.name; // SQLITE_CONSTRAINT
        }
        EXPECT_EQ(accepted, c.accepted) << c.name;
    }
}

TEST_F(LibraryTest, DeletingATaskCascadesToItsRows) {
    auto library = openReady();
    const LibraryTask task = makeTask();
    test::run(library->write([=](SQLite::Database &db) {
        task.insert(db);
        textArtifact(task.id, LibraryArtifact::Role::Input, "hello there").insert(db);
        finishedEvent(task.id, task.id).insert(db);
        db.exec("DELETE FROM task");
    }));
    EXPECT_EQ(query("SELECT (SELECT COUNT(*) FROM artifact) + (SELECT COUNT(*) FROM activityEvent) + "
                    "(SELECT COUNT(*) FROM searchSource)"),
              QStringList{"0"});
}

TEST_F(LibraryTest, SearchIndexFollowsArtifactAndNoteTexts) {
    auto library = openReady();
    const LibraryTask task = makeTask();
    const LibraryArtifact artifact = textArtifact(task.id, LibraryArtifact::Role::Output, "first text");
    const LibraryNote note{QUuid::createUuid(), "note about pears", kT0, kT0};
    test::run(library->write([=](SQLite::Database &db) {
        task.insert(db);
        artifact.insert(db);
        note.upsert(db);
    }));
    auto sourceOf = [&](const QUuid &id) {
        return query("SELECT id FROM searchSource WHERE sourceId = '" + uuidString(id).toStdString() + "'");
    };
    auto found = [&](const char *term) { return indexed(term); };
    const QStringList original = sourceOf(artifact.id);
    ASSERT_EQ(original.size(), 1);

    auto setText = [&](std::optional<QString> text) {
        test::run(library->write([=](SQLite::Database &db) {
            SQLite::Statement s(db, "UPDATE artifact SET text = ?, filePath = ? WHERE id = ?");
            bind::optionalText(s, 1, text);
            bind::optionalText(s, 2, text ? std::nullopt : std::optional<QString>("Assets/x.m4a"));
            bind::uuid(s, 3, artifact.id);
            s.exec();
        }));
    };
    setText(QStringLiteral("first text"));
    EXPECT_EQ(sourceOf(artifact.id), original) << "same text must not touch the index";
    setText(std::nullopt);
    EXPECT_TRUE(sourceOf(artifact.id).isEmpty());
    EXPECT_TRUE(found("first").isEmpty());
    setText(QStringLiteral("second text"));
    ASSERT_EQ(sourceOf(artifact.id).size(), 1);
    EXPECT_NE(sourceOf(artifact.id), original);
    EXPECT_EQ(found("second"), QStringList{uuidString(artifact.id)});

    const QStringList noteSource = sourceOf(note.id);
    LibraryNote edited = note;
    edited.text = "note about plums";
    test::run(library->write([=](SQLite::Database &db) { edited.upsert(db); }));
    EXPECT_EQ(sourceOf(note.id), noteSource);
    EXPECT_TRUE(found("pears").isEmpty());
    EXPECT_EQ(found("plums"), QStringList{uuidString(note.id)});
}

TEST_F(LibraryTest, UpdateOutputRewritesOnlyARunWithOutputText) {
    auto library = openReady();
    const LibraryTask withOutput = makeTask("translate");
    const LibraryArtifact output = textArtifact(withOutput.id, LibraryArtifact::Role::Output, "old", withOutput.id);
    LibraryTask deleted = makeTask("translate");
    deleted.contentDeletedAt = kT0;
    const LibraryTask recording = makeTask("dictation", LibraryTask::Status::Active);
    LibraryArtifact audio = textArtifact(recording.id, LibraryArtifact::Role::Input, "");
    audio.kind = LibraryArtifact::Kind::Audio;
    audio.text.reset();
    audio.filePath = "Staging/r.f32";
    test::run(library->write([=](SQLite::Database &db) {
        withOutput.insert(db);
        output.insert(db);
        deleted.insert(db);
        recording.insert(db);
        audio.insert(db);
    }));

    EXPECT_FALSE(test::run(library->updateOutput(deleted.id, "x")));
    EXPECT_FALSE(test::run(library->updateOutput(recording.id, "x")));
    EXPECT_FALSE(test::run(library->updateOutput(QUuid::createUuid(), "x")));
    EXPECT_EQ(query("SELECT updatedAt FROM task WHERE id = '" + uuidString(deleted.id).toStdString() + "'"),
              QStringList{libraryDateString(kT0)});

    EXPECT_TRUE(test::run(library->updateOutput(withOutput.id, "")));
    auto [task, artifact] = test::run(library->read([id = withOutput.id](SQLite::Database &db) {
        return std::make_pair(*LibraryTask::fetch(db, id), *LibraryArtifact::fetchOutputText(db, id));
    }));
    EXPECT_EQ(artifact.text, QString(""));
    EXPECT_FALSE(artifact.text->isNull());
    EXPECT_EQ(query("SELECT typeof(text) FROM artifact WHERE role = 'output'"), QStringList{"text"});
    EXPECT_EQ(artifact.createdAt, kT0);
    EXPECT_EQ(artifact.attemptId, withOutput.id);
    EXPECT_GT(task.updatedAt, kT0);
    EXPECT_EQ(task.status, LibraryTask::Status::Completed);
}

TEST_F(LibraryTest, NotesAreSavedListedAndRemoved) {
    auto library = openReady();
    EXPECT_TRUE(test::run(library->read([](SQLite::Database &db) { return LibraryNote::fetchOrdered(db); })).isEmpty());
    const QUuid a = parseUuid("00000000-0000-0000-0000-00000000000A");
    const QUuid b = parseUuid("00000000-0000-0000-0000-00000000000B");
    const QUuid c = parseUuid("00000000-0000-0000-0000-00000000000C");
    const LibraryNote older{c, "older", kT0, kT0};
    const LibraryNote tieB{b, "tie b", kT0, kT0.addSecs(60)};
    const LibraryNote tieA{a, "tie a", kT0, kT0.addSecs(60)};
    for (const auto &note : {older, tieB, tieA})
        test::run(library->write([note](SQLite::Database &db) { note.upsert(db); }));
    LibraryNote second = older;
    second.text = "older, edited";
    test::run(library->write([second](SQLite::Database &db) { second.upsert(db); }));

    const auto notes = test::run(library->read([](SQLite::Database &db) { return LibraryNote::fetchOrdered(db); }));
    EXPECT_EQ(notes, (QList<LibraryNote>{tieA, tieB, second}));

    EXPECT_TRUE(test::run(library->write([c](SQLite::Database &db) { return LibraryNote::remove(db, c); })));
    EXPECT_FALSE(test::run(library->write([c](SQLite::Database &db) { return LibraryNote::remove(db, c); })));
    // Saving a note whose row went creates it again.
    test::run(library->write([second](SQLite::Database &db) { second.upsert(db); }));
    EXPECT_EQ(test::run(library->read([](SQLite::Database &db) { return LibraryNote::fetchOrdered(db); })).size(), 3);
}
