#pragma once

#include "speech/speechcapturesource.h"

#include <QStringList>

#include <chrono>
#include <memory>
#include <mutex>

namespace velmora {

// Stands in for the audio hardware on machines without a microphone and in tests: a device
// list that can change, devices that refuse to start, and a signal (generated or recorded
// samples, looped) delivered on demand or in real time.
class FakeSpeechCaptureSource : public SpeechCaptureSource {
    Q_OBJECT
public:
    explicit FakeSpeechCaptureSource(QObject *parent = nullptr);
    ~FakeSpeechCaptureSource() override;

    std::vector<SpeechDevice> devices() const override;
    std::optional<SpeechDevice> defaultDevice() const override;
    std::unique_ptr<SpeechCaptureStream> open(const SpeechDevice &device, QThread *deliveryThread,
                                              Handlers handlers) override;

    // The device list as it stands, without notifications.
    void setDevices(std::vector<SpeechDevice> devices, std::optional<QString> defaultID);
    // Devices whose start fails.
    void setFailingDevices(QStringList ids);
    // Plugging in and pulling out, with their notifications.
    void connectDevice(const SpeechDevice &device);
    void disconnectDevice(const QString &id);

    // The samples each stream delivers, looped: whole frames in format.
    void setSignal(SpeechAudioFormat format, QByteArray samples);
    // Reads a recording of raw samples in format from a file; false when it cannot be read.
    bool setSignalFromFile(const QString &path, SpeechAudioFormat format);
    // A sine wave of the given frequency and peak amplitude in format (any sample format and
    // layout), the same on every channel.
    static QByteArray tone(const SpeechAudioFormat &format, double frequency, double amplitude, qint64 frames);
    // A constant value on every sample.
    static QByteArray constant(const SpeechAudioFormat &format, double value, qint64 frames);
    // Channel c holds values[c] on every frame (0 past the end of values).
    static QByteArray channelConstants(const SpeechAudioFormat &format, const std::vector<double> &values,
                                       qint64 frames);

    // Delivers frames of the signal to the running stream in buffers of perBuffer frames and
    // returns once they are handed over; false when no stream runs.
    bool deliver(qint64 frames, qint64 perBuffer = 480);
    // Delivers one buffer as given (any format, even a broken one).
    bool deliverBuffer(const SpeechAudioBuffer &buffer);
    // Makes the running device fail.
    bool failRunningDevice();
    // With a non-zero interval, streams deliver the signal in real time on their own.
    void setLiveInterval(std::chrono::milliseconds interval);

    // Every device start tried, in order.
    QStringList openAttempts() const;
    // The ID of the running device, or empty.
    QString runningDevice() const;
    // While held, starting a device waits for releaseOpens().
    void holdOpens();
    void releaseOpens();

private:
    class Stream;
    friend class Stream;
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace velmora
