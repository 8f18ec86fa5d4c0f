#include "library/library.h"

#include "core/continuousclock.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/uuid.h"
#include "library/migrations.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace velmora {

namespace {

std::string localPath(const QString &path) {
    return QFile::encodeName(path).toStdString();
}

void throwIfFailed(const std::error_code &ec) {
    if (ec)
        throw PosixError(ec.value());
}

// The moment a file was made; the modification date stands in where the file system keeps no
// birth time, so the backup just written is never the oldest.
qint64 creationMillis(const QString &path) {
    const QFileInfo info(path);
    QDateTime when = info.birthTime();
    if (!when.isValid())
        when = info.lastModified();
    return when.isValid() ? when.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

// A real folder (not a link to one) directly at path.
bool isRealFolder(const fs::path &path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() == fs::file_type::directory;
}

// The direct entries of a folder, without following a link at its place; a folder that
// cannot be listed counts as empty.
std::vector<fs::path> listEntries(const fs::path &folder) {
    std::vector<fs::path> out;
    if (!isRealFolder(folder))
        return out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        out.push_back(it->path());
    return out;
}

QString entryName(const fs::path &path) {
    return QFile::decodeName(QByteArray::fromStdString(path.filename()));
}

} // namespace

struct Library::Connection {
    explicit Connection(const QString &path)
        : db(localPath(path), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLite::OPEN_FULLMUTEX) {}
    SQLite::Database db;
};

SQLite::Database &Library::database(Connection &connection) {
    return connection.db;
}

Library::Library(QString root, std::chrono::milliseconds busyWait)
    : m_root(std::move(root)), m_busyWait(busyWait), m_executor(std::make_unique<SerialExecutor>("library.db")) {}

QString Library::defaultRoot() {
    return Paths::libraryFolder();
}

QString Library::databasePath() const {
    return m_root + QStringLiteral("/Library.sqlite");
}

std::shared_ptr<Library> Library::open(const QString &root) {
    std::shared_ptr<Library> library(new Library(root));
    Library *raw = library.get();
    library->m_executor->runBlocking([raw] { raw->openOnConnectionThread(); });
    return library;
}

QCoro::Task<std::shared_ptr<Library>> Library::openAsync(QString root, std::chrono::milliseconds busyWait) {
    std::shared_ptr<Library> library(new Library(root, busyWait));
    Library *raw = library.get();
    auto opening = library->m_executor->run([raw] { raw->openOnConnectionThread(); });
    co_await std::move(opening);
    co_return library;
}

Library::Interruption::Interruption(SQLite::Database &db, CancellationToken token)
    : m_db(db), m_token(std::move(token)) {
    // A check every thousand virtual machine steps: microseconds apart, and cheap.
    sqlite3_progress_handler(m_db.getHandle(), 1000, &Interruption::check, this);
}

Library::Interruption::~Interruption() {
    sqlite3_progress_handler(m_db.getHandle(), 0, nullptr, nullptr);
}

int Library::Interruption::check(void *self) {
    return static_cast<Interruption *>(self)->m_token.isCancelled() ? 1 : 0;
}

void Library::Interruption::rethrow(std::exception_ptr error) const {
    if (m_token.isCancelled()) {
        try {
            std::rethrow_exception(error);
        } catch (const DatabaseError &e) {
            if (e.kind() == SQLITE_INTERRUPT)
                throw CancelledError();
        } catch (...) {
        }
    }
    std::rethrow_exception(error);
}

void Library::rethrowAsDatabaseError(const SQLite::Exception &e) {
    const int code = e.getExtendedErrorCode() != -1 ? e.getExtendedErrorCode() : e.getErrorCode();
    throw DatabaseError(code, QString::fromUtf8(e.what()));
}

void Library::rollbackQuietly(SQLite::Database &db) {
    if (!sqlite3_get_autocommit(db.getHandle()))
        sqlite3_exec(db.getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Library::openOnConnectionThread() {
    std::shared_ptr<Connection> connection;
    try {
        try {
            Paths::ensureFolder(m_root);
            Paths::ensureFolder(m_root + QStringLiteral("/Assets"));
            Paths::ensureFolder(m_root + QStringLiteral("/Staging"));

            connection = std::make_shared<Connection>(databasePath());
            SQLite::Database &db = connection->db;
            db.exec("PRAGMA foreign_keys = ON");
            db.setBusyTimeout(int(m_busyWait.count()));
            db.exec("PRAGMA secure_delete = ON");
            // Room for the search index's busiest pages: searches as the user types read them
            // again and again.
            db.exec("PRAGMA cache_size = -65536");

            const QStringList registered = LibraryMigrations::registeredIdentifiers();
            for (const QString &identifier : LibraryMigrations::appliedIdentifiers(db))
                if (!registered.contains(identifier))
                    throw UnavailableError(UnavailableReason::NewerVersion);

            {
                SQLite::Statement wal(db, "PRAGMA journal_mode = WAL");
                wal.executeStep();
            }
            backUpBeforeMigrating(db);
            LibraryMigrations::migrate(db);
        } catch (const SQLite::Exception &e) {
            rethrowAsDatabaseError(e);
        }
        Log::library().notice("Library opened");
        m_connection = std::move(connection);
        m_status = Status::ready();
    } catch (...) {
        const UnavailableReason reason = unavailableReason(std::current_exception());
        Log::library().error("Library unavailable: %{public}s", {toString(reason)});
        connection.reset();
        m_status = Status::unavailable(reason);
    }
}

void Library::backUpBeforeMigrating(SQLite::Database &db) {
    const QStringList applied = LibraryMigrations::appliedRegistered(db);
    if (applied.isEmpty() || LibraryMigrations::isComplete(db))
        return;

    const QString folder = m_root + QStringLiteral("/Backups");
    Paths::ensureFolder(folder);
    // Never through a link: replacing and pruning copies there would delete files elsewhere.
    if (!isRealFolder(localPath(folder)))
        throw PosixError(ELOOP);
    const QString target = folder + QStringLiteral("/Library-") + applied.last() + QStringLiteral(".sqlite");
    {
        std::error_code ignored;
        fs::remove_all(localPath(target), ignored);
    }

    copyDatabase(db, target);

    Log::library().notice("Library backed up before migrating");

    std::error_code ec;
    struct Entry {
        fs::path path;
        qint64 created;
    };
    std::vector<Entry> backups;
    for (fs::directory_iterator it(localPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != ".sqlite")
            continue;
        backups.push_back({it->path(), creationMillis(QFile::decodeName(QByteArray::fromStdString(it->path())))});
    }
    throwIfFailed(ec);
    std::stable_sort(backups.begin(), backups.end(),
                     [](const Entry &a, const Entry &b) { return a.created > b.created; });
    for (std::size_t i = 2; i < backups.size(); ++i) {
        std::error_code ignored;
        fs::remove_all(backups[i].path, ignored);
    }
}

void Library::copyDatabase(SQLite::Database &source, const QString &target) {
    // A connection of the default settings, not the Library's; every page in one step.
    sqlite3 *destination = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(target).constData(), &destination,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(destination, 1);
        if (sqlite3_backup *backup = sqlite3_backup_init(destination, "main", source.getHandle(), "main")) {
            sqlite3_backup_step(backup, -1);
            sqlite3_backup_finish(backup);
        }
        rc = sqlite3_extended_errcode(destination);
    }
    const QString message = destination ? QString::fromUtf8(sqlite3_errmsg(destination)) : QString();
    sqlite3_close(destination);
    if (rc != SQLITE_OK)
        throw DatabaseError(rc, message);
}

Library::UnavailableReason Library::unavailableReason(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const UnavailableError &e) {
        return e.kind();
    } catch (const DatabaseError &e) {
        switch (e.kind()) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB: return UnavailableReason::Damaged;
        case SQLITE_FULL: return UnavailableReason::DiskFull;
        default: return UnavailableReason::Other;
        }
    } catch (const SQLite::Exception &e) {
        const int code = e.getExtendedErrorCode() != -1 ? e.getExtendedErrorCode() : e.getErrorCode();
        try {
            throw DatabaseError(code, {});
        } catch (...) {
            return unavailableReason(std::current_exception());
        }
    } catch (const PosixError &e) {
        return e.errnoValue() == ENOSPC ? UnavailableReason::DiskFull : UnavailableReason::Other;
    } catch (const std::filesystem::filesystem_error &e) {
        return e.code().value() == ENOSPC ? UnavailableReason::DiskFull : UnavailableReason::Other;
    } catch (...) {
        return UnavailableReason::Other;
    }
}

