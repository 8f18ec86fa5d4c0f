#include "models/localmodels.h"

#include "core/defaults.h"
#include "core/paths.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>

namespace velmora {

namespace {

bool isStartable(const ModelStore &store) {
    using Kind = ModelStore::State::Kind;
    const Kind kind = store.state().kind;
    return kind == Kind::Failed || kind == Kind::Unavailable || kind == Kind::Canceled;
}

bool isActive(const ModelStore &store) {
    using Kind = ModelStore::State::Kind;
    const Kind kind = store.state().kind;
    return kind == Kind::Downloading || kind == Kind::Verifying;
}

} // namespace

LocalModels::Setup LocalModels::Setup::standard(const Defaults &defaults) {
    const QUrl hub = ModelHub::base(defaults);
    Setup setup;
    setup.speechManifests = {ModelManifest::speech(hub)};
    setup.speechFolder = modelsFolder(QStringLiteral("Speech"));
    setup.textManifests = {ModelManifest::writing(hub), ModelManifest::draft(hub)};
    setup.textFolder = modelsFolder(QStringLiteral("Text"));
    setup.spaceFolder = QFileInfo(Paths::libraryFolder()).path();
    return setup;
}

LocalModels::LocalModels(Defaults &defaults, SleepInhibitor &inhibitor, QObject *parent)
    : LocalModels(defaults, inhibitor, Setup::standard(defaults), parent) {}

LocalModels::LocalModels(Defaults &defaults, SleepInhibitor &inhibitor, Setup setup, QObject *parent)
    : QObject(parent), m_spaceFolder(setup.spaceFolder), m_availableSpace(setup.tuning.availableSpace),
      m_memoryBytes(ModelMemory::physicalBytes(defaults, setup.machineMemory)) {
    m_speech =
        std::make_unique<ModelStore>(setup.speechManifests, setup.speechFolder, defaults, inhibitor, setup.tuning);
    m_text = std::make_unique<ModelStore>(setup.textManifests, setup.textFolder, defaults, inhibitor, setup.tuning);
    for (ModelStore *store : {m_speech.get(), m_text.get()}) {
        connect(store, &ModelStore::stateChanged, this, &LocalModels::changed);
        connect(store, &ModelStore::downloadedBytesChanged, this, &LocalModels::changed);
        connect(store, &ModelStore::operationChanged, this, &LocalModels::changed);
    }
}

std::vector<const ModelStore *> LocalModels::startable() const {
    std::vector<const ModelStore *> out;
    for (const ModelStore *store : {m_speech.get(), m_text.get()}) {
        if (isStartable(*store))
            out.push_back(store);
    }
    return out;
}

std::vector<ModelStore *> LocalModels::startable() {
    std::vector<ModelStore *> out;
    for (ModelStore *store : {m_speech.get(), m_text.get()}) {
        if (isStartable(*store))
            out.push_back(store);
    }
    return out;
}

bool LocalModels::isReady() const {
    using Kind = ModelStore::State::Kind;
    return m_speech->state().kind == Kind::Ready && m_text->state().kind == Kind::Ready;
}

qint64 LocalModels::totalBytes() const {
    return m_speech->totalBytes() + m_text->totalBytes();
}

qint64 LocalModels::pendingBytes() const {
    qint64 total = 0;
    for (const ModelStore *store : startable())
        total += store->totalBytes();
    return total;
}

std::pair<qint64, qint64> LocalModels::downloadProgress() const {
    qint64 done = 0;
    qint64 total = 0;
    for (const ModelStore *store : {m_speech.get(), m_text.get()}) {
        // A store that finished during this run keeps counting while the other goes on.
        const bool finishedNow = store->state().kind == ModelStore::State::Kind::Ready && store->downloadedBytes() > 0;
        if (isActive(*store) || finishedNow) {
            done += store->downloadedBytes();
            total += store->totalBytes();
        }
    }
    return {done, total};
}

QString LocalModels::percentText(const QLocale &locale) const {
    const auto [done, total] = downloadProgress();
    const double fraction = total < 1 ? 0.0 : std::min(1.0, double(done) / double(total));
    return locale.toString(qRound(fraction * 100)) + locale.percent();
}

bool LocalModels::isVerifying() const {
    bool any = false;
    for (const ModelStore *store : {m_speech.get(), m_text.get()}) {
        if (!isActive(*store))
            continue;
        if (store->state().kind == ModelStore::State::Kind::Downloading)
            return false;
        any = true;
    }
    return any;
}

std::optional<QString> LocalModels::failureMessage() const {
    for (const ModelStore *store : {m_speech.get(), m_text.get()}) {
        if (store->state().kind == ModelStore::State::Kind::Failed)
            return message(store->state().failure, requiredFreeBytes());
    }
    return std::nullopt;
}

qint64 LocalModels::requiredFreeBytes() const {
    qint64 need = ModelDownload::kSpaceMargin;
    for (const ModelStore *store : startable()) {
        const QStringList urls = store->fileURLs();
        for (size_t i = 0; i < store->manifests().size(); ++i) {
            const ModelManifest &manifest = store->manifests()[i];
            try {
                if (ModelFingerprint::ofFile(urls.at(qsizetype(i))).size == manifest.bytes)
                    continue; // present at full size: not hashed here
            } catch (...) {
            }
            need +=
                2 * manifest.bytes - ModelDownload::bytesPresent(store->folder() + u'/' + manifest.workFolderName());
        }
    }
    return need;
}

void LocalModels::download() {
    const std::vector<ModelStore *> stores = startable();
    std::optional<qint64> capacity;
    try {
        if (m_availableSpace)
            capacity = m_availableSpace(m_spaceFolder);
    } catch (...) {
        // A capacity that cannot be read does not block the download.
    }
    if (capacity && *capacity < requiredFreeBytes()) {
        for (ModelStore *store : stores)
            store->setFailedForSpace();
        return;
    }
    for (ModelStore *store : stores)
        store->download();
}

void LocalModels::cancel() {
    m_speech->cancel();
    m_text->cancel();
}

void LocalModels::check() {
    m_speech->check();
    m_text->check();
}

QString LocalModels::formatFileSize(qint64 bytes, const QLocale &locale) {
    if (bytes == 0)
        return QCoreApplication::translate("Models", "Zero KB", "A file size of nothing");
    struct Unit {
        double scale;
        const char *name;
        int digits;
    };
    static const Unit units[] = {{1e12, "TB", 2}, {1e9, "GB", 2}, {1e6, "MB", 1}, {1e3, "KB", 0}};
    for (const Unit &unit : units) {
        if (double(bytes) >= unit.scale)
            return locale.toString(double(bytes) / unit.scale, 'f', unit.digits) + u' ' + QLatin1String(unit.name);
    }
    return QCoreApplication::translate("Models", "%1 bytes", "A file size under a kilobyte; placeholder is the count")
        .arg(locale.toString(bytes));
}

QString LocalModels::message(ModelFailure failure, qint64 requiredBytes, const QLocale &locale) {
    switch (failure) {
    case ModelFailure::Network:
        return QCoreApplication::translate("Models", "Download interrupted. Click Retry to continue.",
                                           "Model download failure: the connection failed");
    case ModelFailure::Server:
        return QCoreApplication::translate("Models",
                                           "The download server is busy. Wait a few minutes, then click Retry.",
                                           "Model download failure: the server kept answering that it is busy");
    case ModelFailure::Unavailable:
        return QCoreApplication::translate("Models",
                                           "This download is no longer available. Check for a Velmora update.",
                                           "Model download failure: the file is gone from the server");
    case ModelFailure::InvalidResponse:
        return QCoreApplication::translate(
            "Models", "Couldn't reach the download server. Check your internet connection, then click Retry.",
            "Model download failure: the server's answer made no sense");
    case ModelFailure::Checksum:
        return QCoreApplication::translate("Models", "The download was damaged. Click Retry to download it again.",
                                           "Model download failure: the file's checksum is wrong");
    case ModelFailure::Space:
        return QCoreApplication::translate(
                   "Models", "Not enough disk space. The download needs %1 free. Free up some space, then click Retry.",
                   "Model download failure; placeholder is the free space needed")
            .arg(formatFileSize(requiredBytes, locale));
    case ModelFailure::FileSystem:
        return QCoreApplication::translate(
            "Models", "Couldn't save the download to this computer. Restart Velmora and try again.",
            "Model download failure: the file could not be written or moved into place");
    }
    return {};
}

} // namespace velmora
