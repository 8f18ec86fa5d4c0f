#include "libraryfixture.h"

#include "core/log.h"
#include "core/uuid.h"
#include "library/texttaskhistory.h"

#include <QDirIterator>
#include <QFileInfo>

#include <unistd.h>

using namespace velmora;
using velmora::test::LibraryTest;

namespace {

// A finished recording run whose artifacts refer to the given paths.
QUuid recordingWith(Library &library, const QStringList &paths) {
    const QUuid id = QUuid::createUuid();
    test::run(library.write([id, paths](SQLite::Database &db) {
        const QDateTime now = libraryNow();
        LibraryTask{id, "dictation", LibraryTask::Status::Completed, now, now, std::nullopt}.insert(db);
        for (const QString &path : paths) {
            LibraryArtifact audio;
            audio.id = QUuid::createUuid();
            audio.taskId = id;
            audio.kind = LibraryArtifact::Kind::Audio;
            audio.filePath = path;
            audio.createdAt = now;
            audio.insert(db);
        }
        LibraryArtifact text;
        text.id = QUuid::createUuid();
        text.taskId = id;
        text.role = LibraryArtifact::Role::Output;
        text.attemptId = id;
        text.text = "spoken words here";
        text.createdAt = now;
        text.insert(db);
        ActivityEvent event;
        event.id = QUuid::createUuid();
        event.taskId = id;
        event.attemptId = id;
        event.tool = "dictation";
        event.occurredAt = now;
        event.timeZone = "UTC";
        event.outcome = ActivityEvent::Outcome::Completed;
        event.insert(db);
    }));
    return id;
}

QStringList filesUnder(const QString &folder) {
    QStringList out;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out.append(QDir(folder).relativeFilePath(it.next()));
    out.sort();
    return out;
}

} // namespace

TEST_F(LibraryTest, DeletingContentKeepsTheBareRunAndItsEvents) {
    auto library = openReady();
    const QUuid id = QUuid::createUuid();
    const QString folder = "Assets/" + uuidString(id);
    test::writeFile(root + "/" + folder + "/a.m4a", "audio");
    const QUuid task = recordingWith(*library, {});
    // The run above has no folder; this one has a recording in its own.
    const QUuid withFolder = [&] {
        test::run(library->write([id, folder](SQLite::Database &db) {
            const QDateTime now = libraryNow();
            LibraryTask{id, "dictation", LibraryTask::Status::Completed, now, now, std::nullopt}.insert(db);
            LibraryArtifact audio;
            audio.id = QUuid::createUuid();
            audio.taskId = id;
            audio.kind = LibraryArtifact::Kind::Audio;
            audio.filePath = folder + "/a.m4a";
            audio.createdAt = now;
            audio.insert(db);
            LibraryArtifact text = audio;
            text.id = QUuid::createUuid();
            text.kind = LibraryArtifact::Kind::Text;
            text.filePath.reset();
            text.text = "findable transcript";
            text.insert(db);
        }));
        return id;
    }();
    LogCapture capture;
    test::run(library->deleteContent(withFolder));
    test::run(library->deleteContent(task));
    test::run(library->deleteContent(QUuid::createUuid())); // unknown: nothing happens

    EXPECT_FALSE(QFileInfo::exists(root + "/" + folder));
    EXPECT_EQ(query("SELECT COUNT(*) FROM artifact"), QStringList{"0"});
    EXPECT_EQ(query("SELECT COUNT(*) FROM task WHERE contentDeletedAt IS NOT NULL"), QStringList{"2"});
    EXPECT_EQ(query("SELECT COUNT(*) FROM activityEvent"), QStringList{"1"});
    EXPECT_EQ(query("SELECT COUNT(*) FROM searchSource"), QStringList{"0"});
    EXPECT_EQ(query("SELECT status FROM task WHERE id = '" + uuidString(task).toStdString() + "'"),
              QStringList{"completed"});
    EXPECT_TRUE(capture.messages("library").isEmpty());
}

TEST_F(LibraryTest, DeletingContentNeverFollowsALinkOutOfTheLibrary) {
    auto library = openReady();
    const QUuid id = recordingWith(*library, {});
    const QString outside = home.path() + "/outside";
    test::writeFile(outside + "/precious.txt", "keep");
    ASSERT_EQ(symlink(QFile::encodeName(outside).constData(),
                      QFile::encodeName(root + "/Assets/" + uuidString(id)).constData()),
              0);
    test::run(library->deleteContent(id));
    EXPECT_FALSE(QFileInfo(root + "/Assets/" + uuidString(id)).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(outside + "/precious.txt"));
}

TEST_F(LibraryTest, FailedDeletionTouchesNoFile) {
    auto library = openReady();
    const QUuid id = recordingWith(*library, {"Assets/" + uuidString(QUuid()) + "/x.m4a"});
    test::writeFile(root + "/Assets/" + uuidString(id) + "/a.m4a", "audio");
    test::run(library->write([](SQLite::Database &db) {
        db.exec("CREATE TEMP TRIGGER refuse BEFORE UPDATE ON task BEGIN SELECT RAISE(ABORT, 'no'); END");
    }));
    EXPECT_THROW(test::run(library->deleteContent(id)), DatabaseError);
    EXPECT_TRUE(QFileInfo::exists(root + "/Assets/" + uuidString(id) + "/a.m4a"));
    EXPECT_EQ(query("SELECT COUNT(*) FROM artifact"), QStringList{"2"});
}

