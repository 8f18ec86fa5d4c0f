#include "library/records.h"

#include "core/uuid.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <array>

namespace velmora {

namespace {

template <typename E, std::size_t N>
QString rawString(const std::array<const char *, N> &names, E value) {
    return QString::fromLatin1(names[std::size_t(value)]);
}

// Exact, case-sensitive match of one of the raw strings.
template <typename E, std::size_t N>
std::optional<E> fromRawString(const std::array<const char *, N> &names, const QString &raw) {
    for (std::size_t i = 0; i < N; ++i)
        if (raw == QLatin1String(names[i]))
            return E(i);
    return std::nullopt;
}

template <typename E>
E decodeEnum(std::optional<E> value, const QString &raw, const char *what) {
    if (!value)
        throw LibraryDecodingError(QStringLiteral("unknown %1 \"%2\"").arg(QLatin1String(what), raw));
    return *value;
}

constexpr std::array<const char *, 1> kEventKinds{"attemptFinished"};
constexpr std::array<const char *, 4> kOutcomes{"completed", "partial", "failed", "interrupted"};
constexpr std::array<const char *, 4> kStatuses{"active", "completed", "partial", "failed"};
constexpr std::array<const char *, 2> kRoles{"input", "output"};
constexpr std::array<const char *, 2> kArtifactKinds{"audio", "text"};

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
} // namespace

QString text(const SQLite::Statement &row, const char *name) {
    const SQLite::Column c = row.getColumn(name);
    if (c.isNull())
        throw LibraryDecodingError(QStringLiteral("missing %1").arg(QLatin1String(name)));
    return textOf(c);
}

std::optional<QString> optionalText(const SQLite::Statement &row, const char *name) {
    const SQLite::Column c = row.getColumn(name);
    if (c.isNull())
        return std::nullopt;
    return textOf(c);
}

QUuid uuid(const SQLite::Statement &row, const char *name) {
    const QString raw = text(row, name);
    const QUuid id = parseUuid(raw);
    if (id.isNull() && raw != uuidString(QUuid()))
        throw LibraryDecodingError(QStringLiteral("bad id \"%1\"").arg(raw));
    return id;
}

std::optional<QUuid> optionalUuid(const SQLite::Statement &row, const char *name) {
    if (row.getColumn(name).isNull())
        return std::nullopt;
    return uuid(row, name);
}

QDateTime date(const SQLite::Statement &row, const char *name) {
    return parseLibraryDate(text(row, name));
}

std::optional<QDateTime> optionalDate(const SQLite::Statement &row, const char *name) {
    if (row.getColumn(name).isNull())
        return std::nullopt;
    return date(row, name);
}

std::optional<ActivityEvent::Outcome> optionalOutcome(const SQLite::Statement &row, const char *name) {
    const std::optional<QString> raw = optionalText(row, name);
    if (!raw)
        return std::nullopt;
    return decodeEnum(ActivityEvent::outcomeFromString(*raw), *raw, "outcome");
}

qint64 integer(const SQLite::Statement &row, const char *name) {
    const SQLite::Column c = row.getColumn(name);
    if (c.isNull())
        throw LibraryDecodingError(QStringLiteral("missing %1").arg(QLatin1String(name)));
    return c.getInt64();
}

} // namespace column

namespace bind {

void text(SQLite::Statement &statement, int index, const QString &value) {
    statement.bind(index, value.toStdString());
}

void optionalText(SQLite::Statement &statement, int index, const std::optional<QString> &value) {
    if (value)
        text(statement, index, *value);
    else
        statement.bind(index);
}

void uuid(SQLite::Statement &statement, int index, const QUuid &value) {
    text(statement, index, uuidString(value));
}

void optionalUuid(SQLite::Statement &statement, int index, const std::optional<QUuid> &value) {
    if (value)
        uuid(statement, index, *value);
    else
        statement.bind(index);
}

void date(SQLite::Statement &statement, int index, const QDateTime &value) {
    text(statement, index, libraryDateString(value));
}

void optionalDate(SQLite::Statement &statement, int index, const std::optional<QDateTime> &value) {
    if (value)
        date(statement, index, *value);
    else
        statement.bind(index);
}

} // namespace bind

// ---------------------------------------------------------------------------------------------
// ActivityEvent

QString ActivityEvent::toString(Kind kind) {
    return rawString(kEventKinds, kind);
}
std::optional<ActivityEvent::Kind> ActivityEvent::kindFromString(const QString &raw) {
    return fromRawString<Kind>(kEventKinds, raw);
}
QString ActivityEvent::toString(Outcome outcome) {
    return rawString(kOutcomes, outcome);
}
std::optional<ActivityEvent::Outcome> ActivityEvent::outcomeFromString(const QString &raw) {
    return fromRawString<Outcome>(kOutcomes, raw);
}

