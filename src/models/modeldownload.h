#pragma once

// Downloads one model file in ranged parts that survive a failure or a relaunch, joins them,
// verifies the result and moves it into place, so the model's own name only ever holds a
// verified file.

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/error.h"
#include "core/promise.h"
#include "core/runinbackground.h"
#include "models/modelmanifest.h"

#include <QByteArray>
#include <QNetworkRequest>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace velmora {

// The space the volume holding path offers; none when it reports nothing. Throws PosixError.
std::optional<qint64> volumeAvailableBytes(const QString &path);

// A closed byte range [first, last] of the file.
struct PartRange {
    qint64 first = 0;
    qint64 last = 0;
    qint64 length() const { return last - first + 1; }
    bool operator==(const PartRange &) const = default;
};

struct ModelDownload {
    static constexpr qint64 kPartBytes = 67108864;
    static constexpr int kPartsInFlight = 4;
    static constexpr qint64 kSpaceMargin = 67108864;

    ModelManifest manifest;
    QString folder; // the store folder that receives the file
    qint64 partBytes = kPartBytes;
    // Bytes of one part on hand; each call replaces the previous value for that part. Called
    // on the thread that runs run().
    std::function<void(int part, qint64 bytes)> progress;
    // Called once, when every part is on disk and joining begins.
    std::function<void()> verifying;
    // The waits before the second and later attempts of a part.
    std::vector<std::chrono::milliseconds> retryDelays;
    // How the free space of the store's volume is read (tests give their own).
    std::function<std::optional<qint64>(const QString &)> availableSpace = volumeAvailableBytes;
    // A transfer that receives nothing for this long fails (and is retried).
    std::chrono::milliseconds transferTimeout{30000};

    // Places the verified file at finalPath() or throws: CancelledError, a ModelFailureError,
    // or a PosixError from the file system. Runs on the main thread; the network traffic and
    // the joining and hashing run off it. The object must outlive the task.
    QCoro::Task<> run(CancellationToken token = {}) const;

    // The total size of the "part-" entries of a work folder; 0 when it cannot be listed.
    static qint64 bytesPresent(const QString &workFolder);

    QString workFolder() const;
    QString finalPath() const;
    QString partPath(int index) const;
    std::vector<PartRange> partRanges() const;

private:
    struct Group;
    QCoro::Task<QStringList> downloadParts(CancellationToken token) const;
    QCoro::Task<> groupWorker(std::shared_ptr<Group> group) const;
    QCoro::Task<bool> downloadPart(int index, PartRange range, bool allowWhole, CancellationToken token) const;
    // One request (or more, when Qt resends it); requestsSent receives how many went out.
    QCoro::Task<bool> fetchPart(int index, PartRange range, bool allowWhole, CancellationToken token,
                                int *requestsSent) const;
    void assemble(const QStringList &parts, const CancellationToken &token) const;
};

// What a transfer learned of the response.
struct TransferResponse {
    int status = 0;
    bool cutShort = false; // the body lost its connection on the way
    std::optional<QByteArray> contentRange;
    std::optional<QByteArray> contentEncoding;
};

// One HTTP GET whose body goes to a file. Used on the main thread only; cancel() may come at
// any moment, also before run().
class ModelDownloadTransfer {
public:
    explicit ModelDownloadTransfer(std::function<void(qint64)> progress);
    ModelDownloadTransfer(const ModelDownloadTransfer &) = delete;
    ModelDownloadTransfer &operator=(const ModelDownloadTransfer &) = delete;

    // Returns the response once its body is in destination. Throws CancelledError,
    // ModelFailure::Network when no answer came, or PosixError for file errors.
    QCoro::Task<TransferResponse> run(QNetworkAccessManager *nam, QNetworkRequest request, QString destination);
    void cancel();
    // Requests that went out, Qt's own resends included.
    int requestsSent() const { return m_requestsSent; }

private:
    std::function<void(qint64)> m_progress;
    QPointer<QNetworkReply> m_reply;
    bool m_canceled = false;
    int m_requestsSent = 0;
    ContinuousClock::time_point m_lastReport;
};

} // namespace velmora
