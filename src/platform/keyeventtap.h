#pragma once

// Taps on the keyboard of the whole desktop, for the two keys that no shortcut can express: a
// bare tap of the fn key (Right Ctrl on a PC keyboard) and Escape during a dictation. A tap
// runs on a thread of its own and hands every event it sees to its handler there, as a key
// down, key up or a change of the held modifiers.

#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

namespace velmora {

struct KeyTapEvent {
    enum class Type { KeyDown, KeyUp, FlagsChanged, DisabledByTimeout, DisabledByUserInput };
    Type type = Type::KeyDown;
    // The virtual key (virtualkeys.h); -1 for a key outside the table.
    int keyCode = -1;
    // The modifiers held once the event took effect, as KeyChord's flag bits; Right Ctrl is fn.
    quint64 flags = 0;
    bool autorepeat = false;
    // Secure keyboard entry was on when the tap saw the event, as far as the tap can tell.
    bool secureInput = false;
    // How many keys other than modifiers went down anywhere before this event (wrapping).
    quint32 keyDowns = 0;
};

class KeyTapHandler {
public:
    virtual ~KeyTapHandler() = default;
    // Called on the tap's thread, and must return at once; true asks to swallow the event.
    virtual bool handleKeyTapEvent(const KeyTapEvent &event) = 0;
};

// A running tap; destroying it ends its thread after the event in hand. Its handler is never
// called once the destructor has returned.
class KeyEventTap {
public:
    virtual ~KeyEventTap() = default;
};

class KeyEventTaps {
public:
    // Modifiers: flag changes only, nothing swallowed. Escape: key downs and ups; an Escape
    // press without modifiers is taken from the program in front for as long as the tap exists.
    enum class Kind { Modifiers, Escape };

    virtual ~KeyEventTaps() = default;
    // Starts a tap; none when the system refuses one.
    virtual std::unique_ptr<KeyEventTap> create(Kind kind, KeyTapHandler &handler) = 0;
    // Whether the fn key does something of its own on this desktop (so a tap also does that);
    // none when nobody can tell.
    virtual std::optional<bool> fnKeyHasAction() = 0;
};

// Taps on an X11 display, each on a connection of its own. The modifiers tap reads XInput 2 raw
// key events, which reach it whoever holds the keyboard and hold nothing up; raw events carry
// no modifier state, so the tap keeps the set of held keys from the keymap at its start on.
// The Escape tap grabs Escape without modifiers (with the Caps Lock and Num Lock variants) on
// the root window: such a press, and every key event until Escape is released, comes to the tap
// instead of the program in front, whatever the handler answers. While another program holds
// the keyboard (a password prompt) the grab cannot act, so Escape then reaches that program and
// the tap sees nothing.
class X11KeyEventTaps : public KeyEventTaps {
public:
    // DISPLAY when the name is empty.
    explicit X11KeyEventTaps(QString displayName = {});
    std::unique_ptr<KeyEventTap> create(Kind kind, KeyTapHandler &handler) override;
    // True when Right Ctrl types anything but Right Ctrl (a Compose key, a layout switch…).
    std::optional<bool> fnKeyHasAction() override;

private:
    QString m_displayName;
};

// Taps that run on the caller's thread: the test hands events to the live taps.
class FakeKeyEventTaps : public KeyEventTaps {
public:
    FakeKeyEventTaps();
    ~FakeKeyEventTaps() override;
    std::unique_ptr<KeyEventTap> create(Kind kind, KeyTapHandler &handler) override;
    std::optional<bool> fnKeyHasAction() override { return fnHasAction; }

    bool isRunning(Kind kind) const;
    // Taps of the kind made so far.
    int created(Kind kind) const;
    // Hands the event to the live tap of the kind; its answer, or none without a tap.
    std::optional<bool> send(Kind kind, const KeyTapEvent &event);
    // A bare fn tap: fn down, fn up.
    void tapFn();
    // Escape down and up without modifiers; whether the down was swallowed.
    std::optional<bool> pressEscape();

    // Kinds whose taps the system refuses.
    std::vector<Kind> refused;
    std::optional<bool> fnHasAction = false;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

} // namespace velmora