ActivityEvent ActivityEvent::fromRow(const SQLite::Statement &row) {
    ActivityEvent e;
    e.id = column::uuid(row, "id");
    e.taskId = column::uuid(row, "taskId");
    e.attemptId = column::optionalUuid(row, "attemptId");
    e.tool = column::text(row, "tool");
    const QString kind = column::text(row, "kind");
    e.kind = decodeEnum(kindFromString(kind), kind, "event kind");
    e.version = column::integer(row, "version");
    e.occurredAt = column::date(row, "occurredAt");
    e.timeZone = column::text(row, "timeZone");
    e.utcOffsetSeconds = column::integer(row, "utcOffsetSeconds");
    e.outcome = column::optionalOutcome(row, "outcome");
    e.measurements = column::optionalText(row, "measurements");
    return e;
}

void ActivityEvent::insert(SQLite::Database &db) const {
    SQLite::Statement s(db, "INSERT INTO activityEvent (id, taskId, attemptId, tool, kind, version, occurredAt, "
                            "timeZone, utcOffsetSeconds, outcome, measurements) VALUES (?,?,?,?,?,?,?,?,?,?,?)");
    bind::uuid(s, 1, id);
    bind::uuid(s, 2, taskId);
    bind::optionalUuid(s, 3, attemptId);
    bind::text(s, 4, tool);
    bind::text(s, 5, toString(kind));
    s.bind(6, int64_t(version));
    bind::date(s, 7, occurredAt);
    bind::text(s, 8, timeZone);
    s.bind(9, int64_t(utcOffsetSeconds));
    bind::optionalText(s, 10, outcome ? std::optional<QString>(toString(*outcome)) : std::nullopt);
    bind::optionalText(s, 11, measurements);
    s.exec();
}

QList<ActivityEvent> ActivityEvent::fetchAll(SQLite::Database &db, const QUuid &taskId) {
    SQLite::Statement s(db, "SELECT * FROM activityEvent WHERE taskId = ? ORDER BY occurredAt");
    bind::uuid(s, 1, taskId);
    QList<ActivityEvent> out;
    while (s.executeStep())
        out.append(fromRow(s));
    return out;
}

// ---------------------------------------------------------------------------------------------
// LibraryTask

QString LibraryTask::toString(Status status) {
    return rawString(kStatuses, status);
}
std::optional<LibraryTask::Status> LibraryTask::statusFromString(const QString &raw) {
    return fromRawString<Status>(kStatuses, raw);
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
    const QString status = column::text(row, "status");
    t.status = decodeEnum(statusFromString(status), status, "task status");
    t.createdAt = column::date(row, "createdAt");
    t.updatedAt = column::date(row, "updatedAt");
    t.contentDeletedAt = column::optionalDate(row, "contentDeletedAt");
    return t;
}

std::optional<LibraryTask> LibraryTask::fetch(SQLite::Database &db, const QUuid &id) {
    SQLite::Statement s(db, "SELECT * FROM task WHERE id = ?");
    bind::uuid(s, 1, id);
    if (!s.executeStep())
        return std::nullopt;
    return fromRow(s);
}

void LibraryTask::insert(SQLite::Database &db) const {
    SQLite::Statement s(db, "INSERT INTO task (id, tool, status, createdAt, updatedAt, contentDeletedAt) "
                            "VALUES (?,?,?,?,?,?)");
    bind::uuid(s, 1, id);
    bind::text(s, 2, tool);
    bind::text(s, 3, toString(status));
    bind::date(s, 4, createdAt);
    bind::date(s, 5, updatedAt);
    bind::optionalDate(s, 6, contentDeletedAt);
    s.exec();
}

void LibraryTask::update(SQLite::Database &db) const {
    SQLite::Statement s(db, "UPDATE task SET tool = ?, status = ?, createdAt = ?, updatedAt = ?, "
                            "contentDeletedAt = ? WHERE id = ?");
    bind::text(s, 1, tool);
    bind::text(s, 2, toString(status));
    bind::date(s, 3, createdAt);
    bind::date(s, 4, updatedAt);
    bind::optionalDate(s, 5, contentDeletedAt);
    bind::uuid(s, 6, id);
    s.exec();
}

// ---------------------------------------------------------------------------------------------
// LibraryArtifact

QString LibraryArtifact::toString(Role role) {
    return rawString(kRoles, role);
}
std::optional<LibraryArtifact::Role> LibraryArtifact::roleFromString(const QString &raw) {
    return fromRawString<Role>(kRoles, raw);
}
QString LibraryArtifact::toString(Kind kind) {
    return rawString(kArtifactKinds, kind);
}
std::optional<LibraryArtifact::Kind> LibraryArtifact::kindFromString(const QString &raw) {
    return fromRawString<Kind>(kArtifactKinds, raw);
}

LibraryArtifact LibraryArtifact::fromRow(const SQLite::Statement &row) {
    LibraryArtifact a;
    a.id = column::uuid(row, "id");
    a.taskId = column::uuid(row, "taskId");
    a.attemptId = column::optionalUuid(row, "attemptId");
    const QString role = column::text(row, "role");
    a.role = decodeEnum(roleFromString(role), role, "artifact role");
    const QString kind = column::text(row, "kind");
    a.kind = decodeEnum(kindFromString(kind), kind, "artifact kind");
    a.language = column::optionalText(row, "language");
    a.text = column::optionalText(row, "text");
    a.filePath = column::optionalText(row, "filePath");
    a.createdAt = column::date(row, "createdAt");
    return a;
}

