#include "models/modelstore.h"

#include "core/cancellationtoken.h"
#include "core/defaults.h"
#include "core/error.h"
#include "core/log.h"
#include "core/runinbackground.h"
#include "models/modelssettings.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <unistd.h>

namespace velmora {

namespace {

QString folderName(const QString &folder) {
    return QFileInfo(folder).fileName();
}

const QString kWorkPrefix = QStringLiteral(".download-");

} // namespace

// --- state ----------------------------------------------------------------------------------

QString ModelStore::State::toString() const {
    switch (kind) {
    case Kind::Failed: return QStringLiteral("failed(") + velmora::toString(failure) + u')';
    case Kind::Checking: return QStringLiteral("checking");
    case Kind::Unavailable: return QStringLiteral("unavailable");
    case Kind::Downloading: return QStringLiteral("downloading");
    case Kind::Verifying: return QStringLiteral("verifying");
    case Kind::Ready: return QStringLiteral("ready");
    case Kind::Canceled: return QStringLiteral("canceled");
    }
    return {};
}

ModelStore::ModelStore(std::vector<ModelManifest> manifests, QString folder, Defaults &defaults,
                       SleepInhibitor &inhibitor, Tuning tuning, QObject *parent)
    : QObject(parent), m_manifests(std::move(manifests)), m_folder(std::move(folder)), m_defaults(defaults),
      m_inhibitor(inhibitor), m_tuning(std::move(tuning)) {
    // Work folders of files no manifest names any more go; those of current files stay so an
    // interrupted download resumes.
    QSet<QString> expected;
    for (const auto &m : m_manifests)
        expected.insert(m.workFolderName());
    const QDir dir(m_folder);
    const auto entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : entries) {
        const QString name = info.fileName();
        if (!name.startsWith(kWorkPrefix) || expected.contains(name))
            continue;
        if (info.isDir() && !info.isSymLink())
            QDir(info.filePath()).removeRecursively();
        else
            QFile::remove(info.filePath());
    }
    check();
}

ModelStore::~ModelStore() {
    // A cancelled operation may finish inside cancel(); it must find nothing left to change.
    blockSignals(true);
    m_generation = QUuid();
    if (const auto op = m_operation)
        op->source.cancel();
}

