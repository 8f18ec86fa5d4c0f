#pragma once

// The mute switch of the desktop's sound outputs, by device name.

#include <QString>
#include <QStringList>

#include <chrono>
#include <map>
#include <optional>

namespace velmora {

class AudioOutputControl {
public:
    // Unknown: no such device, no mute control, or no answer from the sound server.
    enum class MuteState { Muted, Unmuted, Unknown };

    virtual ~AudioOutputControl() = default;
    // The default output's name; none when the sound server does not answer or has none.
    virtual std::optional<QString> defaultOutput() = 0;
    virtual MuteState muteState(const QString &device) = 0;
    // Whether the sound server took the new state.
    virtual bool setMuted(const QString &device, bool muted) = 0;
};

// PulseAudio, or PipeWire's PulseAudio server, through libpulse: one short connection per call,
// never starting a server, each call given up after the timeout.
class PulseAudioOutputControl : public AudioOutputControl {
public:
    // The server of PULSE_SERVER (or the user's default) when none is given.
    explicit PulseAudioOutputControl(QString server = {},
                                     std::chrono::milliseconds timeout = std::chrono::milliseconds(1500));
    std::optional<QString> defaultOutput() override;
    MuteState muteState(const QString &device) override;
    bool setMuted(const QString &device, bool muted) override;

private:
    QString m_server;
    std::chrono::milliseconds m_timeout;
};

// Outputs held in memory; the test plays the user and the sound server.
class FakeAudioOutputControl : public AudioOutputControl {
public:
    struct Device {
        bool muted = false;
        bool hasMute = true;
    };

    std::optional<QString> defaultOutput() override;
    MuteState muteState(const QString &device) override;
    bool setMuted(const QString &device, bool muted) override;

    std::map<QString, Device> devices;
    QString defaultDevice;
    // False plays a sound server that is gone.
    bool reachable = true;
    // Writes the server refuses.
    bool refusesWrites = false;
    // Every write, as "device=1" or "device=0".
    QStringList writes;
};

} // namespace velmora
