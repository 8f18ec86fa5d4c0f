#pragma once

// Records finished runs of the text tools (Translate, Summarize, Proofread) in History: one
// write per run with its task, input and output texts and the attemptFinished event.

#include "core/log.h"
#include "library/library.h"

#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

namespace velmora {

// Measurements as stored with an event: compact JSON with the keys sorted at every level and
// "/" escaped. A number that is not finite (NaN, an infinity) has no JSON form: its field is
// left out (an array element becomes null) so the run itself is still kept.
QString measurementsJson(const QJsonObject &measurements);

class TextTaskHistory {
public:
    struct Run {
        QString input;
        std::optional<QString> inputLanguage;
        QString output;
        std::optional<QString> outputLanguage;
        ActivityEvent::Outcome outcome = ActivityEvent::Outcome::Completed;
        QJsonObject measurements;
        qint64 measurementsVersion = 1;
    };

    TextTaskHistory(std::shared_ptr<Library> library, QString tool);

    const std::shared_ptr<Library> &library() const { return m_library; }
    const QString &tool() const { return m_tool; }

    // Records the run as a further attempt of taskId when that task still has its content,
    // otherwise as a new task; returns the id of the task that holds the run.
    QCoro::Task<QUuid> record(Run run, std::optional<QUuid> taskId) const;
    // Library::updateOutput for any task, whatever its tool.
    QCoro::Task<bool> updateOutput(QUuid taskId, QString text) const;

    // Runs one History write of the tool ("save" for a run, "edit" for its output) and passes
    // its value on. A failure other than a cancellation is logged as "History <action> failed
    // (<tool>): <error code>" and thrown on.
    template <typename T>
    static QCoro::Task<T> logFailures(QString action, QString tool, QCoro::Task<T> write) {
        try {
            T value = co_await std::move(write);
            co_return value;
        } catch (...) {
            const std::exception_ptr error = std::current_exception();
            if (!isCancellation(error))
                Log::library().error("History %{public}s failed (%{public}s): %{public}s",
                                     {action, tool, Log::errorCode(error)});
            throw;
        }
    }

    // The steps of record() on an open connection, inside the caller's write.
    static QUuid record(SQLite::Database &db, const QString &tool, const Run &run, const std::optional<QUuid> &taskId);

private:
    std::shared_ptr<Library> m_library;
    QString m_tool;
};

// The system's current time zone, as events store it.
struct EventTimeZone {
    QString identifier;
    qint64 utcOffsetSeconds = 0;
    static EventTimeZone current(const QDateTime &at);
};

// A run's new task, created and last updated at `at`.
LibraryTask newTask(const QUuid &id, const QString &tool, LibraryTask::Status status, const QDateTime &at);

// A run's input, stored once for its task; the caller sets its text or, for audio, its file.
LibraryArtifact inputArtifact(const QUuid &taskId, LibraryArtifact::Kind kind, std::optional<QString> language,
                              const QDateTime &at);

// The output text of one attempt of a run, as every tool records it.
LibraryArtifact outputTextArtifact(const QUuid &taskId, const QUuid &attemptId, std::optional<QString> language,
                                   std::optional<QString> text, const QDateTime &at);

// The event that closes one attempt of a run, stamped with the time zone in force at `at`.
ActivityEvent attemptFinishedEvent(const QUuid &taskId, const QUuid &attemptId, const QString &tool, qint64 version,
                                   ActivityEvent::Outcome outcome, QString measurements, const QDateTime &at);

} // namespace velmora
