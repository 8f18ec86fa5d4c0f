#include "libraryfixture.h"

#include "core/log.h"
#include "core/uuid.h"
#include "library/texttaskhistory.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

using namespace velmora;
using velmora::test::LibraryTest;

namespace {

QByteArray fileHash(const QString &path) {
    return QCryptographicHash::hash(test::readFile(path), QCryptographicHash::Sha256);
}

const QStringList kAllMigrations{"v1", "v2", "v3", "v4", "v5", "v6", "v7"};

// The search tables, "searchShard0" to "searchShard15".
QStringList searchShards() {
    QStringList out;
    for (int k = 0; k < LibraryMigrations::kSearchShards; ++k)
        out.append(LibraryMigrations::searchShard(k));
    return out;
}

} // namespace

TEST_F(LibraryTest, FirstOpeningCreatesFoldersAndFullSchema) {
    LogCapture capture;
    auto library = openReady();

    EXPECT_EQ(library->root(), root);
    EXPECT_TRUE(QFileInfo(root + "/Assets").isDir());
    EXPECT_TRUE(QFileInfo(root + "/Staging").isDir());
    EXPECT_TRUE(QFileInfo(dbPath()).isFile());
    EXPECT_FALSE(QFileInfo::exists(root + "/Backups"));
    EXPECT_TRUE(capture.contains("library", LogLevel::Default, "Library opened"));

    EXPECT_EQ(query("PRAGMA journal_mode"), QStringList{"wal"});
    QStringList applied = query(std::string("SELECT identifier FROM \"") + LibraryMigrations::kTrackingTable + "\"");
    applied.sort();
    EXPECT_EQ(applied, kAllMigrations);
    EXPECT_EQ(query(std::string("SELECT name FROM pragma_table_info('") + LibraryMigrations::kTrackingTable + "')"),
              QStringList{"identifier"});

    QStringList tables = query("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'searchShard%' "
                               "ORDER BY name");
    QStringList expectedTables{"activityEvent", "artifact",     "draft", LibraryMigrations::kTrackingTable,
                               "note",          "searchSource", "task"};
    expectedTables.sort();
    EXPECT_EQ(tables, expectedTables);
    QStringList shards = searchShards();
    shards.sort();
    EXPECT_EQ(query("SELECT name FROM sqlite_master WHERE sql LIKE 'CREATE VIRTUAL TABLE%' ORDER BY name"), shards);
    EXPECT_EQ(query("SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY name"),
              (QStringList{"activityEvent_on_tool_occurredAt", "activityEvent_one_attemptFinished",
                           "index_activityEvent_on_taskId", "index_artifact_on_taskId", "note_on_updatedAt",
                           "task_on_createdAt", "task_on_tool_createdAt"}));
    EXPECT_EQ(query("SELECT name FROM sqlite_master WHERE type = 'trigger' ORDER BY name"),
              (QStringList{"artifact_search_delete", "artifact_search_insert", "artifact_search_update",
                           "note_search_delete", "note_search_insert", "note_search_update"}));
    EXPECT_EQ(query("SELECT name FROM pragma_table_info('task')"),
              (QStringList{"id", "tool", "status", "createdAt", "updatedAt", "contentDeletedAt"}));
    for (const QString &shard : searchShards())
        EXPECT_EQ(query("SELECT sql FROM sqlite_master WHERE name = '" + shard.toStdString() + "'"),
                  QStringList{"CREATE VIRTUAL TABLE " + shard + " USING fts5(text, tokenize = 'trigram')"});
    EXPECT_EQ(qstrlen(LibraryMigrations::searchScript()), 2318u);
}

TEST_F(LibraryTest, ConnectionSettingsHoldOnTheLibrarysConnection) {
    auto library = openReady();
    auto settings = test::run(library->read([](SQLite::Database &db) {
        QStringList out;
        for (const char *pragma : {"PRAGMA foreign_keys", "PRAGMA busy_timeout", "PRAGMA secure_delete"})
            out.append(QString::fromStdString(db.execAndGet(pragma).getString()));
        return out;
    }));
    EXPECT_EQ(settings, (QStringList{"1", "5000", "1"}));
}

