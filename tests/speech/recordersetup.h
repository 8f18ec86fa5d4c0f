#pragma once

// What the whole-run tests and benchmarks give a SpeechRecorder: a microphone that speaks, and
// the recorder's settings as a user leaves them.

#include "speech/fakespeechcapturesource.h"
#include "speech/speechrecorder.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace velmora::test {

// One microphone speaking in bursts (a tone, then as long a silence) at the recording's own
// rate, 16 kHz mono; returns one burst and its silence, which the source repeats.
inline QByteArray speakInBursts(FakeSpeechCaptureSource &source) {
    const SpeechAudioFormat mono16k{16000, 1, SpeechSampleFormat::Float32, true};
    QByteArray signal = FakeSpeechCaptureSource::tone(mono16k, 220.0, 0.3, 8000);
    signal += FakeSpeechCaptureSource::constant(mono16k, 0.0, 8000);
    source.setDevices({{QStringLiteral("mic"), QStringLiteral("Microphone")}}, QStringLiteral("mic"));
    source.setSignal(mono16k, signal);
    return signal;
}

// The recorder over these parts with cues and muting on, English, and the speech model kept
// loaded.
inline SpeechRecorder::Dependencies
recorderDependencies(SpeechCapturing &capture, SpeechHelping &helper, DictationSoundPlaying &sounds,
                     SystemAudioMuting &muter,
                     std::function<std::optional<QString>(bool requiresAccessibility)> readyModel) {
    SpeechRecorder::Dependencies deps;
    deps.capture = &capture;
    deps.helper = &helper;
    deps.sounds = &sounds;
    deps.muter = &muter;
    deps.readyModel = std::move(readyModel);
    deps.soundsEnabled = [] { return true; };
    deps.muteEnabled = [] { return true; };
    deps.snapshot = [] { return SpeechPreferenceSnapshot{QStringLiteral("en"), std::nullopt}; };
    deps.unloadSeconds = [] { return std::nullopt; };
    return deps;
}

} // namespace velmora::test
