#include "speech/recordingaudioarchive.h"
#include "speech/recordinghistory.h"

#include "recordingfixture.h"
#include "testaudio.h"

#include "core/log.h"
#include "core/uuid.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <limits>

#include <cmath>

using namespace velmora;
using namespace velmora::test;
using Outcome = ActivityEvent::Outcome;

namespace {

TestMeasurements withChunks(qint64 chunks) {
    TestMeasurements m;
    m.chunks = chunks;
    return m;
}

TestMeasurements withSeconds(std::optional<double> seconds) {
    TestMeasurements m;
    m.audioSeconds = seconds;
    return m;
}

class RecordingHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = Library::open(Library::defaultRoot());
        ASSERT_TRUE(library->status().isReady());
        history = std::make_unique<TestHistory>(QStringLiteral("dictation"), library, &RecordingAudioArchive::convert);
    }

    QString root() const { return library->root(); }
    QStringList assetsOf(const QUuid &id) const {
        return QDir(root() + QStringLiteral("/Assets/") + uuidString(id)).entryList(QDir::Files);
    }
    QUuid begun(const std::optional<QString> &language = QStringLiteral("en")) {
        const QUuid id = QUuid::createUuid();
        run(history->begin(id, language, startedAt));
        return id;
    }

    TempHome home;
    std::shared_ptr<Library> library;
    std::unique_ptr<TestHistory> history;
    QDateTime startedAt = QDateTime::fromMSecsSinceEpoch(1'700'000'000'123, Qt::UTC);
};

TEST_F(RecordingHistoryTest, BeginOpensAnActiveTaskWithItsStagedAudio) {
    const QUuid id = begun();
    EXPECT_EQ(history->stagedURL(id), root() + QStringLiteral("/Staging/") + uuidString(id) + QStringLiteral(".f32"));

    const StoredRun rows = storedRun(*library, id);
    ASSERT_TRUE(rows.task);
    EXPECT_EQ(rows.task->tool, QStringLiteral("dictation"));
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Active);
    EXPECT_EQ(rows.task->createdAt, startedAt);
    EXPECT_EQ(rows.task->updatedAt, startedAt);
    EXPECT_FALSE(rows.task->contentDeletedAt);
    ASSERT_EQ(rows.artifacts.size(), 1);
    const LibraryArtifact &audio = rows.artifacts.first();
    EXPECT_EQ(audio.role, LibraryArtifact::Role::Input);
    EXPECT_EQ(audio.kind, LibraryArtifact::Kind::Audio);
    EXPECT_EQ(audio.language, QStringLiteral("en"));
    EXPECT_FALSE(audio.attemptId);
    EXPECT_FALSE(audio.text);
    EXPECT_EQ(audio.filePath, QStringLiteral("Staging/") + uuidString(id) + QStringLiteral(".f32"));
    EXPECT_EQ(audio.createdAt, startedAt);
    EXPECT_TRUE(rows.events.isEmpty());

    // The same id again fails as a whole and is logged.
    LogCapture capture;
    EXPECT_THROW(run(history->begin(id, std::nullopt, startedAt)), DatabaseError);
    EXPECT_TRUE(capture.contains("library", LogLevel::Error,
                                 QStringLiteral("dictation history begin failed: Velmora.DatabaseError 1555")));
    EXPECT_EQ(storedRun(*library, id).artifacts.size(), 1);
}