// ---------------------------------------------------------------------------------------------
// Output edits

bool Library::updateOutput(SQLite::Database &db, const QUuid &taskId, const QString &text) {
    std::optional<LibraryTask> task = LibraryTask::fetch(db, taskId);
    if (!task || task->contentDeletedAt)
        return false;
    std::optional<LibraryArtifact> output = LibraryArtifact::fetchOutputText(db, taskId);
    if (!output)
        return false;
    output->text = text;
    output->update(db);
    task->updatedAt = libraryNow();
    task->update(db);
    return true;
}

QCoro::Task<bool> Library::updateOutput(QUuid taskId, QString text) {
    auto writing = write([taskId, text](SQLite::Database &db) { return updateOutput(db, taskId, text); });
    const bool written = co_await std::move(writing);
    co_return written;
}

// ---------------------------------------------------------------------------------------------
// Content deletion and the orphan sweep

QCoro::Task<> Library::deleteContent(QUuid taskId) {
    auto deleting = write([taskId](SQLite::Database &db) {
        // The shards whose index held the run's texts.
        SQLite::Statement texts(db, std::string("SELECT DISTINCT ") + LibraryMigrations::searchShardOfSource() +
                                        " FROM searchSource WHERE taskId = ?");
        bind::uuid(texts, 1, taskId);
        QList<int> shards;
        while (texts.executeStep())
            shards.append(texts.getColumn(0).getInt());
        SQLite::Statement remove(db, "DELETE FROM artifact WHERE taskId = ?");
        bind::uuid(remove, 1, taskId);
        remove.exec();
        SQLite::Statement mark(db, "UPDATE task SET contentDeletedAt = ? WHERE id = ?");
        bind::date(mark, 1, libraryNow());
        bind::uuid(mark, 2, taskId);
        mark.exec();
        return shards;
    });
    const QList<int> shards = co_await std::move(deleting);
    purgeLater(shards);
    const fs::path assets = localPath(m_root + QStringLiteral("/Assets"));
    const fs::path folder = assets / uuidString(taskId).toStdString();
    auto removing = m_executor->run([assets, folder] {
        std::error_code ec;
        // Never through a linked "Assets" folder: that would leave the Library folder. What is
        // left there is reported, so the kept recording is not a silent surprise.
        if (!isRealFolder(assets)) {
            if (fs::exists(folder, ec))
                Log::library().error("Task asset removal failed: %{public}s", {Log::errorCode(PosixError(ELOOP))});
            return;
        }
        if (!fs::exists(fs::symlink_status(folder, ec)))
            return;
        // remove_all removes a link itself, never what it points to.
        fs::remove_all(folder, ec);
        if (ec)
            Log::library().error("Task asset removal failed: %{public}s", {Log::errorCode(PosixError(ec.value()))});
    });
    co_await std::move(removing);
}

