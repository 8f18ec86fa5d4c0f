// A recording from the microphone to History: the fake capture source, the stand-in speech
// helper and a real Library in the test's temporary home.

#include "speech/fakespeechcapturesource.h"
#include "speech/recordingaudioarchive.h"
#include "speech/recordinghistory.h"
#include "speech/speechcapture.h"
#include "speech/speechhelperclient.h"
#include "speech/speechrecorder.h"

#include "recordersetup.h"
#include "recordingfakes.h"
#include "recordingfixture.h"
#include "testaudio.h"

#include "core/log.h"
#include "core/uuid.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/wait.h>

using namespace velmora;
using namespace velmora::test;
using Outcome = ActivityEvent::Outcome;

namespace {

// A small, empty file system mounted over a folder for the life of the object (root only).
class SmallFileSystem {
public:
    SmallFileSystem(const QString &folder, qint64 bytes) : m_folder(QFile::encodeName(folder)) {
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
        if (::mount("tmpfs", m_folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0)
            m_mounted = true;
        else
            m_error = QString::fromUtf8(std::strerror(errno));
    }
    ~SmallFileSystem() {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool mounted() const { return m_mounted; }
    const QString &error() const { return m_error; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
    QString m_error;
};

// The owner's saving work, as Dictation does it: take the run's record and save it inside
// the recorder's saving step.
QCoro::Task<> saveOnly(TestHistory *history, QUuid id, Outcome outcome, std::optional<QString> text,
                       TestMeasurements measurements, int *failures) {
    try {
        QCoro::Task<> saving = history->save(id, outcome, text, measurements);
        co_await std::move(saving);
    } catch (...) {
        ++*failures;
    }
}

QCoro::Task<> saveRun(SpeechRecorder *recorder, TestHistory *history, QUuid id, Outcome outcome,
                      std::optional<QString> text, TestMeasurements measurements, int *failures) {
    if (!recorder->takeHistory(id))
        co_return;
    std::function<QCoro::Task<>()> work = [=] { return saveOnly(history, id, outcome, text, measurements, failures); };
    QCoro::Task<> finishing = recorder->finishOperation(std::move(work));
    co_await std::move(finishing);
}

class SpeechRecordingFlowTest : public ::testing::Test {
protected:
    SpeechRecordingFlowTest() : sounds(journal), muter(journal), owner(journal) {}

    void SetUp() override {
        library = Library::open(Library::defaultRoot());
        history = std::make_unique<TestHistory>(QStringLiteral("dictation"), library, &RecordingAudioArchive::convert);
        speakInBursts(source);
        capture = std::make_unique<SpeechCapture>(SpeechCapture::defaultDirectory(), source);
        helper = std::make_unique<SpeechHelperClient>(helperPath(SpeechHelperClient::kExecutableName));

        recorder = std::make_unique<SpeechRecorder>(recorderDependencies(
            *capture, *helper, sounds, muter, [this](bool) { return std::optional<QString>(modelPath); }));

        owner.onTranscript = [this](SpeechRecorder::Transcript t, QUuid id) {
            lastId = id;
            TestMeasurements m;
            m.chunks = t.chunks;
            return saveRun(recorder.get(), history.get(), id, t.complete ? Outcome::Completed : Outcome::Partial,
                           t.text, m, &saveFailures);
        };
        owner.onEnd = [this](QUuid id, Outcome outcome) {
            lastId = id;
            return saveRun(recorder.get(), history.get(), id, outcome, std::nullopt, TestMeasurements{}, &saveFailures);
        };
    }

    void TearDown() override {
        if (!recorder->isQuitting())
            run(recorder->prepareToQuit(&owner));
    }

    void useModel(const QJsonObject &script) {
        modelPath = home.path() + QStringLiteral("/speech-model.json");
        test::writeFile(modelPath, QJsonDocument(script).toJson());
    }

    // Records frames of the signal and returns once the capture has written them.
    void record(qint64 frames) {
        ASSERT_EQ(recorder->begin(&owner, std::nullopt, true, history.get()), SpeechRecorder::BeginResult::Started);
        ASSERT_TRUE(waitUntil([&] { return recorder->state() == SpeechRecorder::State::Recording; }));
        ASSERT_TRUE(source.deliver(frames));
    }

    TempHome home;
    Journal journal;
    FakeSounds sounds;
    FakeMuter muter;
    TestOwner owner;
    std::shared_ptr<Library> library;
    std::unique_ptr<TestHistory> history;
    FakeSpeechCaptureSource source;
    std::unique_ptr<SpeechCapture> capture;
    std::unique_ptr<SpeechHelperClient> helper;
    std::unique_ptr<SpeechRecorder> recorder;
    QString modelPath;
    QUuid lastId;
    int saveFailures = 0;
};

TEST_F(SpeechRecordingFlowTest, ARecordingBecomesATranscriptAndAHistoryEntryWithItsAudio) {
    useModel({{"text", "hello there"}});
    record(40000);
    ASSERT_TRUE(waitUntil([&] { return !recorder->isModelLoading(); }));
    recorder->stop();
    ASSERT_TRUE(waitUntil([&] { return owner.calls.endsWith("ownershipDidEnd"); }, std::chrono::seconds(30)));

    EXPECT_EQ(owner.calls.join(" | "), QStringLiteral("willBegin | transcript hello there | ownershipDidEnd"));
    EXPECT_EQ(saveFailures, 0);
    ASSERT_TRUE(owner.transcript);
    EXPECT_TRUE(owner.transcript->complete);
    EXPECT_EQ(owner.transcript->chunks, 1);

    const StoredRun rows = storedRun(*library, lastId);
    ASSERT_TRUE(rows.task && rows.audio() && rows.artifact(LibraryArtifact::Role::Output));
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Completed);
    EXPECT_EQ(rows.artifact(LibraryArtifact::Role::Output)->text, QStringLiteral("hello there"));
    EXPECT_EQ(rows.artifact(LibraryArtifact::Role::Output)->language, QStringLiteral("en"));
    ASSERT_TRUE(rows.audio()->filePath->startsWith(QStringLiteral("Assets/") + uuidString(lastId) + "/"));
    ASSERT_TRUE(rows.audio()->filePath->endsWith(QStringLiteral(".m4a")));
    const DecodedAudio audio = decodeAudio(library->root() + QLatin1Char('/') + *rows.audio()->filePath);
    EXPECT_EQ(audio.samples.size(), 40000u);
    EXPECT_EQ(rows.events.first().measurements, QStringLiteral(R"({"audioSeconds":2.5,"chunks":1})"));
    EXPECT_TRUE(QDir(library->root() + QStringLiteral("/Staging")).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(journal.only({"mute", "restore", "cue"}).join(" | "),
              QStringLiteral("cue.start | cue.start done | mute | restore | cue.falling"));
}

// A helper that answers the only chunk and exits at once (stopped or crashed right after its
// answer) costs nothing: the transcript is delivered and saved as complete.
TEST_F(SpeechRecordingFlowTest, AHelperThatExitsRightAfterAnsweringStillDeliversTheTranscript) {
    // A moment of engine work before the answer, so the test is waiting for the exit before
    // the answer can be read.
    useModel({{"transcribeDefault",
               QJsonArray{QJsonObject{{"sleepMs", 100}}, QJsonObject{{"result", true}}, QJsonObject{{"exit", 0}}}}});
    LogCapture logs;
    record(24000);
    ASSERT_TRUE(waitUntil([&] { return !recorder->isModelLoading(); }));
    // The chunk's request is noticed as it goes out (a poll could miss a quick answer).
    bool asked = false;
    QObject::connect(helper.get(), &SpeechHelperClient::isBusyChanged,
                     [&](bool busy) { asked = asked || (busy && helper->isLoaded()); });
    recorder->stop();
    // Once the chunk is asked for, let the helper answer and be gone before the program reads
    // anything: its answer and its exit then arrive together, as on a busy machine.
    ASSERT_TRUE(waitUntil([&] { return asked; }));
    siginfo_t info{};
    if (const qint64 pid = helper->processId())
        ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT);
    ASSERT_TRUE(waitUntil([&] { return owner.calls.endsWith("ownershipDidEnd"); }, std::chrono::seconds(30)));

    ASSERT_EQ(owner.calls.size(), 3) << owner.calls.join(" | ").toStdString();
    EXPECT_TRUE(owner.calls[1].startsWith(QStringLiteral("transcript w")));
    ASSERT_TRUE(owner.transcript);
    EXPECT_TRUE(owner.transcript->complete);
    EXPECT_FALSE(logs.contains("speech", LogLevel::Error, "Recording failed: helper, error none"));
    EXPECT_EQ(storedRun(*library, lastId).task->status, LibraryTask::Status::Completed);
}

TEST_F(SpeechRecordingFlowTest, AHelperCrashMidChunkFailsTheRunAndKeepsItsAudio) {
    useModel({{"transcribeDefault", QJsonArray{QJsonObject{{"exit", 3}}}}});
    LogCapture logs;
    record(24000);
    recorder->stop();
    ASSERT_TRUE(waitUntil([&] { return owner.calls.endsWith("ownershipDidEnd"); }, std::chrono::seconds(30)));

    EXPECT_EQ(owner.calls.join(" | "),
              QStringLiteral("willBegin | didFail helper | willCancel | didEnd failed | ownershipDidEnd"));
    EXPECT_TRUE(logs.contains("speech", LogLevel::Error, "Recording failed: helper, error none"));
    const StoredRun rows = storedRun(*library, lastId);
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Failed);
    EXPECT_EQ(rows.events.first().outcome, Outcome::Failed);
    ASSERT_TRUE(rows.audio());
    EXPECT_EQ(decodeAudio(library->root() + QLatin1Char('/') + *rows.audio()->filePath).samples.size(), 24000u);
}

// The staging folder fills up after about a second of a longer recording: the recording stops
// there, and what the file holds is transcribed, delivered and kept in History as partial.
TEST_F(SpeechRecordingFlowTest, AFullStagingDiskKeepsWhatWasRecordedAsAPartialRun) {
    constexpr qint64 kRoom = 64 * 1024;
    SmallFileSystem staging(library->root() + QStringLiteral("/Staging"), kRoom);
    if (!staging.mounted())
        GTEST_SKIP() << "no file system can be mounted here: " << staging.error().toStdString();
    useModel({});
    LogCapture logs;
    record(48000); // three seconds; the staging folder holds about one
    EXPECT_TRUE(
        waitUntil([&] { return recorder->state() != SpeechRecorder::State::Recording; }, std::chrono::seconds(20)))
        << "the recording went on into a full disk";
    recorder->stop(); // as the user would, had it not stopped by itself
    ASSERT_TRUE(waitUntil([&] { return owner.calls.endsWith("ownershipDidEnd"); }, std::chrono::seconds(30)));

    ASSERT_EQ(owner.calls.size(), 3) << owner.calls.join(" | ").toStdString();
    EXPECT_EQ(owner.calls.first(), QStringLiteral("willBegin"));
    ASSERT_TRUE(owner.transcript);
    EXPECT_FALSE(owner.transcript->complete);
    EXPECT_FALSE(owner.transcript->text.isEmpty());
    EXPECT_TRUE(logs.contains("speech", LogLevel::Error, "Recording cut short: NSPOSIXErrorDomain 28"));
    EXPECT_EQ(saveFailures, 0);

    const StoredRun rows = storedRun(*library, lastId);
    ASSERT_TRUE(rows.task && rows.audio() && rows.artifact(LibraryArtifact::Role::Output));
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Partial);
    EXPECT_EQ(rows.events.first().outcome, Outcome::Partial);
    EXPECT_EQ(rows.artifact(LibraryArtifact::Role::Output)->text, owner.transcript->text);
    const auto archived = decodeAudio(library->root() + QLatin1Char('/') + *rows.audio()->filePath).samples.size();
    EXPECT_GT(archived, 8000u);
    EXPECT_LE(qint64(archived) * 4, kRoom);
}

// The Library refuses the run's History write: the owner hears that the save failed and still
// has its transcript, and the next launch records the run as it ended, with that transcript.
TEST_F(SpeechRecordingFlowTest, ATranscriptWhoseHistoryWriteFailsIsRecordedAtTheNextLaunch) {
    useModel({{"text", "keep these words"}});
    execSql(*library, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON artifact WHEN new.role = 'output' BEGIN "
                                     "SELECT RAISE(ABORT, 'disk full'); END"));
    record(24000);
    recorder->stop();
    ASSERT_TRUE(waitUntil([&] { return owner.calls.endsWith("ownershipDidEnd"); }, std::chrono::seconds(30)));
    EXPECT_EQ(owner.calls.join(" | "), QStringLiteral("willBegin | transcript keep these words | ownershipDidEnd"));
    EXPECT_EQ(saveFailures, 1);
    EXPECT_EQ(storedRun(*library, lastId).task->status, LibraryTask::Status::Active);