TEST_F(RecordingHistoryTest, SaveArchivesTheRecordingAndRecordsTheRun) {
    const QUuid id = begun();
    writeStagedSamples(history->stagedURL(id), std::vector<float>(8000, 0.25f));

    run(history->save(id, Outcome::Completed, QStringLiteral("Hello there."), withChunks(2)));

    const StoredRun rows = storedRun(*library, id);
    ASSERT_TRUE(rows.task && rows.audio() && rows.artifact(LibraryArtifact::Role::Output));
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Completed);
    EXPECT_EQ(rows.task->createdAt, startedAt);
    const QString prefix = QStringLiteral("Assets/") + uuidString(id) + QLatin1Char('/');
    const QString path = *rows.audio()->filePath;
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(prefix) +
                           QStringLiteral("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.m4a$"))
            .match(path)
            .hasMatch())
        << path.toStdString();
    EXPECT_EQ(decodeAudio(root() + QLatin1Char('/') + path).samples.size(), 8000u);
    EXPECT_FALSE(QFileInfo::exists(history->stagedURL(id)));

    const LibraryArtifact output = *rows.artifact(LibraryArtifact::Role::Output);
    EXPECT_EQ(output.text, QStringLiteral("Hello there."));
    EXPECT_EQ(output.attemptId, id);
    EXPECT_EQ(output.language, QStringLiteral("en")) << "taken from the audio row";
    EXPECT_FALSE(output.filePath);
    EXPECT_EQ(rows.task->updatedAt, output.createdAt);

    ASSERT_EQ(rows.events.size(), 1);
    const ActivityEvent &event = rows.events.first();
    EXPECT_EQ(event.attemptId, id);
    EXPECT_EQ(event.tool, QStringLiteral("dictation"));
    EXPECT_EQ(event.kind, ActivityEvent::Kind::AttemptFinished);
    EXPECT_EQ(event.version, 1);
    EXPECT_EQ(event.occurredAt, output.createdAt);
    EXPECT_EQ(event.outcome, Outcome::Completed);
    EXPECT_EQ(event.timeZone, QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    EXPECT_EQ(event.utcOffsetSeconds, QTimeZone::systemTimeZone().offsetFromUtc(event.occurredAt));
    EXPECT_EQ(event.measurements, QStringLiteral(R"({"audioSeconds":0.5,"chunks":2})"));

    // A finished task is not saved twice.
    LogCapture capture;
    EXPECT_THROW(run(history->save(id, Outcome::Completed, QStringLiteral("again"), TestMeasurements{})),
                 RecordingHistoryError);
    EXPECT_TRUE(capture.contains("library", LogLevel::Error,
                                 QStringLiteral("dictation history save failed: Velmora.RecordingHistoryError 0")));
    EXPECT_EQ(storedRun(*library, id).events.size(), 1);
}

TEST_F(RecordingHistoryTest, SaveMapsOutcomesTextsAndAudio) {
    struct Case {
        Outcome outcome;
        std::optional<QString> text;
        std::optional<QString> language;
        qsizetype stagedBytes; // -1: no staged file
        std::optional<double> givenSeconds;
        LibraryTask::Status status;
        std::optional<QString> outputLanguage; // checked when an output is expected
        bool hasAudio;
        QString measurements;
    };
    const std::vector<Case> cases = {
        {Outcome::Interrupted, std::nullopt, std::nullopt, 16000 * 4, std::nullopt, LibraryTask::Status::Failed,
         std::nullopt, true, QStringLiteral(R"({"audioSeconds":1})")},
        {Outcome::Partial, QString(), std::nullopt, 64, 9.5, LibraryTask::Status::Partial, std::nullopt, true,
         QStringLiteral(R"({"audioSeconds":9.5})")},
        {Outcome::Failed, QStringLiteral("x"), QStringLiteral("ja"), -1, std::nullopt, LibraryTask::Status::Failed,
         QStringLiteral("ja"), false, QStringLiteral("{}")},
        {Outcome::Completed, QStringLiteral("y"), std::nullopt, 3, std::nullopt, LibraryTask::Status::Completed,
         QStringLiteral("en"), false, QStringLiteral("{}")},
        // A figure that is not a number is left out; the run and its text are still saved.
        {Outcome::Completed, QStringLiteral("y"), std::nullopt, 3, std::nan(""), LibraryTask::Status::Completed,
         QStringLiteral("en"), false, QStringLiteral("{}")},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        const QUuid id = begun();
        if (c.stagedBytes >= 0)
            test::writeFile(history->stagedURL(id), QByteArray(c.stagedBytes, '\0'));
        run(history->save(id, c.outcome, c.text, c.language, withSeconds(c.givenSeconds)));

        const StoredRun rows = storedRun(*library, id);
        EXPECT_EQ(rows.task->status, c.status) << i;
        EXPECT_EQ(rows.audio().has_value(), c.hasAudio) << i;
        EXPECT_EQ(assetsOf(id).size(), c.hasAudio ? 1 : 0) << i;
        const bool expectOutput = c.text && !c.text->isEmpty();
        ASSERT_EQ(rows.artifact(LibraryArtifact::Role::Output).has_value(), expectOutput) << i;
        if (expectOutput) {
            EXPECT_EQ(rows.artifact(LibraryArtifact::Role::Output)->language, c.outputLanguage) << i;
        }
        ASSERT_EQ(rows.events.size(), 1) << i;
        EXPECT_EQ(rows.events.first().outcome, c.outcome) << i;
        EXPECT_EQ(rows.events.first().measurements, c.measurements) << i;
        EXPECT_FALSE(QFileInfo::exists(history->stagedURL(id))) << i;
    }
}

