#include "library/records.h"

#include "core/enumname.h"
#include "core/uuid.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <initializer_list>
#include <string>

namespace velmora {

namespace {

// A column holding one of an enumeration's raw strings; `what` names it in the decoding error.
template <typename E>
E enumColumn(const SQLite::Statement &row, const char *name, std::optional<E> (*fromString)(const QString &),
             const char *what) {
    const QString raw = column::text(row, name);
    const std::optional<E> value = fromString(raw);
    if (!value)
        throw LibraryDecodingError(QStringLiteral("unknown %1 \"%2\"").arg(QLatin1String(what), raw));
    return *value;
}

int digits(const QString &text, int from, int count, bool &ok) {
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9') {
            ok = false;
            return 0;
        }
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

QDateTime libraryNow() {
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QString libraryDateString(const QDateTime &date) {
    const QDateTime utc = date.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", d.year(), d.month(), d.day(), t.hour(),
                  t.minute(), t.second(), t.msec());
    return QString::fromLatin1(buffer);
}

QDateTime parseLibraryDate(const QString &text) {
    // Parsed by position: the stored form is fixed, and History lists read many of them.
    bool ok = text.size() == 23 && text.at(4) == u'-' && text.at(7) == u'-' && text.at(10) == u' ' &&
              text.at(13) == u':' && text.at(16) == u':' && text.at(19) == u'.';
    if (ok) {
        const QDate date(digits(text, 0, 4, ok), digits(text, 5, 2, ok), digits(text, 8, 2, ok));
        const QTime time(digits(text, 11, 2, ok), digits(text, 14, 2, ok), digits(text, 17, 2, ok),
                         digits(text, 20, 3, ok));
        if (ok && date.isValid() && time.isValid())
            return QDateTime(date, time, Qt::UTC);
    }
    throw LibraryDecodingError(QStringLiteral("bad date \"%1\"").arg(text));
}

// ---------------------------------------------------------------------------------------------

namespace column {

namespace {
// An empty stored text reads as an empty (not null) string.
QString textOf(const SQLite::Column &c) {
    if (c.getBytes() == 0)
        return QStringLiteral("");
    return QString::fromUtf8(static_cast<const char *>(c.getBlob()), c.getBytes());
}

// A NULL column reads as none, any other through read.
template <typename Read>
auto unlessNull(const SQLite::Statement &row, const char *name, Read read) -> std::optional<decltype(read(row, name))> {
    if (row.getColumn(name).isNull())
        return std::nullopt;
    return read(row, name);
}
} // namespace

QString text(const SQLite::Statement &row, const char *name) {
    const SQLite::Column c = row.getColumn(name);
    if (c.isNull())
        throw LibraryDecodingError(QStringLiteral("missing %1").arg(QLatin1String(name)));
    return textOf(c);
}

std::optional<QString> optionalText(const SQLite::Statement &row, const char *name) {
    return unlessNull(row, name, text);
}

QUuid uuid(const SQLite::Statement &row, const char *name) {
    const QString raw = text(row, name);
    const QUuid id = parseUuid(raw);
    if (id.isNull() && raw != uuidString(QUuid()))
        throw LibraryDecodingError(QStringLiteral("bad id \"%1\"").arg(raw));
    return id;
}

std::optional<QUuid> optionalUuid(const SQLite::Statement &row, const char *name) {
    return unlessNull(row, name, uuid);
}

QDateTime date(const SQLite::Statement &row, const char *name) {
    return parseLibraryDate(text(row, name));
}

std::optional<QDateTime> optionalDate(const SQLite::Statement &row, const char *name) {
    return unlessNull(row, name, date);
}

std::optional<ActivityEvent::Outcome> optionalOutcome(const SQLite::Statement &row, const char *name) {
    return unlessNull(row, name, [](const SQLite::Statement &r, const char *n) {
        return enumColumn(r, n, &ActivityEvent::outcomeFromString, "outcome");
    });
}

qint64 integer(const SQLite::Statement &row, const char *name) {
    const SQLite::Column c = row.getColumn(name);
    if (c.isNull())
        throw LibraryDecodingError(QStringLiteral("missing %1").arg(QLatin1String(name)));
    return c.getInt64();
}

} // namespace column

namespace bind {

namespace {
// An absent value binds NULL, a present one through bindValue.
template <typename T, typename Bind>
void orNull(SQLite::Statement &statement, int index, const std::optional<T> &value, Bind bindValue) {
    if (value)
        bindValue(statement, index, *value);
    else
        statement.bind(index);
}
} // namespace

void text(SQLite::Statement &statement, int index, const QString &value) {
    statement.bind(index, value.toStdString());
}

void optionalText(SQLite::Statement &statement, int index, const std::optional<QString> &value) {
    orNull(statement, index, value, text);
}

void uuid(SQLite::Statement &statement, int index, const QUuid &value) {
    text(statement, index, uuidString(value));
}

void optionalUuid(SQLite::Statement &statement, int index, const std::optional<QUuid> &value) {
    orNull(statement, index, value, uuid);
}

void date(SQLite::Statement &statement, int index, const QDateTime &value) {
    text(statement, index, libraryDateString(value));
}

void optionalDate(SQLite::Statement &statement, int index, const std::optional<QDateTime> &value) {
    orNull(statement, index, value, date);
}

} // namespace bind

namespace {

// A table whose rows are written whole: the key column, then the others in the order a record's
// bindFields binds them.
struct RowTable {
    RowTable(const char *name, const char *key, std::initializer_list<const char *> fields)
        : keyPlace(int(fields.size()) + 1) {
        const std::string table(name);
        std::string columns(key);
        std::string places("?");
        std::string assignments;
        for (const char *field : fields) {
            columns.append(", ").append(field);
            places.append(",?");
            assignments.append(assignments.empty() ? "" : ", ").append(field).append(" = ?");
        }
        const std::string whereKey = std::string(" WHERE ") + key + " = ?";
        insert = "INSERT INTO " + table + " (" + columns + ") VALUES (" + places + ")";
        update = "UPDATE " + table + " SET " + assignments + whereKey;
        select = "SELECT * FROM " + table + whereKey;
        remove = "DELETE FROM " + table + whereKey;
    }

