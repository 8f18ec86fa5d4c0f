#pragma once

#include "speech/speechcapturesource.h"

#include <QObject>

#include <vector>

namespace velmora {

// The audio inputs the user can pick as the speech input, in discovery order, following
// devices as they are plugged in and pulled out. Main thread only.
class SpeechDevices : public QObject {
    Q_OBJECT
public:
    // Subscribes to the source's connect and disconnect notifications, then refreshes.
    explicit SpeechDevices(SpeechCaptureSource &source, QObject *parent = nullptr);

    const std::vector<SpeechDevice> &devices() const { return m_devices; }

    // Reads the list again; devicesChanged() only when it differs.
    void refresh();

signals:
    void devicesChanged();

private:
    void deviceNotification();

    std::vector<SpeechDevice> m_devices;
    SpeechCaptureSource &m_source;
};

} // namespace velmora
