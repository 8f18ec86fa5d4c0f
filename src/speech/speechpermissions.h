#pragma once

#include "platform/microphoneaccess.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace velmora {

class AccessibilityTrust;
class Defaults;
class SettingsPanes;

// The two grants speech needs: the microphone (every recording) and Accessibility trust
// (dictation), asked for, opened in the desktop's settings when asking is no longer possible,
// and polled every 2 s so a grant changed outside the program is noticed. Main thread only.
class SpeechPermissions : public QObject {
    Q_OBJECT
public:
    using MicrophoneStatus = MicrophoneAccess::Status;
    static constexpr const char *kMicrophonePane = "Privacy_Microphone";
    static constexpr const char *kAccessibilityPane = "Privacy_Accessibility";
    static constexpr int kPollIntervalMs = 2000;

    SpeechPermissions(Defaults &defaults, MicrophoneAccess &microphone, AccessibilityTrust &trust, SettingsPanes &panes,
                      QObject *parent = nullptr);

    MicrophoneStatus microphone() const { return m_microphone; }
    bool accessibility() const { return m_accessibility; }
    bool requestingMicrophone() const { return m_requestingMicrophone; }
    bool isMonitoring() const { return m_monitor != nullptr; }

    // Reads both grants again.
    void refresh();
    // Asks for the microphone when it was never asked, else opens the microphone pane. One
    // request at a time; completes when the user has answered.
    QCoro::Task<> requestMicrophone();
    // Shows the system prompt the first time ever, then opens the Accessibility pane instead.
    void requestAccessibility();
    // Opens the settings pane for an anchor; an anchor that cannot form an address does nothing.
    void openSettings(const QString &anchor);
    // Refreshes, tells onAccessibility the grant, and then does so again every 2 s. Only the
    // first call starts the poll.
    void startMonitoring(std::function<void(bool)> onAccessibility);

signals:
    void microphoneChanged();
    void accessibilityChanged();
    void requestingMicrophoneChanged();

private:
    void setRequestingMicrophone(bool on);
    void tick();

    MicrophoneStatus m_microphone = MicrophoneStatus::NotDetermined;
    bool m_accessibility = false;
    bool m_requestingMicrophone = false;
    std::unique_ptr<QTimer> m_monitor;
    std::function<void(bool)> m_onAccessibility;
    Defaults &m_defaults;
    MicrophoneAccess &m_microphoneAccess;
    AccessibilityTrust &m_trust;
    SettingsPanes &m_panes;
};

} // namespace velmora
