#include "platform/soundplayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QtEndian>

namespace velmora {

double SoundPlayer::WavFormat::seconds() const {
    const qsizetype frameBytes = qsizetype(channels) * (bitsPerSample / 8);
    if (sampleRate <= 0 || frameBytes <= 0)
        return 0;
    return double(dataSize / frameBytes) / sampleRate;
}

std::optional<SoundPlayer::WavFormat> SoundPlayer::readWav(const QByteArray &wav) {
    if (wav.size() < 12 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE")
        return std::nullopt;
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
    WavFormat format;
    bool haveFormat = false;
    qsizetype at = 12;
    while (at + 8 <= wav.size()) {
        const QByteArray id = wav.mid(at, 4);
        const qsizetype size = u32(at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > wav.size() || u16(body) != 1)
                return std::nullopt;
            format.channels = u16(body + 2);
            format.sampleRate = int(u32(body + 4));
            format.bitsPerSample = u16(body + 14);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat || format.channels < 1 || format.sampleRate < 1 ||
                (format.bitsPerSample != 8 && format.bitsPerSample != 16 && format.bitsPerSample != 32))
                return std::nullopt;
            format.dataOffset = body;
            format.dataSize = std::min<qsizetype>(size, wav.size() - body);
            return format;
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

QtSoundPlayer::QtSoundPlayer(QObject *parent) : QObject(parent) {}

QtSoundPlayer::~QtSoundPlayer() {
    stop();
}

double QtSoundPlayer::play(const QByteArray &wav) {
    stop();
    const std::optional<WavFormat> wavFormat = readWav(wav);
    if (!wavFormat)
        return 0;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return 0;
    QAudioFormat format;
    format.setSampleRate(wavFormat->sampleRate);
    format.setChannelCount(wavFormat->channels);
    format.setSampleFormat(wavFormat->bitsPerSample == 8    ? QAudioFormat::UInt8
                           : wavFormat->bitsPerSample == 16 ? QAudioFormat::Int16
                                                            : QAudioFormat::Int32);
    m_buffer = std::make_unique<QBuffer>();
    m_buffer->setData(wav.mid(wavFormat->dataOffset, wavFormat->dataSize));
    m_buffer->open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(device, format);
    // Once played out, the sound server's stream is let go.
    connect(m_sink.get(), &QAudioSink::stateChanged, this, [sink = m_sink.get()](QAudio::State state) {
        if (state == QAudio::IdleState)
            sink->stop();
    });
    m_sink->start(m_buffer.get());
    if (m_sink->error() != QAudio::NoError || m_sink->state() == QAudio::StoppedState) {
        stop();
        return 0;
    }
    return wavFormat->seconds();
}

void QtSoundPlayer::stop() {
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_buffer.reset();
}

double FakeSoundPlayer::play(const QByteArray &wav) {
    played.append(wav);
    if (!available)
        return 0;
    if (duration)
        return *duration;
    const std::optional<WavFormat> format = readWav(wav);
    return format ? format->seconds() : 0;
}

} // namespace velmora
