#include "dictation/dictationhotkeys.h"

#include "core/continuousclock.h"
#include "core/error.h"
#include "core/log.h"
#include "dictation/speechshortcuts.h"
#include "platform/accessibilitytrust.h"
#include "platform/globalshortcutregistry.h"
#include "platform/keyeventtap.h"
#include "platform/secureinput.h"

#include <QPointer>

namespace velmora {

const QString DictationHotkeys::toggleName = QStringLiteral("dictation.toggle");
const QString DictationHotkeys::cancelName = QStringLiteral("dictation.cancel");

DictationHotkeys::DictationHotkeys(Dependencies dependencies, QObject *parent) : QObject(parent), m_deps(dependencies) {
    m_deps.registry->disable({toggleName, cancelName});
    connect(m_deps.registry, &GlobalShortcutRegistry::released, this, &DictationHotkeys::handleReleased);
    connect(m_deps.registry, &GlobalShortcutRegistry::statusChanged, this, &DictationHotkeys::shortcutStatusChanged);
    connect(m_deps.shortcuts, &SpeechShortcuts::changed, this, &DictationHotkeys::refresh);
    refresh();
}

DictationHotkeys::~DictationHotkeys() {
    removeTaps();
}

void DictationHotkeys::setOperationActive(bool active) {
    const bool changed = m_operationActive != active;
    m_operationActive = active;
    refresh();
    if (changed)
        emit operationActiveChanged(active);
}

void DictationHotkeys::setAccessibilityGranted(bool granted) {
    if (granted != m_accessibilityGranted) {
        m_accessibilityGranted = granted;
        if (!granted)
            m_tapSuspended = false;
        refresh();
        return;
    }
    // With the 2 s poll this retries a tap that could not be made.
    if (granted && !m_tapSuspended && !m_deps.shortcuts->isEditing() && !m_nativeTapAvailable)
        refresh();
}

void DictationHotkeys::retryTaps() {
    if (!m_deps.trust->isTrusted(false))
        return;
    m_tapSuspended = false;
    m_accessibilityGranted = true;
    refresh();
}

void DictationHotkeys::refresh() {
    SpeechShortcuts &shortcuts = *m_deps.shortcuts;
    GlobalShortcutRegistry &registry = *m_deps.registry;
    registry.disable({toggleName, cancelName});
    registry.setChord(toggleName, shortcuts.toggleUsesGlobe() ? std::nullopt : shortcuts.toggleChord());
    registry.setChord(cancelName, shortcuts.cancelUsesEscape() ? std::nullopt : shortcuts.cancelChord());

    const bool active = m_accessibilityGranted && !shortcuts.isEditing();
    bool failed = false;
    bool keepEscape = false;
    if (active) {
        registry.enable({toggleName});
        if (m_operationActive)
            registry.enable({cancelName});
        if (m_tapSuspended) {
            m_globeTap = {};
        } else {
            if (shortcuts.toggleUsesGlobe()) {
                if (!m_globeTap.tap)
                    m_globeTap = makeTap(HotkeyEventTap::Kind::Globe);
                failed = !m_globeTap.tap;
            } else {
                m_globeTap = {};
            }
            if (shortcuts.cancelUsesEscape() && m_operationActive) {
                cancel(m_escapeRemoval);
                if (!m_escapeTap.tap)
                    m_escapeTap = makeTap(HotkeyEventTap::Kind::Escape);
                failed = failed || !m_escapeTap.tap;
                keepEscape = true;
            }
        }
    } else {
        m_globeTap = {};
    }
    if (!keepEscape && m_escapeTap.tap && !m_escapeRemoval) {
        m_escapeRemoval = std::make_shared<CancellationSource>();
        removeEscapeTapLater(m_escapeTap.id, m_escapeRemoval);
    }
    if (active && m_tapSuspended)
        failed = shortcuts.toggleUsesGlobe() || shortcuts.cancelUsesEscape();
    setNativeTapAvailable(!failed);
}

DictationHotkeys::Tap DictationHotkeys::makeTap(HotkeyEventTap::Kind kind) {
    const quint64 id = ++m_nextTapId;
    std::unique_ptr<HotkeyEventTap> tap = HotkeyEventTap::create(
        kind, *m_deps.taps, *m_deps.secureInput, this, [this, id](HotkeyEventTap::Event event) { handle(id, event); });
    bool &failedBefore = kind == HotkeyEventTap::Kind::Globe ? m_globeFailed : m_escapeFailed;
    if (!tap && !failedBefore)
        Log::dictation().notice("Hotkey tap unavailable: %{public}s",
                                {kind == HotkeyEventTap::Kind::Globe ? "fn key" : "Escape"});
    failedBefore = !tap;
    if (!tap)
        return {};
    return {std::move(tap), id};
}

void DictationHotkeys::handle(quint64 tapId, HotkeyEventTap::Event event) {
    // A report still on its way from a tap that has since been removed.
    if (tapId != m_globeTap.id && tapId != m_escapeTap.id)
        return;
    if (m_deps.shortcuts->isEditing())
        return;
    switch (event.type) {
    case HotkeyEventTap::Event::Type::Toggle: emit toggleRequested(); break;
    case HotkeyEventTap::Event::Type::Cancel:
        if (m_operationActive)
            emit cancelRequested();
        break;
    case HotkeyEventTap::Event::Type::Blocked: emit blocked(); break;
    case HotkeyEventTap::Event::Type::Disabled: tapDisabled(event.byUser); break;
    }
}

void DictationHotkeys::handleReleased(const QString &name) {
    if (name == toggleName)
        handleToggleChord();
    else if (name == cancelName)
        handleCancelChord();
}

void DictationHotkeys::handleToggleChord() {
    if (m_deps.shortcuts->isEditing())
        return;
    if (m_deps.secureInput->isEnabled())
        emit blocked();
    else
        emit toggleRequested();
}

void DictationHotkeys::handleCancelChord() {
    if (m_operationActive && !m_deps.shortcuts->isEditing())
        emit cancelRequested();
}

void DictationHotkeys::tapDisabled(bool byUser) {
    if (!m_globeTap.tap && !m_escapeTap.tap)
        return;
    removeTaps();
    if (m_deps.trust->isTrusted(false)) {
        if (byUser) {
            m_tapSuspended = true;
            Log::dictation().notice(
                "Hotkey tap disabled by the system; suspended until Accessibility is granted again");
            // At once, not at some later refresh: the key has stopped working now.
            refresh();
        } else {
            Log::dictation().notice("Hotkey tap timed out; recreating");
            m_tapRetry = std::make_shared<CancellationSource>();
            retryTapsLater(m_tapRetry);
        }
        return;
    }
    Log::dictation().notice("Hotkey tap disabled: Accessibility revoked");
    if (m_accessibilityGranted) {
        m_accessibilityGranted = false;
        m_tapSuspended = false;
        refresh();
    }
}

void DictationHotkeys::removeTaps() {
    cancel(m_tapRetry);
    cancel(m_escapeRemoval);
    m_globeTap = {};
    m_escapeTap = {};
}

void DictationHotkeys::setNativeTapAvailable(bool available) {
    if (m_nativeTapAvailable == available)
        return;
    m_nativeTapAvailable = available;
    emit nativeTapAvailableChanged(available);
}

void DictationHotkeys::shortcutStatusChanged(const QString &name) {
    if (name != toggleName && name != cancelName)
        return;
    const std::optional<KeyChord> chord = m_deps.registry->chord(name);
    if (!chord)
        return;
    switch (m_deps.registry->status(name)) {
    case GlobalShortcutRegistry::Status::Taken:
        Log::dictation().notice("Shortcut %{public}s (%{public}s) is already used by another program",
                                {name, m_deps.registry->displayText(*chord)});
        break;
    case GlobalShortcutRegistry::Status::Unsupported:
        Log::dictation().notice("Shortcut %{public}s (%{public}s) cannot be used here",
                                {name, m_deps.registry->displayText(*chord)});
        break;
    default: break;
    }
}

namespace {

// Waits out the delay; false when the wait was cancelled or the hotkeys went meanwhile.
QCoro::Task<bool> waitedOut(QPointer<DictationHotkeys> self, std::chrono::nanoseconds delay,
                            std::shared_ptr<CancellationSource> source) {
    auto waiting = sleepFor(delay, source->token());
    try {
        co_await std::move(waiting);
    } catch (const CancelledError &) {
        co_return false;
    }
    co_return self && !source->isCancelled();
}

} // namespace

QCoro::Task<> DictationHotkeys::removeEscapeTapLater(quint64 tapId, std::shared_ptr<CancellationSource> source) {
    auto waiting = waitedOut(QPointer<DictationHotkeys>(this), m_deps.escapeLinger, source);
    if (!co_await std::move(waiting))
        co_return;
    if (m_escapeTap.tap && m_escapeTap.id == tapId)
        m_escapeTap = {};
    if (m_escapeRemoval == source)
        m_escapeRemoval.reset();
}

QCoro::Task<> DictationHotkeys::retryTapsLater(std::shared_ptr<CancellationSource> source) {
    auto waiting = waitedOut(QPointer<DictationHotkeys>(this), m_deps.tapRetryDelay, source);
    if (!co_await std::move(waiting) || !m_deps.trust->isTrusted(false))
        co_return;
    if (m_tapRetry == source)
        m_tapRetry.reset();
    refresh();
}

void DictationHotkeys::cancel(std::shared_ptr<CancellationSource> &pending) {
    // Dropped first: the cancelled task finishes at once, inside cancel().
    if (std::shared_ptr<CancellationSource> source = std::exchange(pending, nullptr))
        source->cancel();
}

} // namespace velmora