TEST_F(LibraryTest, SweepRemovesOnlyWhatNoArtifactRefersTo) {
    auto library = openReady();
    const QString used = "Assets/" + uuidString(QUuid::createUuid());
    const QString gone = "Assets/" + uuidString(QUuid::createUuid());
    recordingWith(*library, {"Staging/waiting.f32", used + "/kept.m4a", used + "/sub/deep.m4a"});
    const QUuid deleted = recordingWith(*library, {gone + "/old.m4a"});
    test::run(library->write([deleted](SQLite::Database &db) {
        SQLite::Statement s(db, "DELETE FROM artifact WHERE taskId = ?");
        bind::uuid(s, 1, deleted);
        s.exec();
    }));
    for (const QString &path :
         {QString("Staging/waiting.f32"), QString("Staging/waiting.save"), QString("Staging/waiting.discard"),
          QString("Staging/waiting.save.tmp"), QString("Staging/waiting.f32.save"), QString("Staging/orphan.f32"),
          QString("Staging/orphan.save"), QString("Staging/orphan.discard"), QString("Staging/.save"),
          QString("Staging/.hidden"), QString("Staging/dir/x"), used + "/kept.m4a", used + "/stray.m4a",
          used + "/sub/deep.m4a", used + "/KEPT.m4a", gone + "/old.m4a", QString("Assets/loose.m4a")})
        test::writeFile(root + "/" + path, "x");
    // A reference naming a file directly under Assets does not protect it.
    recordingWith(*library, {"Assets/loose.m4a"});

    LogCapture capture;
    test::run(library->sweepOrphanedFiles());
    EXPECT_EQ(filesUnder(root + "/Staging"), (QStringList{"waiting.discard", "waiting.f32", "waiting.save"}));
    EXPECT_EQ(filesUnder(root + "/Assets"), (QStringList{used.mid(7), used.mid(7) + "/kept.m4a"}));
    EXPECT_TRUE(capture.messages("library").isEmpty());
}

TEST_F(LibraryTest, SweepNeverLeavesTheLibraryFolder) {
    auto library = openReady();
    const QString outside = home.path() + "/outside";
    test::writeFile(outside + "/precious.txt", "keep");
    const QString linked = "Assets/" + uuidString(QUuid::createUuid());
    recordingWith(*library, {linked + "/a.m4a"});
    auto link = [&](const QString &at) {
        ASSERT_EQ(symlink(QFile::encodeName(outside).constData(), QFile::encodeName(root + "/" + at).constData()), 0);
    };
    link(linked);                // referenced below: not descended into
    link("Assets/unreferenced"); // removed as a link only
    link("Staging/link");
    test::run(library->sweepOrphanedFiles());
    EXPECT_EQ(filesUnder(outside), QStringList{"precious.txt"});
    EXPECT_FALSE(QFileInfo(root + "/Assets/unreferenced").isSymLink());
    EXPECT_FALSE(QFileInfo(root + "/Staging/link").isSymLink());

    // A linked Staging folder is not swept at all.
    QDir(root + "/Staging").removeRecursively();
    link("Staging");
    test::run(library->sweepOrphanedFiles());
    EXPECT_EQ(filesUnder(outside), QStringList{"precious.txt"});
}

TEST_F(LibraryTest, SweepOnAnUnavailableLibraryDoesNothing) {
    test::writeFile(dbPath(), QByteArray(8192, 'x'));
    test::writeFile(root + "/Staging/orphan.f32", "x");
    auto library = Library::open(root);
    ASSERT_FALSE(library->status().isReady());
    LogCapture capture;
    test::run(library->sweepOrphanedFiles());
    EXPECT_TRUE(QFileInfo::exists(root + "/Staging/orphan.f32"));
    EXPECT_TRUE(capture.messages("library").isEmpty());
}

TEST_F(LibraryTest, DeletingContentThroughALinkedAssetsFolderKeepsTheFilesAndSaysSo) {
    auto library = openReady();
    const QUuid id = recordingWith(*library, {});
    const QString outside = home.path() + "/outside";
    test::writeFile(outside + "/" + uuidString(id) + "/a.m4a", "audio");
    QDir(root + "/Assets").removeRecursively();
    ASSERT_EQ(symlink(QFile::encodeName(outside).constData(), QFile::encodeName(root + "/Assets").constData()), 0);
    LogCapture capture;
    test::run(library->deleteContent(id));
    EXPECT_TRUE(QFileInfo::exists(outside + "/" + uuidString(id) + "/a.m4a"));
    EXPECT_EQ(capture.messages("library"), QStringList{"Task asset removal failed: NSPOSIXErrorDomain 40"});
    EXPECT_EQ(query("SELECT COUNT(*) FROM task WHERE contentDeletedAt IS NOT NULL"), QStringList{"1"});
}