TEST_F(LibraryTest, DatabaseAtLatestMigrationOpensWithoutBackup) {
    makeDatabaseAt(7);
    LogCapture capture;
    openReady();
    EXPECT_FALSE(QFileInfo::exists(root + "/Backups"));
    EXPECT_FALSE(capture.contains("library", "Library backed up before migrating"));
}

TEST_F(LibraryTest, OlderDatabaseIsBackedUpThenMigrated) {
    makeDatabaseAt(3);
    test::writeFile(root + "/Backups/Library-v3.sqlite", "stale copy");
    LogCapture capture;
    openReady();

    const QString backup = root + "/Backups/Library-v3.sqlite";
    QStringList inBackup =
        query(std::string("SELECT identifier FROM \"") + LibraryMigrations::kTrackingTable + "\"", backup);
    inBackup.sort();
    EXPECT_EQ(inBackup, (QStringList{"v1", "v2", "v3"}));
    EXPECT_TRUE(capture.contains("library", LogLevel::Default, "Library backed up before migrating"));
    QStringList applied = query(std::string("SELECT identifier FROM \"") + LibraryMigrations::kTrackingTable + "\"");
    applied.sort();
    EXPECT_EQ(applied, kAllMigrations);
    // The backup was taken before the migrations ran.
    EXPECT_TRUE(query("SELECT name FROM sqlite_master WHERE name = 'searchText'", backup).isEmpty());
}

TEST_F(LibraryTest, DatabaseOfThePreviousBuildGainsTheListIndexAfterABackup) {
    makeDatabaseAt(5);
    openReady();
    QStringList inBackup = query(std::string("SELECT identifier FROM \"") + LibraryMigrations::kTrackingTable + "\"",
                                 root + "/Backups/Library-v5.sqlite");
    inBackup.sort();
    EXPECT_EQ(inBackup, (QStringList{"v1", "v2", "v3", "v4", "v5"}));
    EXPECT_EQ(query("SELECT sql FROM sqlite_master WHERE name = 'task_on_createdAt'"),
              QStringList{"CREATE INDEX \"task_on_createdAt\" ON \"task\"(\"createdAt\")"});
}

