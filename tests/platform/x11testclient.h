#pragma once

// Another program on the test's X server: it types through XTest, can hold the keyboard focus
// in a window of its own and report the keys that reach it, and can grab keys or the whole
// keyboard as other programs do. Higher layers' X11 tests use it too.

#include "support/testsupport.h"

#include <QString>
#include <QStringList>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <initializer_list>
#include <vector>

namespace velmora::test {

class X11TestClient {
public:
    explicit X11TestClient(const QString &display) {
        m_display = XOpenDisplay(display.toLocal8Bit().constData());
        if (m_display)
            XSetErrorHandler(&X11TestClient::recordError);
    }
    ~X11TestClient() {
        if (m_display)
            XCloseDisplay(m_display);
    }
    X11TestClient(const X11TestClient &) = delete;
    X11TestClient &operator=(const X11TestClient &) = delete;

    explicit operator bool() const { return m_display != nullptr; }
    Display *display() const { return m_display; }

    unsigned keyCode(KeySym symbol) const { return XKeysymToKeycode(m_display, symbol); }

    void press(unsigned code) {
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XSync(m_display, False);
    }
    void release(unsigned code) {
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        XSync(m_display, False);
    }
    void tap(unsigned code) {
        press(code);
        release(code);
    }
    // The modifiers go down in order, the key is tapped, the modifiers come up in reverse.
    void chord(std::initializer_list<unsigned> modifiers, unsigned key) {
        for (unsigned m : modifiers)
            press(m);
        tap(key);
        std::vector<unsigned> reversed(modifiers);
        for (auto it = reversed.rbegin(); it != reversed.rend(); ++it)
            release(*it);
    }
    bool numLockOn() const {
        unsigned state = 0;
        XkbGetIndicatorState(m_display, XkbUseCoreKbd, &state);
        // Num Lock is the second indicator of the core keyboard.
        return state & 0x2;
    }

    // Maps a window and gives it the keyboard focus; the keys that reach it are reported.
    void takeFocus() {
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 100, 100, 0, 0, 0);
        XSelectInput(m_display, m_window, KeyPressMask | StructureNotifyMask);
        XMapWindow(m_display, m_window);
        for (;;) {
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == MapNotify)
                break;
        }
        XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
        XSync(m_display, False);
    }
    // The names of the key symbols pressed in the window so far.
    QStringList keysReceived() {
        while (XPending(m_display)) {
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == KeyPress) {
                const char *name = XKeysymToString(XLookupKeysym(&event.xkey, 0));
                m_keys.append(QString::fromLatin1(name ? name : "NoSymbol"));
            }
        }
        return m_keys;
    }
    // Waits until the key arrives in the window.
    bool waitForKey(const QString &name) {
        return waitUntil([&] { return keysReceived().contains(name); });
    }

    // Holds a key with exactly these modifiers on the root window, as a program's shortcut does.
    bool grabKey(unsigned code, unsigned modifiers) {
        s_errors = 0;
        XGrabKey(m_display, int(code), modifiers, DefaultRootWindow(m_display), False, GrabModeAsync, GrabModeAsync);
        XSync(m_display, False);
        return s_errors == 0;
    }
    void ungrabKey(unsigned code, unsigned modifiers) {
        XUngrabKey(m_display, int(code), modifiers, DefaultRootWindow(m_display));
        XSync(m_display, False);
    }
    // Takes the whole keyboard, as a password prompt does.
    bool grabKeyboard() {
        const int status =
            XGrabKeyboard(m_display, DefaultRootWindow(m_display), False, GrabModeAsync, GrabModeAsync, CurrentTime);
        XSync(m_display, False);
        return status == GrabSuccess;
    }
    void ungrabKeyboard() {
        XUngrabKeyboard(m_display, CurrentTime);
        XSync(m_display, False);
    }
    // Makes a key type another symbol, as a layout change does.
    void remap(unsigned code, KeySym symbol) {
        KeySym symbols[] = {symbol};
        XChangeKeyboardMapping(m_display, int(code), 1, symbols, 1);
        XSync(m_display, False);
    }

private:
    static int recordError(Display *, XErrorEvent *) {
        ++s_errors;
        return 0;
    }

    Display *m_display = nullptr;
    Window m_window = 0;
    QStringList m_keys;
    static inline int s_errors = 0;
};

} // namespace velmora::test

// Xlib's short macro names would take the place of names in the tests (Status, None…).
#undef Bool
#undef Status
#undef None
#undef Success
#undef KeyPress
#undef KeyRelease
#undef FocusIn
#undef FocusOut
#undef Always
#undef Expose
#undef Unsorted