TEST_F(RecordingHistoryTest, SaveKeepsTheTranscriptWhenTheConversionFails) {
    history = std::make_unique<TestHistory>(
        QStringLiteral("dictation"), library, [](const QString &, const QString &) -> qint64 {
            throw RecordingAudioArchiveError(RecordingAudioArchiveError::Code::bufferUnavailable);
        });
    const QUuid id = begun();
    writeStagedSamples(history->stagedURL(id), std::vector<float>(3200, 0.1f));
    LogCapture capture;

    run(history->save(id, Outcome::Completed, QStringLiteral("kept"), TestMeasurements{}));

    EXPECT_TRUE(
        capture.contains("library", LogLevel::Error,
                         QStringLiteral("Recording audio conversion failed: Velmora.RecordingAudioArchiveError 1")));
    const StoredRun rows = storedRun(*library, id);
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Completed);
    EXPECT_EQ(rows.artifact(LibraryArtifact::Role::Output)->text, QStringLiteral("kept"));
    ASSERT_TRUE(rows.audio());
    EXPECT_TRUE(rows.audio()->filePath->endsWith(QStringLiteral(".f32")));
    EXPECT_EQ(QFileInfo(root() + QLatin1Char('/') + *rows.audio()->filePath).size(), 3200 * 4);
    EXPECT_EQ(rows.events.first().measurements, QStringLiteral(R"({"audioSeconds":0.2})"));
    EXPECT_FALSE(QFileInfo::exists(history->stagedURL(id)));
}

TEST_F(RecordingHistoryTest, AFailedSaveWriteUndoesTheArchiveAndKeepsTheStagedFile) {
    struct Case {
        const char *name;
        std::function<void(const QUuid &)> breakIt;
        TestMeasurements measurements;
        QString line;
    };
    const std::vector<Case> cases = {
        {"discarded meanwhile",
         [&](const QUuid &id) { run(history->discard(id)); },
         {},
         QStringLiteral("dictation history save failed: Velmora.RecordingHistoryError 0")},
        {"database refuses",
         [&](const QUuid &) {
             execSql(*library, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON activityEvent BEGIN "
                                              "SELECT RAISE(ABORT, 'refused'); END"));
         },
         {},
         QStringLiteral("dictation history save failed: Velmora.DatabaseError 1811")},
    };
    for (const Case &c : cases) {
        const QUuid id = begun();
        writeStagedSamples(history->stagedURL(id), std::vector<float>(1600, 0.1f));
        c.breakIt(id);
        const bool discarded = std::string(c.name) == "discarded meanwhile";
        if (discarded)
            writeStagedSamples(history->stagedURL(id), std::vector<float>(1600, 0.1f));
        LogCapture capture;
        EXPECT_ANY_THROW(run(history->save(id, Outcome::Completed, QStringLiteral("t"), c.measurements))) << c.name;
        EXPECT_TRUE(capture.contains("library", LogLevel::Error, c.line)) << c.name;
        EXPECT_TRUE(assetsOf(id).isEmpty()) << c.name;
        EXPECT_EQ(QFileInfo(history->stagedURL(id)).size(), 1600 * 4) << c.name;
        if (!discarded) {
            const StoredRun rows = storedRun(*library, id);
            EXPECT_EQ(rows.task->status, LibraryTask::Status::Active) << c.name;
            EXPECT_EQ(rows.artifacts.size(), 1) << c.name;
            EXPECT_TRUE(rows.events.isEmpty()) << c.name;
        }
        execSql(*library, QStringLiteral("DROP TRIGGER IF EXISTS refuse"));
    }
}

