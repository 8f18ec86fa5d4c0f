#pragma once

// The settings the local models keep in the defaults store.

#include "core/settingkey.h"

#include <QStringList>

namespace velmora {

// The model hub's base address (also the launch argument -modelHubURL URL); empty or unusable:
// the public hub.
inline const SettingKey<QString> kModelHubURL{QStringLiteral("modelHubURL"), QString()};

// Pretends the machine has this many GiB of memory; 0 or less: the real figure.
inline const SettingKey<qint64> kFakeMemoryGB{QStringLiteral("fakeMemoryGB"), 0};

// A store's verified fingerprints: "verifiedModels." followed by the first 16 digits of each of
// its files' digests, joined by "-", so a new manifest never reads an old entry. The value is
// the stored form of the fingerprint list.
inline SettingKey<QByteArray> verifiedModelsKey(const QStringList &digests) {
    QStringList prefixes;
    for (const QString &digest : digests)
        prefixes << digest.left(16);
    return {QStringLiteral("verifiedModels.") + prefixes.join(u'-'), QByteArray()};
}

} // namespace velmora