std::optional<LibraryArtifact> LibraryArtifact::fetchOutputText(SQLite::Database &db, const QUuid &taskId) {
    SQLite::Statement s(db, "SELECT * FROM artifact WHERE taskId = ? AND role = 'output' AND kind = 'text' LIMIT 1");
    bind::uuid(s, 1, taskId);
    if (!s.executeStep())
        return std::nullopt;
    return fromRow(s);
}

QList<LibraryArtifact> LibraryArtifact::fetchAll(SQLite::Database &db, const QUuid &taskId) {
    SQLite::Statement s(db, "SELECT * FROM artifact WHERE taskId = ? ORDER BY createdAt");
    bind::uuid(s, 1, taskId);
    QList<LibraryArtifact> out;
    while (s.executeStep())
        out.append(fromRow(s));
    return out;
}

void LibraryArtifact::insert(SQLite::Database &db) const {
    SQLite::Statement s(db, "INSERT INTO artifact (id, taskId, attemptId, role, kind, language, text, filePath, "
                            "createdAt) VALUES (?,?,?,?,?,?,?,?,?)");
    bind::uuid(s, 1, id);
    bind::uuid(s, 2, taskId);
    bind::optionalUuid(s, 3, attemptId);
    bind::text(s, 4, toString(role));
    bind::text(s, 5, toString(kind));
    bind::optionalText(s, 6, language);
    bind::optionalText(s, 7, text);
    bind::optionalText(s, 8, filePath);
    bind::date(s, 9, createdAt);
    s.exec();
}

void LibraryArtifact::update(SQLite::Database &db) const {
    SQLite::Statement s(db, "UPDATE artifact SET taskId = ?, attemptId = ?, role = ?, kind = ?, language = ?, "
                            "text = ?, filePath = ?, createdAt = ? WHERE id = ?");
    bind::uuid(s, 1, taskId);
    bind::optionalUuid(s, 2, attemptId);
    bind::text(s, 3, toString(role));
    bind::text(s, 4, toString(kind));
    bind::optionalText(s, 5, language);
    bind::optionalText(s, 6, text);
    bind::optionalText(s, 7, filePath);
    bind::date(s, 8, createdAt);
    bind::uuid(s, 9, id);
    s.exec();
}

void LibraryArtifact::remove(SQLite::Database &db) const {
    SQLite::Statement s(db, "DELETE FROM artifact WHERE id = ?");
    bind::uuid(s, 1, id);
    s.exec();
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
    QList<LibraryNote> out;
    while (s.executeStep())
        out.append(fromRow(s));
    return out;
}

void LibraryNote::upsert(SQLite::Database &db) const {
    SQLite::Statement update(db, "UPDATE note SET text = ?, createdAt = ?, updatedAt = ? WHERE id = ?");
    bind::text(update, 1, text);
    bind::date(update, 2, createdAt);
    bind::date(update, 3, updatedAt);
    bind::uuid(update, 4, id);
    if (update.exec() > 0)
        return;
    SQLite::Statement insert(db, "INSERT INTO note (id, text, createdAt, updatedAt) VALUES (?,?,?,?)");
    bind::uuid(insert, 1, id);
    bind::text(insert, 2, text);
    bind::date(insert, 3, createdAt);
    bind::date(insert, 4, updatedAt);
    insert.exec();
}

bool LibraryNote::remove(SQLite::Database &db, const QUuid &id) {
    SQLite::Statement s(db, "DELETE FROM note WHERE id = ?");
    bind::uuid(s, 1, id);
    return s.exec() > 0;
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
    SQLite::Statement s(db, "SELECT * FROM draft WHERE tool = ?");
    bind::text(s, 1, tool);
    if (!s.executeStep())
        return std::nullopt;
    return fromRow(s);
}

void LibraryDraft::save(SQLite::Database &db) const {
    SQLite::Statement update(db, "UPDATE draft SET version = ?, content = ?, updatedAt = ? WHERE tool = ?");
    update.bind(1, int64_t(version));
    bind::text(update, 2, content);
    bind::date(update, 3, updatedAt);
    bind::text(update, 4, tool);
    if (update.exec() > 0)
        return;
    SQLite::Statement insert(db, "INSERT INTO draft (tool, version, content, updatedAt) VALUES (?,?,?,?)");
    bind::text(insert, 1, tool);
    insert.bind(2, int64_t(version));
    bind::text(insert, 3, content);
    bind::date(insert, 4, updatedAt);
    insert.exec();
}

void LibraryDraft::remove(SQLite::Database &db, const QString &tool) {
    SQLite::Statement s(db, "DELETE FROM draft WHERE tool = ?");
    bind::text(s, 1, tool);
    s.exec();
}

} // namespace velmora
