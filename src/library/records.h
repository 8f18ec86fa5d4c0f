#pragma once

// The rows of the Library's tables as plain values, with their stored forms: ids as upper-case
// UUID text, dates as UTC "yyyy-MM-dd HH:mm:ss.SSS" text, enumerations as their raw strings
// (their names, core/enumname.h).
// Every operation here runs inside Library::read or Library::write on the open connection.

#include "library/libraryerror.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace SQLite {
class Database;
class Statement;
} // namespace SQLite

namespace velmora {

// The current time at the stored precision (whole milliseconds, UTC).
QDateTime libraryNow();
QString libraryDateString(const QDateTime &date);
// Throws LibraryDecodingError unless the text is exactly the stored form.
QDateTime parseLibraryDate(const QString &text);

struct ActivityEvent {
    Q_GADGET
public:
    enum class Kind { AttemptFinished };
    Q_ENUM(Kind)
    enum class Outcome { Completed, Partial, Failed, Interrupted };
    Q_ENUM(Outcome)

    static QString toString(Kind kind);
    static std::optional<Kind> kindFromString(const QString &raw);
    static QString toString(Outcome outcome);
    static std::optional<Outcome> outcomeFromString(const QString &raw);

    QUuid id;
    QUuid taskId;
    std::optional<QUuid> attemptId;
    QString tool;
    Kind kind = Kind::AttemptFinished;
    qint64 version = 1;
    QDateTime occurredAt;
    QString timeZone;
    qint64 utcOffsetSeconds = 0;
    std::optional<Outcome> outcome;
    std::optional<QString> measurements;

    static ActivityEvent fromRow(const SQLite::Statement &row);
    void insert(SQLite::Database &db) const;
    // Every event of a task, oldest first.
    static QList<ActivityEvent> fetchAll(SQLite::Database &db, const QUuid &taskId);
};

struct LibraryTask {
    Q_GADGET
public:
    enum class Status { Active, Completed, Partial, Failed };
    Q_ENUM(Status)

    static QString toString(Status status);
    static std::optional<Status> statusFromString(const QString &raw);
    // The task's status after an attempt that ended with the outcome.
    static Status statusAfter(ActivityEvent::Outcome outcome);

    QUuid id;
    QString tool;
    Status status = Status::Active;
    QDateTime createdAt;
    QDateTime updatedAt;
    std::optional<QDateTime> contentDeletedAt;

    static LibraryTask fromRow(const SQLite::Statement &row);
    static std::optional<LibraryTask> fetch(SQLite::Database &db, const QUuid &id);
    void insert(SQLite::Database &db) const;
    // Rewrites every column of the row with this id.
    void update(SQLite::Database &db) const;
};

struct LibraryArtifact {
    Q_GADGET
public:
    enum class Role { Input, Output };
    Q_ENUM(Role)
    enum class Kind { Audio, Text };
    Q_ENUM(Kind)

    static QString toString(Role role);
    static std::optional<Role> roleFromString(const QString &raw);
    static QString toString(Kind kind);
    static std::optional<Kind> kindFromString(const QString &raw);

    QUuid id;
    QUuid taskId;
    std::optional<QUuid> attemptId;
    Role role = Role::Input;
    Kind kind = Kind::Text;
    std::optional<QString> language;
    std::optional<QString> text;
    std::optional<QString> filePath;
    QDateTime createdAt;

    static LibraryArtifact fromRow(const SQLite::Statement &row);
    // The task's output text artifact, or none.
    static std::optional<LibraryArtifact> fetchOutputText(SQLite::Database &db, const QUuid &taskId);
    // Every artifact of a task, oldest first.
    static QList<LibraryArtifact> fetchAll(SQLite::Database &db, const QUuid &taskId);
    void insert(SQLite::Database &db) const;
    void update(SQLite::Database &db) const;
    void remove(SQLite::Database &db) const;
};

struct LibraryNote {
    QUuid id;
    QString text;
    QDateTime createdAt;
    QDateTime updatedAt;

    bool operator==(const LibraryNote &) const = default;

    static LibraryNote fromRow(const SQLite::Statement &row);
    // Every note, newest updatedAt first, ties by id text ascending.
    static QList<LibraryNote> fetchOrdered(SQLite::Database &db);
    // Updates the row with this id, or inserts it when there is none.
    void upsert(SQLite::Database &db) const;
    // True when a row was deleted.
    static bool remove(SQLite::Database &db, const QUuid &id);
};

struct LibraryDraft {
    QString tool;
    qint64 version = 1;
    QString content;
    QDateTime updatedAt;

    bool operator==(const LibraryDraft &) const = default;

    static LibraryDraft fromRow(const SQLite::Statement &row);
    static std::optional<LibraryDraft> fetch(SQLite::Database &db, const QString &tool);
    // Updates the row of this tool, or inserts it when there is none.
    void save(SQLite::Database &db) const;
    static void remove(SQLite::Database &db, const QString &tool);
};

// Every row the statement yields, each read by Record::fromRow.
template <typename Record, typename Statement>
QList<Record> allRows(Statement &statement) {
    QList<Record> out;
    while (statement.executeStep())
        out.append(Record::fromRow(statement));
    return out;
}

// The statement's first row, read by Record::fromRow, or none.
template <typename Record, typename Statement>
std::optional<Record> firstRow(Statement &statement) {
    if (!statement.executeStep())
        return std::nullopt;
    return Record::fromRow(statement);
}

// Helpers for reading columns by name; each throws LibraryDecodingError on a bad value.
namespace column {
QString text(const SQLite::Statement &row, const char *name);
std::optional<QString> optionalText(const SQLite::Statement &row, const char *name);
QUuid uuid(const SQLite::Statement &row, const char *name);
std::optional<QUuid> optionalUuid(const SQLite::Statement &row, const char *name);
QDateTime date(const SQLite::Statement &row, const char *name);
std::optional<QDateTime> optionalDate(const SQLite::Statement &row, const char *name);
qint64 integer(const SQLite::Statement &row, const char *name);
std::optional<ActivityEvent::Outcome> optionalOutcome(const SQLite::Statement &row, const char *name);
} // namespace column

// Binding helpers: the stored forms of values, NULL for an absent optional.
namespace bind {
void text(SQLite::Statement &statement, int index, const QString &value);
void optionalText(SQLite::Statement &statement, int index, const std::optional<QString> &value);
void uuid(SQLite::Statement &statement, int index, const QUuid &value);
void optionalUuid(SQLite::Statement &statement, int index, const std::optional<QUuid> &value);
void date(SQLite::Statement &statement, int index, const QDateTime &value);
void optionalDate(SQLite::Statement &statement, int index, const std::optional<QDateTime> &value);
} // namespace bind

} // namespace velmora
