#include "speech/recordinghistory.h"

#include "core/error.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/promise.h"
#include "core/runinbackground.h"
#include "core/uuid.h"
#include "library/texttaskhistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <SQLiteCpp/Statement.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

RecordingHistoryError::RecordingHistoryError(Code)
    : Error(QString::fromLatin1(kDomain), qint64(Code::notActive), QStringLiteral("the recording is not active")) {}

namespace {

constexpr double kSampleRate = 16000.0;

std::optional<qint64> fileSize(const QString &path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.st_size);
}

void moveFile(const QString &from, const QString &to) {
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw PosixError(errno);
}

bool isNotActive(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const RecordingHistoryError &) {
        return true;
    } catch (...) {
        return false;
    }
}

// Makes a rename in the folder survive a power cut.
void syncFolder(const QString &folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

QString encodeMeasurements(const QJsonObject &object) {
    // The Library's writer: sorted keys, compact, and a number that is not finite left out, so
    // one bad figure never costs the run its texts.
    return measurementsJson(object);
}

RecordingHistoryCore::RecordingHistoryCore(QString tool, std::shared_ptr<Library> library, RecordingEncoder encode)
    : m_tool(std::move(tool)), m_library(std::move(library)), m_encode(std::move(encode)) {}

QString RecordingHistoryCore::stagedRelativePath(const QUuid &taskId) {
    return QStringLiteral("Staging/") + uuidString(taskId) + QStringLiteral(".f32");
}

QString RecordingHistoryCore::stagedPath(const QUuid &taskId) const {
    return absolutePath(stagedRelativePath(taskId));
}

QString RecordingHistoryCore::absolutePath(const QString &relative) const {
    return m_library->root() + QLatin1Char('/') + relative;
}

// A discard that could not be written leaves this mark beside the staged file, so the next
// launch drops the run the user cancelled instead of closing it as interrupted.
QString RecordingHistoryCore::discardMarkerPath(const QUuid &taskId) const {
    return absolutePath(QStringLiteral("Staging/") + uuidString(taskId) + QStringLiteral(".discard"));
}

QString RecordingHistoryCore::pendingSavePath(const QUuid &taskId) const {
    return absolutePath(QStringLiteral("Staging/") + uuidString(taskId) + QStringLiteral(".save"));
}

void RecordingHistoryCore::keepPendingSave(const QUuid &taskId, const PendingSave &save) const {
    QJsonObject object{{QStringLiteral("outcome"), ActivityEvent::toString(save.outcome)},
                       {QStringLiteral("version"), save.version},
                       {QStringLiteral("measurements"), save.measurements}};
    if (save.text)
        object.insert(QStringLiteral("text"), *save.text);
    if (save.language)
        object.insert(QStringLiteral("language"), *save.language);
    // QSaveFile writes beside the target, syncs, then renames: the file is whole or absent.
    QSaveFile file(pendingSavePath(taskId));
    errno = 0;
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(object).toJson(QJsonDocument::Compact)) < 0 ||
        !file.commit())
        throw PosixError(errno ? errno : EIO);
    syncFolder(QFileInfo(pendingSavePath(taskId)).absolutePath());
}

std::optional<RecordingHistoryCore::PendingSave> RecordingHistoryCore::readPendingSave(const QUuid &taskId) const {
    QFile file(pendingSavePath(taskId));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    const std::optional<ActivityEvent::Outcome> outcome =
        ActivityEvent::outcomeFromString(object.value(QStringLiteral("outcome")).toString());
    if (!outcome)
        return std::nullopt;
    PendingSave save;
    save.outcome = *outcome;
    if (object.value(QStringLiteral("text")).isString())
        save.text = object.value(QStringLiteral("text")).toString();
    if (object.value(QStringLiteral("language")).isString())
        save.language = object.value(QStringLiteral("language")).toString();
    save.version = object.value(QStringLiteral("version")).toInteger();
    save.measurements = object.value(QStringLiteral("measurements")).toObject();
    return save;
}

