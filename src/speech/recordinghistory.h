#pragma once

// History of the two recording tools: a recording becomes an "active" task the moment it
// starts, whose input audio points at the sample file still being written in "Staging"; the
// save archives the samples as Apple Lossless, stores the transcript and the run's outcome and
// measurements in one write. A run left active by a crash or a quit is closed at the next
// launch by recoverStagedRecordings().

#include "core/error.h"
#include "library/library.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <concepts>
#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class RecordingHistoryError : public Error {
public:
    static constexpr const char *kDomain = "Velmora.RecordingHistoryError";
    enum class Code { notActive = 0 };
    explicit RecordingHistoryError(Code code);
    Code kind() const { return Code(code()); }
};

// A run's measurements as stored with its History event. A default-constructed value has every
// field absent; toJson() leaves absent fields out.
template <typename M>
concept RecordingMeasurements = std::default_initializable<M> && std::copyable<M> && requires(M m, const M c) {
    { M::version } -> std::convertible_to<qint64>;
    { m.audioSeconds } -> std::convertible_to<std::optional<double>>;
    m.audioSeconds = std::optional<double>(1.0);
    { c.toJson() } -> std::same_as<QJsonObject>;
};

// Compact JSON with sorted keys: the same values always give the same bytes. A number that is
// not finite is left out.
QString encodeMeasurements(const QJsonObject &object);

// What the recorder needs of a History store: where the run's samples go, opening the run's
// record and dropping it.
class RecordingHistoryStoring {
public:
    virtual ~RecordingHistoryStoring() = default;
    // The staged sample file of a run. No file access.
    virtual QString stagedURL(const QUuid &taskId) const = 0;
    virtual QCoro::Task<> begin(QUuid taskId, std::optional<QString> language, QDateTime startedAt) = 0;
    virtual QCoro::Task<> discard(QUuid taskId) = 0;
};

// What the owning tool adds: saving the finished run with its measurements.
template <RecordingMeasurements M>
class RecordingHistorySaving : public RecordingHistoryStoring {
public:
    using Measurements = M;
    virtual QCoro::Task<> save(QUuid taskId, ActivityEvent::Outcome outcome, std::optional<QString> text,
                               std::optional<QString> language, M measurements) = 0;
    // The output text takes the language stored when the run began.
    QCoro::Task<> save(QUuid taskId, ActivityEvent::Outcome outcome, std::optional<QString> text, M measurements) {
        return save(taskId, outcome, std::move(text), std::nullopt, std::move(measurements));
    }
};

// Voice Compose's store: a finished recording run again in another format, and edits of its
// output text.
template <RecordingMeasurements M>
class VoiceComposeHistoryStoring : public RecordingHistorySaving<M> {
public:
    // False (and nothing written) for a missing, content-deleted or still active task.
    virtual QCoro::Task<bool> rerun(QUuid taskId, ActivityEvent::Outcome outcome, QString text,
                                    std::optional<QString> language, M measurements) = 0;
    virtual QCoro::Task<bool> edit(QUuid taskId, QString text) = 0;
};

// Converts a staged sample file into the archive at the destination; returns the sample count.
using RecordingEncoder = std::function<qint64(const QString &source, const QString &destination)>;

// The measurement-independent work of RecordingHistory.
class RecordingHistoryCore {
public:
    struct Archive {
        QString path; // relative to the Library root
        qint64 samples = 0;
    };
    // Builds the measurements JSON; gets the archive's length in seconds when the caller's
    // measurements should be completed with it.
    using MeasurementsJson = std::function<QString(std::optional<double> archivedSeconds)>;

    RecordingHistoryCore(QString tool, std::shared_ptr<Library> library, RecordingEncoder encode);

    const QString &tool() const { return m_tool; }
    const std::shared_ptr<Library> &library() const { return m_library; }

    static QString stagedRelativePath(const QUuid &taskId);
    QString stagedPath(const QUuid &taskId) const;
    QString absolutePath(const QString &relative) const;

    QCoro::Task<> begin(QUuid taskId, std::optional<QString> language, QDateTime startedAt);
    QCoro::Task<> save(QUuid taskId, ActivityEvent::Outcome outcome, std::optional<QString> text,
                       std::optional<QString> language, qint64 version, MeasurementsJson measurements);
    QCoro::Task<> discard(QUuid taskId);
    QCoro::Task<bool> rerun(QUuid taskId, ActivityEvent::Outcome outcome, QString text, std::optional<QString> language,
                            qint64 version, MeasurementsJson measurements);
    QCoro::Task<bool> edit(QUuid taskId, QString text);
    QCoro::Task<> recoverStagedRecordings(qint64 version, MeasurementsJson freshMeasurements);