// A save the database refuses (a failed insert, a full disk) still fails for its caller, but
// the transcript and the measurements wait beside the staged samples: the next launch records
// the run as it ended, with its text, not as interrupted without one. They wait through a
// launch whose write fails again too.
TEST_F(RecordingHistoryTest, ASaveTheDatabaseRefusesIsRecordedAsItEndedAtTheNextLaunch) {
    const QUuid id = begun(QStringLiteral("de"));
    writeStagedSamples(history->stagedURL(id), std::vector<float>(1600, 0.1f));
    execSql(*library, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON activityEvent BEGIN "
                                     "SELECT RAISE(ABORT, 'refused'); END"));
    {
        LogCapture capture;
        EXPECT_THROW(run(history->save(id, Outcome::Partial, QStringLiteral("the words so far"), withChunks(3))),
                     DatabaseError);
        EXPECT_EQ(capture.messages("library"),
                  QStringList{QStringLiteral("dictation history save failed: Velmora.DatabaseError 1811")});
    }
    EXPECT_EQ(storedRun(*library, id).task->status, LibraryTask::Status::Active);

    // The next launch's write is refused as well: nothing is lost for the one after.
    TestHistory nextLaunch(QStringLiteral("dictation"), library, &RecordingAudioArchive::convert);
    run(nextLaunch.recoverStagedRecordings());
    EXPECT_EQ(storedRun(*library, id).task->status, LibraryTask::Status::Active);
    EXPECT_TRUE(assetsOf(id).isEmpty());

    execSql(*library, QStringLiteral("DROP TRIGGER refuse"));
    TestHistory launchAfter(QStringLiteral("dictation"), library, &RecordingAudioArchive::convert);
    run(launchAfter.recoverStagedRecordings());
    const StoredRun rows = storedRun(*library, id);
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Partial);
    ASSERT_TRUE(rows.artifact(LibraryArtifact::Role::Output));
    EXPECT_EQ(rows.artifact(LibraryArtifact::Role::Output)->text, QStringLiteral("the words so far"));
    EXPECT_EQ(rows.artifact(LibraryArtifact::Role::Output)->language, QStringLiteral("de"));
    ASSERT_EQ(rows.events.size(), 1);
    EXPECT_EQ(rows.events.first().outcome, Outcome::Partial);
    EXPECT_EQ(rows.events.first().measurements, QStringLiteral(R"({"audioSeconds":0.1,"chunks":3})"));
    ASSERT_TRUE(rows.audio());
    EXPECT_EQ(decodeAudio(root() + QLatin1Char('/') + *rows.audio()->filePath).samples.size(), 1600u);
    EXPECT_TRUE(QDir(root() + QStringLiteral("/Staging")).entryList(QDir::Files).isEmpty());
}

// What a refused save leaves behind only ever adds to what the recovery knows: unreadable, it
// is ignored and the run is closed as interrupted with its audio, as without it.
TEST_F(RecordingHistoryTest, AnUnreadableKeptSaveIsRecoveredAsInterrupted) {
    const QUuid id = begun();
    writeStagedSamples(history->stagedURL(id), std::vector<float>(1600, 0.1f));
    execSql(*library, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON activityEvent BEGIN "
                                     "SELECT RAISE(ABORT, 'refused'); END"));
    EXPECT_ANY_THROW(run(history->save(id, Outcome::Completed, QStringLiteral("t"), withChunks(1))));
    execSql(*library, QStringLiteral("DROP TRIGGER refuse"));
    const QStringList kept = QDir(root() + QStringLiteral("/Staging")).entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 2) << kept.join(' ').toStdString();
    for (const QString &name : kept)
        if (!name.endsWith(QStringLiteral(".f32")))
            test::writeFile(root() + QStringLiteral("/Staging/") + name, "{\"outcome\": 7");

    run(history->recoverStagedRecordings());
    const StoredRun rows = storedRun(*library, id);
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Failed);
    EXPECT_EQ(rows.events.first().outcome, Outcome::Interrupted);
    EXPECT_FALSE(rows.artifact(LibraryArtifact::Role::Output));
    EXPECT_TRUE(rows.audio());
    EXPECT_TRUE(QDir(root() + QStringLiteral("/Staging")).entryList(QDir::Files).isEmpty());
}