// secure_delete zeroes deleted rows, but the full-text index keeps a deleted text's trigrams
// (and the marks that delete them) until a merge of its shard reaches the shard's oldest
// segment, and the log keeps whole old copies of pages until it is checkpointed. The merge goes
// in slices, each queued behind the reads and writes that wait for the connection; a shard is
// done when a slice finds nothing left to merge.
class Library::Purge : public std::enable_shared_from_this<Purge> {
public:
    Purge(std::shared_ptr<Connection> connection, QObject *queue)
        : m_connection(std::move(connection)), m_queue(queue) {}

    // On the main thread.
    void add(QList<int> shards) {
        QMetaObject::invokeMethod(
            m_queue,
            [weak = weak_from_this(), shards] {
                if (const std::shared_ptr<Purge> self = weak.lock()) {
                    self->m_shards.insert(shards.begin(), shards.end());
                    self->m_checkpoint = true;
                    self->m_stalled = false;
                    self->queueStep();
                }
            },
            Qt::QueuedConnection);
    }

    // On the connection's thread: every slice left, without queueing.
    void finish() {
        while (!m_stalled && pending())
            step();
    }

private:
    bool pending() const { return !m_shards.empty() || m_checkpoint; }

    void queueStep() {
        if (m_queued || m_stalled || !pending())
            return;
        m_queued = true;
        QMetaObject::invokeMethod(
            m_queue,
            [weak = weak_from_this()] {
                if (const std::shared_ptr<Purge> self = weak.lock()) {
                    self->m_queued = false;
                    if (!self->m_stalled && self->pending())
                        self->step();
                    self->queueStep();
                }
            },
            Qt::QueuedConnection);
    }

    void step() {
        SQLite::Database &db = database(*m_connection);
        try {
            if (!m_shards.empty()) {
                const int shard = *m_shards.begin();
                const std::string table = LibraryMigrations::searchShard(shard).toStdString();
                const int before = sqlite3_total_changes(db.getHandle());
                db.exec("INSERT INTO " + table + "(" + table + ", rank) VALUES ('merge', -500)");
                if (sqlite3_total_changes(db.getHandle()) - before < 2)
                    m_shards.erase(shard);
            } else {
                db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
                m_checkpoint = false;
            }
        } catch (...) {
            // The deletion itself stands; the next deletion takes the leftovers with it.
            m_stalled = true;
            Log::library().error("Deleted text purge failed: %{public}s", {Log::errorCode(std::current_exception())});
        }
    }