void ModelStore::setState(State state) {
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

void ModelStore::setDownloadedBytes(qint64 bytes) {
    if (m_downloadedBytes == bytes)
        return;
    m_downloadedBytes = bytes;
    emit downloadedBytesChanged();
}

qint64 ModelStore::totalBytes() const {
    qint64 total = 0;
    for (const auto &m : m_manifests)
        total += m.bytes;
    return total;
}

QStringList ModelStore::fileURLs() const {
    QStringList out;
    for (const auto &m : m_manifests)
        out << m_folder + u'/' + m.filename;
    return out;
}

QString ModelStore::verifiedKey() const {
    return cacheKey().name;
}

SettingKey<QByteArray> ModelStore::cacheKey() const {
    QStringList digests;
    for (const auto &m : m_manifests)
        digests << m.sha256;
    return verifiedModelsKey(digests);
}

ModelStore::Pairs ModelStore::pairs() const {
    Pairs out;
    const QStringList urls = fileURLs();
    for (size_t i = 0; i < m_manifests.size(); ++i)
        out.emplace_back(urls.at(qsizetype(i)), m_manifests[i]);
    return out;
}

std::optional<std::vector<ModelFingerprint>> ModelStore::currentFingerprints() const {
    std::vector<ModelFingerprint> out;
    try {
        for (const QString &url : fileURLs())
            out.push_back(ModelFingerprint::ofFile(url));
    } catch (...) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<ModelFingerprint>> ModelStore::storedFingerprints() const {
    const QByteArray data = m_defaults.get(cacheKey());
    if (data.isEmpty())
        return std::nullopt;
    return decodeFingerprints(data);
}

void ModelStore::storeFingerprints(const std::optional<std::vector<ModelFingerprint>> &fingerprints) {
    if (!fingerprints) {
        m_defaults.reset(cacheKey());
        return;
    }
    m_defaults.set(cacheKey(), encodeFingerprints(*fingerprints));
}

ModelFailure ModelStore::failure(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const ModelFailureError &e) {
        return e.kind();
    } catch (const Error &e) {
        if (e.code() == 640 || (e.domain() == QLatin1String(PosixError::kDomain) && e.code() == 28))
            return ModelFailure::Space;
    } catch (...) {
    }
    return ModelFailure::FileSystem;
}

// --- operations -----------------------------------------------------------------------------

void ModelStore::startOperation(std::shared_ptr<Operation> op) {
    m_operation = std::move(op);
    emit operationChanged();
}

void ModelStore::endOperation(const std::shared_ptr<Operation> &op) {
    if (m_operation == op) {
        m_operation.reset();
        emit operationChanged();
    }
    op->ended.resolve();
}

bool ModelStore::endCurrent(const QPointer<ModelStore> &self, const std::shared_ptr<Operation> &op, QUuid generation) {
    if (!self) {
        op->ended.resolve();
        return false;
    }
    self->endOperation(op);
    return self->m_generation == generation;
}

QCoro::Task<> ModelStore::operationEnded() {
    if (!m_operation)
        co_return;
    const auto op = m_operation;
    co_await op->ended;
}

void ModelStore::check() {
    if (m_operation)
        return;
    if (readyFileURLs())
        return;
    for (const QString &url : fileURLs()) {
        const QFileInfo info(url);
        if (!info.exists() && !info.isSymLink()) {
            if (m_state.kind == State::Kind::Checking || m_state.kind == State::Kind::Ready)
                setState(State::Kind::Unavailable);
            return;
        }
    }
    if (const auto cached = storedFingerprints()) {
        const auto current = currentFingerprints();
        if (current && *current == *cached) {
            m_verifiedFingerprints = cached;
            setState(State::Kind::Ready);
            return;
        }
    }
    setState(State::Kind::Checking);
    m_generation = QUuid::createUuid();
    auto op = std::make_shared<Operation>();
    startOperation(op);
    verification(this, op, pairs(), m_generation, folderName(m_folder));
}

QCoro::Task<> ModelStore::verification(QPointer<ModelStore> self, std::shared_ptr<Operation> op, Pairs pairs,
                                       QUuid generation, QString name) {
    std::exception_ptr error;
    std::vector<ModelFingerprint> fingerprints;
    const CancellationToken token = op->source.token();
    // Made first and awaited as a local (the coroutine rule in core/promise.h).
    auto hashing = runInBackground([pairs, token] {
        std::vector<ModelFingerprint> out;
        for (const auto &[path, manifest] : pairs)
            out.push_back(manifest.verify(path, token));
        return out;
    });
    try {
        fingerprints = co_await hashing;
    } catch (...) {
        error = std::current_exception();
    }
    if (!endCurrent(self, op, generation))
        co_return;
    if (error) {
        Log::models().error("Model %{public}s failed verification", {name});
        self->m_verifiedFingerprints.reset();
        self->storeFingerprints(std::nullopt);
        self->setState(State::failed(ModelFailure::Checksum));
        co_return;
    }
    self->m_verifiedFingerprints = fingerprints;
    self->storeFingerprints(fingerprints);
    self->setState(State::Kind::Ready);
}

void ModelStore::download() {
    if (m_operation)
        return;
    m_generation = QUuid::createUuid();
    Log::models().notice("Model %{public}s download started", {folderName(m_folder)});
    setState(State::Kind::Downloading);
    m_parts.clear();
    m_finishedBytes = 0;
    setDownloadedBytes(0);
    m_verifiedFingerprints.reset();
    m_defaults.reset(cacheKey());
    auto op = std::make_shared<Operation>();
    startOperation(op);
    // Keeps the machine awake until the operation has ended, whatever its outcome.
    std::shared_ptr<SleepInhibitor::Hold> awake = m_inhibitor.begin(QStringLiteral("Downloading models"));
    downloadOperation(this, op, pairs(), m_folder, m_tuning, m_generation, std::move(awake));
}

QCoro::Task<> ModelStore::downloadFiles(QPointer<ModelStore> self, Pairs pairs, QString folder, Tuning tuning,
                                        QUuid generation, CancellationToken token) {
    for (const auto &[path, manifest] : pairs) {
        bool valid = false;
        auto checking = runInBackground([path, manifest, token] { manifest.verify(path, token); });
        try {
            co_await checking;
            valid = true;
        } catch (...) {
            // Missing, damaged or interrupted: the file is fetched again.
        }
        if (!valid) {
            ModelDownload download;
            download.manifest = manifest;
            download.folder = folder;
            download.partBytes = tuning.partBytes;
            download.retryDelays = tuning.retryDelays;
            download.availableSpace = tuning.availableSpace;
            download.transferTimeout = tuning.transferTimeout;
            download.progress = [self, generation](int part, qint64 bytes) {
                if (self)
                    self->partProgress(part, bytes, generation);
            };
            const ModelManifest current = manifest;
            download.verifying = [self, generation, current] {
                if (self)
                    self->beginVerifying(current, generation);
            };
            co_await download.run(token);
        }
        if (self)
            self->fileFinished(manifest.bytes, generation);
    }
}

QCoro::Task<> ModelStore::downloadOperation(QPointer<ModelStore> self, std::shared_ptr<Operation> op, Pairs pairs,
                                            QString folder, Tuning tuning, QUuid generation,
                                            std::shared_ptr<SleepInhibitor::Hold> awake) {
    const CancellationToken token = op->source.token();
    std::exception_ptr error;
    auto files = downloadFiles(self, pairs, folder, tuning, generation, token);
    try {
        co_await std::move(files);
    } catch (...) {
        error = std::current_exception();
    }
    awake.reset();
    if (!endCurrent(self, op, generation))
        co_return;
    const QString name = folderName(folder);
    if (error) {
        if (isCancellation(error)) {
            self->setState(State::Kind::Canceled);
            co_return;
        }
        Log::models().error("Model %{public}s download failed: %{public}s", {name, Log::errorCode(error)});
        self->setState(State::failed(failure(error)));
        co_return;
    }
    const auto fingerprints = self->currentFingerprints();
    self->m_verifiedFingerprints = fingerprints;
    self->storeFingerprints(fingerprints);
    self->setState(fingerprints ? State(State::Kind::Ready) : State::failed(ModelFailure::FileSystem));
    Log::models().notice("Model %{public}s download finished", {name});
}

void ModelStore::partProgress(int part, qint64 bytes, QUuid generation) {
    if (generation != m_generation)
        return;
    if (m_state.kind == State::Kind::Verifying)
        setState(State::Kind::Downloading);
    else if (m_state.kind != State::Kind::Downloading)
        return;
    m_parts[part] = bytes;
    qint64 sum = m_finishedBytes;
    for (const auto &[index, count] : m_parts)
        sum += count;
    setDownloadedBytes(std::min(sum, totalBytes()));
}

void ModelStore::beginVerifying(const ModelManifest &manifest, QUuid generation) {
    if (generation != m_generation || m_state.kind != State::Kind::Downloading)
        return;
    setDownloadedBytes(m_finishedBytes + manifest.bytes);
    setState(State::Kind::Verifying);
}

void ModelStore::fileFinished(qint64 bytes, QUuid generation) {
    if (generation != m_generation)
        return;
    m_finishedBytes += bytes;
    m_parts.clear();
    setDownloadedBytes(std::min(m_finishedBytes, totalBytes()));
}

void ModelStore::cancel() {
    if ((m_state.kind != State::Kind::Downloading && m_state.kind != State::Kind::Verifying) || !m_operation)
        return;
    m_generation = QUuid::createUuid();
    setState(State::Kind::Canceled);
    const auto op = m_operation; // the operation may end inside cancel()
    op->source.cancel();
}

std::optional<QStringList> ModelStore::readyFileURLs() {
    if (m_state.kind == State::Kind::Ready && m_verifiedFingerprints) {
        const auto current = currentFingerprints();
        if (current && *current == *m_verifiedFingerprints)
            return fileURLs();
    }
    if (m_state.kind == State::Kind::Ready)
        setState(State::Kind::Unavailable);
    return std::nullopt;
}

void ModelStore::setFailedForSpace() {
    if (!m_operation)
        setState(State::failed(ModelFailure::Space));
}

// --- memory ---------------------------------------------------------------------------------

namespace ModelMemory {

quint64 systemBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return quint64(pages) * quint64(pageSize);
}

quint64 physicalBytes(const Defaults &defaults, const std::function<quint64()> &machine) {
    const qint64 fake = defaults.get(kFakeMemoryGB);
    if (fake > 0)
        return quint64(fake) << 30;
    return machine ? machine() : 0;
}

int roundedGigabytes(quint64 bytes) {
    return int(std::llround(double(bytes) / double(1ULL << 30)));
}

bool meetsRequirement(quint64 bytes) {
    return quint64(roundedGigabytes(bytes)) << 30 >= kRequiredBytes;
}

} // namespace ModelMemory

} // namespace velmora