TEST_F(RecordingHistoryTest, DiscardRemovesTheRunAndAFailedDiscardIsNotRecoveredAsInterrupted) {
    const QUuid id = begun();
    writeStagedSamples(history->stagedURL(id), std::vector<float>(100, 0.1f));
    run(history->discard(id));
    EXPECT_FALSE(storedRun(*library, id).task);
    EXPECT_EQ(run(library->read(
                  [](SQLite::Database &db) { return db.execAndGet("SELECT count(*) FROM artifact").getInt(); })),
              0);
    EXPECT_FALSE(QFileInfo::exists(history->stagedURL(id)));
    // Nothing to delete is not an error, and the staged file still goes.
    const QUuid unknown = QUuid::createUuid();
    test::writeFile(history->stagedURL(unknown), "abcd");
    run(history->discard(unknown));
    EXPECT_FALSE(QFileInfo::exists(history->stagedURL(unknown)));

    // A discard the database refuses keeps the staged file (it still belongs to the run) ...
    const QUuid cancelled = begun();
    writeStagedSamples(history->stagedURL(cancelled), std::vector<float>(100, 0.1f));
    execSql(*library, QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON task BEGIN "
                                     "SELECT RAISE(ABORT, 'refused'); END"));
    LogCapture capture;
    EXPECT_THROW(run(history->discard(cancelled)), DatabaseError);
    EXPECT_TRUE(capture.contains("library", LogLevel::Error,
                                 QStringLiteral("dictation history discard failed: Velmora.DatabaseError 1811")));
    EXPECT_TRUE(QFileInfo::exists(history->stagedURL(cancelled)));
    execSql(*library, QStringLiteral("DROP TRIGGER refuse"));

    // ... and the next launch drops the cancelled run instead of closing it as interrupted.
    run(history->recoverStagedRecordings());
    EXPECT_FALSE(storedRun(*library, cancelled).task);
    EXPECT_TRUE(QDir(root() + QStringLiteral("/Staging")).entryList(QDir::Files).isEmpty());
}

