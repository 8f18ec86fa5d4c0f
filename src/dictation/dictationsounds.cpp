#include "dictation/dictationsounds.h"

#include "core/continuousclock.h"
#include "platform/soundplayer.h"

#include <QPointer>
#include <QtEndian>

#include <chrono>
#include <cmath>
#include <numbers>

namespace velmora {

namespace {

constexpr int kSampleRate = 24000;
constexpr int kSamples = 2880;
constexpr int kDataSize = kSamples * 2;

void appendU32(QByteArray &out, quint32 value) {
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendU16(QByteArray &out, quint16 value) {
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

} // namespace

DictationSounds::DictationSounds(SoundPlayer &player, double acousticTail, QObject *parent)
    : QObject(parent), m_player(player), m_acousticTail(acousticTail) {}

QByteArray DictationSounds::cue(bool rising) {
    QByteArray wav;
    wav.reserve(44 + kDataSize);
    wav.append("RIFF", 4);
    appendU32(wav, kDataSize + 36);
    wav.append("WAVEfmt ", 8);
    appendU32(wav, 16);
    appendU16(wav, 1);
    appendU16(wav, 1);
    appendU32(wav, kSampleRate);
    appendU32(wav, kSampleRate * 2);
    appendU16(wav, 2);
    appendU16(wav, 16);
    wav.append("data", 4);
    appendU32(wav, kDataSize);

    double phase = 0;
    for (int i = 0; i < kSamples; ++i) {
        const double t = double(i) / kSamples;
        const double frequency = rising ? 580 + 300 * t : 880 - 300 * t;
        phase += 2 * std::numbers::pi * frequency / kSampleRate;
        const double envelope = std::pow(std::sin(std::numbers::pi * t), 2);
        // Truncated toward zero, as a conversion to an integer does.
        appendU16(wav, quint16(qint16(envelope * std::sin(phase) * 5000)));
    }
    return wav;
}

QCoro::Task<> DictationSounds::playStart(CancellationToken token) {
    const double duration = play(true);
    if (duration <= 0)
        co_return;
    const QPointer<DictationSounds> self(this);
    auto waiting = sleepFor(std::chrono::nanoseconds(std::llround((duration + m_acousticTail) * 1e9)), token);
    try {
        co_await std::move(waiting);
    } catch (const CancelledError &) {
    }
    if (self && token.isCancelled())
        m_player.stop();
}

double DictationSounds::play(bool rising) {
    return m_player.play(cue(rising));
}

void DictationSounds::stop() {
    m_player.stop();
}

} // namespace velmora
