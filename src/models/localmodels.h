#pragma once

// The application's one handle on its local models: the speech store and the text store,
// driven together for downloads, progress and failure texts.

#include "models/modelstore.h"

#include <QLocale>
#include <QObject>

#include <optional>
#include <utility>

namespace velmora {

class Defaults;

class LocalModels : public QObject {
    Q_OBJECT
public:
    struct Setup {
        std::vector<ModelManifest> speechManifests;
        QString speechFolder;
        std::vector<ModelManifest> textManifests;
        QString textFolder;
        ModelStore::Tuning tuning;
        // The folder whose volume must hold the downloads (the user's data folder).
        QString spaceFolder;
        std::function<quint64()> machineMemory = ModelMemory::systemBytes;

        // The application's models on the hub the defaults name ("modelHubURL").
        static Setup standard(const Defaults &defaults);
    };

    LocalModels(Defaults &defaults, SleepInhibitor &inhibitor, QObject *parent = nullptr);
    LocalModels(Defaults &defaults, SleepInhibitor &inhibitor, Setup setup, QObject *parent = nullptr);

    ModelStore &speech() { return *m_speech; }
    ModelStore &text() { return *m_text; }
    const ModelStore &speech() const { return *m_speech; }
    const ModelStore &text() const { return *m_text; }

    bool isReady() const;
    qint64 totalBytes() const;
    // The full size of the stores a download would start now.
    qint64 pendingBytes() const;
    // (done, total) over the stores that take part in the current download.
    std::pair<qint64, qint64> downloadProgress() const;
    QString percentText(const QLocale &locale) const;
    // True when the active stores are all verifying (none is fetching).
    bool isVerifying() const;
    // The text of the first failed store (speech before text), or none.
    std::optional<QString> failureMessage() const;
    // The free space downloading every startable store needs now: 64 MiB plus, per missing
    // file, twice its size less the parts already on disk.
    qint64 requiredFreeBytes() const;

    // Downloads every failed, unavailable or canceled store after the free-space check.
    void download();
    void cancel();
    void check();

    // The machine's memory (or the "fakeMemoryGB" override), read once at construction.
    quint64 physicalMemoryBytes() const { return m_memoryBytes; }
    // The memory as the notice shows it: whole GiB, rounded to the nearest.
    int memoryGigabytes() const { return ModelMemory::roundedGigabytes(m_memoryBytes); }
    bool meetsMemoryRequirement() const { return ModelMemory::meetsRequirement(m_memoryBytes); }

    // The user text of a failure; needed free space enters the space text.
    static QString message(ModelFailure failure, qint64 requiredBytes, const QLocale &locale = QLocale());
    // A byte count in the file style: decimal units, "Zero KB" for nothing.
    static QString formatFileSize(qint64 bytes, const QLocale &locale = QLocale());

signals:
    // Any store's state, progress or operation changed.
    void changed();

private:
    std::vector<const ModelStore *> startable() const;
    std::vector<ModelStore *> startable();

    std::unique_ptr<ModelStore> m_speech;
    std::unique_ptr<ModelStore> m_text;
    QString m_spaceFolder;
    std::function<std::optional<qint64>(const QString &)> m_availableSpace;
    quint64 m_memoryBytes = 0;
};

} // namespace velmora