    execSql(*library, QStringLiteral("DROP TRIGGER refuse"));
    TestHistory nextLaunch(QStringLiteral("dictation"), library, &RecordingAudioArchive::convert);
    run(nextLaunch.recoverStagedRecordings());
    const StoredRun rows = storedRun(*library, lastId);
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Completed);
    ASSERT_TRUE(rows.artifact(LibraryArtifact::Role::Output));
    EXPECT_EQ(rows.artifact(LibraryArtifact::Role::Output)->text, QStringLiteral("keep these words"));
    EXPECT_EQ(rows.events.first().outcome, Outcome::Completed);
    EXPECT_EQ(rows.events.first().measurements, QStringLiteral(R"({"audioSeconds":1.5,"chunks":1})"));
    ASSERT_TRUE(rows.audio());
    EXPECT_EQ(decodeAudio(library->root() + QLatin1Char('/') + *rows.audio()->filePath).samples.size(), 24000u);
}

TEST_F(SpeechRecordingFlowTest, QuittingDuringProcessingLeavesTheRecordingForTheNextLaunch) {
    useModel({{"transcribeDefault", QJsonArray{QJsonObject{{"sleepMs", 5000}}, QJsonObject{{"result", true}}}}});
    record(32000);
    ASSERT_TRUE(waitUntil([&] { return !recorder->isModelLoading(); }));
    recorder->stop();
    ASSERT_TRUE(waitUntil([&] { return helper->isBusy(); }));
    const QUuid id = run(library->read([](SQLite::Database &db) {
        SQLite::Statement query(db, "SELECT id FROM task WHERE status = 'active'");
        return query.executeStep() ? column::uuid(query, "id") : QUuid();
    }));
    ASSERT_FALSE(id.isNull());

    run(recorder->prepareToQuit(&owner));
    EXPECT_EQ(owner.calls.join(" | "), QStringLiteral("willBegin | willCancel | ownershipDidEnd"));
    EXPECT_FALSE(helper->isLoaded());
    EXPECT_EQ(storedRun(*library, id).task->status, LibraryTask::Status::Active);
    EXPECT_EQ(QFileInfo(history->stagedURL(id)).size(), 32000 * 4);

    // The next launch closes it as interrupted, with its audio.
    TestHistory nextLaunch(QStringLiteral("dictation"), library, &RecordingAudioArchive::convert);
    run(nextLaunch.recoverStagedRecordings());
    const StoredRun rows = storedRun(*library, id);
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Failed);
    EXPECT_EQ(rows.events.first().outcome, Outcome::Interrupted);
    EXPECT_EQ(rows.events.first().measurements, QStringLiteral(R"({"audioSeconds":2})"));
    ASSERT_TRUE(rows.audio());
    EXPECT_EQ(decodeAudio(library->root() + QLatin1Char('/') + *rows.audio()->filePath).samples.size(), 32000u);
}

TEST_F(SpeechRecordingFlowTest, WithoutALibraryTheRecordingStillGivesItsTranscript) {
    test::writeFile(home.path() + QStringLiteral("/broken/Library.sqlite"), QByteArray(4096, 'x'));
    auto unavailable = Library::open(home.path() + QStringLiteral("/broken"));
    ASSERT_FALSE(unavailable->status().isReady());
    history = std::make_unique<TestHistory>(QStringLiteral("dictation"), unavailable, &RecordingAudioArchive::convert);
    useModel({{"text", "kept anyway"}});
    record(16000);
    recorder->stop();
    ASSERT_TRUE(waitUntil([&] { return owner.calls.endsWith("ownershipDidEnd"); }, std::chrono::seconds(30)));
    EXPECT_EQ(owner.calls.join(" | "),
              QStringLiteral("historySaveDidFail | willBegin | transcript kept anyway | ownershipDidEnd"));
    EXPECT_TRUE(QDir(home.path() + QStringLiteral("/broken/Staging")).entryList(QDir::Files).isEmpty());
}

} // namespace
