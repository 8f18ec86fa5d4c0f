#pragma once

// The Library: the History database "Library.sqlite" with its folders of recordings and
// backups. It is opened once per launch; afterwards every database access goes through
// read() and write(), which run on one serialized connection on a thread of its own and resume
// the awaiting coroutine on the thread that opened the Library (the main thread).

#include "core/async.h"
#include "core/error.h"
#include "library/history.h"
#include "library/records.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace velmora {

// A failure reported by SQLite, with its extended result code as the code.
class DatabaseError : public Error {
public:
    static constexpr const char *kDomain = "Velmora.DatabaseError";
    DatabaseError(int extendedCode, QString message);
    int extendedCode() const { return int(code()); }
    int primaryCode() const { return int(code()) & 0xff; }
};

class Library {
public:
    enum class UnavailableReason { NewerVersion, Damaged, DiskFull, Other };
    static QString toString(UnavailableReason reason);
    static std::optional<UnavailableReason> reasonFromString(const QString &raw);

    // Why the Library cannot be used; also what read() and write() fail with without a database.
    class UnavailableError : public Error {
    public:
        static constexpr const char *kDomain = "Velmora.Library.UnavailableReason";
        explicit UnavailableError(UnavailableReason reason);
        UnavailableReason reason() const { return UnavailableReason(code()); }
    };

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
    static QCoro::Task<std::shared_ptr<Library>> openAsync(QString root);
    // The same, blocking the caller until the opening is done. The Library's results are
    // delivered to the calling thread, which must run an event loop.
    static std::shared_ptr<Library> open(const QString &root);

    const QString &root() const { return m_root; }
    Status status() const { return m_status; }
    QString databasePath() const;

    // Runs fn(SQLite::Database &) on the serialized connection and returns its value.
    // SQLite failures arrive as DatabaseError; without a database, UnavailableError.
    template <typename F>
    QCoro::Task<std::invoke_result_t<F, SQLite::Database &>> read(F fn) {
        return perform(std::move(fn), false);
    }
    // The same inside one transaction: committed when fn returns, rolled back when it throws.
    template <typename F>
    QCoro::Task<std::invoke_result_t<F, SQLite::Database &>> write(F fn) {
        return perform(std::move(fn), true);
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

    // Deletes a run's texts and recordings and marks its content deleted.
    QCoro::Task<> deleteContent(QUuid taskId);
    // Removes files under "Staging" and "Assets" that no artifact refers to.
    QCoro::Task<> sweepOrphanedFiles();

    // The History list, searched when query has terms.
    QCoro::Task<QList<HistoryEntry>> historyEntries(int sources, std::optional<QSet<QString>> tools, QString query,
                                                    std::optional<int> limit);
    // Whitespace-separated terms without case-insensitive repeats; none when there are none.
    static std::optional<QStringList> searchTerms(const std::optional<QString> &query);
    struct HitQuery {
        QString sql;
        QStringList arguments;
    };
    static HitQuery searchHitQuery(const QStringList &terms);

private:
    struct Connection;

    explicit Library(QString root);
    // The opening sequence; runs on the connection's thread.
    void openOnConnectionThread();
    void backUpBeforeMigrating(SQLite::Database &db);

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

    template <typename F, typename R = std::invoke_result_t<F, SQLite::Database &>>
    QCoro::Task<R> perform(F fn, bool transaction) {
        if (!m_connection)
            throw UnavailableError(m_status.reason().value_or(UnavailableReason::Other));
        std::shared_ptr<Connection> connection = m_connection;
        auto job = [connection, fn = std::move(fn), transaction]() mutable -> R {
            return runOn(database(*connection), fn, transaction);
        };
        // The awaited task is a named local: GCC 12 destroys the temporaries of a co_await
        // expression twice when the awaited task throws.
        auto running = m_executor->run(std::move(job));
        if constexpr (std::is_void_v<R>) {
            co_await std::move(running);
        } else {
            R result = co_await std::move(running);
            co_return result;
        }
    }

    static SQLite::Database &database(Connection &connection);

    QString m_root;
    Status m_status = Status::unavailable(UnavailableReason::Other);
    std::shared_ptr<Connection> m_connection;
    std::unique_ptr<SerialExecutor> m_executor;
};

} // namespace velmora
