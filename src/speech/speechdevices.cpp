#include "speech/speechdevices.h"

#include <QCoreApplication>
#include <QPointer>

namespace velmora {

SpeechDevices::SpeechDevices(SpeechCaptureSource &source, QObject *parent) : QObject(parent), m_source(source) {
    connect(&source, &SpeechCaptureSource::deviceConnected, this, &SpeechDevices::deviceNotification);
    connect(&source, &SpeechCaptureSource::deviceDisconnected, this, &SpeechDevices::deviceNotification);
    refresh();
}

void SpeechDevices::refresh() {
    std::vector<SpeechDevice> devices = m_source.devices();
    if (devices == m_devices)
        return;
    m_devices = std::move(devices);
    emit devicesChanged();
}

void SpeechDevices::deviceNotification() {
    // Each notification refreshes once, later on the main thread, unless this object is gone.
    QPointer<SpeechDevices> self(this);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self] {
            if (self)
                self->refresh();
        },
        Qt::QueuedConnection);
}

} // namespace velmora