TEST_F(LibraryTest, SearchIndexOfThePreviousBuildMovesIntoShardsWithEveryTextInItsOwnersShard) {
    makeDatabaseAt(6);
    QStringList kept;
    {
        SQLite::Database db(dbPath().toStdString(), SQLite::OPEN_READWRITE);
        SQLite::Statement task(db, "INSERT INTO task VALUES (?, 'translate', 'completed', ?, ?, NULL)");
        SQLite::Statement text(db, "INSERT INTO artifact VALUES (?, ?, NULL, 'input', 'text', 'en', ?, NULL, ?)");
        for (int i = 0; i < 48; ++i) {
            const QString id = uuidString(QUuid::createUuid());
            const std::string when = QString("2026-01-01 10:%1:00.000").arg(i, 2, 10, QChar('0')).toStdString();
            task.bind(1, id.toStdString());
            task.bind(2, when);
            task.bind(3, when);
            task.exec();
            task.reset();
            const QString artifact = uuidString(QUuid::createUuid());
            text.bind(1, artifact.toStdString());
            text.bind(2, id.toStdString());
            text.bind(3, QString("common text %1").arg(i).toStdString());
            text.bind(4, when);
            text.exec();
            text.reset();
            kept.append(artifact);
        }
        // A deleted text and an edited note leave their old entries in the previous index.
        db.exec("DELETE FROM artifact WHERE id = '" + kept.takeLast().toStdString() + "'");
        db.exec("INSERT INTO note VALUES ('" + uuidString(QUuid::createUuid()).toStdString() +
                "', 'note about pears', '2026-01-01 10:00:00.000', '2026-01-01 10:00:00.000')");
        db.exec("UPDATE note SET text = 'note about plums'");
    }
    auto library = openReady();
    QStringList inBackup = query(std::string("SELECT identifier FROM \"") + LibraryMigrations::kTrackingTable + "\"",
                                 root + "/Backups/Library-v6.sqlite");
    inBackup.sort();
    EXPECT_EQ(inBackup, (QStringList{"v1", "v2", "v3", "v4", "v5", "v6"}));
    EXPECT_TRUE(query("SELECT name FROM sqlite_master WHERE name LIKE 'searchText%'").isEmpty());

    kept.sort();
    EXPECT_EQ(indexed("common"), kept);
    EXPECT_EQ(indexed("plums"), query("SELECT id FROM note"));
    EXPECT_TRUE(indexed("pears").isEmpty());
    // Each text once, in the shard its owner's id names; the texts spread over several shards.
    int total = 0, used = 0;
    for (int k = 0; k < LibraryMigrations::kSearchShards; ++k) {
        const std::string shard = LibraryMigrations::searchShard(k).toStdString();
        const int rows = query("SELECT COUNT(*) FROM " + shard).value(0).toInt();
        total += rows;
        used += rows > 0;
        EXPECT_EQ(query("SELECT COUNT(*) FROM " + shard + " JOIN searchSource ON searchSource.id = " + shard +
                        ".rowid WHERE " + LibraryMigrations::searchShardOfSource() + " = " + std::to_string(k)),
                  QStringList{QString::number(rows)})
            << shard;
    }
    EXPECT_EQ(QStringList{QString::number(total)}, query("SELECT COUNT(*) FROM searchSource"));
    EXPECT_GT(used, 4);

    // New texts reach the shards through the new triggers.
    TextTaskHistory history(library, "translate");
    TextTaskHistory::Run run;
    run.input = "freshly written words";
    run.output = "common reply";
    const QUuid fresh = test::run(history.record(run, std::nullopt));
    EXPECT_EQ(test::run(library->historyEntries(Library::Tasks, std::nullopt, "freshly", std::nullopt)).value(0).id,
              fresh);
    EXPECT_EQ(indexed("common").size(), kept.size() + 1);
}

TEST_F(LibraryTest, SearchIndexIsFilledWithTextsThatExistedBefore) {
    makeDatabaseAt(3);
    {
        SQLite::Database db(dbPath().toStdString(), SQLite::OPEN_READWRITE);
        db.exec("INSERT INTO task VALUES ('T1', 'translate', 'completed', '2026-01-01 10:00:00.000', "
                "'2026-01-01 10:00:00.000')");
        db.exec("INSERT INTO artifact VALUES ('A1', 'T1', NULL, 'input', 'text', 'en', 'hello world', NULL, "
                "'2026-01-01 10:00:00.000')");
        db.exec("INSERT INTO artifact VALUES ('A2', 'T1', NULL, 'input', 'audio', NULL, NULL, 'Staging/x.f32', "
                "'2026-01-01 10:00:00.000')");
        db.exec("INSERT INTO note VALUES ('N1', 'a note about apples', '2026-01-01 10:00:00.000', "
                "'2026-01-01 10:00:00.000')");
    }
    openReady();
    EXPECT_EQ(query("SELECT sourceId || ':' || IFNULL(taskId, '-') || ':' || IFNULL(noteId, '-') FROM searchSource "
                    "ORDER BY sourceId"),
              (QStringList{"A1:T1:-", "N1:-:N1"}));
    EXPECT_EQ(indexed("apples"), QStringList{"N1"});
    EXPECT_EQ(indexed("hello world"), QStringList{"A1"});
    EXPECT_EQ(query("SELECT IFNULL(contentDeletedAt, 'null') FROM task"), QStringList{"null"});
}

