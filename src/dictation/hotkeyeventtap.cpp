#include "dictation/hotkeyeventtap.h"

#include "platform/keychord.h"
#include "platform/secureinput.h"
#include "platform/virtualkeys.h"

#include <QMetaObject>

namespace velmora {

namespace {
constexpr quint64 kAnyModifier = KeyChord::kShiftFlag | KeyChord::kControlFlag | KeyChord::kOptionFlag |
                                 KeyChord::kCommandFlag | KeyChord::kFunctionFlag;
}

std::unique_ptr<HotkeyEventTap> HotkeyEventTap::create(Kind kind, KeyEventTaps &taps, SecureInput &secureInput,
                                                       QObject *context, std::function<void(Event)> onEvent) {
    auto tap = std::make_unique<HotkeyEventTap>(kind, secureInput, context, std::move(onEvent));
    tap->m_port = taps.create(kind == Kind::Globe ? KeyEventTaps::Kind::Modifiers : KeyEventTaps::Kind::Escape, *tap);
    if (!tap->m_port)
        return nullptr;
    return tap;
}

HotkeyEventTap::HotkeyEventTap(Kind kind, SecureInput &secureInput, QObject *context,
                               std::function<void(Event)> onEvent)
    : m_kind(kind), m_secureCheck(std::make_shared<SecureCheck>(secureInput)), m_context(context),
      m_onEvent(std::move(onEvent)) {}

HotkeyEventTap::~HotkeyEventTap() {
    // The thread ends here, before the state it reads goes.
    m_port.reset();
}

bool HotkeyEventTap::handleKeyTapEvent(const KeyTapEvent &event) {
    if (event.type == KeyTapEvent::Type::DisabledByTimeout || event.type == KeyTapEvent::Type::DisabledByUserInput) {
        {
            std::lock_guard lock(m_mutex);
            m_state = {};
        }
        emitEvent({Event::Type::Disabled, event.type == KeyTapEvent::Type::DisabledByUserInput});
        return false;
    }
    return m_kind == Kind::Escape ? handleEscape(event) : handleGlobe(event);
}

bool HotkeyEventTap::handleEscape(const KeyTapEvent &event) {
    if (event.type != KeyTapEvent::Type::KeyDown && event.type != KeyTapEvent::Type::KeyUp)
        return false;
    if (event.keyCode != VirtualKeys::kEscape)
        return false;
    if (event.secureInput) {
        // The release passes on to the secure field, but the press it ends is over all the
        // same: a consumption left standing would swallow the next stray Escape silently.
        if (event.type == KeyTapEvent::Type::KeyUp) {
            std::lock_guard lock(m_mutex);
            m_state.consumingEscape = false;
        }
        return false;
    }
    if (event.type == KeyTapEvent::Type::KeyDown && (event.flags & kAnyModifier) == 0) {
        bool report = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_state.consumingEscape) {
                report = !event.autorepeat;
            } else {
                if (event.autorepeat)
                    return false;
                m_state.consumingEscape = true;
                report = true;
            }
        }
        if (report)
            emitEvent({Event::Type::Cancel});
        return true;
    }
    std::lock_guard lock(m_mutex);
    if (!m_state.consumingEscape)
        return false;
    if (event.type == KeyTapEvent::Type::KeyUp)
        m_state.consumingEscape = false;
    return true;
}

bool HotkeyEventTap::handleGlobe(const KeyTapEvent &event) {
    if (event.type != KeyTapEvent::Type::FlagsChanged)
        return false;
    bool tapped = false;
    {
        std::lock_guard lock(m_mutex);
        tapped = m_state.globe.flagsChanged(event.flags, event.keyDowns);
    }
    if (tapped) {
        const quint64 tap = ++m_secureCheck->taps;
        QMetaObject::invokeMethod(
            m_context,
            [onEvent = m_onEvent, check = m_secureCheck, tap] {
                onEvent({check->enabledAfter(tap) ? Event::Type::Blocked : Event::Type::Toggle});
            },
            Qt::QueuedConnection);
    }
    // The key keeps whatever else it does.
    return false;
}

bool HotkeyEventTap::SecureCheck::enabledAfter(quint64 tap) {
    if (tap > covered) {
        // Read before the check begins: a tap counted later may have ended after it.
        covered = taps.load();
        enabled = input.isEnabled();
    }
    return enabled;
}

void HotkeyEventTap::emitEvent(Event event) {
    QMetaObject::invokeMethod(
        m_context, [onEvent = m_onEvent, event] { onEvent(event); }, Qt::QueuedConnection);
}

} // namespace velmora