RecordingHistoryCore::MeasurementsJson RecordingHistoryCore::measurementsOf(const QJsonObject &kept) {
    return [kept](std::optional<double> archivedSeconds) {
        QJsonObject object = kept;
        if (archivedSeconds && !object.contains(QStringLiteral("audioSeconds")))
            object.insert(QStringLiteral("audioSeconds"), *archivedSeconds);
        return encodeMeasurements(object);
    };
}

void RecordingHistoryCore::ensureReady() const {
    const Library::Status status = m_library->status();
    if (!status.isReady())
        throw Library::UnavailableError(status.reason().value_or(Library::UnavailableReason::Other));
}

void RecordingHistoryCore::logFailure(const char *operation, const std::exception_ptr &error) const {
    if (isCancellation(error))
        return;
    Log::library().error("%{public}s history %{public}s failed: %{public}s",
                         {m_tool, operation, Log::errorCode(error)});
}

QCoro::Task<> RecordingHistoryCore::begin(QUuid taskId, std::optional<QString> language, QDateTime startedAt) {
    ensureReady();
    const QString staged = stagedRelativePath(taskId);
    const QString tool = m_tool;
    try {
        auto job = [=](SQLite::Database &db) {
            newTask(taskId, tool, LibraryTask::Status::Active, startedAt).insert(db);
            LibraryArtifact audio = inputArtifact(taskId, LibraryArtifact::Kind::Audio, language, startedAt);
            audio.filePath = staged;
            audio.insert(db);
        };
        co_await m_library->write(std::move(job));
    } catch (...) {
        logFailure("begin", std::current_exception());
        throw;
    }
}

void RecordingHistoryCore::saveTransaction(SQLite::Database &db, const QString &tool, const QUuid &taskId,
                                           ActivityEvent::Outcome outcome, const std::optional<QString> &text,
                                           const std::optional<QString> &language, qint64 version,
                                           const MeasurementsJson &measurements, std::optional<double> archivedSeconds,
                                           const std::optional<QString> &archivePath) {
    std::optional<LibraryTask> task = LibraryTask::fetch(db, taskId);
    if (!task || task->status != LibraryTask::Status::Active)
        throw RecordingHistoryError(RecordingHistoryError::Code::notActive);
    const QDateTime now = libraryNow();

    std::optional<LibraryArtifact> audio;
    {
        SQLite::Statement query(db, "SELECT * FROM artifact WHERE taskId = ? AND filePath = ? LIMIT 1");
        bind::uuid(query, 1, taskId);
        bind::text(query, 2, stagedRelativePath(taskId));
        audio = firstRow<LibraryArtifact>(query);
    }
    if (audio) {
        if (archivePath) {
            audio->filePath = archivePath;
            audio->update(db);
        } else {
            audio->remove(db);
        }
    }

    if (text && !text->isEmpty()) {
        outputTextArtifact(taskId, taskId, language ? language : (audio ? audio->language : std::nullopt), text, now)
            .insert(db);
    }

    task->status = LibraryTask::statusAfter(outcome);
    task->updatedAt = now;
    task->update(db);

    attemptFinishedEvent(taskId, taskId, tool, version, outcome, measurements(archivedSeconds), now).insert(db);
}