    std::string insert;
    std::string update; // the fields first, the key last, at keyPlace
    std::string select;
    std::string remove;
    int keyPlace;
};

void bindKey(SQLite::Statement &statement, int index, const QUuid &key) {
    bind::uuid(statement, index, key);
}
void bindKey(SQLite::Statement &statement, int index, const QString &key) {
    bind::text(statement, index, key);
}

template <typename Record>
const QUuid &keyOf(const Record &record) {
    return record.id;
}
const QString &keyOf(const LibraryDraft &draft) {
    return draft.tool;
}

void bindFields(SQLite::Statement &s, int i, const ActivityEvent &e) {
    bind::uuid(s, i++, e.taskId);
    bind::optionalUuid(s, i++, e.attemptId);
    bind::text(s, i++, e.tool);
    bind::text(s, i++, ActivityEvent::toString(e.kind));
    s.bind(i++, int64_t(e.version));
    bind::date(s, i++, e.occurredAt);
    bind::text(s, i++, e.timeZone);
    s.bind(i++, int64_t(e.utcOffsetSeconds));
    bind::optionalText(s, i++, e.outcome ? std::optional<QString>(ActivityEvent::toString(*e.outcome)) : std::nullopt);
    bind::optionalText(s, i, e.measurements);
}

void bindFields(SQLite::Statement &s, int i, const LibraryTask &t) {
    bind::text(s, i++, t.tool);
    bind::text(s, i++, LibraryTask::toString(t.status));
    bind::date(s, i++, t.createdAt);
    bind::date(s, i++, t.updatedAt);
    bind::optionalDate(s, i, t.contentDeletedAt);
}

void bindFields(SQLite::Statement &s, int i, const LibraryArtifact &a) {
    bind::uuid(s, i++, a.taskId);
    bind::optionalUuid(s, i++, a.attemptId);
    bind::text(s, i++, LibraryArtifact::toString(a.role));
    bind::text(s, i++, LibraryArtifact::toString(a.kind));
    bind::optionalText(s, i++, a.language);
    bind::optionalText(s, i++, a.text);
    bind::optionalText(s, i++, a.filePath);
    bind::date(s, i, a.createdAt);
}

void bindFields(SQLite::Statement &s, int i, const LibraryNote &n) {
    bind::text(s, i++, n.text);
    bind::date(s, i++, n.createdAt);
    bind::date(s, i, n.updatedAt);
}

void bindFields(SQLite::Statement &s, int i, const LibraryDraft &d) {
    s.bind(i++, int64_t(d.version));
    bind::text(s, i++, d.content);
    bind::date(s, i, d.updatedAt);
}

const RowTable kEvents("activityEvent", "id",
                       {"taskId", "attemptId", "tool", "kind", "version", "occurredAt", "timeZone", "utcOffsetSeconds",
                        "outcome", "measurements"});
const RowTable kTasks("task", "id", {"tool", "status", "createdAt", "updatedAt", "contentDeletedAt"});
const RowTable kArtifacts("artifact", "id",
                          {"taskId", "attemptId", "role", "kind", "language", "text", "filePath", "createdAt"});
const RowTable kNotes("note", "id", {"text", "createdAt", "updatedAt"});
const RowTable kDrafts("draft", "tool", {"version", "content", "updatedAt"});

template <typename Record>
void insertRow(SQLite::Database &db, const RowTable &table, const Record &record) {
    SQLite::Statement s(db, table.insert);
    bindKey(s, 1, keyOf(record));
    bindFields(s, 2, record);
    s.exec();
}

// True when a row had the record's key.
template <typename Record>
bool updateRow(SQLite::Database &db, const RowTable &table, const Record &record) {
    SQLite::Statement s(db, table.update);
    bindFields(s, 1, record);
    bindKey(s, table.keyPlace, keyOf(record));
    return s.exec() > 0;
}

template <typename Record>
void upsertRow(SQLite::Database &db, const RowTable &table, const Record &record) {
    if (!updateRow(db, table, record))
        insertRow(db, table, record);
}

template <typename Record, typename Key>
std::optional<Record> fetchRow(SQLite::Database &db, const RowTable &table, const Key &key) {
    SQLite::Statement s(db, table.select);
    bindKey(s, 1, key);
    return firstRow<Record>(s);
}

// True when a row was deleted.
template <typename Key>
bool deleteRow(SQLite::Database &db, const RowTable &table, const Key &key) {
    SQLite::Statement s(db, table.remove);
    bindKey(s, 1, key);
    return s.exec() > 0;
}

// The rows of a task in the table, oldest first by the column.
template <typename Record>
QList<Record> fetchOfTask(SQLite::Database &db, const char *table, const char *order, const QUuid &taskId) {
    SQLite::Statement s(db, std::string("SELECT * FROM ") + table + " WHERE taskId = ? ORDER BY " + order);
    bind::uuid(s, 1, taskId);
    return allRows<Record>(s);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// ActivityEvent

QString ActivityEvent::toString(Kind kind) {
    return enumName(kind);
}
std::optional<ActivityEvent::Kind> ActivityEvent::kindFromString(const QString &raw) {
    return enumFromName<Kind>(raw);
}
QString ActivityEvent::toString(Outcome outcome) {
    return enumName(outcome);
}
std::optional<ActivityEvent::Outcome> ActivityEvent::outcomeFromString(const QString &raw) {
    return enumFromName<Outcome>(raw);
}

ActivityEvent ActivityEvent::fromRow(const SQLite::Statement &row) {
    ActivityEvent e;
    e.id = column::uuid(row, "id");
    e.taskId = column::uuid(row, "taskId");
    e.attemptId = column::optionalUuid(row, "attemptId");
    e.tool = column::text(row, "tool");
    e.kind = enumColumn(row, "kind", &kindFromString, "event kind");
    e.version = column::integer(row, "version");
    e.occurredAt = column::date(row, "occurredAt");
    e.timeZone = column::text(row, "timeZone");
    e.utcOffsetSeconds = column::integer(row, "utcOffsetSeconds");
    e.outcome = column::optionalOutcome(row, "outcome");
    e.measurements = column::optionalText(row, "measurements");
    return e;
}

void ActivityEvent::insert(SQLite::Database &db) const {
    insertRow(db, kEvents, *this);
}

QList<ActivityEvent> ActivityEvent::fetchAll(SQLite::Database &db, const QUuid &taskId) {
    return fetchOfTask<ActivityEvent>(db, "activityEvent", "occurredAt", taskId);
}

// ---------------------------------------------------------------------------------------------
// LibraryTask

QString LibraryTask::toString(Status status) {
    return enumName(status);
}
std::optional<LibraryTask::Status> LibraryTask::statusFromString(const QString &raw) {
    return enumFromName<Status>(raw);
}

LibraryTask::Status LibraryTask::statusAfter(ActivityEvent::Outcome outcome) {
    switch (outcome) {
    case ActivityEvent::Outcome::Completed: return Status::Completed;
    case ActivityEvent::Outcome::Partial: return Status::Partial;
    case ActivityEvent::Outcome::Failed:
    case ActivityEvent::Outcome::Interrupted: return Status::Failed;
    }
    return Status::Failed;
}

LibraryTask LibraryTask::fromRow(const SQLite::Statement &row) {
    LibraryTask t;
    t.id = column::uuid(row, "id");
    t.tool = column::text(row, "tool");
    t.status = enumColumn(row, "status", &statusFromString, "task status");
    t.createdAt = column::date(row, "createdAt");
    t.updatedAt = column::date(row, "updatedAt");
    t.contentDeletedAt = column::optionalDate(row, "contentDeletedAt");
    return t;
}

std::optional<LibraryTask> LibraryTask::fetch(SQLite::Database &db, const QUuid &id) {
    return fetchRow<LibraryTask>(db, kTasks, id);
}

void LibraryTask::insert(SQLite::Database &db) const {
    insertRow(db, kTasks, *this);
}

void LibraryTask::update(SQLite::Database &db) const {
    updateRow(db, kTasks, *this);
}

// ---------------------------------------------------------------------------------------------
// LibraryArtifact

QString LibraryArtifact::toString(Role role) {
    return enumName(role);
}
std::optional<LibraryArtifact::Role> LibraryArtifact::roleFromString(const QString &raw) {
    return enumFromName<Role>(raw);
}
QString LibraryArtifact::toString(Kind kind) {
    return enumName(kind);
}
std::optional<LibraryArtifact::Kind> LibraryArtifact::kindFromString(const QString &raw) {
    return enumFromName<Kind>(raw);
}

LibraryArtifact LibraryArtifact::fromRow(const SQLite::Statement &row) {
    LibraryArtifact a;
    a.id = column::uuid(row, "id");
    a.taskId = column::uuid(row, "taskId");
    a.attemptId = column::optionalUuid(row, "attemptId");
    a.role = enumColumn(row, "role", &roleFromString, "artifact role");
    a.kind = enumColumn(row, "kind", &kindFromString, "artifact kind");
    a.language = column::optionalText(row, "language");
    a.text = column::optionalText(row, "text");
    a.filePath = column::optionalText(row, "filePath");
    a.createdAt = column::date(row, "createdAt");
    return a;
}

std::optional<LibraryArtifact> LibraryArtifact::fetchOutputText(SQLite::Database &db, const QUuid &taskId) {
    SQLite::Statement s(db, "SELECT * FROM artifact WHERE taskId = ? AND role = 'output' AND kind = 'text' LIMIT 1");
    bind::uuid(s, 1, taskId);
    return firstRow<LibraryArtifact>(s);
}

QList<LibraryArtifact> LibraryArtifact::fetchAll(SQLite::Database &db, const QUuid &taskId) {
    return fetchOfTask<LibraryArtifact>(db, "artifact", "createdAt", taskId);
}

void LibraryArtifact::insert(SQLite::Database &db) const {
    insertRow(db, kArtifacts, *this);
}

void LibraryArtifact::update(SQLite::Database &db) const {
    updateRow(db, kArtifacts, *this);
}

void LibraryArtifact::remove(SQLite::Database &db) const {
    deleteRow(db, kArtifacts, id);
}

// ---------------------------------------------------------------------------------------------
// LibraryNote

LibraryNote LibraryNote::fromRow(const SQLite::Statement &row) {
    LibraryNote n;
    n.id = column::uuid(row, "id");
    n.text = column::text(row, "text");
    n.createdAt = column::date(row, "createdAt");
    n.updatedAt = column::date(row, "updatedAt");
    return n;
}

QList<LibraryNote> LibraryNote::fetchOrdered(SQLite::Database &db) {
    SQLite::Statement s(db, "SELECT * FROM note ORDER BY updatedAt DESC, id ASC");
    return allRows<LibraryNote>(s);
}

void LibraryNote::upsert(SQLite::Database &db) const {
    upsertRow(db, kNotes, *this);
}

bool LibraryNote::remove(SQLite::Database &db, const QUuid &id) {
    return deleteRow(db, kNotes, id);
}

// ---------------------------------------------------------------------------------------------
// LibraryDraft

LibraryDraft LibraryDraft::fromRow(const SQLite::Statement &row) {
    LibraryDraft d;
    d.tool = column::text(row, "tool");
    d.version = column::integer(row, "version");
    d.content = column::text(row, "content");
    d.updatedAt = column::date(row, "updatedAt");
    return d;
}

std::optional<LibraryDraft> LibraryDraft::fetch(SQLite::Database &db, const QString &tool) {
    return fetchRow<LibraryDraft>(db, kDrafts, tool);
}

void LibraryDraft::save(SQLite::Database &db) const {
    upsertRow(db, kDrafts, *this);
}

void LibraryDraft::remove(SQLite::Database &db, const QString &tool) {
    deleteRow(db, kDrafts, tool);
}

} // namespace velmora
