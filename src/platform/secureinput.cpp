#include "platform/secureinput.h"

#include "platform/xcbconnection.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace velmora {

X11SecureInput::X11SecureInput(QString displayName) : m_displayName(std::move(displayName)) {}

X11SecureInput::~X11SecureInput() = default;

bool X11SecureInput::isEnabled() {
    std::lock_guard lock(m_mutex);
    if (!XcbConnection::ensureOpen(m_connection, m_displayName))
        return false;
    xcb_connection_t *c = m_connection->get();
    xcb_grab_keyboard_reply_t *reply = xcb_grab_keyboard_reply(
        c, xcb_grab_keyboard(c, 0, m_connection->root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr);
    if (!reply)
        return false;
    const std::uint8_t status = reply->status;
    std::free(reply);
    if (status == XCB_GRAB_STATUS_SUCCESS) {
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_flush(c);
        return false;
    }
    return status == XCB_GRAB_STATUS_ALREADY_GRABBED || status == XCB_GRAB_STATUS_FROZEN;
}

} // namespace velmora
