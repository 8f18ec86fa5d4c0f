#pragma once

// The two short cues of a recording, a rising tone when it starts and a falling one when it
// stops. Each is made on demand as a small WAV file in memory (24 kHz, 16-bit mono, 0.12 s) and
// played on the default output; without an output device there is no cue and no wait. Main
// thread only.

#include "core/cancellationtoken.h"
#include "speech/speechrecorder.h"

#include <QByteArray>
#include <QObject>

namespace velmora {

class SoundPlayer;

class DictationSounds : public QObject, public DictationSoundPlaying {
    Q_OBJECT
public:
    // acousticTail: the extra wait after the start cue, so the end of it is not recorded.
    explicit DictationSounds(SoundPlayer &player, double acousticTail = 0.06, QObject *parent = nullptr);

    // The WAV bytes of a cue: 5,804 bytes, a 44-byte header and 2,880 samples.
    static QByteArray cue(bool rising);

    // Plays the rising cue and returns once it has been heard and the tail has passed; a
    // cancel ends the wait at once and silences the cue.
    QCoro::Task<> playStart(CancellationToken token) override;
    // Starts a cue in place of the one playing; its length in seconds, or 0 when it could not
    // play.
    double play(bool rising) override;
    void stop() override;

private:
    SoundPlayer &m_player;
    double m_acousticTail;
};

} // namespace velmora
