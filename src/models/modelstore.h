#pragma once

// One set of model files in one folder, and whether that set can be used right now.

#include "core/cancellationtoken.h"
#include "core/error.h"
#include "core/promise.h"
#include "core/runinbackground.h"
#include "core/settingkey.h"
#include "models/modeldownload.h"
#include "models/modelmanifest.h"
#include "platform/sleepinhibitor.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace velmora {

class Defaults;

// The download's settings; tests shorten the parts, the waits and the space reading.
struct ModelStoreTuning {
    qint64 partBytes = ModelDownload::kPartBytes;
    std::vector<std::chrono::milliseconds> retryDelays{std::chrono::seconds(2), std::chrono::seconds(4),
                                                       std::chrono::seconds(8), std::chrono::seconds(16),
                                                       std::chrono::seconds(30)};
    std::function<std::optional<qint64>(const QString &)> availableSpace = volumeAvailableBytes;
    std::chrono::milliseconds transferTimeout{30000};
};

class ModelStore : public QObject {
    Q_OBJECT
public:
    struct State {
        enum class Kind { Failed, Checking, Unavailable, Downloading, Verifying, Ready, Canceled };
        Kind kind = Kind::Checking;
        ModelFailure failure = ModelFailure::Network; // meaningful only for Failed

        State(Kind k = Kind::Checking) : kind(k) {}
        static State failed(ModelFailure f) {
            State s(Kind::Failed);
            s.failure = f;
            return s;
        }
        bool operator==(const State &o) const {
            return kind == o.kind && (kind != Kind::Failed || failure == o.failure);
        }
        // "checking", "ready", "failed(space)" …
        QString toString() const;
    };

    using Tuning = ModelStoreTuning;

    // Removes work folders that no manifest names any more, then checks the files. The machine
    // is kept from idle sleep through inhibitor while a download runs.
    ModelStore(std::vector<ModelManifest> manifests, QString folder, Defaults &defaults, SleepInhibitor &inhibitor,
               Tuning tuning = {}, QObject *parent = nullptr);
    ~ModelStore() override;

    State state() const { return m_state; }
    qint64 downloadedBytes() const { return m_downloadedBytes; }
    // Whether a verification or a download runs now.
    bool hasOperation() const { return bool(m_operation); }
    const std::vector<ModelManifest> &manifests() const { return m_manifests; }
    const QString &folder() const { return m_folder; }
    qint64 totalBytes() const;
    // The store's file paths in manifest order.
    QStringList fileURLs() const;
    // "verifiedModels." + the manifests' digest prefixes joined by "-".
    QString verifiedKey() const;

    // Brings the state up to date with the files; a verification, when needed, runs on.
    void check();
    // Downloads every file that does not verify; does nothing while an operation runs.
    void download();
    // Cancels a running download.
    void cancel();
    // The file paths when the store is ready and its files are unchanged; otherwise none (and
    // a ready store whose files changed becomes unavailable). Never hashes.
    std::optional<QStringList> readyFileURLs();

    std::optional<std::vector<ModelFingerprint>> storedFingerprints() const;
    void storeFingerprints(const std::optional<std::vector<ModelFingerprint>> &fingerprints);

    // The failure a store reports for an error.
    static ModelFailure failure(const std::exception_ptr &error);

    // Set by the pair when its free-space check fails.
    void setFailedForSpace();

    // Completes once no operation runs (for tests and orderly shutdown).
    QCoro::Task<> operationEnded();

signals:
    void stateChanged();
    void downloadedBytesChanged();
    void operationChanged();

private:
    struct Operation {
        CancellationSource source;
        Promise<void> ended;
    };
    using Pairs = std::vector<std::pair<QString, ModelManifest>>;

    void setState(State state);
    void setDownloadedBytes(qint64 bytes);
    Pairs pairs() const;
    SettingKey<QByteArray> cacheKey() const;
    std::optional<std::vector<ModelFingerprint>> currentFingerprints() const;
    void startOperation(std::shared_ptr<Operation> op);
    void endOperation(const std::shared_ptr<Operation> &op);
    // Ends an operation that has come back to the main thread; true when its outcome still
    // counts (the store lives and no newer operation or cancel came since it started).
    static bool endCurrent(const QPointer<ModelStore> &self, const std::shared_ptr<Operation> &op, QUuid generation);
    void partProgress(int part, qint64 bytes, QUuid generation);
    void beginVerifying(const ModelManifest &manifest, QUuid generation);
    void fileFinished(qint64 bytes, QUuid generation);

    static QCoro::Task<> verification(QPointer<ModelStore> self, std::shared_ptr<Operation> op, Pairs pairs,
                                      QUuid generation, QString folderName);
    static QCoro::Task<> downloadFiles(QPointer<ModelStore> self, Pairs pairs, QString folder, Tuning tuning,
                                       QUuid generation, CancellationToken token);
    static QCoro::Task<> downloadOperation(QPointer<ModelStore> self, std::shared_ptr<Operation> op, Pairs pairs,
                                           QString folder, Tuning tuning, QUuid generation,
                                           std::shared_ptr<SleepInhibitor::Hold> awake);

    State m_state;
    qint64 m_downloadedBytes = 0;
    std::vector<ModelManifest> m_manifests;
    QString m_folder;
    std::shared_ptr<Operation> m_operation;
    QUuid m_generation = QUuid::createUuid();
    std::optional<std::vector<ModelFingerprint>> m_verifiedFingerprints;
    std::map<int, qint64> m_parts;
    qint64 m_finishedBytes = 0;
    Defaults &m_defaults;
    SleepInhibitor &m_inhibitor;
    Tuning m_tuning;
};

// The machine's memory, by which the application decides whether models may be downloaded.
namespace ModelMemory {
inline constexpr quint64 kRequiredBytes = 17179869184ULL; // 16 GiB
// The physical memory as the kernel reports it.
quint64 systemBytes();
// "fakeMemoryGB" × 2^30 when that default is above 0, otherwise what machine() reads.
quint64 physicalBytes(const Defaults &defaults, const std::function<quint64()> &machine = systemBytes);
// The memory in whole GiB, rounded to the nearest: the kernel keeps some memory for itself,
// so a 16 GB machine reports about 15.5 GiB.
int roundedGigabytes(quint64 bytes);
// Whether models may be downloaded on a machine with this much memory.
bool meetsRequirement(quint64 bytes);
} // namespace ModelMemory

} // namespace velmora
