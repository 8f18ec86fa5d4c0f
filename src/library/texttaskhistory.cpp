#include "library/texttaskhistory.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <QJsonArray>
#include <QTimeZone>

#include <cmath>

namespace velmora {

namespace {

void writeString(QString &out, const QString &text) {
    out += u'"';
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'"': out += QLatin1String("\\\""); break;
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'/': out += QLatin1String("\\/"); break;
        case u'\b': out += QLatin1String("\\b"); break;
        case u'\f': out += QLatin1String("\\f"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += u'"';
}

bool isFiniteNumber(const QJsonValue &value) {
    return !value.isDouble() || std::isfinite(value.toDouble());
}

void writeValue(QString &out, const QJsonValue &value);

void writeObject(QString &out, const QJsonObject &object) {
    out += u'{';
    bool first = true;
    // QJsonObject keeps its keys sorted.
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!isFiniteNumber(it.value()))
            continue;
        if (!first)
            out += u',';
        first = false;
        writeString(out, it.key());
        out += u':';
        writeValue(out, it.value());
    }
    out += u'}';
}

void writeValue(QString &out, const QJsonValue &value) {
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined: out += QLatin1String("null"); break;
    case QJsonValue::Bool: out += value.toBool() ? QLatin1String("true") : QLatin1String("false"); break;
    case QJsonValue::Double: {
        const QVariant v = value.toVariant();
        if (v.typeId() == QMetaType::LongLong)
            out += QString::number(v.toLongLong());
        else if (!std::isfinite(value.toDouble()))
            out += QLatin1String("null");
        else
            out += QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
        break;
    }
    case QJsonValue::String: writeString(out, value.toString()); break;
    case QJsonValue::Array: {
        out += u'[';
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (i)
                out += u',';
            writeValue(out, array.at(i));
        }
        out += u']';
        break;
    }
    case QJsonValue::Object: writeObject(out, value.toObject()); break;
    }
}

} // namespace

QString measurementsJson(const QJsonObject &measurements) {
    QString out;
    writeObject(out, measurements);
    return out;
}

EventTimeZone EventTimeZone::current(const QDateTime &at) {
    const QTimeZone zone = QTimeZone::systemTimeZone();
    return {QString::fromUtf8(QTimeZone::systemTimeZoneId()), zone.offsetFromUtc(at)};
}

LibraryTask newTask(const QUuid &id, const QString &tool, LibraryTask::Status status, const QDateTime &at) {
    LibraryTask task;
    task.id = id;
    task.tool = tool;
    task.status = status;
    task.createdAt = at;
    task.updatedAt = at;
    return task;
}

namespace {
LibraryArtifact newArtifact(const QUuid &taskId, LibraryArtifact::Role role, LibraryArtifact::Kind kind,
                            std::optional<QString> language, const QDateTime &at) {
    LibraryArtifact artifact;
    artifact.id = QUuid::createUuid();
    artifact.taskId = taskId;
    artifact.role = role;
    artifact.kind = kind;
    artifact.language = std::move(language);
    artifact.createdAt = at;
    return artifact;
}
} // namespace

LibraryArtifact inputArtifact(const QUuid &taskId, LibraryArtifact::Kind kind, std::optional<QString> language,
                              const QDateTime &at) {
    return newArtifact(taskId, LibraryArtifact::Role::Input, kind, std::move(language), at);
}

LibraryArtifact outputTextArtifact(const QUuid &taskId, const QUuid &attemptId, std::optional<QString> language,
                                   std::optional<QString> text, const QDateTime &at) {
    LibraryArtifact output =
        newArtifact(taskId, LibraryArtifact::Role::Output, LibraryArtifact::Kind::Text, std::move(language), at);
    output.attemptId = attemptId;
    output.text = std::move(text);
    return output;
}

ActivityEvent attemptFinishedEvent(const QUuid &taskId, const QUuid &attemptId, const QString &tool, qint64 version,
                                   ActivityEvent::Outcome outcome, QString measurements, const QDateTime &at) {
    const EventTimeZone zone = EventTimeZone::current(at);
    ActivityEvent event;
    event.id = QUuid::createUuid();
    event.taskId = taskId;
    event.attemptId = attemptId;
    event.tool = tool;
    event.kind = ActivityEvent::Kind::AttemptFinished;
    event.version = version;
    event.occurredAt = at;
    event.timeZone = zone.identifier;
    event.utcOffsetSeconds = zone.utcOffsetSeconds;
    event.outcome = outcome;
    event.measurements = std::move(measurements);
    return event;
}

TextTaskHistory::TextTaskHistory(std::shared_ptr<Library> library, QString tool)
    : m_library(std::move(library)), m_tool(std::move(tool)) {}

QUuid TextTaskHistory::record(SQLite::Database &db, const QString &tool, const Run &run,
                              const std::optional<QUuid> &taskId) {
    const QDateTime now = libraryNow();
    const LibraryTask::Status status = LibraryTask::statusAfter(run.outcome);

    std::optional<LibraryTask> reused;
    if (taskId) {
        reused = LibraryTask::fetch(db, *taskId);
        if (reused && reused->contentDeletedAt)
            reused.reset();
    }

    QUuid result;
    QUuid attemptId;
    if (reused) {
        attemptId = QUuid::createUuid();
        result = *taskId;
        reused->status = status;
        reused->updatedAt = now;
        reused->update(db);
        if (auto previous = LibraryArtifact::fetchOutputText(db, result))
            previous->remove(db);
    } else {
        result = QUuid::createUuid();
        attemptId = result;
        newTask(result, tool, status, now).insert(db);
        LibraryArtifact input = inputArtifact(result, LibraryArtifact::Kind::Text, run.inputLanguage, now);
        input.text = run.input;
        input.insert(db);
    }

    outputTextArtifact(result, attemptId, run.outputLanguage, run.output, now).insert(db);
    attemptFinishedEvent(result, attemptId, tool, run.measurementsVersion, run.outcome,
                         measurementsJson(run.measurements), now)
        .insert(db);
    return result;
}

QCoro::Task<QUuid> TextTaskHistory::record(Run run, std::optional<QUuid> taskId) const {
    std::shared_ptr<Library> library = m_library;
    QString tool = m_tool;
    auto writing = library->write(
        [tool, run = std::move(run), taskId](SQLite::Database &db) { return record(db, tool, run, taskId); });
    const QUuid result = co_await std::move(writing);
    co_return result;
}

QCoro::Task<bool> TextTaskHistory::updateOutput(QUuid taskId, QString text) const {
    std::shared_ptr<Library> library = m_library;
    auto updating = library->updateOutput(taskId, std::move(text));
    const bool written = co_await std::move(updating);
    co_return written;
}

} // namespace velmora