TEST_F(LibraryTest, NewerDatabaseIsRefusedAndLeftAsItWas) {
    makeDatabaseAt(7);
    {
        SQLite::Database db(dbPath().toStdString(), SQLite::OPEN_READWRITE);
        db.exec(std::string("INSERT INTO \"") + LibraryMigrations::kTrackingTable + "\" VALUES ('v8')");
    }
    const QByteArray before = fileHash(dbPath());
    LogCapture capture;
    auto library = Library::open(root);

    EXPECT_EQ(library->status(), Library::Status::unavailable(Library::UnavailableReason::NewerVersion));
    EXPECT_TRUE(capture.contains("library", LogLevel::Error, "Library unavailable: newerVersion"));
    EXPECT_FALSE(capture.contains("library", "Library opened"));
    EXPECT_EQ(fileHash(dbPath()), before);
    EXPECT_EQ(query("PRAGMA journal_mode"), QStringList{"delete"});
    EXPECT_FALSE(QFileInfo::exists(root + "/Backups"));
}

TEST_F(LibraryTest, FailedOpeningsGiveTheirReason) {
    struct Case {
        const char *name;
        std::function<void(const QString &root)> prepare;
        Library::UnavailableReason reason;
    };
    const std::vector<Case> cases{
        {"not a database", [](const QString &r) { test::writeFile(r + "/Library.sqlite", QByteArray(8192, 'x')); },
         Library::UnavailableReason::Damaged},
        {"root is a file", [](const QString &r) { test::writeFile(r, "plain file"); },
         Library::UnavailableReason::Other},
        {"Assets is a file", [](const QString &r) { test::writeFile(r + "/Assets", "plain file"); },
         Library::UnavailableReason::Other},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString caseRoot = home.path() + "/" + c.name;
        c.prepare(caseRoot);
        const QByteArray before = QFileInfo(caseRoot).isFile() ? fileHash(caseRoot) : QByteArray();
        LogCapture capture;
        auto library = Library::open(caseRoot);
        EXPECT_EQ(library->status(), Library::Status::unavailable(c.reason));
        EXPECT_EQ(capture.messages("library").count(QStringLiteral("Library unavailable: ") + toString(c.reason)), 1);
        if (!before.isEmpty()) {
            EXPECT_EQ(fileHash(caseRoot), before);
        }
    }
}

TEST_F(LibraryTest, ReadAndWriteOnUnavailableLibraryFailWithItsReason) {
    test::writeFile(dbPath(), QByteArray(8192, 'x'));
    auto library = Library::open(root);
    ASSERT_FALSE(library->status().isReady());
    bool called = false;
    auto expectReason = [&](auto task) {
        try {
            test::run(std::move(task));
            ADD_FAILURE() << "no failure";
        } catch (const Library::UnavailableError &e) {
            EXPECT_EQ(e.kind(), Library::UnavailableReason::Damaged);
        }
    };
    expectReason(library->read([&](SQLite::Database &) { called = true; }));
    expectReason(library->write([&](SQLite::Database &) { called = true; }));
    expectReason(library->updateOutput(QUuid::createUuid(), "x"));
    EXPECT_FALSE(called);
}

TEST_F(LibraryTest, FailedWriteRollsBackWhole) {
    auto library = openReady();
    EXPECT_THROW(test::run(library->write([](SQLite::Database &db) {
                     db.exec("INSERT INTO note VALUES ('N1', 'first', '2026-01-01 10:00:00.000', "
                             "'2026-01-01 10:00:00.000')");
                     db.exec("INSERT INTO note VALUES ('N1', 'same id', '2026-01-01 10:00:00.000', "
                             "'2026-01-01 10:00:00.000')");
                 })),
                 DatabaseError);
    EXPECT_THROW(test::run(library->write([](SQLite::Database &db) {
                     db.exec("INSERT INTO note VALUES ('N2', 'second', '2026-01-01 10:00:00.000', "
                             "'2026-01-01 10:00:00.000')");
                     throw std::runtime_error("the caller's own failure");
                 })),
                 std::runtime_error);
    EXPECT_EQ(test::run(library->read(
                  [](SQLite::Database &db) { return db.execAndGet("SELECT COUNT(*) FROM note").getInt(); })),
              0);
    EXPECT_EQ(test::run(library->read(
                  [](SQLite::Database &db) { return db.execAndGet("SELECT COUNT(*) FROM searchSource").getInt(); })),
              0);
}