QCoro::Task<> RecordingHistoryCore::save(QUuid taskId, ActivityEvent::Outcome outcome, std::optional<QString> text,
                                         std::optional<QString> language, qint64 version,
                                         MeasurementsJson measurements) {
    ensureReady();
    const QString staged = stagedPath(taskId);
    const QString tool = m_tool;
    try {
        // A conversion failure keeps the raw samples instead of failing the save: failing it
        // would leave the run to the next launch's recovery, which stores no transcript.
        const std::optional<Archive> archive = co_await archiveStagedAudio(taskId, true);
        const std::optional<double> seconds =
            archive ? std::optional<double>(double(archive->samples) / kSampleRate) : std::nullopt;
        const std::optional<QString> archivePath = archive ? std::optional<QString>(archive->path) : std::nullopt;
        std::exception_ptr writeError;
        try {
            auto job = [=](SQLite::Database &db) {
                saveTransaction(db, tool, taskId, outcome, text, language, version, measurements, seconds, archivePath);
            };
            co_await m_library->write(std::move(job));
        } catch (...) {
            writeError = std::current_exception();
        }
        if (writeError) {
            if (archive)
                undoArchive(archive->path, staged);
            // The run stays active for the next launch's recovery; what it ended with waits
            // beside its samples, so the transcript is not lost with the write.
            if (!isNotActive(writeError)) {
                const PendingSave pending{outcome, text, language, version,
                                          QJsonDocument::fromJson(measurements(std::nullopt).toUtf8()).object()};
                try {
                    keepPendingSave(taskId, pending);
                } catch (...) {
                    logFailure("keep", std::current_exception());
                }
            }
            std::rethrow_exception(writeError);
        }
    } catch (...) {
        logFailure("save", std::current_exception());
        throw;
    }
    QFile::remove(staged);
    QFile::remove(pendingSavePath(taskId));
}

void RecordingHistoryCore::discardTransaction(SQLite::Database &db, const QUuid &taskId) {
    SQLite::Statement statement(db, "DELETE FROM task WHERE id = ?");
    bind::uuid(statement, 1, taskId);
    statement.exec();
}

QCoro::Task<> RecordingHistoryCore::discard(QUuid taskId) {
    ensureReady();
    try {
        auto job = [taskId](SQLite::Database &db) { discardTransaction(db, taskId); };
        co_await m_library->write(std::move(job));
    } catch (...) {
        logFailure("discard", std::current_exception());
        QFile marker(discardMarkerPath(taskId));
        if (marker.open(QIODevice::WriteOnly))
            marker.close();
        throw;
    }
    QFile::remove(stagedPath(taskId));
    QFile::remove(discardMarkerPath(taskId));
    QFile::remove(pendingSavePath(taskId));
}

QCoro::Task<bool> RecordingHistoryCore::rerun(QUuid taskId, ActivityEvent::Outcome outcome, QString text,
                                              std::optional<QString> language, qint64 version,
                                              MeasurementsJson measurements) {
    ensureReady();
    const QString tool = m_tool;
    try {
        auto job = [=](SQLite::Database &db) {
            std::optional<LibraryTask> task = LibraryTask::fetch(db, taskId);
            if (!task || task->contentDeletedAt || task->status == LibraryTask::Status::Active)
                return false;
            const QDateTime now = libraryNow();
            const QUuid attempt = QUuid::createUuid();
            if (std::optional<LibraryArtifact> previous = LibraryArtifact::fetchOutputText(db, taskId))
                previous->remove(db);

            outputTextArtifact(taskId, attempt, language, text, now).insert(db);

            task->status = LibraryTask::statusAfter(outcome);
            task->updatedAt = now;
            task->update(db);

            attemptFinishedEvent(taskId, attempt, tool, version, outcome, measurements(std::nullopt), now).insert(db);
            return true;
        };
        co_return co_await m_library->write(std::move(job));
    } catch (...) {
        logFailure("rerun", std::current_exception());
        throw;
    }
}

QCoro::Task<bool> RecordingHistoryCore::edit(QUuid taskId, QString text) {
    ensureReady();
    try {
        auto job = [taskId, text](SQLite::Database &db) { return Library::updateOutput(db, taskId, text); };
        co_return co_await m_library->write(std::move(job));
    } catch (...) {
        logFailure("edit", std::current_exception());
        throw;
    }
}

