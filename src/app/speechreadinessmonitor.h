#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

namespace velmora {

class DictationCoordinator;
class DictationHotkeys;
class SpeechPermissions;
struct LifetimeRegistry;

// Keeps the dictation keys and a running dictation in step with the microphone and
// Accessibility grants: from the first time the main window shows, at every activation of the
// program and every 2 s. It also registers the coordinator for the sleep/lock interrupt and
// the quit, and opens the setup when a start is refused for want of a grant or the model.
// Main thread only.
class SpeechReadinessMonitor : public QObject {
    Q_OBJECT
public:
    // openSettings(models): shows Settings at the models pane (true) or the permissions pane.
    SpeechReadinessMonitor(SpeechPermissions &permissions, DictationHotkeys &hotkeys, DictationCoordinator &dictation,
                           LifetimeRegistry &registry, std::function<void(bool models)> openSettings,
                           QObject *parent = nullptr);

    // The main window's content came on screen.
    void start();
    // The program became active: a grant changed elsewhere is passed on at once.
    void refreshOnActivation();
    // Passes the grant on and cancels a running dictation that lost a grant it needs.
    void apply(bool accessibility);
    // What a start refused for want of readiness opens.
    void openSetup();

private:
    QPointer<SpeechPermissions> m_permissions;
    QPointer<DictationHotkeys> m_hotkeys;
    QPointer<DictationCoordinator> m_dictation;
    LifetimeRegistry &m_registry;
    std::function<void(bool)> m_openSettings;
    QMetaObject::Connection m_needsSettings;
};

} // namespace velmora