    std::shared_ptr<Connection> m_connection;
    // Its queued calls run on the connection's thread, in turn with the executor's jobs.
    QObject *m_queue;
    std::set<int> m_shards;
    bool m_checkpoint = false;
    bool m_queued = false;
    bool m_stalled = false;
};

Library::~Library() {
    // No deleted text is left behind in the files.
    if (m_purge)
        m_executor->runBlocking([purge = m_purge] { purge->finish(); });
    // The executor finishes its queued jobs before the connection goes.
    m_executor.reset();
    m_purgeQueue.reset();
}

void Library::purgeLater(QList<int> shards) {
    if (!m_purge) {
        m_purgeQueue = std::make_unique<QObject>();
        m_purgeQueue->moveToThread(m_executor->thread());
        m_purge = std::make_shared<Purge>(m_connection, m_purgeQueue.get());
    }
    m_purge->add(std::move(shards));
}

QCoro::Task<> Library::finishPurge() {
    if (!m_purge)
        co_return;
    auto finishing = m_executor->run([purge = m_purge] { purge->finish(); });
    co_await std::move(finishing);
}

QCoro::Task<> Library::sweepOrphanedFiles() {
    if (!m_status.isReady())
        co_return;
    auto reading = read([](SQLite::Database &db) {
        QSet<QString> out;
        SQLite::Statement s(db, "SELECT filePath FROM artifact WHERE filePath IS NOT NULL");
        while (s.executeStep())
            out.insert(QString::fromStdString(s.getColumn(0).getString()));
        return out;
    });
    const QSet<QString> referenced = co_await std::move(reading);
    const fs::path root = localPath(m_root);
    auto sweeping = m_executor->run([root, referenced] {
        auto removeOrphan = [](const fs::path &entry) {
            std::error_code ec;
            fs::remove_all(entry, ec);
            if (ec)
                Log::library().error("Library cleanup failed: %{public}s", {Log::errorCode(PosixError(ec.value()))});
        };
        auto sweepFolder = [&](const fs::path &folder, const QString &prefix) {
            for (const fs::path &entry : listEntries(folder))
                if (!referenced.contains(prefix + QLatin1Char('/') + entryName(entry)))
                    removeOrphan(entry);
        };
        // A staged recording's kept outcome and discard mark live beside it until its recovery
        // succeeds; without them a recovery that fails twice would lose the kept transcript.
        auto isStagingCompanion = [&](const QString &name) {
            for (const QLatin1String suffix : {QLatin1String(".save"), QLatin1String(".discard")})
                if (name.endsWith(suffix))
                    return referenced.contains(QStringLiteral("Staging/") + name.chopped(suffix.size()) +
                                               QStringLiteral(".f32"));
            return false;
        };

        // "Assets/E" for every reference that continues below an entry E.
        QSet<QString> usedEntries;
        for (const QString &path : referenced) {
            if (!path.startsWith(QLatin1String("Assets/")))
                continue;
            const qsizetype slash = path.indexOf(QLatin1Char('/'), 7);
            if (slash > 7)
                usedEntries.insert(path.left(slash));
        }

        for (const fs::path &entry : listEntries(root / "Staging")) {
            const QString name = entryName(entry);
            if (!referenced.contains(QStringLiteral("Staging/") + name) && !isStagingCompanion(name))
                removeOrphan(entry);
        }
        for (const fs::path &entry : listEntries(root / "Assets")) {
            const QString prefix = QStringLiteral("Assets/") + entryName(entry);
            if (usedEntries.contains(prefix))
                sweepFolder(entry, prefix); // a link or a file in a task folder's place lists as empty
            else
                removeOrphan(entry);
        }
    });
    co_await std::move(sweeping);
}

// ---------------------------------------------------------------------------------------------
// History list and search

std::optional<QStringList> Library::searchTerms(const std::optional<QString> &query) {
    QStringList terms;
    QSet<QString> seen;
    const QString text = query.value_or(QString());
    QString piece;
    auto finish = [&] {
        if (piece.isEmpty())
            return;
        const QString folded = piece.toLower();
        if (!seen.contains(folded)) {
            seen.insert(folded);
            terms.append(piece);
        }
        piece.clear();
    };
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        char32_t scalar = it->unicode();
        if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(*it, *(it + 1));
            if (QChar::isSpace(scalar)) {
                finish();
                ++it;
                continue;
            }
            piece += *it;
            ++it;
            piece += *it;
            continue;
        }
        // Line and paragraph separators and the ideographic space count as white space too; so
        // does NUL, which SQLite would take for the end of a pattern.
        if (QChar::isSpace(scalar) || scalar == 0x2028 || scalar == 0x2029 || scalar == 0x85 || scalar == 0)
            finish();
        else
            piece += *it;
    }
    finish();
    if (terms.isEmpty())
        return std::nullopt;
    return terms;
}

