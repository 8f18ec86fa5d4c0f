#pragma once

// One key tap of dictation: the fn/Globe tap turns a bare tap of the key (Right Ctrl on a PC
// keyboard) into "toggle", or "blocked" while secure keyboard entry is on; the Escape tap turns
// an Escape press without modifiers into "cancel" and keeps that press and its release from the
// program in front. The tap works on a thread of its own and reports on its context's thread,
// in order, never waiting for it. Its owner (the dictation hotkeys) decides when a tap exists
// and what a report means.

#include "dictation/globetapstate.h"
#include "platform/keyeventtap.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace velmora {

class SecureInput;

class HotkeyEventTap : public KeyTapHandler {
public:
    enum class Kind { Globe, Escape };

    struct Event {
        enum class Type { Disabled, Toggle, Cancel, Blocked };
        Type type = Type::Toggle;
        // For Disabled: switched off because of user input, not for a time-out.
        bool byUser = false;
        bool operator==(const Event &) const = default;
    };

    // Starts a tap of the kind; none when the system refuses one. onEvent runs on context's
    // thread while context lives; secureInput is asked there, so it outlives context.
    static std::unique_ptr<HotkeyEventTap> create(Kind kind, KeyEventTaps &taps, SecureInput &secureInput,
                                                  QObject *context, std::function<void(Event)> onEvent);

    // A tap's logic without a running tap (create() starts one). Whether a bare fn tap is
    // "blocked" is asked on the context's thread when its report arrives, by a check begun after
    // the tap ended, so the tap's thread never waits on the display; Escape events carry what
    // their tap knew of it.
    HotkeyEventTap(Kind kind, SecureInput &secureInput, QObject *context, std::function<void(Event)> onEvent);
    // Stops the tap; nothing is reported afterwards.
    ~HotkeyEventTap() override;
    HotkeyEventTap(const HotkeyEventTap &) = delete;
    HotkeyEventTap &operator=(const HotkeyEventTap &) = delete;

    Kind kind() const { return m_kind; }
    // On the tap's thread, for every event; true swallows it.
    bool handleKeyTapEvent(const KeyTapEvent &event) override;

private:
    struct TapState {
        GlobeTapState globe;
        // An Escape press was reported and swallowed and its release has not come yet.
        bool consumingEscape = false;
    };

    // Shared by the tap's thread, which counts the taps, and the reports on the context's
    // thread, which ask secure input. One check serves every tap that ended before it began: a
    // burst of taps queued behind typing costs one round trip, not one each.
    struct SecureCheck {
        explicit SecureCheck(SecureInput &input) : input(input) {}
        // Context's thread: whether secure input was on after the tap numbered `tap` ended.
        bool enabledAfter(quint64 tap);
        SecureInput &input;
        std::atomic<quint64> taps = 0;
        // Context's thread only: how many taps had ended when the last check began, and its answer.
        quint64 covered = 0;
        bool enabled = false;
    };

    bool handleEscape(const KeyTapEvent &event);
    bool handleGlobe(const KeyTapEvent &event);
    void emitEvent(Event event);

    const Kind m_kind;
    const std::shared_ptr<SecureCheck> m_secureCheck;
    QObject *const m_context;
    const std::function<void(Event)> m_onEvent;
    std::mutex m_mutex;
    TapState m_state;
    std::unique_ptr<KeyEventTap> m_port;
};

} // namespace velmora
