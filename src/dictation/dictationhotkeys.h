#pragma once

// The keys that start, stop and cancel dictation from any program. They come from two places:
// the named shortcuts "dictation.toggle" and "dictation.cancel" in the global shortcut registry
// (when the user picked a chord), and the key taps (a bare fn tap, which is Right Ctrl on a PC
// keyboard, and Escape during a run). Nothing is installed before Accessibility is granted or
// while Settings records a shortcut; the Escape tap lives from the start of a run until shortly
// after its end. Main thread only.

#include "core/cancellationtoken.h"
#include "dictation/hotkeyeventtap.h"

#include <QCoro/QCoroTask>

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

namespace velmora {

class AccessibilityTrust;
class GlobalShortcutRegistry;
class KeyEventTaps;
class SecureInput;
class SpeechShortcuts;

class DictationHotkeys : public QObject {
    Q_OBJECT
public:
    static const QString toggleName;
    static const QString cancelName;

    struct Dependencies {
        SpeechShortcuts *shortcuts = nullptr;
        GlobalShortcutRegistry *registry = nullptr;
        KeyEventTaps *taps = nullptr;
        SecureInput *secureInput = nullptr;
        // Asked when the system switched a tap off.
        AccessibilityTrust *trust = nullptr;
        // How long the Escape tap outlives a run, and the wait before a tap switched off for a
        // time-out is made again.
        std::chrono::nanoseconds escapeLinger = std::chrono::milliseconds(500);
        std::chrono::nanoseconds tapRetryDelay = std::chrono::seconds(1);
    };

    explicit DictationHotkeys(Dependencies dependencies, QObject *parent = nullptr);
    ~DictationHotkeys() override;

    // False while a key tap that the shortcuts call for could not be made, or taps are
    // suspended while one is wanted (Settings then offers Retry).
    bool nativeTapAvailable() const { return m_nativeTapAvailable; }
    bool isOperationActive() const { return m_operationActive; }
    bool accessibilityGranted() const { return m_accessibilityGranted; }
    // The system switched a tap off because of user input; no taps are made until
    // Accessibility is granted again or the user retries.
    bool tapSuspended() const { return m_tapSuspended; }
    bool hasGlobeTap() const { return bool(m_globeTap.tap); }
    bool hasEscapeTap() const { return bool(m_escapeTap.tap); }

    // Whether a dictation run is active; every call applies the state again.
    void setOperationActive(bool active);
    // The Accessibility state as last seen (when the main window shows, at every activation
    // and every 2 s).
    void setAccessibilityGranted(bool granted);
    // Settings' Retry: makes the taps again when the process is trusted.
    void retryTaps();
    // Applies the shortcut preferences and the state to the registry and the taps.
    void refresh();

signals:
    // The start/stop key.
    void toggleRequested();
    // The cancel key during a run.
    void cancelRequested();
    // The start/stop key while secure keyboard entry is on.
    void blocked();
    void operationActiveChanged(bool active);
    void nativeTapAvailableChanged(bool available);

private:
    struct Tap {
        std::unique_ptr<HotkeyEventTap> tap;
        quint64 id = 0;
    };

    Tap makeTap(HotkeyEventTap::Kind kind);
    void handle(quint64 tapId, HotkeyEventTap::Event event);
    void handleReleased(const QString &name);
    void handleToggleChord();
    void handleCancelChord();
    void tapDisabled(bool byUser);
    void removeTaps();
    void setNativeTapAvailable(bool available);
    void shortcutStatusChanged(const QString &name);
    QCoro::Task<> removeEscapeTapLater(quint64 tapId, std::shared_ptr<CancellationSource> source);
    QCoro::Task<> retryTapsLater(std::shared_ptr<CancellationSource> source);
    static void cancel(std::shared_ptr<CancellationSource> &pending);

    Dependencies m_deps;
    bool m_nativeTapAvailable = true;
    bool m_operationActive = false;
    bool m_accessibilityGranted = false;
    Tap m_globeTap;
    Tap m_escapeTap;
    std::shared_ptr<CancellationSource> m_escapeRemoval;
    bool m_tapSuspended = false;
    std::shared_ptr<CancellationSource> m_tapRetry;
    quint64 m_nextTapId = 0;
    // A tap of the kind failed to be made at the last attempt (logged once until it works).
    bool m_globeFailed = false;
    bool m_escapeFailed = false;
};

} // namespace velmora
