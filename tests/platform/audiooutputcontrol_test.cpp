#include "platform/audiooutputcontrol.h"
#include "support/testsupport.h"

#include "pulseserver.h"

#include <QProcess>

using namespace velmora;
using namespace velmora::test;
using MuteState = AudioOutputControl::MuteState;

namespace {

class PulseOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PulseServer::isInstalled())
            GTEST_SKIP() << "PulseAudio is not installed";
        ASSERT_FALSE(server.address().isEmpty());
    }
    // What the sound server's own tool says of the sink's mute.
    QString pactlMute() {
        QProcess pactl;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PULSE_SERVER"), server.address());
        pactl.setProcessEnvironment(environment);
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("get-sink-mute"), PulseServer::sinkName()});
        pactl.waitForFinished(10000);
        return QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
    }

    PulseServer server;
};

TEST_F(PulseOutputTest, MutesAndUnmutesTheDefaultOutput) {
    PulseAudioOutputControl output(server.address());
    ASSERT_EQ(output.defaultOutput(), PulseServer::sinkName());
    EXPECT_EQ(output.muteState(PulseServer::sinkName()), MuteState::Unmuted);
    EXPECT_TRUE(output.setMuted(PulseServer::sinkName(), true));
    EXPECT_EQ(pactlMute(), QStringLiteral("Mute: yes"));
    EXPECT_EQ(output.muteState(PulseServer::sinkName()), MuteState::Muted);
    EXPECT_TRUE(output.setMuted(PulseServer::sinkName(), false));
    EXPECT_EQ(pactlMute(), QStringLiteral("Mute: no"));
}

TEST_F(PulseOutputTest, AnUnknownDeviceIsNeitherMutedNorUnmuted) {
    PulseAudioOutputControl output(server.address());
    EXPECT_EQ(output.muteState(QStringLiteral("no-such-sink")), MuteState::Unknown);
    EXPECT_FALSE(output.setMuted(QStringLiteral("no-such-sink"), true));
}

TEST_F(PulseOutputTest, AServerThatWentAwayAnswersNothing) {
    PulseAudioOutputControl output(server.address());
    ASSERT_TRUE(output.defaultOutput());
    server.stop();
    EXPECT_EQ(output.defaultOutput(), std::nullopt);
    EXPECT_EQ(output.muteState(PulseServer::sinkName()), MuteState::Unknown);
    EXPECT_FALSE(output.setMuted(PulseServer::sinkName(), false));
}

TEST(PulseOutput, WithoutASoundServerNothingIsMuted) {
    PulseAudioOutputControl output(QStringLiteral("unix:/nonexistent/velmora-test"));
    EXPECT_EQ(output.defaultOutput(), std::nullopt);
    EXPECT_EQ(output.muteState(QStringLiteral("anything")), MuteState::Unknown);
    EXPECT_FALSE(output.setMuted(QStringLiteral("anything"), true));
}

} // namespace
