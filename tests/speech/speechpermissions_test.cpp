#include "core/defaults.h"
#include "platform/accessibilitytrust.h"
#include "platform/settingspanes.h"
#include "speech/speechpermissions.h"
#include "support/testsupport.h"

#include <QSignalSpy>

using namespace velmora;
using Status = MicrophoneAccess::Status;

namespace {

class SpeechPermissionsTest : public ::testing::Test {
protected:
    Defaults defaults{QString{}};
    FakeMicrophoneAccess microphone;
    FakeAccessibilityTrust trust;
    FakeSettingsPanes panes;
    SpeechPermissions permissions{defaults, microphone, trust, panes};
};

TEST_F(SpeechPermissionsTest, RefreshPublishesOnlyRealChanges) {
    QSignalSpy mic(&permissions, &SpeechPermissions::microphoneChanged);
    QSignalSpy ax(&permissions, &SpeechPermissions::accessibilityChanged);
    EXPECT_EQ(permissions.microphone(), Status::NotDetermined);
    EXPECT_FALSE(permissions.accessibility());
    permissions.refresh();
    EXPECT_EQ(mic.count() + ax.count(), 0);

    microphone.current = Status::Authorized;
    trust.trusted = true;
    permissions.refresh();
    permissions.refresh();
    EXPECT_EQ(permissions.microphone(), Status::Authorized);
    EXPECT_TRUE(permissions.accessibility());
    EXPECT_EQ(mic.count(), 1);
    EXPECT_EQ(ax.count(), 1);
    EXPECT_EQ(trust.prompts, 0);
}

// The system prompt is asked for once ever; later requests open the settings instead.
TEST_F(SpeechPermissionsTest, AccessibilityPromptsOnceThenOpensSettings) {
    permissions.requestAccessibility();
    EXPECT_EQ(trust.prompts, 1);
    EXPECT_TRUE(defaults.boolValue(QStringLiteral("accessibilityPrompted")));
    EXPECT_TRUE(panes.opened.isEmpty());

    trust.trusted = true;
    permissions.requestAccessibility();
    EXPECT_EQ(trust.prompts, 1);
    EXPECT_EQ(panes.opened, QStringList{QStringLiteral("Privacy_Accessibility")});
    EXPECT_TRUE(permissions.accessibility());
}

struct MicrophoneCase {
    const char *name;
    Status status;
};
void PrintTo(const MicrophoneCase &c, std::ostream *os) {
    *os << c.name;
}

class SpeechPermissionsDecidedTest : public SpeechPermissionsTest,
                                     public ::testing::WithParamInterface<MicrophoneCase> {};

TEST_P(SpeechPermissionsDecidedTest, DecidedMicrophoneOpensSettingsWithoutAsking) {
    microphone.current = GetParam().status;
    test::run(permissions.requestMicrophone());
    EXPECT_EQ(microphone.requests, 0);
    EXPECT_EQ(panes.opened, QStringList{QStringLiteral("Privacy_Microphone")});
    EXPECT_EQ(permissions.microphone(), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Statuses, SpeechPermissionsDecidedTest,
                         ::testing::Values(MicrophoneCase{"Denied", Status::Denied},
                                           MicrophoneCase{"Restricted", Status::Restricted},
                                           MicrophoneCase{"Authorized", Status::Authorized}),
                         [](const auto &info) { return std::string(info.param.name); });

// An undecided microphone is asked for once, even by overlapping requests; the flag is down
// again after the answer, whatever it was.
TEST_F(SpeechPermissionsTest, UndecidedMicrophoneAsksOnce) {
    for (bool granted : {false, true}) {
        microphone.current = Status::NotDetermined;
        microphone.requests = 0;
        bool firstDone = false;
        auto first = [](SpeechPermissions *p, bool *done) -> QCoro::Task<> {
            co_await p->requestMicrophone();
            *done = true;
        }(&permissions, &firstDone);
        EXPECT_TRUE(permissions.requestingMicrophone());
        test::run(permissions.requestMicrophone());
        EXPECT_EQ(microphone.requests, 1);
        EXPECT_FALSE(firstDone);

        microphone.answer(granted);
        ASSERT_TRUE(test::waitUntil([&] { return firstDone; }));
        EXPECT_FALSE(permissions.requestingMicrophone());
        EXPECT_EQ(permissions.microphone(), granted ? Status::Authorized : Status::Denied);
        EXPECT_TRUE(panes.opened.isEmpty());
    }
}

TEST_F(SpeechPermissionsTest, AnchorThatFormsNoAddressDoesNothing) {
    permissions.openSettings(QStringLiteral("Privacy Microphone"));
    permissions.openSettings(QString());
    EXPECT_TRUE(panes.opened.isEmpty());
    permissions.openSettings(QStringLiteral("Privacy_Microphone"));
    EXPECT_EQ(panes.opened, QStringList{QStringLiteral("Privacy_Microphone")});
}

// A grant given while the program runs is noticed by the poll; only the first monitor runs.
TEST_F(SpeechPermissionsTest, PollNoticesAGrantAndKeepsTheFirstCallback) {
    std::vector<bool> seen;
    permissions.startMonitoring([&](bool trusted) { seen.push_back(trusted); });
    EXPECT_EQ(seen, std::vector<bool>{false});
    EXPECT_TRUE(permissions.isMonitoring());

    int secondCalls = 0;
    const int checksBefore = trust.checks;
    permissions.startMonitoring([&](bool) { ++secondCalls; });
    EXPECT_EQ(trust.checks, checksBefore) << "a second start refreshed";

    trust.trusted = true;
    ASSERT_TRUE(test::waitUntil([&] { return seen.size() >= 2; }, std::chrono::seconds(5)));
    EXPECT_TRUE(seen.back());
    EXPECT_TRUE(permissions.accessibility());
    ASSERT_TRUE(test::waitUntil([&] { return seen.size() >= 3; }, std::chrono::seconds(5)));
    EXPECT_TRUE(seen.back()) << "the callback is told on every tick";
    EXPECT_EQ(secondCalls, 0);
}

} // namespace