TEST_F(LibraryTest, DatabaseErrorsCarryTheExtendedCode) {
    auto library = openReady();
    try {
        test::run(library->write([](SQLite::Database &db) {
            db.exec("INSERT INTO artifact VALUES ('A', 'no such task', NULL, 'input', 'text', NULL, 'x', NULL, "
                    "'2026-01-01 10:00:00.000')");
        }));
        ADD_FAILURE() << "foreign key not enforced";
    } catch (const DatabaseError &e) {
        EXPECT_EQ(e.extendedCode(), 787); // SQLITE_CONSTRAINT_FOREIGNKEY
        EXPECT_EQ(Log::errorCode(e), "Velmora.DatabaseError 787");
    }
}

TEST_F(LibraryTest, ReadsAndWritesRunInCallOrderAndResumeOnTheCallingThread) {
    auto library = openReady();
    std::vector<int> order;
    std::vector<std::thread::id> resumedOn;
    auto step = [&](int n) -> QCoro::Task<> {
        co_await library->write([n](SQLite::Database &db) {
            SQLite::Statement s(db, "INSERT INTO draft VALUES (?, 1, '{}', '2026-01-01 10:00:00.000')");
            s.bind(1, std::to_string(n));
            s.exec();
        });
        order.push_back(n);
        resumedOn.push_back(std::this_thread::get_id());
    };
    auto a = step(1), b = step(2), c = step(3);
    ASSERT_TRUE(test::waitUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    for (auto id : resumedOn)
        EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(LibraryTest, OpenAsyncOpensOffTheCallingThread) {
    auto library = test::run(Library::openAsync(root));
    ASSERT_TRUE(library->status().isReady());
    const auto worker = test::run(library->read([](SQLite::Database &) { return std::this_thread::get_id(); }));
    EXPECT_NE(worker, std::this_thread::get_id());
}

TEST_F(LibraryTest, ALibraryOpenedOnABackgroundThreadServesTheMainThread) {
    std::shared_ptr<Library> library;
    std::thread opener([&] { library = Library::open(root); });
    opener.join();
    ASSERT_TRUE(library->status().isReady());
    std::optional<std::thread::id> resumedOn;
    auto reading = [](Library &lib, std::optional<std::thread::id> &thread) -> QCoro::Task<qint64> {
        auto counting =
            lib.read([](SQLite::Database &db) { return db.execAndGet("SELECT count(*) FROM draft").getInt64(); });
        const qint64 drafts = co_await std::move(counting);
        thread = std::this_thread::get_id();
        co_return drafts;
    };
    EXPECT_EQ(test::run(reading(*library, resumedOn)), 0);
    EXPECT_EQ(resumedOn, std::this_thread::get_id());
}

TEST_F(LibraryTest, BackupPruningKeepsTheTwoNewestSqliteFiles) {
    makeDatabaseAt(2);
    const QString folder = root + "/Backups";
    QDir().mkpath(folder);
    const QStringList olders{"a.sqlite", "b.sqlite", "c.sqlite", "d.sqlite"};
    for (int i = 0; i < olders.size(); ++i) {
        test::writeFile(folder + "/" + olders[i], "old");
        QFile f(folder + "/" + olders[i]);
        f.open(QIODevice::ReadWrite);
        f.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-1000 + i * 10), QFileDevice::FileModificationTime);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    test::writeFile(folder + "/notes.txt", "keep");
    test::writeFile(folder + "/old.SQLITE", "keep");
    openReady();
    QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    EXPECT_EQ(left, (QStringList{"Library-v2.sqlite", "d.sqlite", "notes.txt", "old.SQLITE"}));
}

// The default file layer, except that every write to a backup file finds the disk full.
class FullBackupDisk {
public:
    FullBackupDisk() {
        s_base = sqlite3_vfs_find(nullptr);
        m_vfs = *s_base;
        m_vfs.zName = "fullBackupDisk";
        m_vfs.szOsFile = int(sizeof(Wrapped)) + s_base->szOsFile;
        m_vfs.xOpen = open;
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~FullBackupDisk() {
        sqlite3_vfs_unregister(&m_vfs);
        sqlite3_vfs_register(s_base, 1);
    }

private:
    struct Wrapped {
        sqlite3_file file;
        sqlite3_file *real;
    };
    static sqlite3_file *real(sqlite3_file *f) { return reinterpret_cast<Wrapped *>(f)->real; }

    static int open(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags) {
        if (!name || !std::strstr(name, "/Backups/"))
            return s_base->xOpen(s_base, name, file, flags, outFlags);
        auto *w = reinterpret_cast<Wrapped *>(file);
        w->real = reinterpret_cast<sqlite3_file *>(w + 1);
        w->file.pMethods = nullptr;
        const int rc = s_base->xOpen(s_base, name, w->real, flags, outFlags);
        if (rc == SQLITE_OK)
            w->file.pMethods = &s_methods;
        return rc;
    }

    static sqlite3_vfs *s_base;
    static const sqlite3_io_methods s_methods;
    sqlite3_vfs m_vfs{};
};

sqlite3_vfs *FullBackupDisk::s_base = nullptr;
const sqlite3_io_methods FullBackupDisk::s_methods = {
    1,
    [](sqlite3_file *f) { return real(f)->pMethods->xClose(real(f)); },
    [](sqlite3_file *f, void *b, int n, sqlite3_int64 o) { return real(f)->pMethods->xRead(real(f), b, n, o); },
    [](sqlite3_file *, const void *, int, sqlite3_int64) { return SQLITE_FULL; },
    [](sqlite3_file *f, sqlite3_int64 n) { return real(f)->pMethods->xTruncate(real(f), n); },
    [](sqlite3_file *f, int flags) { return real(f)->pMethods->xSync(real(f), flags); },
    [](sqlite3_file *f, sqlite3_int64 *n) { return real(f)->pMethods->xFileSize(real(f), n); },
    [](sqlite3_file *f, int l) { return real(f)->pMethods->xLock(real(f), l); },
    [](sqlite3_file *f, int l) { return real(f)->pMethods->xUnlock(real(f), l); },
    [](sqlite3_file *f, int *r) { return real(f)->pMethods->xCheckReservedLock(real(f), r); },
    [](sqlite3_file *f, int op, void *a) { return real(f)->pMethods->xFileControl(real(f), op, a); },
    [](sqlite3_file *f) { return real(f)->pMethods->xSectorSize(real(f)); },
    [](sqlite3_file *f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); },
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr};

TEST_F(LibraryTest, DiskFillingDuringBackupGivesDiskFull) {
    makeDatabaseAt(3);
    LogCapture capture;
    std::shared_ptr<Library> library;
    {
        FullBackupDisk full;
        library = Library::open(root);
    }
    EXPECT_EQ(library->status(), Library::Status::unavailable(Library::UnavailableReason::DiskFull));
    EXPECT_TRUE(capture.contains("library", LogLevel::Error, "Library unavailable: diskFull"));
    EXPECT_FALSE(capture.contains("library", "Library backed up before migrating"));
    QStringList applied = query(std::string("SELECT identifier FROM \"") + LibraryMigrations::kTrackingTable + "\"");
    applied.sort();
    EXPECT_EQ(applied, (QStringList{"v1", "v2", "v3"}));
}

TEST(LibraryErrorMap, MapsFailuresToReasons) {
    struct Case {
        std::exception_ptr error;
        Library::UnavailableReason reason;
    };
    const std::vector<Case> cases{
        {std::make_exception_ptr(Library::UnavailableError(Library::UnavailableReason::NewerVersion)),
         Library::UnavailableReason::NewerVersion},
        {std::make_exception_ptr(DatabaseError(11, {})), Library::UnavailableReason::Damaged},
        {std::make_exception_ptr(DatabaseError(267, {})), Library::UnavailableReason::Damaged}, // CORRUPT_VTAB
        {std::make_exception_ptr(DatabaseError(26, {})), Library::UnavailableReason::Damaged},
        {std::make_exception_ptr(DatabaseError(13, {})), Library::UnavailableReason::DiskFull},
        {std::make_exception_ptr(DatabaseError(5, {})), Library::UnavailableReason::Other},
        {std::make_exception_ptr(DatabaseError(778, {})), Library::UnavailableReason::Other}, // IOERR_WRITE
        {std::make_exception_ptr(PosixError(ENOSPC)), Library::UnavailableReason::DiskFull},
        {std::make_exception_ptr(PosixError(EACCES)), Library::UnavailableReason::Other},
        {std::make_exception_ptr(std::runtime_error("x")), Library::UnavailableReason::Other},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Library::unavailableReason(c.error), c.reason) << Log::errorCode(c.error).toStdString();
}

TEST(LibraryErrorMap, ReasonsKeepTheirRawStrings) {
    const std::vector<std::pair<QString, std::optional<Library::UnavailableReason>>> cases{
        {"newerVersion", Library::UnavailableReason::NewerVersion},
        {"damaged", Library::UnavailableReason::Damaged},
        {"diskFull", Library::UnavailableReason::DiskFull},
        {"other", Library::UnavailableReason::Other},
        {"DiskFull", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &[raw, reason] : cases) {
        EXPECT_EQ(libraryUnavailableReasonFromString(raw), reason) << raw.toStdString();
        if (reason) {
            EXPECT_EQ(toString(*reason), raw);
        }
    }
}

TEST_F(LibraryTest, LinkedBackupsFolderIsNeverWrittenThrough) {
    makeDatabaseAt(3);
    const QString outside = home.path() + "/outside";
    const QStringList precious{"Library-v3.sqlite", "a.sqlite", "b.sqlite", "c.sqlite"};
    for (const QString &name : precious)
        test::writeFile(outside + "/" + name, name.toUtf8());
    ASSERT_EQ(symlink(QFile::encodeName(outside).constData(), QFile::encodeName(root + "/Backups").constData()), 0);
    LogCapture capture;
    auto library = Library::open(root);
    EXPECT_EQ(library->status(), Library::Status::unavailable(Library::UnavailableReason::Other));
    for (const QString &name : precious)
        EXPECT_EQ(test::readFile(outside + "/" + name), name.toUtf8()) << name.toStdString();
    EXPECT_EQ(QDir(outside).entryList(QDir::Files).size(), precious.size());
    EXPECT_TRUE(capture.contains("library", LogLevel::Error, "Library unavailable: other"));
}

TEST_F(LibraryTest, ReadGivesUpWhenItsTokenIsCancelled) {
    auto library = openReady();

    // Cancelled while waiting for its turn: the function never runs.
    std::promise<void> release;
    auto busy = library->read([gate = release.get_future().share()](SQLite::Database &) { gate.wait(); });
    CancellationSource early;
    bool called = false;
    auto waiting = library->read([&called](SQLite::Database &) { called = true; }, early.token());
    early.cancel();
    release.set_value();
    test::run(std::move(busy));
    EXPECT_THROW(test::run(std::move(waiting)), CancelledError);
    EXPECT_FALSE(called);

    // Cancelled while its statement runs: the statement is interrupted (it would take hours).
    CancellationSource late;
    std::atomic<bool> started = false;
    auto counting = library->read(
        [&started](SQLite::Database &db) {
            started = true;
            return db
                .execAndGet("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1e12) "
                            "SELECT count(*) FROM c")
                .getInt64();
        },
        late.token());
    ASSERT_TRUE(test::waitUntil([&] { return started.load(); }));
    late.cancel();
    EXPECT_THROW(test::run(std::move(counting)), CancelledError);

    // The connection goes on as before.
    EXPECT_EQ(test::run(library->read([](SQLite::Database &db) { return db.execAndGet("SELECT 7").getInt(); })), 7);
}
