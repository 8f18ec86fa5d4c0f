#pragma once

// Silences the sound output while a recording runs, so music or a call on the speakers does not
// end up in the transcript, and gives the sound back afterwards. It only ever touches an output
// it muted itself: an output already muted, or one without a mute control, is left alone, and
// the output muted is the one unmuted, even when the default output changed meanwhile. Which
// output it muted is also kept in the defaults until it is unmuted, so an output muted when
// Velmora was killed is unmuted at the next launch. Main thread only.

#include "speech/speechrecorder.h"

#include <QString>

#include <optional>

namespace velmora {

class AudioOutputControl;
class Defaults;

class SystemAudioMute : public SystemAudioMuting {
public:
    enum class MuteState { Muted, NotMuted, Indeterminate };

    // Unmutes an output that an earlier run of Velmora muted and never gave back.
    SystemAudioMute(AudioOutputControl &output, Defaults &defaults);

    // Mutes the default output when it is unmuted and can be muted; a second call while this
    // one is muted changes nothing.
    void muteOutput() override;
    // Unmutes the output this one muted, if any.
    void restoreOutput() override;

    // The output muted and not given back yet.
    const std::optional<QString> &mutedDevice() const { return m_mutedDevice; }
    MuteState isMuted(const QString &device) const;

private:
    // Unmutes the output an earlier run left muted; the note of it goes once that is done.
    void restoreLeftover();
    void remember(const std::optional<QString> &device);

    AudioOutputControl &m_output;
    Defaults &m_defaults;
    std::optional<QString> m_mutedDevice;
};

} // namespace velmora
