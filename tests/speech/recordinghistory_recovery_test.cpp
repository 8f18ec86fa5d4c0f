#include "speech/recordingaudioarchive.h"
#include "speech/recordinghistory.h"

#include "recordingfixture.h"
#include "testaudio.h"

#include "core/log.h"
#include "core/uuid.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class RecordingRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = Library::open(Library::defaultRoot());
        ASSERT_TRUE(library->status().isReady());
    }

    std::unique_ptr<TestHistory> makeHistory(const QString &tool,
                                             RecordingEncoder encode = &RecordingAudioArchive::convert) {
        return std::make_unique<TestHistory>(tool, library, std::move(encode));
    }

    // An active run as a crash leaves it: the task with its staged audio row, and
    // stagedBytes of samples in staging (none when negative).
    QUuid leftActive(TestHistory &history, qsizetype stagedBytes) {
        const QUuid id = QUuid::createUuid();
        run(history.begin(id, QStringLiteral("en"), QDateTime::currentDateTimeUtc()));
        if (stagedBytes >= 0)
            test::writeFile(history.stagedURL(id), QByteArray(stagedBytes, '\0'));
        return id;
    }

    QStringList assetsOf(const QUuid &id) const {
        return QDir(library->root() + QStringLiteral("/Assets/") + uuidString(id)).entryList(QDir::Files);
    }

    TempHome home;
    std::shared_ptr<Library> library;
};

TEST_F(RecordingRecoveryTest, ClosesEveryActiveRunOfItsToolAsInterrupted) {
    QUuid failing;
    auto dictation = makeHistory(QStringLiteral("dictation"), [&](const QString &source, const QString &destination) {
        if (source.contains(uuidString(failing)))
            throw RecordingAudioArchiveError(RecordingAudioArchiveError::Code::bufferUnavailable);
        return RecordingAudioArchive::convert(source, destination);
    });
    auto voiceCompose = makeHistory(QStringLiteral("voiceCompose"));

    const QUuid converts = leftActive(*dictation, 1600 * 4);
    const QUuid missing = leftActive(*dictation, -1);
    const QUuid tiny = leftActive(*dictation, 3);
    failing = leftActive(*dictation, 800 * 4 + 2);
    const QUuid other = leftActive(*voiceCompose, 400 * 4);
    LogCapture capture;

    run(dictation->recoverStagedRecordings());

    struct Expect {
        QUuid id;
        std::optional<QString> extension;
        QString measurements;
    };
    const std::vector<Expect> expectations = {
        {converts, QStringLiteral(".m4a"), QStringLiteral(R"({"audioSeconds":0.1})")},
        {missing, std::nullopt, QStringLiteral("{}")},
        {tiny, std::nullopt, QStringLiteral("{}")},
        {failing, QStringLiteral(".f32"), QStringLiteral(R"({"audioSeconds":0.05})")},
    };
    for (const Expect &e : expectations) {
        const StoredRun rows = storedRun(*library, e.id);
        const std::string name = uuidString(e.id).toStdString();
        EXPECT_EQ(rows.task->status, LibraryTask::Status::Failed) << name;
        EXPECT_FALSE(rows.artifact(LibraryArtifact::Role::Output)) << name;
        ASSERT_EQ(rows.events.size(), 1) << name;
        EXPECT_EQ(rows.events.first().outcome, ActivityEvent::Outcome::Interrupted) << name;
        EXPECT_EQ(rows.events.first().attemptId, e.id) << name;
        EXPECT_EQ(rows.events.first().version, 1) << name;
        EXPECT_EQ(rows.events.first().measurements, e.measurements) << name;
        EXPECT_FALSE(QFileInfo::exists(dictation->stagedURL(e.id))) << name;
        ASSERT_EQ(rows.audio().has_value(), e.extension.has_value()) << name;
        if (e.extension) {
            const QString path = *rows.audio()->filePath;
            EXPECT_TRUE(path.startsWith(QStringLiteral("Assets/") + uuidString(e.id) + QLatin1Char('/'))) << name;
            EXPECT_TRUE(path.endsWith(*e.extension)) << name;
            EXPECT_EQ(assetsOf(e.id).size(), 1) << name;
        }
    }
    EXPECT_EQ(decodeAudio(library->root() + QLatin1Char('/') + *storedRun(*library, converts).audio()->filePath)
                  .samples.size(),
              1600u);
    EXPECT_EQ(QFileInfo(library->root() + QLatin1Char('/') + *storedRun(*library, failing).audio()->filePath).size(),
              800 * 4 + 2);
    EXPECT_EQ(capture.messages(QStringLiteral("library")),
              QStringList{QStringLiteral("Recording audio conversion failed: Velmora.RecordingAudioArchiveError 1")});

    // Another tool's run is left to that tool's recovery.
    EXPECT_EQ(storedRun(*library, other).task->status, LibraryTask::Status::Active);
    EXPECT_TRUE(QFileInfo::exists(voiceCompose->stagedURL(other)));
    run(voiceCompose->recoverStagedRecordings());
    EXPECT_EQ(storedRun(*library, other).task->status, LibraryTask::Status::Failed);
    EXPECT_EQ(storedRun(*library, other).events.first().measurements, QStringLiteral(R"({"audioSeconds":0.025})"));
}

