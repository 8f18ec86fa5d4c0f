#include "models/modeldownload.h"

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/error.h"
#include "core/paths.h"
#include "core/promise.h"
#include "core/runinbackground.h"
#include "core/uuid.h"
#include "platform/networkreply.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

namespace velmora {

namespace {

constexpr qint64 kBlockBytes = 1048576;
constexpr qint64 kReadBufferBytes = 1048576;
const QString kAssembled = QStringLiteral("assembled");
const QString kPartPrefix = QStringLiteral("part-");

QByteArray nativePath(const QString &path) {
    return QFile::encodeName(path);
}

// Removes a file, ignoring errors.
void removeFile(const QString &path) {
    ::unlink(nativePath(path).constData());
}

bool isSpaceError(const Error &e) {
    return e.code() == 640 || (e.domain() == QLatin1String(PosixError::kDomain) && e.code() == ENOSPC);
}

void writeAll(int fd, const char *data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw PosixError(errno);
        }
        data += n;
        size -= n;
    }
}

// Appends the whole of part to out, 1 MiB at a time, checking for cancellation before each
// block. The kernel copies the bytes itself where it can.
void appendFile(int out, int part, const CancellationToken &token) {
    for (;;) {
        token.throwIfCancelled();
        const ssize_t n = ::copy_file_range(part, nullptr, out, nullptr, size_t(kBlockBytes), 0);
        if (n > 0)
            continue;
        if (n == 0)
            return;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            throw PosixError(errno);
        break; // no kernel copy here: go on through a buffer
    }
    readBlocks(part, token, [out](const char *data, qint64 size) { writeAll(out, data, size); });
}

} // namespace

std::optional<qint64> volumeAvailableBytes(const QString &path) {
    struct statvfs st {};
    if (::statvfs(nativePath(path).constData(), &st) != 0)
        throw PosixError(errno);
    if (st.f_frsize == 0)
        return std::nullopt;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}

// --- layout ---------------------------------------------------------------------------------

QString ModelDownload::workFolder() const {
    return folder + u'/' + manifest.workFolderName();
}

QString ModelDownload::finalPath() const {
    return folder + u'/' + manifest.filename;
}

QString ModelDownload::partPath(int index) const {
    return workFolder() + u'/' + kPartPrefix + QString::number(index);
}

std::vector<PartRange> ModelDownload::partRanges() const {
    std::vector<PartRange> ranges;
    if (partBytes <= 0)
        return ranges;
    for (qint64 first = 0; first < manifest.bytes; first += partBytes)
        ranges.push_back({first, std::min(manifest.bytes, first + partBytes) - 1});
    return ranges;
}

