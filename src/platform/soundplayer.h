#pragma once

// Short sounds played from memory, one at a time: a new one replaces the one playing.

#include <QByteArray>
#include <QList>
#include <QObject>

#include <memory>
#include <optional>

class QAudioSink;
class QBuffer;

namespace velmora {

class SoundPlayer {
public:
    // The layout of a PCM WAV file.
    struct WavFormat {
        int sampleRate = 0;
        int channels = 0;
        int bitsPerSample = 0;
        qsizetype dataOffset = 0;
        qsizetype dataSize = 0;
        double seconds() const;
    };
    // None for anything but an uncompressed PCM WAV file of 8, 16 or 32 bits.
    static std::optional<WavFormat> readWav(const QByteArray &wav);

    virtual ~SoundPlayer() = default;
    // Starts a WAV file in place of what plays; its duration in seconds once it started, or 0
    // when it could not start (no output device, a file it cannot read).
    virtual double play(const QByteArray &wav) = 0;
    // Silences and drops what plays.
    virtual void stop() = 0;
};

// The desktop's default output through Qt Multimedia.
class QtSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT
public:
    explicit QtSoundPlayer(QObject *parent = nullptr);
    ~QtSoundPlayer() override;
    double play(const QByteArray &wav) override;
    void stop() override;

private:
    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<QBuffer> m_buffer;
};

// Keeps what it is asked to play; plays for the file's length, or for a fixed duration.
class FakeSoundPlayer : public SoundPlayer {
public:
    double play(const QByteArray &wav) override;
    void stop() override { ++stops; }

    QList<QByteArray> played;
    int stops = 0;
    // False plays a machine without an output device.
    bool available = true;
    std::optional<double> duration;
};

} // namespace velmora
