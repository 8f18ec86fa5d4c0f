#pragma once

// The Library: the History database "Library.sqlite" with its folders of recordings and
// backups. It is opened once per launch; afterwards every database access goes through
// read() and write(), which run on one serialized connection on a thread of its own and resume
// the awaiting coroutine on the thread that opened the Library (the main thread).

#include "core/cancellationtoken.h"
#include "core/error.h"
#include "core/serialexecutor.h"
#include "library/history.h"
#include "library/libraryerror.h"
#include "library/records.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <chrono>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace velmora {

class Library {
public:
    using UnavailableReason = LibraryUnavailableReason;
    using UnavailableError = LibraryUnavailableError;

    class Status {
    public:
        static Status ready() { return Status(std::nullopt); }
        static Status unavailable(UnavailableReason reason) { return Status(reason); }
        bool isReady() const { return !m_reason; }
        // The reason of an unavailable Library; none when ready.
        std::optional<UnavailableReason> reason() const { return m_reason; }
        bool operator==(const Status &) const = default;

    private:
        explicit Status(std::optional<UnavailableReason> reason) : m_reason(reason) {}
        std::optional<UnavailableReason> m_reason;
    };

    // Search sources of the History list.
    enum Source { Tasks = 1, Notes = 2 };

    ~Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    // The Library folder: $XDG_DATA_HOME/com.velmora.app.
    static QString defaultRoot();

