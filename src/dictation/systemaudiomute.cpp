#include "dictation/systemaudiomute.h"

#include "core/defaults.h"
#include "core/log.h"
#include "dictation/dictationsettings.h"
#include "platform/audiooutputcontrol.h"

namespace velmora {

SystemAudioMute::SystemAudioMute(AudioOutputControl &output, Defaults &defaults)
    : m_output(output), m_defaults(defaults) {
    restoreLeftover();
}

SystemAudioMute::MuteState SystemAudioMute::isMuted(const QString &device) const {
    switch (m_output.muteState(device)) {
    case AudioOutputControl::MuteState::Muted: return MuteState::Muted;
    case AudioOutputControl::MuteState::Unmuted: return MuteState::NotMuted;
    case AudioOutputControl::MuteState::Unknown: return MuteState::Indeterminate;
    }
    return MuteState::Indeterminate;
}

void SystemAudioMute::muteOutput() {
    if (m_mutedDevice)
        return;
    // A leftover whose sound server was away at launch gets another chance first.
    restoreLeftover();
    const std::optional<QString> device = m_output.defaultOutput();
    if (!device || device->isEmpty())
        return;
    if (isMuted(*device) != MuteState::NotMuted)
        return;
    // Noted before the mute, so a kill right after it still finds the note.
    remember(device);
    if (!m_output.setMuted(*device, true)) {
        remember(std::nullopt);
        return;
    }
    m_mutedDevice = device;
}

void SystemAudioMute::restoreOutput() {
    if (!m_mutedDevice)
        return;
    const QString device = *std::exchange(m_mutedDevice, std::nullopt);
    if (m_output.setMuted(device, false)) {
        remember(std::nullopt);
        return;
    }
    // The sound server may have gone away with the output muted (and bring it back muted):
    // the note stays for the next recording or launch.
    Log::dictation().notice("Could not unmute %{public}s; trying again later", {device});
}

void SystemAudioMute::restoreLeftover() {
    const QString device = m_defaults.get(kMutedOutputDevice);
    if (device.isEmpty() || (m_mutedDevice && *m_mutedDevice == device))
        return;
    switch (isMuted(device)) {
    case MuteState::Muted:
        if (!m_output.setMuted(device, false))
            return;
        Log::dictation().notice("Unmuted %{public}s, left muted by an earlier recording", {device});
        break;
    case MuteState::NotMuted: break;
    // No sound server, or the output is not plugged in: maybe next time.
    case MuteState::Indeterminate: return;
    }
    remember(std::nullopt);
}

void SystemAudioMute::remember(const std::optional<QString> &device) {
    if (device)
        m_defaults.set(kMutedOutputDevice, *device);
    else
        m_defaults.reset(kMutedOutputDevice);
    // Written now, not on the gathering timer: a kill right after the mute must find it.
    m_defaults.flush();
}

} // namespace velmora