TEST_F(RecordingRecoveryTest, ARunWhoseWriteFailsStaysForTheNextLaunch) {
    auto dictation = makeHistory(QStringLiteral("dictation"));
    const QUuid stuck = leftActive(*dictation, 1600 * 4);
    const QUuid fine = leftActive(*dictation, 1600 * 4);
    execSql(*library, QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON task WHEN old.id = '%1' BEGIN "
                                     "SELECT RAISE(ABORT, 'refused'); END")
                          .arg(uuidString(stuck)));
    LogCapture capture;

    run(dictation->recoverStagedRecordings());

    EXPECT_EQ(capture.messages(QStringLiteral("library")),
              QStringList{QStringLiteral("dictation history save failed: Velmora.DatabaseError 1811")});
    const StoredRun rows = storedRun(*library, stuck);
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Active);
    EXPECT_EQ(rows.audio()->filePath, QStringLiteral("Staging/") + uuidString(stuck) + QStringLiteral(".f32"));
    EXPECT_TRUE(rows.events.isEmpty());
    EXPECT_TRUE(assetsOf(stuck).isEmpty()) << "the archive is undone";
    EXPECT_EQ(QFileInfo(dictation->stagedURL(stuck)).size(), 1600 * 4);
    EXPECT_EQ(storedRun(*library, fine).task->status, LibraryTask::Status::Failed);

    // Next launch, with the fault gone, it is closed.
    execSql(*library, QStringLiteral("DROP TRIGGER refuse"));
    run(dictation->recoverStagedRecordings());
    EXPECT_EQ(storedRun(*library, stuck).task->status, LibraryTask::Status::Failed);
    EXPECT_EQ(assetsOf(stuck).size(), 1);
}

TEST_F(RecordingRecoveryTest, NothingToRecoverAndAFailingQuery) {
    auto dictation = makeHistory(QStringLiteral("dictation"));
    const QUuid done = leftActive(*dictation, 400);
    run(dictation->save(done, ActivityEvent::Outcome::Completed, QStringLiteral("x"), TestMeasurements{}));
    LogCapture capture;
    run(dictation->recoverStagedRecordings());
    EXPECT_TRUE(capture.messages(QStringLiteral("library")).isEmpty());
    EXPECT_EQ(storedRun(*library, done).events.size(), 1);

    execSql(*library, QStringLiteral("ALTER TABLE task RENAME TO taskAway"));
    EXPECT_THROW(run(dictation->recoverStagedRecordings()), DatabaseError);
    EXPECT_EQ(capture.messages(QStringLiteral("library")),
              QStringList{QStringLiteral("dictation history recover failed: Velmora.DatabaseError 1")});
}

} // namespace