TEST_F(RecordingHistoryTest, RerunAndEditRewriteTheOutput) {
    const QUuid id = begun();
    writeStagedSamples(history->stagedURL(id), std::vector<float>(1600, 0.1f));

    // Not yet saved: nothing to rerun or edit.
    EXPECT_FALSE(run(history->rerun(id, Outcome::Completed, QStringLiteral("r"), std::nullopt, {})));
    EXPECT_TRUE(storedRun(*library, id).events.isEmpty());

    run(history->save(id, Outcome::Completed, QStringLiteral("first"), TestMeasurements{}));
    const QString audioPath = *storedRun(*library, id).audio()->filePath;

    EXPECT_TRUE(run(history->rerun(id, Outcome::Partial, QStringLiteral("second"), std::nullopt, withChunks(1))));
    StoredRun rows = storedRun(*library, id);
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Partial);
    ASSERT_EQ(rows.artifacts.size(), 2);
    EXPECT_EQ(rows.audio()->filePath, audioPath);
    EXPECT_EQ(rows.artifact(LibraryArtifact::Role::Output)->text, QStringLiteral("second"));
    EXPECT_FALSE(rows.artifact(LibraryArtifact::Role::Output)->language)
        << "no fallback to the audio's language on rerun";
    ASSERT_EQ(rows.events.size(), 2);
    const ActivityEvent &attempt = rows.events.last();
    EXPECT_EQ(attempt.attemptId, rows.artifact(LibraryArtifact::Role::Output)->attemptId);
    EXPECT_NE(attempt.attemptId, id);
    EXPECT_EQ(attempt.outcome, Outcome::Partial);
    EXPECT_EQ(attempt.measurements, QStringLiteral(R"({"chunks":1})"));

    EXPECT_TRUE(run(history->edit(id, QStringLiteral("edited"))));
    EXPECT_EQ(storedRun(*library, id).artifact(LibraryArtifact::Role::Output)->text, QStringLiteral("edited"));

    // A saved run without text has nothing to edit; a content-deleted one cannot be rerun.
    const QUuid silent = begun();
    run(history->save(silent, Outcome::Failed, std::nullopt, TestMeasurements{}));
    EXPECT_FALSE(run(history->edit(silent, QStringLiteral("x"))));
    execSql(*library,
            QStringLiteral("UPDATE task SET contentDeletedAt = updatedAt WHERE id = '%1'").arg(uuidString(id)));
    EXPECT_FALSE(run(history->rerun(id, Outcome::Completed, QStringLiteral("r"), std::nullopt, {})));
    EXPECT_EQ(storedRun(*library, id).events.size(), 2);
}

TEST(RecordingHistory, EveryOperationFailsWithTheReasonOfAnUnavailableLibrary) {
    TempHome home;
    test::writeFile(Library::defaultRoot() + QStringLiteral("/Library.sqlite"), QByteArray(4096, 'x'));
    auto library = Library::open(Library::defaultRoot());
    ASSERT_FALSE(library->status().isReady());
    const auto reason = *library->status().reason();
    TestHistory history(QStringLiteral("voiceCompose"), library, &RecordingAudioArchive::convert);
    const QUuid id = QUuid::createUuid();
    test::writeFile(history.stagedURL(id), QByteArray(400, '\0'));

    LogCapture capture;
    auto expectReason = [&](auto task, const char *name) {
        try {
            run(std::move(task));
            ADD_FAILURE() << name << " succeeded";
        } catch (const Library::UnavailableError &e) {
            EXPECT_EQ(e.kind(), reason) << name;
        }
    };
    expectReason(history.begin(id, std::nullopt, QDateTime::currentDateTimeUtc()), "begin");
    expectReason(history.save(id, Outcome::Completed, QStringLiteral("t"), TestMeasurements{}), "save");
    expectReason(history.discard(id), "discard");
    expectReason(history.rerun(id, Outcome::Completed, QStringLiteral("t"), std::nullopt, {}), "rerun");
    expectReason(history.edit(id, QStringLiteral("t")), "edit");
    expectReason(history.recoverStagedRecordings(), "recover");
    EXPECT_TRUE(capture.messages(QStringLiteral("library")).isEmpty());
    EXPECT_EQ(QFileInfo(history.stagedURL(id)).size(), 400);
}

TEST(RecordingHistory, MeasurementsAreCompactSortedAndLeaveOutNonFiniteNumbers) {
    TestMeasurements m = withChunks(3);
    m.audioSeconds = 2.0;
    m.note = QStringLiteral("a\"b");
    EXPECT_EQ(encodeMeasurements(m.toJson()), QStringLiteral(R"({"audioSeconds":2,"chunks":3,"note":"a\"b"})"));
    EXPECT_EQ(encodeMeasurements(m.toJson()), encodeMeasurements(TestMeasurements(m).toJson()));
    // A figure that is not a number must not cost the run: it is left out, the rest is kept.
    TestMeasurements bad = withChunks(3);
    bad.audioSeconds = std::numeric_limits<double>::infinity();
    EXPECT_EQ(encodeMeasurements(bad.toJson()), QStringLiteral(R"({"chunks":3})"));
    bad.audioSeconds = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(encodeMeasurements(bad.toJson()), QStringLiteral(R"({"chunks":3})"));
}

} // namespace