    // Opens the Library at root without blocking the calling (main) thread: the opening runs on
    // the connection's own thread. Never fails; look at status().
    // busyWait is how long a statement waits for a lock another connection or program holds.
    static constexpr std::chrono::milliseconds kBusyWait{5'000};
    static QCoro::Task<std::shared_ptr<Library>> openAsync(QString root,
                                                           std::chrono::milliseconds busyWait = kBusyWait);
    // The same, blocking the caller until the opening is done; any thread may open it. Each
    // result resumes its awaiter on the awaiter's own thread.
    static std::shared_ptr<Library> open(const QString &root);

    const QString &root() const { return m_root; }
    Status status() const { return m_status; }
    QString databasePath() const;

    // Runs fn(SQLite::Database &) on the serialized connection and returns its value.
    // SQLite failures arrive as DatabaseError; without a database, UnavailableError.
    template <typename F>
    QCoro::Task<std::invoke_result_t<F, SQLite::Database &>> read(F fn) {
        return perform(std::move(fn), false, {});
    }
    // The same, given up when cancel is cancelled: before fn runs, while its statements run (they
    // are interrupted), or after; the caller then gets CancelledError.
    template <typename F>
    QCoro::Task<std::invoke_result_t<F, SQLite::Database &>> read(F fn, CancellationToken cancel) {
        return perform(std::move(fn), false, std::move(cancel));
    }
    // The same inside one transaction: committed when fn returns, rolled back when it throws.
    template <typename F>
    QCoro::Task<std::invoke_result_t<F, SQLite::Database &>> write(F fn) {
        return perform(std::move(fn), true, {});
    }

    // Copies the whole database into a new file at target with SQLite's online backup.
    static void copyDatabase(SQLite::Database &source, const QString &target);

    // Maps any failure of the opening to the reason shown to the user.
    static UnavailableReason unavailableReason(const std::exception_ptr &error);

    // Writes a user's edit of a run's output text; false when the task is missing, its content
    // was deleted or it has no output text.
    QCoro::Task<bool> updateOutput(QUuid taskId, QString text);
    // The same steps on an open connection, inside the caller's write.
    static bool updateOutput(SQLite::Database &db, const QUuid &taskId, const QString &text);

    // Deletes a run's texts and recordings and marks its content deleted. What the files still
    // hold of the deleted text (the search index's old entries, the log's old pages) is removed
    // afterwards on the connection's thread, in slices between other reads and writes, without
    // the caller waiting; closing the Library finishes that removal first.
    QCoro::Task<> deleteContent(QUuid taskId);
    // Finishes the removal of deleted text now; returns when the files hold none of it.
    QCoro::Task<> finishPurge();
    // Removes files under "Staging" and "Assets" that no artifact refers to.
    QCoro::Task<> sweepOrphanedFiles();

    // The History list, searched when query has terms. A caller that searches as the user types
    // cancels the previous search's token when a newer one starts: the old one stops at once and
    // fails with CancelledError.
    QCoro::Task<QList<HistoryEntry>> historyEntries(int sources, std::optional<QSet<QString>> tools, QString query,
                                                    std::optional<int> limit, CancellationToken cancel = {});
    // Whitespace-separated terms without case-insensitive repeats; none when there are none.
    static std::optional<QStringList> searchTerms(const std::optional<QString> &query);
    struct HitQuery {
        QString sql;
        QStringList arguments;
    };
    static HitQuery searchHitQuery(const QStringList &terms);
    // What makes a searched text a hit for every term.
    struct SearchFilter {
        // The long terms as one FTS5 query of phrases; none without long terms.
        std::optional<QString> phrases;
        // Conditions on the text for the short terms, one argument each.
        QStringList textConditions;
        QStringList textArguments;
        // The texts the index finds for the long terms (every text without them) as a table
        // expression of columns id (the searchSource row) and text, with its arguments.
        HitQuery rows() const;
        // The text conditions joined with AND (empty without short terms), with their arguments.
        HitQuery where() const;
    };
    // `text` names the column the short terms are looked for in: the searched rows' own, or the
    // artifact's or note's that it copies.
    static SearchFilter searchFilter(const QStringList &terms, const QString &text = QStringLiteral("searchText.text"));
    // The hit table expression over the searched rows (a table expression of columns id and
    // text, named searchText inside) that meet `where` (none when empty).
    static QString searchHitSql(const QString &rows, const QString &where);

private:
    struct Connection;

    explicit Library(QString root, std::chrono::milliseconds busyWait = kBusyWait);
    // The opening sequence; runs on the connection's thread.
    void openOnConnectionThread();
    void backUpBeforeMigrating(SQLite::Database &db);
    // The removal of deleted text; lives on the connection's thread.
    class Purge;
    // Queues the removal of what the files hold of deleted text in these search shards.
    void purgeLater(QList<int> shards);

    [[noreturn]] static void rethrowAsDatabaseError(const SQLite::Exception &e);
    static void rollbackQuietly(SQLite::Database &db);

    template <typename F, typename R = std::invoke_result_t<F, SQLite::Database &>>
    static R runOn(SQLite::Database &db, F &fn, bool transaction) {
        try {
            if (!transaction)
                return fn(db);
            db.exec("BEGIN IMMEDIATE");
            try {
                if constexpr (std::is_void_v<R>) {
                    fn(db);
                    db.exec("COMMIT");
                } else {
                    R result = fn(db);
                    db.exec("COMMIT");
                    return result;
                }
            } catch (...) {
                rollbackQuietly(db);
                throw;
            }
        } catch (const SQLite::Exception &e) {
            rethrowAsDatabaseError(e);
        }
        if constexpr (!std::is_void_v<R>)
            throw Error(QStringLiteral("Velmora.Library"), -1); // not reached
    }

    // While it lives, the connection's statements stop soon after the token is cancelled.
    class Interruption {
    public:
        Interruption(SQLite::Database &db, CancellationToken token);
        ~Interruption();
        Interruption(const Interruption &) = delete;
        Interruption &operator=(const Interruption &) = delete;
        // Rethrows a failure of the interrupted statements as the cancellation it is.
        [[noreturn]] void rethrow(std::exception_ptr error) const;

    private:
        static int check(void *self);
        SQLite::Database &m_db;
        CancellationToken m_token;
    };

    template <typename F, typename R = std::invoke_result_t<F, SQLite::Database &>>
    QCoro::Task<R> perform(F fn, bool transaction, CancellationToken cancel) {
        if (!m_connection)
            throw UnavailableError(m_status.reason().value_or(UnavailableReason::Other));
        std::shared_ptr<Connection> connection = m_connection;
        auto job = [connection, fn = std::move(fn), transaction, cancel]() mutable -> R {
            cancel.throwIfCancelled();
            const Interruption interruption(database(*connection), cancel);
            try {
                return runOn(database(*connection), fn, transaction);
            } catch (...) {
                interruption.rethrow(std::current_exception());
            }
        };
        // A named task, awaited as a local (the coroutine rule in core/promise.h).
        auto running = m_executor->run(std::move(job));
        if constexpr (std::is_void_v<R>) {
            co_await std::move(running);
            cancel.throwIfCancelled();
        } else {
            R result = co_await std::move(running);
            cancel.throwIfCancelled();
            co_return result;
        }
    }

    static SQLite::Database &database(Connection &connection);

    QString m_root;
    std::chrono::milliseconds m_busyWait;
    Status m_status = Status::unavailable(UnavailableReason::Other);
    std::shared_ptr<Connection> m_connection;
    std::unique_ptr<SerialExecutor> m_executor;
    std::shared_ptr<Purge> m_purge;
    // Lives on the connection's thread, for the purge's queued slices.
    std::unique_ptr<QObject> m_purgeQueue;
};

} // namespace velmora
