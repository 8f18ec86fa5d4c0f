#include "workspace/settingsattention.h"

#include "core/defaults.h"
#include "models/localmodels.h"
#include "platform/accessibilitytrust.h"
#include "platform/microphoneaccess.h"
#include "platform/settingspanes.h"
#include "platform/sleepinhibitor.h"
#include "speech/speechpermissions.h"
#include "support/testsupport.h"

#include <QCryptographicHash>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

// A speech store whose one file is on disk and verifies; a text store whose file is missing.
class SettingsAttentionTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QByteArray bytes("speech model");
        writeFile(home.dataHome() + "/Models/Speech/speech.bin", bytes);
        setup.speechManifests = {
            ModelManifest{QUrl("http://127.0.0.1:9/speech.bin"), "speech.bin", bytes.size(),
                          QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())}};
        setup.speechFolder = home.dataHome() + "/Models/Speech";
        setup.textManifests = {ModelManifest{QUrl("http://127.0.0.1:9/text.bin"), "text.bin", 10, QString(64, u'0')}};
        setup.textFolder = home.dataHome() + "/Models/Text";
        setup.spaceFolder = home.dataHome();
        setup.machineMemory = [] { return quint64(32) << 30; };
    }

    TempHome home;
    Defaults defaults{QString()};
    LocalModels::Setup setup;
    FakeMicrophoneAccess microphone;
    FakeAccessibilityTrust trust;
    FakeSettingsPanes panes;
    FakeSleepInhibitor sleep;
};

} // namespace

TEST_F(SettingsAttentionTest, CountsFailingStoresAndMissingGrants) {
    LocalModels models(defaults, sleep, setup);
    run(models.speech().operationEnded());
    ASSERT_EQ(models.speech().state(), ModelStore::State::Kind::Ready);
    ASSERT_EQ(models.text().state(), ModelStore::State::Kind::Unavailable);
    microphone.current = MicrophoneAccess::Status::Authorized;
    SpeechPermissions permissions(defaults, microphone, trust, panes);
    permissions.refresh();
    SettingsAttention attention(models, permissions);

    EXPECT_EQ(attention.count(SettingsCategory::Models), 1);
    EXPECT_EQ(attention.count(SettingsCategory::Permissions), 1); // Accessibility not trusted
    EXPECT_EQ(attention.count(SettingsCategory::General), 0);
    EXPECT_EQ(attention.total(), 2);

    QSignalSpy changed(&attention, &SettingsAttention::changed);
    trust.trusted = true;
    permissions.refresh();
    EXPECT_GE(changed.count(), 1);
    models.speech().setFailedForSpace();
    EXPECT_EQ(attention.count(SettingsCategory::Models), 2);
    EXPECT_EQ(attention.total(), 2);

    // Every microphone status but an authorised one counts.
    for (auto status : {MicrophoneAccess::Status::NotDetermined, MicrophoneAccess::Status::Restricted,
                        MicrophoneAccess::Status::Denied}) {
        microphone.current = status;
        permissions.refresh();
        EXPECT_EQ(attention.count(SettingsCategory::Permissions), 1);
    }
}
