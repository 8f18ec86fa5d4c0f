#include "platform/keyboardstate.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace velmora {

X11KeyboardState::X11KeyboardState(QString displayName) : m_displayName(std::move(displayName)) {}

X11KeyboardState::~X11KeyboardState() {
    if (m_display)
        XCloseDisplay(m_display);
}

bool X11KeyboardState::modifiersReleased() {
    if (!m_opened) {
        m_opened = true;
        const QByteArray name = m_displayName.toLocal8Bit();
        m_display = XOpenDisplay(name.isEmpty() ? nullptr : name.constData());
    }
    if (!m_display)
        return true;
    char keys[32] = {};
    XQueryKeymap(m_display, keys);
    XModifierKeymap *map = XGetModifierMapping(m_display);
    if (!map)
        return true;
    bool held = false;
    for (int modifier = 0; modifier < 8 && !held; ++modifier) {
        if (modifier == LockMapIndex)
            continue;
        for (int k = 0; k < map->max_keypermod && !held; ++k) {
            const KeyCode code = map->modifiermap[modifier * map->max_keypermod + k];
            if (code == 0 || !(keys[code / 8] & (1 << (code % 8))))
                continue;
            // Num Lock usually sits among the modifiers; a lock key is no held modifier.
            const KeySym sym = XkbKeycodeToKeysym(m_display, code, 0, 0);
            if (sym == XK_Num_Lock || sym == XK_Caps_Lock || sym == XK_Shift_Lock || sym == XK_Scroll_Lock)
                continue;
            held = true;
        }
    }
    XFreeModifiermap(map);
    return !held;
}

} // namespace velmora