    // Converts the staged samples into "Assets/<task>/<new>.m4a". None when there is nothing
    // to archive. With keepRawOnFailure a failed conversion keeps the raw samples under
    // "Assets/<task>/<new>.f32" instead of failing.
    QCoro::Task<std::optional<Archive>> archiveStagedAudio(QUuid taskId, bool keepRawOnFailure);
    // Puts raw samples back in staging, or removes an archive; never fails.
    void undoArchive(const QString &path, const QString &stagedPath) const;

private:
    // A save the database refused: what the run ended with, kept for the next launch.
    struct PendingSave {
        ActivityEvent::Outcome outcome = ActivityEvent::Outcome::Interrupted;
        std::optional<QString> text;
        std::optional<QString> language;
        qint64 version = 0;
        QJsonObject measurements; // without the archive's length, which the recovery adds
    };

    void ensureReady() const;
    void logFailure(const char *operation, const std::exception_ptr &error) const;
    // The save transaction, shared by save and the recovery.
    static void saveTransaction(SQLite::Database &db, const QString &tool, const QUuid &taskId,
                                ActivityEvent::Outcome outcome, const std::optional<QString> &text,
                                const std::optional<QString> &language, qint64 version,
                                const MeasurementsJson &measurements, std::optional<double> archivedSeconds,
                                const std::optional<QString> &archivePath);
    static void discardTransaction(SQLite::Database &db, const QUuid &taskId);
    QString discardMarkerPath(const QUuid &taskId) const;
    QString pendingSavePath(const QUuid &taskId) const;
    // Written atomically and synced; throws PosixError when it cannot be.
    void keepPendingSave(const QUuid &taskId, const PendingSave &save) const;
    std::optional<PendingSave> readPendingSave(const QUuid &taskId) const;
    // The measurements of a pending save, completed with the archive's length when absent.
    static MeasurementsJson measurementsOf(const QJsonObject &kept);

    QString m_tool;
    std::shared_ptr<Library> m_library;
    RecordingEncoder m_encode;
};

// The History writer of one recording tool ("dictation" or "voiceCompose").
template <RecordingMeasurements M>
class RecordingHistory final : public VoiceComposeHistoryStoring<M> {
public:
    RecordingHistory(QString tool, std::shared_ptr<Library> library, RecordingEncoder encode)
        : m_core(std::move(tool), std::move(library), std::move(encode)) {}

    const QString &tool() const { return m_core.tool(); }
    RecordingHistoryCore &core() { return m_core; }

    QString stagedURL(const QUuid &taskId) const override { return m_core.stagedPath(taskId); }
    QCoro::Task<> begin(QUuid taskId, std::optional<QString> language, QDateTime startedAt) override {
        return m_core.begin(taskId, std::move(language), std::move(startedAt));
    }
    using RecordingHistorySaving<M>::save;
    QCoro::Task<> save(QUuid taskId, ActivityEvent::Outcome outcome, std::optional<QString> text,
                       std::optional<QString> language, M measurements) override {
        return m_core.save(taskId, outcome, std::move(text), std::move(language), M::version,
                           [measurements](std::optional<double> archivedSeconds) {
                               M copy = measurements;
                               if (!copy.audioSeconds && archivedSeconds)
                                   copy.audioSeconds = archivedSeconds;
                               return encodeMeasurements(copy.toJson());
                           });
    }
    QCoro::Task<> discard(QUuid taskId) override { return m_core.discard(taskId); }
    QCoro::Task<bool> rerun(QUuid taskId, ActivityEvent::Outcome outcome, QString text, std::optional<QString> language,
                            M measurements) override {
        return m_core.rerun(
            taskId, outcome, std::move(text), std::move(language), M::version,
            [measurements](std::optional<double>) { return encodeMeasurements(measurements.toJson()); });
    }
    QCoro::Task<bool> edit(QUuid taskId, QString text) override { return m_core.edit(taskId, std::move(text)); }

    // Closes every run of this tool that a crash or a quit left active.
    QCoro::Task<> recoverStagedRecordings() {
        return m_core.recoverStagedRecordings(M::version, [](std::optional<double> archivedSeconds) {
            M fresh;
            if (archivedSeconds)
                fresh.audioSeconds = archivedSeconds;
            return encodeMeasurements(fresh.toJson());
        });
    }

private:
    RecordingHistoryCore m_core;
};

} // namespace velmora
