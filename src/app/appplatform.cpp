#include "app/appplatform.h"

#include "app/appsettings.h"
#include "app/soundfile.h"
#include "core/defaults.h"
#include "core/log.h"
#include "speech/fakespeechcapturesource.h"

#include <QFileInfo>

namespace velmora {

namespace {
constexpr int kSoundFileRate = 16000;
}

AppPlatform AppPlatform::system(const Defaults &defaults) {
    AppPlatform p;
    p.microphone = std::make_unique<LinuxMicrophoneAccess>();
    p.accessibility = std::make_unique<X11AccessibilityTrust>();
    p.settingsPanes = std::make_unique<DesktopSettingsPanes>();
    p.memoryPressure = std::make_unique<PsiMemoryPressure>();
    p.sessionEvents = std::make_unique<LogindSessionEvents>();
    p.sleepInhibitor = std::make_unique<LogindSleepInhibitor>();
    p.shortcutRegistry = std::make_unique<X11GlobalShortcutRegistry>();
    p.keyTaps = std::make_unique<X11KeyEventTaps>();
    p.secureInput = std::make_unique<X11SecureInput>();
    p.floatingWindows = std::make_unique<X11FloatingWindows>();
    p.soundPlayer = std::make_unique<QtSoundPlayer>();
    p.audioOutput = std::make_unique<PulseAudioOutputControl>();
    p.clipboard = std::make_unique<QtClipboard>();
    p.keyboardState = std::make_unique<X11KeyboardState>();
    p.keySender = std::make_unique<X11KeySender>();
    p.urlOpener = std::make_unique<DesktopUrlOpener>();

    const QString file = defaults.get(kMicrophoneFile);
    if (!file.isEmpty()) {
        auto samples = decodeSoundFile(file, kSoundFileRate);
        if (samples) {
            auto source = std::make_unique<FakeSpeechCaptureSource>();
            const SpeechDevice device{QStringLiteral("soundFile"), QFileInfo(file).fileName()};
            source->setDevices({device}, device.id);
            source->setSignal(SpeechAudioFormat{kSoundFileRate, 1, SpeechSampleFormat::Float32, true},
                              std::move(*samples));
            source->setLiveInterval(std::chrono::milliseconds(20));
            p.captureSource = std::move(source);
            p.microphoneFile = file;
        } else {
            Log::app().error("Sound file cannot be played as the microphone: %{public}s", {file});
        }
    }
    if (!p.captureSource)
        p.captureSource = std::make_unique<QtSpeechCaptureSource>();
    return p;
}

AppPlatform AppPlatform::fakes() {
    AppPlatform p;
    auto microphone = std::make_unique<FakeMicrophoneAccess>();
    microphone->current = MicrophoneAccess::Status::Authorized;
    p.microphone = std::move(microphone);
    auto trust = std::make_unique<FakeAccessibilityTrust>();
    trust->trusted = true;
    p.accessibility = std::move(trust);
    p.settingsPanes = std::make_unique<FakeSettingsPanes>();
    p.captureSource = std::make_unique<FakeSpeechCaptureSource>();
    p.memoryPressure = std::make_unique<FakeMemoryPressure>();
    p.sessionEvents = std::make_unique<FakeSessionEvents>();
    p.sleepInhibitor = std::make_unique<FakeSleepInhibitor>();
    p.shortcutRegistry = std::make_unique<FakeGlobalShortcutRegistry>();
    p.keyTaps = std::make_unique<FakeKeyEventTaps>();
    p.secureInput = std::make_unique<FakeSecureInput>();
    p.floatingWindows = std::make_unique<FakeFloatingWindows>();
    auto player = std::make_unique<FakeSoundPlayer>();
    player->available = false;
    p.soundPlayer = std::move(player);
    p.audioOutput = std::make_unique<FakeAudioOutputControl>();
    p.clipboard = std::make_unique<FakeClipboard>();
    p.keyboardState = std::make_unique<FakeKeyboardState>();
    p.keySender = std::make_unique<FakeKeySender>();
    p.urlOpener = std::make_unique<FakeUrlOpener>();
    return p;
}

} // namespace velmora
