#pragma once

#include "platform/accessibilitytrust.h"
#include "platform/audiooutputcontrol.h"
#include "platform/clipboard.h"
#include "platform/floatingwindows.h"
#include "platform/globalshortcutregistry.h"
#include "platform/keyboardstate.h"
#include "platform/keyeventtap.h"
#include "platform/keysender.h"
#include "platform/memorypressure.h"
#include "platform/microphoneaccess.h"
#include "platform/secureinput.h"
#include "platform/sessionevents.h"
#include "platform/settingspanes.h"
#include "platform/sleepinhibitor.h"
#include "platform/soundplayer.h"
#include "platform/urlopener.h"
#include "speech/speechcapturesource.h"

#include <QString>

#include <memory>

namespace velmora {

class Defaults;

// The system as the program's services reach it: one object per platform layer. The program
// uses the real ones; tests put fakes in.
struct AppPlatform {
    std::unique_ptr<MicrophoneAccess> microphone;
    std::unique_ptr<AccessibilityTrust> accessibility;
    std::unique_ptr<SettingsPanes> settingsPanes;
    std::unique_ptr<SpeechCaptureSource> captureSource;
    std::unique_ptr<MemoryPressureSource> memoryPressure;
    std::unique_ptr<SessionEvents> sessionEvents;
    std::unique_ptr<SleepInhibitor> sleepInhibitor;
    // Dictation's keys, cues, mute and paste.
    std::unique_ptr<GlobalShortcutRegistry> shortcutRegistry;
    std::unique_ptr<KeyEventTaps> keyTaps;
    std::unique_ptr<SecureInput> secureInput;
    std::unique_ptr<SoundPlayer> soundPlayer;
    std::unique_ptr<AudioOutputControl> audioOutput;
    std::unique_ptr<Clipboard> clipboard;
    std::unique_ptr<KeyboardState> keyboardState;
    std::unique_ptr<KeySender> keySender;
    std::unique_ptr<UrlOpener> urlOpener;
    // The dictation pill's window above every other.
    std::unique_ptr<FloatingWindows> floatingWindows;
    // The sound file played as the microphone, when one was given at launch.
    QString microphoneFile;

    // The real layers; a "microphoneFile" launch setting replaces the microphone.
    static AppPlatform system(const Defaults &defaults);
    // Fakes of every layer: a microphone that is granted but silent, trust given, nothing
    // raised, no sound, keys the test presses.
    static AppPlatform fakes();
};

} // namespace velmora
