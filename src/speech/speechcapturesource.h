#pragma once

#include "speech/speechaudiobuffer.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThread;

namespace velmora {

// An audio input the user can pick: its unique ID (stored in "speechDevice") and its name.
struct SpeechDevice {
    QString id;
    QString name;
    bool operator==(const SpeechDevice &) const = default;
};

// One running device: delivers buffers in the device's own format until stopped. Released
// by its capture worker.
class SpeechCaptureStream {
public:
    virtual ~SpeechCaptureStream() = default;
    virtual const SpeechDevice &device() const = 0;
    // Stops delivery; no buffer arrives after it returns.
    virtual void stop() = 0;
};

// The audio input hardware: the device list, the default input, opening a device, and
// connect/disconnect notifications. devices(), defaultDevice() and open() may be called from
// any thread; the signals are emitted on the source's own thread.
class SpeechCaptureSource : public QObject {
    Q_OBJECT
public:
    struct Handlers {
        // Every delivered buffer, on the delivery thread.
        std::function<void(SpeechAudioBuffer)> buffer;
        // The running device failed (any thread).
        std::function<void()> failed;
    };

    using QObject::QObject;

    // The input devices, in discovery order.
    virtual std::vector<SpeechDevice> devices() const = 0;
    // The system's default input, if any.
    virtual std::optional<SpeechDevice> defaultDevice() const = 0;
    // Starts the device, delivering on deliveryThread; null when it cannot be started (it is
    // gone, or cannot give audio in any format it offers).
    virtual std::unique_ptr<SpeechCaptureStream> open(const SpeechDevice &device, QThread *deliveryThread,
                                                      Handlers handlers) = 0;

signals:
    void deviceConnected(const QString &id);
    void deviceDisconnected(const QString &id);
};

// The real inputs, through Qt Multimedia (QMediaDevices and QAudioSource). Built on the main
// thread; follows the device list as it changes.
class QtSpeechCaptureSource : public SpeechCaptureSource {
    Q_OBJECT
public:
    explicit QtSpeechCaptureSource(QObject *parent = nullptr);
    ~QtSpeechCaptureSource() override;

    std::vector<SpeechDevice> devices() const override;
    std::optional<SpeechDevice> defaultDevice() const override;
    std::unique_ptr<SpeechCaptureStream> open(const SpeechDevice &device, QThread *deliveryThread,
                                              Handlers handlers) override;

private:
    struct State;
    void reload();
    std::unique_ptr<State> m_state;
};

} // namespace velmora
