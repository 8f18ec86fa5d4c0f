#include "platform/keysender.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace velmora {

namespace {
// The V key's position on a US keyboard (evdev code 47 + 8).
constexpr unsigned kVPosition = 55;
} // namespace

X11KeySender::X11KeySender(QString displayName) : m_displayName(std::move(displayName)) {}

X11KeySender::~X11KeySender() {
    if (m_display)
        XCloseDisplay(m_display);
}

Display *X11KeySender::display() {
    if (!m_opened) {
        m_opened = true;
        const QByteArray name = m_displayName.toLocal8Bit();
        m_display = XOpenDisplay(name.isEmpty() ? nullptr : name.constData());
    }
    return m_display;
}

std::optional<KeySender::PasteChord> X11KeySender::preparePasteChord() {
    Display *d = display();
    if (!d)
        return std::nullopt;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d, &eventBase, &errorBase, &major, &minor))
        return std::nullopt;
    const KeyCode control = XKeysymToKeycode(d, XK_Control_L);
    if (control == 0)
        return std::nullopt;
    const KeyCode v = XKeysymToKeycode(d, XK_v);
    return PasteChord{control, v != 0 ? unsigned(v) : kVPosition};
}

void X11KeySender::pressPasteChord(const PasteChord &chord) {
    Display *d = display();
    if (!d)
        return;
    XTestFakeKeyEvent(d, chord.modifier, True, CurrentTime);
    XTestFakeKeyEvent(d, chord.key, True, CurrentTime);
    XTestFakeKeyEvent(d, chord.key, False, CurrentTime);
    XFlush(d);
}

void X11KeySender::releasePasteChord(const PasteChord &chord) {
    Display *d = display();
    if (!d)
        return;
    XTestFakeKeyEvent(d, chord.modifier, False, CurrentTime);
    XFlush(d);
}

} // namespace velmora
