#include "platform/accessibilitytrust.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace velmora {

X11AccessibilityTrust::X11AccessibilityTrust(QString displayName) : m_displayName(std::move(displayName)) {}

bool X11AccessibilityTrust::isTrusted(bool) {
    const QByteArray name = m_displayName.toLocal8Bit();
    Display *display = XOpenDisplay(name.isEmpty() ? nullptr : name.constData());
    if (!display)
        return false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    const bool trusted = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor) == True;
    XCloseDisplay(display);
    return trusted;
}

} // namespace velmora
