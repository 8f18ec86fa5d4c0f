#include "platform/soundplayer.h"
#include "support/testsupport.h"

#include "pulsemonitor.h"
#include "pulseserver.h"

#include <QCoreApplication>
#include <QProcess>
#include <QtEndian>

#include <cmath>
#include <numbers>

using namespace velmora;
using namespace velmora::test;

namespace {

// A PCM WAV file: the header, any extra chunks, then the data chunk.
QByteArray wav(int rate, int channels, int bits, const QByteArray &samples, const QByteArray &extraChunk = {},
               quint16 format = 1) {
    const auto u32 = [](quint32 v) {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    const auto u16 = [](quint16 v) {
        QByteArray b(2, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    QByteArray body = "WAVEfmt " + u32(16) + u16(format) + u16(quint16(channels)) + u32(quint32(rate)) +
                      u32(quint32(rate * channels * bits / 8)) + u16(quint16(channels * bits / 8)) +
                      u16(quint16(bits)) + extraChunk + "data" + u32(quint32(samples.size())) + samples;
    return "RIFF" + u32(quint32(body.size())) + body;
}

// 0.3 s of 440 Hz at 24 kHz, loud enough to hear on the monitor.
QByteArray tone() {
    QByteArray samples;
    for (int i = 0; i < 7200; ++i) {
        const qint16 s = qint16(8000 * std::sin(2 * std::numbers::pi * 440 * i / 24000));
        samples.append(char(s & 0xFF)).append(char((s >> 8) & 0xFF));
    }
    return wav(24000, 1, 16, samples);
}

TEST(SoundPlayer, ReadsTheLayoutOfAPcmWavFile) {
    const QByteArray second(48000, '\0');
    const std::optional<SoundPlayer::WavFormat> mono = SoundPlayer::readWav(wav(24000, 1, 16, second));
    ASSERT_TRUE(mono);
    EXPECT_EQ(mono->sampleRate, 24000);
    EXPECT_EQ(mono->dataOffset, 44);
    EXPECT_DOUBLE_EQ(mono->seconds(), 1.0);

    // Another chunk before the data, and a data chunk longer than the file.
    QByteArray odd = wav(8000, 2, 8, QByteArray(800, '\x80'), QByteArray("LIST") + QByteArray("\x03\0\0\0abc\0", 8));
    const std::optional<SoundPlayer::WavFormat> stereo = SoundPlayer::readWav(odd);
    ASSERT_TRUE(stereo);
    EXPECT_DOUBLE_EQ(stereo->seconds(), 0.05);
    EXPECT_DOUBLE_EQ(SoundPlayer::readWav(odd.left(odd.size() - 400))->seconds(), 0.025);

    EXPECT_FALSE(SoundPlayer::readWav("RIFF\x10\0\0\0WAVEjunk"));
    EXPECT_FALSE(SoundPlayer::readWav(wav(24000, 1, 16, second, {}, 3)));
    EXPECT_FALSE(SoundPlayer::readWav(wav(24000, 1, 24, second)));
    EXPECT_FALSE(SoundPlayer::readWav(wav(24000, 1, 16, second).left(40)));
    EXPECT_FALSE(SoundPlayer::readWav(QByteArray()));
}

// Qt picks its sound server once per process: each case plays in a child process of its own,
// this same program running the case below.
TEST(QtSoundPlayerChild, PlaysTheTone) {
    if (qEnvironmentVariableIsEmpty("VELMORA_SOUND_CHILD"))
        GTEST_SKIP() << "run by the cases below";
    QtSoundPlayer player;
    const double seconds = player.play(tone());
    std::printf("duration=%.3f\n", seconds);
    std::fflush(stdout);
    // Keeps playing until the parent has heard enough.
    if (seconds > 0)
        spin(std::chrono::seconds(3));
}

QString playInChild(const QString &server) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_SOUND_CHILD"), QStringLiteral("1"));
    environment.insert(QStringLiteral("PULSE_SERVER"), server);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=QtSoundPlayerChild.*")});
    if (!child.waitForFinished(60000))
        return {};
    for (const QByteArray &line : child.readAllStandardOutput().split('\n'))
        if (line.startsWith("duration="))
            return QString::fromLatin1(line);
    return {};
}

TEST(QtSoundPlayer, PlaysOnTheDefaultOutput) {
    if (!PulseServer::isInstalled())
        GTEST_SKIP() << "PulseAudio is not installed";
    PulseServer server;
    ASSERT_FALSE(server.address().isEmpty());
    PulseMonitor monitor(server.address(), PulseServer::sinkName());
    ASSERT_TRUE(monitor.isListening());
    EXPECT_EQ(playInChild(server.address()), QStringLiteral("duration=0.300"));
    EXPECT_GT(monitor.peak(), 4000);
}

TEST(QtSoundPlayer, WithoutASoundServerNothingPlays) {
    EXPECT_EQ(playInChild(QStringLiteral("unix:/nonexistent/velmora-test")), QStringLiteral("duration=0.000"));
}

} // namespace
