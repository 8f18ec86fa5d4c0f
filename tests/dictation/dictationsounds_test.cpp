// The start and stop cues: their bytes, and how long a start waits for its cue.

#include "dictation/dictationsounds.h"

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "platform/soundplayer.h"
#include "support/testsupport.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

qint16 sampleAt(const QByteArray &wav, int index) {
    return qFromLittleEndian<qint16>(wav.constData() + 44 + 2 * index);
}

class DictationCue : public ::testing::TestWithParam<bool> {};

TEST_P(DictationCue, IsA24kHzMonoWavOfATwelfthOfASecondWithinItsPeak) {
    const QByteArray wav = DictationSounds::cue(GetParam());
    ASSERT_EQ(wav.size(), 5804);
    EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
    EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 4), 5796u);
    EXPECT_EQ(wav.mid(8, 8), QByteArray("WAVEfmt "));
    EXPECT_EQ(wav.mid(36, 4), QByteArray("data"));
    const std::optional<SoundPlayer::WavFormat> format = SoundPlayer::readWav(wav);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->sampleRate, 24000);
    EXPECT_EQ(format->channels, 1);
    EXPECT_EQ(format->bitsPerSample, 16);
    EXPECT_EQ(format->dataSize, 5760);
    EXPECT_DOUBLE_EQ(format->seconds(), 0.12);

    EXPECT_EQ(sampleAt(wav, 0), 0);
    int peak = 0;
    for (int i = 0; i < 2880; ++i)
        peak = std::max(peak, std::abs(int(sampleAt(wav, i))));
    EXPECT_LE(peak, 5000);
    // The envelope is full in the middle: the tone is heard, not a murmur.
    EXPECT_GT(peak, 4900);
}

INSTANTIATE_TEST_SUITE_P(RisingAndFalling, DictationCue, ::testing::Bool());

TEST(DictationCue, TheTwoTonesAreMirroredInPitch) {
    const QByteArray rising = DictationSounds::cue(true);
    const QByteArray falling = DictationSounds::cue(false);
    EXPECT_NE(rising, falling);
    auto crossings = [](const QByteArray &wav, int from, int to) {
        int n = 0;
        for (int i = from + 1; i < to; ++i)
            n += (sampleAt(wav, i - 1) < 0) != (sampleAt(wav, i) < 0);
        return n;
    };
    // The rising tone crosses zero more often at its end than at its start; the falling one the
    // other way round.
    EXPECT_GT(crossings(rising, 2160, 2880), crossings(rising, 0, 720));
    EXPECT_LT(crossings(falling, 2160, 2880), crossings(falling, 0, 720));
}

TEST(DictationSounds, AStartWaitsForItsCueAndTheTailButNotWithoutADevice) {
    FakeSoundPlayer player;
    DictationSounds sounds(player, 0.06);

    const auto begun = ContinuousClock::now();
    test::run(sounds.playStart({}));
    EXPECT_GE(ContinuousClock::now() - begun, 180ms);
    EXPECT_EQ(player.played, QList<QByteArray>{DictationSounds::cue(true)});
    EXPECT_EQ(player.stops, 0);

    // The stop cue replaces whatever plays, without waiting.
    EXPECT_DOUBLE_EQ(sounds.play(false), 0.12);
    EXPECT_EQ(player.played.last(), DictationSounds::cue(false));

    FakeSoundPlayer silent;
    silent.available = false;
    DictationSounds none(silent, 10.0);
    test::run(none.playStart({}), 5s);
    EXPECT_DOUBLE_EQ(none.play(false), 0.0);
}

TEST(DictationSounds, ACancelledStartEndsAtOnceAndSilencesTheCue) {
    FakeSoundPlayer player;
    player.duration = 60.0;
    DictationSounds sounds(player);
    CancellationSource source;
    auto start = sounds.playStart(source.token());
    source.cancel();
    test::run(std::move(start), 5s);
    EXPECT_EQ(player.stops, 1);
}

TEST(DictationSounds, AStartCueOutlivedByItsSoundsEndsWithoutThem) {
    // The recorder cancels its start when it goes, and the sounds may go in the same teardown:
    // the cue's wait then ends without touching them.
    FakeSoundPlayer player;
    player.duration = 60.0;
    auto sounds = std::make_unique<DictationSounds>(player);
    CancellationSource source;
    auto start = sounds->playStart(source.token());
    sounds.reset();
    source.cancel();
    test::run(std::move(start), 5s);
}

} // namespace
