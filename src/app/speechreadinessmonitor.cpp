#include "app/speechreadinessmonitor.h"

#include "app/lifetimeregistry.h"
#include "dictation/dictationcoordinator.h"
#include "dictation/dictationhotkeys.h"
#include "speech/speechpermissions.h"

namespace velmora {

SpeechReadinessMonitor::SpeechReadinessMonitor(SpeechPermissions &permissions, DictationHotkeys &hotkeys,
                                               DictationCoordinator &dictation, LifetimeRegistry &registry,
                                               std::function<void(bool)> openSettings, QObject *parent)
    : QObject(parent), m_permissions(&permissions), m_hotkeys(&hotkeys), m_dictation(&dictation), m_registry(registry),
      m_openSettings(std::move(openSettings)) {}

void SpeechReadinessMonitor::start() {
    if (!m_permissions || !m_dictation)
        return;
    m_registry.dictation = m_dictation;
    disconnect(m_needsSettings);
    m_needsSettings =
        connect(m_dictation, &DictationCoordinator::needsSettings, this, &SpeechReadinessMonitor::openSetup);
    if (m_permissions->isMonitoring())
        return;
    // Refreshes and applies now, then every 2 s for the rest of the run.
    QPointer<SpeechReadinessMonitor> self(this);
    m_permissions->startMonitoring([self](bool accessibility) {
        if (self)
            self->apply(accessibility);
    });
}

void SpeechReadinessMonitor::refreshOnActivation() {
    if (!m_permissions)
        return;
    m_permissions->refresh();
    if (m_hotkeys)
        m_hotkeys->setAccessibilityGranted(m_permissions->accessibility());
}

void SpeechReadinessMonitor::apply(bool accessibility) {
    if (m_hotkeys)
        m_hotkeys->setAccessibilityGranted(accessibility);
    if (!m_permissions || !m_dictation)
        return;
    if (m_permissions->microphone() == SpeechPermissions::MicrophoneStatus::Authorized &&
        m_permissions->accessibility())
        return;
    if (m_dictation->state() != DictationCoordinator::State::Idle)
        m_dictation->cancel();
}

void SpeechReadinessMonitor::openSetup() {
    const bool granted = m_permissions &&
                         m_permissions->microphone() == SpeechPermissions::MicrophoneStatus::Authorized &&
                         m_permissions->accessibility();
    // With both grants the missing piece is the speech model.
    if (m_openSettings)
        m_openSettings(granted);
}

} // namespace velmora
