#include "app/standins.h"

#include "app/appplatform.h"
#include "app/appsettings.h"
#include "core/defaults.h"
#include "core/log.h"
#include "llm/llmserver.h"
#include "speech/speechhelperclient.h"

#include <QDir>
#include <QFileInfo>

namespace velmora::StandIns {

namespace {
// The stand-in hub's files: a short JSON script for the stand-in helper, padded with spaces.
// helpers/model-hub makes the same bytes.
ModelManifest manifest(const QUrl &hub, const QString &repository, const QString &file, qint64 bytes,
                       const char *sha256) {
    ModelManifest m;
    m.url = ModelHub::fileURL(hub, QStringLiteral("velmora-standin"), repository, QStringLiteral("main"), file);
    m.filename = file;
    m.bytes = bytes;
    m.sha256 = QString::fromLatin1(sha256);
    return m;
}
} // namespace

bool usesStandInModels(const Defaults &defaults) {
    return defaults.get(kModelManifests) == QLatin1String(kModelSet);
}

std::vector<ModelManifest> speechManifests(const QUrl &hub) {
    return {manifest(hub, QStringLiteral("speech"), QStringLiteral("velmora-standin-speech.bin"), 25165824,
                     "e62b813051b3f82ee48183c42754f5644099ec7fe45f3dad90945597be7ac0ee")};
}

std::vector<ModelManifest> textManifests(const QUrl &hub) {
    return {manifest(hub, QStringLiteral("writing"), QStringLiteral("velmora-standin-writing.bin"), 50331648,
                     "4d96ff37cd2f532ffe5febff48f2a6fc52bda6cb7178549a0d9112d89f2087ff"),
            manifest(hub, QStringLiteral("writing"), QStringLiteral("velmora-standin-draft.bin"), 4194304,
                     "967b39f2546f57ee7f1035a31d893b10fb038323e0c1f5e93a888d527df8d2d0")};
}

LocalModels::Setup modelSetup(const Defaults &defaults) {
    LocalModels::Setup setup = LocalModels::Setup::standard(defaults);
    if (!usesStandInModels(defaults))
        return setup;
    const QUrl hub = ModelHub::base(defaults);
    setup.speechManifests = speechManifests(hub);
    setup.textManifests = textManifests(hub);
    setup.speechFolder = modelsFolder(QStringLiteral("StandIn/Speech"));
    setup.textFolder = modelsFolder(QStringLiteral("StandIn/Text"));
    // The stand-in files are small: the memory the real models need is not asked for.
    setup.machineMemory = [] { return std::max<quint64>(ModelMemory::systemBytes(), ModelMemory::kRequiredBytes); };
    return setup;
}

namespace {
bool samePath(const QString &a, const QString &b) {
    auto normal = [](const QString &p) {
        const QFileInfo info(p);
        const QString canonical = info.canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    };
    return normal(a) == normal(b);
}
} // namespace

QStringList inUse(const Defaults &defaults, const AppPlatform &platform) {
    QStringList list;
    if (samePath(LLMServer::executablePath(defaults), LLMServer::defaultExecutablePath()))
        list.append(QStringLiteral("language-model server"));
    if (samePath(SpeechHelperClient::configuredExecutablePath(defaults), SpeechHelperClient::defaultExecutablePath()))
        list.append(QStringLiteral("speech engine"));
    if (usesStandInModels(defaults))
        list.append(QStringLiteral("model hub and model files"));
    if (!platform.microphoneFile.isEmpty())
        list.append(QStringLiteral("microphone (sound file)"));
    return list;
}

void logInUse(const Defaults &defaults, const AppPlatform &platform) {
    const QStringList list = inUse(defaults, platform);
    if (list.isEmpty())
        Log::app().notice("Running without stand-ins");
    else
        Log::app().notice("Running on stand-ins: %{public}s", {list.join(QStringLiteral(", "))});
}

} // namespace velmora::StandIns