QCoro::Task<std::optional<RecordingHistoryCore::Archive>>
RecordingHistoryCore::archiveStagedAudio(QUuid taskId, bool keepRawOnFailure) {
    const QString staged = stagedPath(taskId);
    const std::optional<qint64> size = fileSize(staged);
    if (!size || *size <= 3)
        co_return std::nullopt;

    const QString name = QStringLiteral("Assets/") + uuidString(taskId) + QLatin1Char('/') + newUuidString();
    const QString destination = absolutePath(name + QStringLiteral(".m4a"));
    std::exception_ptr conversionError;
    // Made first and awaited as a local (the coroutine rule in core/promise.h).
    RecordingEncoder encode = m_encode;
    Promise<qint64> converting =
        runInBackground([encode, staged, destination] { return encode(staged, destination); }, QThread::LowPriority);
    try {
        const qint64 samples = co_await converting;
        co_return Archive{name + QStringLiteral(".m4a"), samples};
    } catch (...) {
        conversionError = std::current_exception();
    }
    if (!keepRawOnFailure)
        std::rethrow_exception(conversionError);

    Log::library().error("Recording audio conversion failed: %{public}s", {Log::errorCode(conversionError)});
    const QString raw = absolutePath(name + QStringLiteral(".f32"));
    Paths::ensureFolder(QFileInfo(raw).absolutePath());
    moveFile(staged, raw);
    co_return Archive{name + QStringLiteral(".f32"), *size / 4};
}

void RecordingHistoryCore::undoArchive(const QString &path, const QString &stagedPath) const {
    const QString file = absolutePath(path);
    if (path.endsWith(QStringLiteral(".f32")))
        ::rename(QFile::encodeName(file).constData(), QFile::encodeName(stagedPath).constData());
    else
        QFile::remove(file);
}

QCoro::Task<> RecordingHistoryCore::recoverStagedRecordings(qint64 version, MeasurementsJson freshMeasurements) {
    ensureReady();
    const QString tool = m_tool;
    QList<QUuid> ids;
    try {
        auto job = [tool](SQLite::Database &db) {
            QList<QUuid> found;
            SQLite::Statement query(db, "SELECT id FROM task WHERE tool = ? AND status = ?");
            bind::text(query, 1, tool);
            bind::text(query, 2, LibraryTask::toString(LibraryTask::Status::Active));
            while (query.executeStep())
                found.append(column::uuid(query, "id"));
            return found;
        };
        ids = co_await m_library->read(std::move(job));
    } catch (...) {
        logFailure("recover", std::current_exception());
        throw;
    }

    for (const QUuid &id : ids) {
        const QString staged = stagedPath(id);

        if (QFileInfo::exists(discardMarkerPath(id))) {
            // The user cancelled this run but its discard could not be written then.
            try {
                auto job = [id](SQLite::Database &db) { discardTransaction(db, id); };
                co_await m_library->write(std::move(job));
            } catch (...) {
                logFailure("discard", std::current_exception());
                continue;
            }
            QFile::remove(staged);
            QFile::remove(discardMarkerPath(id));
            QFile::remove(pendingSavePath(id));
            continue;
        }

        // A run whose save the database refused is recorded as it ended; any other as
        // interrupted, without text.
        const std::optional<PendingSave> pending = readPendingSave(id);
        const ActivityEvent::Outcome outcome = pending ? pending->outcome : ActivityEvent::Outcome::Interrupted;
        const std::optional<QString> text = pending ? pending->text : std::nullopt;
        const std::optional<QString> language = pending ? pending->language : std::nullopt;
        const qint64 runVersion = pending ? pending->version : version;
        const MeasurementsJson runMeasurements = pending ? measurementsOf(pending->measurements) : freshMeasurements;

        std::exception_ptr failure;
        std::optional<Archive> archive;
        try {
            archive = co_await archiveStagedAudio(id, true);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!failure) {
            const std::optional<double> seconds =
                archive ? std::optional<double>(double(archive->samples) / kSampleRate) : std::nullopt;
            const std::optional<QString> archivePath = archive ? std::optional<QString>(archive->path) : std::nullopt;
            try {
                auto job = [=](SQLite::Database &db) {
                    saveTransaction(db, tool, id, outcome, text, language, runVersion, runMeasurements, seconds,
                                    archivePath);
                };
                co_await m_library->write(std::move(job));
            } catch (...) {
                failure = std::current_exception();
            }
            if (failure && archive)
                undoArchive(archive->path, staged);
        }
        if (failure) {
            logFailure("save", failure);
            continue;
        }
        QFile::remove(staged);
        QFile::remove(pendingSavePath(id));
    }
}

} // namespace velmora