namespace {

// Short terms past this many reach SQL as one JSON argument: a condition per term would make
// the statement grow with the query until SQLite refuses its expression tree.
constexpr qsizetype kMaxLikeConditions = 8;

QString likePattern(const QString &term) {
    QString escaped;
    for (QChar c : term) {
        if (c == u'\\' || c == u'%' || c == u'_')
            escaped += u'\\';
        escaped += c;
    }
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

} // namespace

Library::SearchFilter Library::searchFilter(const QStringList &terms, const QString &text) {
    QStringList longTerms, shortTerms;
    for (const QString &term : terms)
        (term.toUcs4().size() >= 3 ? longTerms : shortTerms).append(term);

    SearchFilter filter;
    if (!longTerms.isEmpty()) {
        QStringList phrases;
        for (QString term : longTerms)
            phrases.append(QLatin1Char('"') + term.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                           QLatin1Char('"'));
        filter.phrases = phrases.join(QLatin1Char(' '));
    }
    if (shortTerms.size() <= kMaxLikeConditions) {
        for (const QString &term : shortTerms) {
            filter.textConditions.append(text + QStringLiteral(" LIKE ? ESCAPE '\\'"));
            filter.textArguments.append(likePattern(term));
        }
    } else {
        QJsonArray patterns;
        for (const QString &term : shortTerms)
            patterns.append(likePattern(term));
        filter.textConditions.append(QStringLiteral("NOT EXISTS (SELECT 1 FROM json_each(?) WHERE ") + text +
                                     QStringLiteral(" NOT LIKE json_each.value ESCAPE '\\')"));
        filter.textArguments.append(QString::fromUtf8(QJsonDocument(patterns).toJson(QJsonDocument::Compact)));
    }
    return filter;
}

Library::HitQuery Library::SearchFilter::rows() const {
    HitQuery query;
    QStringList arms;
    for (int k = 0; k < LibraryMigrations::kSearchShards; ++k) {
        const QString shard = LibraryMigrations::searchShard(k);
        QString arm = QStringLiteral("SELECT rowid AS id, text FROM ") + shard;
        if (phrases) {
            arm += QStringLiteral(" WHERE ") + shard + QStringLiteral(" MATCH ?");
            query.arguments.append(*phrases);
        }
        arms.append(arm);
    }
    query.sql = arms.join(QStringLiteral(" UNION ALL "));
    return query;
}

Library::HitQuery Library::SearchFilter::where() const {
    return {textConditions.join(QStringLiteral(" AND ")), textArguments};
}

QString Library::searchHitSql(const QString &rows, const QString &where) {
    return QStringLiteral("SELECT s.taskId, s.noteId, searchText.text,\n"
                          "  row_number() OVER (PARTITION BY s.taskId ORDER BY a.role = 'output' DESC, "
                          "a.createdAt DESC) AS rank\n"
                          "FROM (") +
           rows +
           QStringLiteral(") AS searchText JOIN searchSource s ON s.id = searchText.id\n"
                          "LEFT JOIN artifact a ON a.id = s.sourceId") +
           (where.isEmpty() ? QString() : QStringLiteral("\nWHERE ") + where);
}

Library::HitQuery Library::searchHitQuery(const QStringList &terms) {
    const SearchFilter filter = searchFilter(terms);
    const HitQuery rows = filter.rows();
    const HitQuery where = filter.where();
    return {searchHitSql(rows.sql, where.sql), rows.arguments + where.arguments};
}

QCoro::Task<QList<HistoryEntry>> Library::historyEntries(int sources, std::optional<QSet<QString>> tools, QString query,
                                                         std::optional<int> limit, CancellationToken cancel) {
    const std::optional<QStringList> terms = searchTerms(query);
    const auto started = ContinuousClock::now();
    auto reading = read([terms, sources, tools, limit](
                            SQLite::Database &db) { return HistoryEntry::fetchAll(db, terms, sources, tools, limit); },
                        std::move(cancel));
    QList<HistoryEntry> entries = co_await std::move(reading);
    if (terms) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(ContinuousClock::now() - started).count();
        Log::library().info("Search: %ld terms, %ld results, %ld ms",
                            {qint64(terms->size()), qint64(entries.size()), qint64(elapsed)});
    }
    co_return entries;
}

} // namespace velmora
