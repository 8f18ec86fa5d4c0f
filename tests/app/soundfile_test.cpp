#include "app/soundfile.h"
#include "support/testsupport.h"

#include <QtEndian>

#include <cmath>

using namespace velmora;

namespace {
// A 16-bit PCM WAV file of the given channels and rate holding value on every sample.
QByteArray wav(int rate, int channels, qint64 frames, qint16 value) {
    QByteArray data;
    for (qint64 i = 0; i < frames * channels; ++i) {
        const qint16 le = qToLittleEndian(value);
        data.append(reinterpret_cast<const char *>(&le), 2);
    }
    auto u32 = [](quint32 v) {
        v = qToLittleEndian(v);
        return QByteArray(reinterpret_cast<const char *>(&v), 4);
    };
    auto u16 = [](quint16 v) {
        v = qToLittleEndian(v);
        return QByteArray(reinterpret_cast<const char *>(&v), 2);
    };
    QByteArray out = "RIFF" + u32(quint32(36 + data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(quint16(channels)) +
                     u32(quint32(rate)) + u32(quint32(rate * channels * 2)) + u16(quint16(channels * 2)) + u16(16) +
                     "data" + u32(quint32(data.size())) + data;
    return out;
}
} // namespace

// A stereo 48 kHz file becomes 16 kHz mono float of the same length and level.
TEST(SoundFile, DecodesToMonoAtTheAskedRate) {
    test::TempHome home;
    const QString path = home.path() + QStringLiteral("/speech.wav");
    test::writeFile(path, wav(48000, 2, 48000, 16384));
    const auto samples = decodeSoundFile(path, 16000);
    ASSERT_TRUE(samples.has_value());
    const qint64 count = samples->size() / qint64(sizeof(float));
    EXPECT_NEAR(double(count), 16000.0, 64.0);
    const float *f = reinterpret_cast<const float *>(samples->constData());
    EXPECT_NEAR(f[count / 2], 0.5f, 0.01f);
}

TEST(SoundFile, UnreadableFilesGiveNothing) {
    test::TempHome home;
    const QString garbage = home.path() + QStringLiteral("/noise.wav");
    test::writeFile(garbage, QByteArray(4096, 'x'));
    EXPECT_FALSE(decodeSoundFile(garbage, 16000).has_value());
    EXPECT_FALSE(decodeSoundFile(home.path() + QStringLiteral("/missing.wav"), 16000).has_value());
    const QString empty = home.path() + QStringLiteral("/empty.wav");
    test::writeFile(empty, wav(16000, 1, 0, 0));
    EXPECT_FALSE(decodeSoundFile(empty, 16000).has_value());
}