TEST_F(LibraryTest, AssetRemovalFailureIsLoggedAndTheNextSweepFinishesIt) {
    auto library = openReady();
    const QUuid id = recordingWith(*library, {});
    const QString folder = root + "/Assets/" + uuidString(id);
    test::writeFile(folder + "/a.m4a", "audio");
    LogCapture capture;
    {
        test::Unremovable stuck(folder + "/a.m4a");
        if (!stuck.ok())
            GTEST_SKIP() << "this file system can make no file unremovable";
        test::run(library->deleteContent(id));
        EXPECT_TRUE(QFileInfo::exists(folder + "/a.m4a"));
    }
    const QString code = geteuid() == 0 ? "1" : "13"; // EPERM on an immutable file, else EACCES
    EXPECT_EQ(capture.messages("library"), QStringList{"Task asset removal failed: NSPOSIXErrorDomain " + code});
    EXPECT_EQ(query("SELECT COUNT(*) FROM artifact"), QStringList{"0"});
    test::run(library->sweepOrphanedFiles());
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(LibraryTest, SweepLogsEachEntryItCannotRemoveAndGoesOn) {
    auto library = openReady();
    const QStringList orphans{"Staging/stuck/a.f32", "Staging/orphan.f32",
                              "Assets/" + uuidString(QUuid::createUuid()) + "/b.m4a"};
    for (const QString &path : orphans)
        test::writeFile(root + "/" + path, "x");
    LogCapture capture;
    {
        test::Unremovable stuck(root + "/" + orphans[0]);
        if (!stuck.ok())
            GTEST_SKIP() << "this file system can make no file unremovable";
        test::run(library->sweepOrphanedFiles());
    }
    const QString code = geteuid() == 0 ? "1" : "13";
    EXPECT_EQ(capture.messages("library"), QStringList{"Library cleanup failed: NSPOSIXErrorDomain " + code});
    EXPECT_EQ(filesUnder(root + "/Staging"), (QStringList{"stuck", "stuck/a.f32"}));
    EXPECT_TRUE(filesUnder(root + "/Assets").isEmpty());
}

TEST_F(LibraryTest, DeletedTextIsGoneFromTheDatabaseAndItsLog) {
    // The removal finishes by itself after the deletion has returned, when asked to, or when the
    // Library closes right after the deletion.
    enum class Then { Wait, Finish, Close };
    for (const Then then : {Then::Wait, Then::Finish, Then::Close}) {
        SCOPED_TRACE(int(then));
        root = home.dataHome() + QString("/library%1").arg(int(then));
        auto library = openReady();
        // A recorder of its own per run: closing the Library below leaves no one holding it open.
        auto record = [&](const QString &input, const QString &output) {
            TextTaskHistory::Run run;
            run.input = input;
            run.output = output;
            return test::run(TextTaskHistory(library, "translate").record(run, std::nullopt));
        };
        // Runs before and after it, so the deleted text shares index segments and log pages.
        for (int i = 0; i < 12; ++i)
            record(QString("kept input number %1 about the weather").arg(i), QString("kept output %1").arg(i));
        // "ꙮꙮꙮ" is a trigram that no kept text shares a first byte with: the index stores it whole.
        const QUuid secret = record("the zephyrine quartzite plan ꙮꙮꙮ", "geheimnisvolle Antwort ꙮꙮꙮ");
        for (int i = 0; i < 12; ++i)
            record(QString("later input %1").arg(i), QString("later output %1").arg(i));
        const QList<QByteArray> deletedWords{"zephyrine", "quartzite", "geheimnisvolle", QString("ꙮꙮꙮ").toUtf8()};
        auto leftovers = [&] {
            QStringList found;
            for (const QString &file : {dbPath(), dbPath() + "-wal"}) {
                const QByteArray bytes = QFileInfo::exists(file) ? test::readFile(file) : QByteArray();
                for (const QByteArray &word : deletedWords)
                    if (bytes.contains(word))
                        found.append(QFileInfo(file).fileName() + ": " + QString::fromUtf8(word));
            }
            return found;
        };
        ASSERT_FALSE(leftovers().isEmpty()) << "the check must see the text before the deletion";

        LogCapture capture;
        test::run(library->deleteContent(secret));
        if (then == Then::Wait) {
            EXPECT_TRUE(test::waitUntil([&] { return leftovers().isEmpty(); })) << leftovers().join(", ").toStdString();
        }
        if (then == Then::Finish) {
            test::run(library->finishPurge());
            EXPECT_EQ(leftovers(), QStringList{}) << "while the Library is open";
        }
        if (then != Then::Close) {
            EXPECT_TRUE(capture.messages("library").isEmpty());
            const auto kept = test::run(library->historyEntries(Library::Tasks, std::nullopt, "weather", std::nullopt));
            EXPECT_EQ(kept.size(), 12) << "the merged index still finds what was kept";
        }
        ASSERT_EQ(library.use_count(), 1);
        library.reset();
        EXPECT_EQ(leftovers(), QStringList{}) << "after closing";
        EXPECT_EQ(capture.messages("library").filter("purge failed"), QStringList{});
    }
}