qint64 ModelDownload::bytesPresent(const QString &workFolder) {
    QDir dir(workFolder);
    qint64 total = 0;
    const auto entries = dir.entryInfoList({kPartPrefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &info : entries)
        total += info.size();
    return total;
}

// --- run ------------------------------------------------------------------------------------

QCoro::Task<> ModelDownload::run(CancellationToken token) const {
    Paths::ensureFolder(folder);
    const QString work = workFolder();
    if (const auto available = availableSpace(folder)) {
        const qint64 required = 2 * manifest.bytes - bytesPresent(work) + kSpaceMargin;
        if (*available < required)
            throw ModelFailureError(ModelFailure::Space);
    }
    Paths::ensureFolder(work);

    // Only part files carry over from an earlier run; a stale join or transfer is dropped.
    QDir workDir(work);
    const auto stale = workDir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : stale) {
        if (info.fileName().startsWith(kPartPrefix))
            continue;
        if (info.isDir() && !info.isSymLink())
            QDir(info.filePath()).removeRecursively();
        else
            removeFile(info.filePath());
    }

    // Every task given a lambda is made first and awaited as a local (the coroutine rule in
    // core/promise.h).
    std::exception_ptr failure;
    QStringList parts;
    auto fetching = downloadParts(token);
    try {
        parts = co_await std::move(fetching);
        token.throwIfCancelled();
        if (verifying)
            verifying();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure) {
        auto joining = runInBackground([this, parts, token] { assemble(parts, token); });
        try {
            co_await joining;
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (failure) {
        bool discard = isCancellation(failure);
        try {
            std::rethrow_exception(failure);
        } catch (const ModelFailureError &e) {
            discard = e.kind() == ModelFailure::Checksum || e.kind() == ModelFailure::InvalidResponse ||
                      e.kind() == ModelFailure::Unavailable;
        } catch (...) {
        }
        if (discard)
            QDir(work).removeRecursively();
        else
            removeFile(work + u'/' + kAssembled);
        std::rethrow_exception(failure);
    }
    QDir(work).removeRecursively();
}

// --- parts ----------------------------------------------------------------------------------

struct ModelDownload::Group {
    std::deque<std::pair<int, PartRange>> queue;
    std::exception_ptr firstError;
    CancellationSource source;
    explicit Group(const CancellationToken &parent) : source(parent) {}
};

QCoro::Task<QStringList> ModelDownload::downloadParts(CancellationToken token) const {
    const std::vector<PartRange> ranges = partRanges();
    std::vector<int> missing;
    for (int k = 0; k < int(ranges.size()); ++k) {
        bool complete = false;
        try {
            complete = ModelFingerprint::ofFile(partPath(k)).size == ranges[size_t(k)].length();
        } catch (...) {
        }
        if (complete) {
            if (progress)
                progress(k, ranges[size_t(k)].length());
        } else {
            missing.push_back(k);
        }
    }

    QStringList all;
    for (int k = 0; k < int(ranges.size()); ++k)
        all << partPath(k);
    if (missing.empty())
        co_return all;

    // A hub that ignores "Range" may send the whole file, but only when nothing is on disk.
    const int first = missing.front();
    const bool allowWhole = first == 0 && missing.size() == ranges.size();
    if (co_await downloadPart(first, ranges[size_t(first)], allowWhole, token))
        co_return QStringList{partPath(0)};

    auto group = std::make_shared<Group>(token);
    for (size_t i = 1; i < missing.size(); ++i)
        group->queue.emplace_back(missing[i], ranges[size_t(missing[i])]);
    std::vector<QCoro::Task<>> workers;
    const size_t count = std::min<size_t>(kPartsInFlight, group->queue.size());
    for (size_t i = 0; i < count; ++i)
        workers.push_back(groupWorker(group));
    for (auto &worker : workers)
        co_await std::move(worker);
    token.throwIfCancelled();
    if (group->firstError)
        std::rethrow_exception(group->firstError);
    co_return all;
}

QCoro::Task<> ModelDownload::groupWorker(std::shared_ptr<Group> group) const {
    while (!group->queue.empty() && !group->source.isCancelled()) {
        const auto [index, range] = group->queue.front();
        group->queue.pop_front();
        auto part = downloadPart(index, range, false, group->source.token());
        try {
            co_await std::move(part);
        } catch (...) {
            // The first failure ends the group; the cancellations it causes are not failures.
            if (!group->firstError && !group->source.isCancelled())
                group->firstError = std::current_exception();
            group->source.cancel();
            co_return;
        }
    }
}

QCoro::Task<bool> ModelDownload::downloadPart(int index, PartRange range, bool allowWhole,
                                              CancellationToken token) const {
    token.throwIfCancelled();
    // Attempts are counted as requests on the wire, Qt's own resends included.
    size_t requests = 0;
    for (;;) {
        if (progress)
            progress(index, 0);
        std::exception_ptr error;
        std::optional<bool> whole;
        int sent = 0;
        auto attemptTask = fetchPart(index, range, allowWhole, token, &sent);
        try {
            whole = co_await std::move(attemptTask);
        } catch (...) {
            error = std::current_exception();
        }
        if (whole)
            co_return *whole;
        token.throwIfCancelled();
        // A transfer that never got its request out (refused) still used an attempt.
        requests += size_t(std::max(sent, 1));
        bool lastWasServer = false;
        try {
            std::rethrow_exception(error);
        } catch (const ModelFailureError &e) {
            if (e.kind() != ModelFailure::Network && e.kind() != ModelFailure::Server)
                throw;
            lastWasServer = e.kind() == ModelFailure::Server;
        } catch (const Error &e) {
            if (isSpaceError(e))
                throw ModelFailureError(ModelFailure::Space);
        } catch (...) {
        }
        if (requests > retryDelays.size())
            throw ModelFailureError(lastWasServer ? ModelFailure::Server : ModelFailure::Network);
        co_await sleepFor(retryDelays[requests - 1], token);
        token.throwIfCancelled();
    }
}

QCoro::Task<bool> ModelDownload::fetchPart(int index, PartRange range, bool allowWhole, CancellationToken token,
                                           int *requestsSent) const {
    QNetworkRequest request(manifest.url);
    request.setRawHeader("Range", "bytes=" + QByteArray::number(range.first) + '-' + QByteArray::number(range.last));
    // Asking for identity also keeps Qt from decompressing on its own.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(int(transferTimeout.count()));

    const QString transferPath = workFolder() + QStringLiteral("/transfer-") + newUuidString();
    struct RemoveTransfer {
        QString path;
        ~RemoveTransfer() { removeFile(path); }
    } removeTransfer{transferPath};

    auto report = progress;
    ModelDownloadTransfer transfer([report, index](qint64 bytes) {
        if (report)
            report(index, bytes);
    });
    struct CountRequests {
        const ModelDownloadTransfer &transfer;
        int *out;
        ~CountRequests() { *out = transfer.requestsSent(); }
    } countRequests{transfer, requestsSent};
    auto registration = token.onCancelled([&transfer] { transfer.cancel(); });
    // Each transfer has its own session, and with it its own network thread.
    QNetworkAccessManager session;
    const TransferResponse response = co_await transfer.run(&session, request, transferPath);
    registration.reset();

    const int status = response.status;
    if (status == 429 || (status >= 500 && status <= 599))
        throw ModelFailureError(ModelFailure::Server);
    if (status == 401 || status == 403 || status == 404 || status == 410)
        throw ModelFailureError(ModelFailure::Unavailable);
    const bool whole = allowWhole && status == 200;
    qint64 expected = manifest.bytes;
    if (!whole) {
        expected = range.length();
        const QByteArray wanted = "bytes " + QByteArray::number(range.first) + '-' + QByteArray::number(range.last) +
                                  '/' + QByteArray::number(manifest.bytes);
        if (status != 206 || response.contentRange != wanted)
            throw ModelFailureError(ModelFailure::InvalidResponse);
    }
    const qint64 received = ModelFingerprint::ofFile(transferPath).size;
    // A body that stops short of its range lost its connection on the way, whether or not the
    // answer announced its length: a transport failure, retried, that keeps the finished parts.
    if (response.cutShort || received < expected)
        throw ModelFailureError(ModelFailure::Network);
    if (received != expected)
        throw ModelFailureError(ModelFailure::InvalidResponse);
    if (response.contentEncoding && *response.contentEncoding != "identity")
        throw ModelFailureError(ModelFailure::InvalidResponse);
    token.throwIfCancelled();

    const QString part = partPath(index);
    removeFile(part);
    if (::rename(nativePath(transferPath).constData(), nativePath(part).constData()) != 0)
        throw PosixError(errno);
    if (progress)
        progress(index, expected);
    co_return whole;
}

// --- join -----------------------------------------------------------------------------------

void ModelDownload::assemble(const QStringList &parts, const CancellationToken &token) const {
    const QString assembled = workFolder() + u'/' + kAssembled;
    const int out = ::open(nativePath(assembled).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0)
        throw ModelFailureError(ModelFailure::FileSystem);
    try {
        for (const QString &part : parts) {
            const int in = ::open(nativePath(part).constData(), O_RDONLY | O_CLOEXEC);
            if (in < 0)
                throw PosixError(errno);
            try {
                appendFile(out, in, token);
            } catch (...) {
                closeIgnoringErrors(in);
                throw;
            }
            closeIgnoringErrors(in);
            // Start writing the joined bytes back now, so the flush below finds little left.
            ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
        }
    } catch (...) {
        closeIgnoringErrors(out);
        throw;
    }

    // The flush and the verification both take a while and touch nothing the other uses, so
    // they run side by side; the file is moved into place only after both succeeded, and a
    // failed flush is reported before a failed verification.
    int flushError = 0;
    std::thread flusher([out, &flushError] {
        if (::fsync(out) != 0)
            flushError = errno;
    });
    std::exception_ptr verifyError;
    try {
        manifest.verify(assembled, token);
    } catch (...) {
        verifyError = std::current_exception();
    }
    flusher.join();
    if (flushError != 0) {
        closeIgnoringErrors(out);
        throw PosixError(flushError);
    }
    if (::close(out) != 0)
        throw PosixError(errno);
    if (verifyError)
        std::rethrow_exception(verifyError);
    token.throwIfCancelled();
    if (::rename(nativePath(assembled).constData(), nativePath(finalPath()).constData()) != 0)
        throw ModelFailureError(ModelFailure::FileSystem);
}

// --- transfer -------------------------------------------------------------------------------

ModelDownloadTransfer::ModelDownloadTransfer(std::function<void(qint64)> progress)
    : m_progress(std::move(progress)), m_lastReport(ContinuousClock::now()) {}

void ModelDownloadTransfer::cancel() {
    m_canceled = true;
    if (m_reply)
        m_reply->abort();
}

QCoro::Task<TransferResponse> ModelDownloadTransfer::run(QNetworkAccessManager *nam, QNetworkRequest request,
                                                         QString destination) {
    if (m_canceled)
        throw CancelledError(); // no request is ever sent
    const int fd = ::open(nativePath(destination).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw PosixError(errno);

    qint64 written = 0;
    std::exception_ptr writeError;
    QPointer<QNetworkReply> reply = nam->get(request);
    // A bounded buffer: with Qt's default (unbounded) one the body piles up in a few huge
    // chunks and the transfer runs several times slower.
    reply->setReadBufferSize(kReadBufferBytes);
    m_reply = reply;
    auto drain = [&] {
        if (writeError || !reply || !reply->isOpen())
            return;
        const QByteArray data = reply->readAll();
        if (data.isEmpty())
            return;
        try {
            writeAll(fd, data.constData(), data.size());
        } catch (...) {
            writeError = std::current_exception();
            reply->abort();
            return;
        }
        written += data.size();
        const auto now = ContinuousClock::now();
        if (now - m_lastReport >= std::chrono::milliseconds(100)) {
            m_lastReport = now;
            if (m_progress)
                m_progress(written);
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, drain);
    // Qt sends a request again on its own after some connection failures; each one counts.
    QObject::connect(reply, &QNetworkReply::requestSent, reply, [this] { ++m_requestsSent; });
    co_await replyFinished(reply);
    m_reply = nullptr;
    if (reply) {
        drain();
        QObject::disconnect(reply, nullptr, nullptr, nullptr);
        reply->deleteLater();
    }
    const int closed = ::close(fd);
    const int closeErrno = errno;

    if (m_canceled)
        throw CancelledError();
    if (writeError)
        std::rethrow_exception(writeError);
    const QVariant statusAttribute = reply ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute) : QVariant();
    // No answer at all: refused, closed, timed out or aborted before the response head.
    if (!statusAttribute.isValid())
        throw ModelFailureError(ModelFailure::Network);
    if (closed != 0)
        throw PosixError(closeErrno);

    TransferResponse response;
    response.status = statusAttribute.toInt();
    response.cutShort = bodyCutShort(*reply, written);
    if (reply->hasRawHeader("Content-Range"))
        response.contentRange = reply->rawHeader("Content-Range");
    // Qt drops a header whose value is empty and offers no raw response head, so an empty
    // "Content-Encoding" reads as none; the digest check still keeps such a body out.
    if (reply->hasRawHeader("Content-Encoding"))
        response.contentEncoding = reply->rawHeader("Content-Encoding");
    co_return response;
}

} // namespace velmora
