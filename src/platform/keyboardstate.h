#pragma once

#include <QString>

// Xlib's display connection.
struct _XDisplay;

namespace velmora {

// What the keyboard holds down right now, across every program.
class KeyboardState {
public:
    virtual ~KeyboardState() = default;
    // True when no modifier key (Shift, Ctrl, Alt, Super, AltGr and the like) is held; the lock
    // keys (Caps Lock, Num Lock) do not count.
    virtual bool modifiersReleased() = 0;
};

// The physical key state of an X11 display (XQueryKeymap) against its modifier mapping. The
// connection opens on first use; without a display nothing counts as held.
class X11KeyboardState : public KeyboardState {
public:
    explicit X11KeyboardState(QString displayName = {});
    ~X11KeyboardState() override;
    X11KeyboardState(const X11KeyboardState &) = delete;
    X11KeyboardState &operator=(const X11KeyboardState &) = delete;
    bool modifiersReleased() override;

private:
    QString m_displayName;
    ::_XDisplay *m_display = nullptr;
    bool m_opened = false;
};

// A modifier state the test sets, counting the checks.
class FakeKeyboardState : public KeyboardState {
public:
    bool modifiersReleased() override {
        ++checks;
        return !held;
    }
    bool held = false;
    int checks = 0;
};

} // namespace velmora
