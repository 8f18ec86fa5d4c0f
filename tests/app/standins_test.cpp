#include "app/appplatform.h"
#include "app/appsettings.h"
#include "app/standins.h"
#include "core/defaults.h"
#include "platform/sleepinhibitor.h"
#include "speech/speechhelperclient.h"
#include "support/testsupport.h"

#include <QProcess>

using namespace velmora;

namespace {
// The stand-in model hub on a free loopback port.
class Hub {
public:
    explicit Hub(const test::TempHome &home) {
        const QString urlFile = home.path() + QStringLiteral("/hub.url");
        m_process.start(test::helperPath(QStringLiteral("velmora-model-hub")), {QStringLiteral("--url-file"), urlFile});
        test::waitUntil([&] { return QFile::exists(urlFile); });
        m_url = QString::fromUtf8(test::readFile(urlFile)).trimmed();
    }
    ~Hub() { test::endProcess(m_process); }
    const QString &url() const { return m_url; }

private:
    QProcess m_process;
    QString m_url;
};
} // namespace

// The stand-in hub serves exactly the files the stand-in manifests describe: both stores
// download, verify by size and SHA-256, and become ready, in folders of their own.
TEST(StandIns, ModelsDownloadFromTheStandInHubAndVerify) {
    test::TempHome home;
    Hub hub(home);
    ASSERT_FALSE(hub.url().isEmpty());
    Defaults defaults{QString()};
    defaults.setArguments({QStringLiteral("velmora"), QStringLiteral("-modelManifests"), QStringLiteral("standIn"),
                           QStringLiteral("-modelHubURL"), hub.url()});
    ASSERT_TRUE(StandIns::usesStandInModels(defaults));
    FakeSleepInhibitor inhibitor;
    LocalModels models(defaults, inhibitor, StandIns::modelSetup(defaults));
    EXPECT_TRUE(models.meetsMemoryRequirement());
    ASSERT_TRUE(test::waitUntil([&] { return !models.speech().hasOperation() && !models.text().hasOperation(); }));
    models.download();
    ASSERT_TRUE(test::waitUntil([&] { return models.isReady() || models.failureMessage(); }, std::chrono::seconds(120)))
        << models.speech().state().toString().toStdString() << " " << models.text().state().toString().toStdString();
    ASSERT_TRUE(models.isReady()) << models.failureMessage().value_or(QString()).toStdString();
    const auto text = models.text().readyFileURLs();
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(text->first().contains(QStringLiteral("/Models/StandIn/Text/velmora-standin-writing.bin")));
    // The downloaded speech model loads in the stand-in speech engine.
    const auto speech = models.speech().readyFileURLs();
    ASSERT_TRUE(speech.has_value());
    SpeechHelperClient helper(test::helperPath(SpeechHelperClient::kExecutableName));
    const QString model =
        speech->first().startsWith(QLatin1String("file:")) ? QUrl(speech->first()).toLocalFile() : speech->first();
    EXPECT_NO_THROW(test::run(helper.load(model, QUuid::createUuid())));
    EXPECT_TRUE(helper.isLoaded());
    test::run(helper.terminate());
    // The real manifests stay as they are.
    EXPECT_NE(LocalModels::Setup::standard(defaults).speechManifests.front().filename,
              StandIns::speechManifests(QUrl(hub.url())).front().filename);
}

TEST(StandIns, NamesEachStandInInUse) {
    Defaults defaults{QString()};
    AppPlatform platform = AppPlatform::fakes();
    EXPECT_EQ(StandIns::inUse(defaults, platform),
              (QStringList{QStringLiteral("language-model server"), QStringLiteral("speech engine")}));
    defaults.setArguments({QStringLiteral("velmora"), QStringLiteral("-modelManifests"), QStringLiteral("standIn"),
                           QStringLiteral("-llmServerPath"), QStringLiteral("/opt/llama/server")});
    platform.microphoneFile = QStringLiteral("/tmp/speech.wav");
    EXPECT_EQ(StandIns::inUse(defaults, platform),
              (QStringList{QStringLiteral("speech engine"), QStringLiteral("model hub and model files"),
                           QStringLiteral("microphone (sound file)")}));
}
