#include "platform/floatingwindows.h"

#include "platform/xcbconnection.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace velmora {

namespace {
constexpr quint32 kAllDesktops = 0xFFFFFFFF;
constexpr quint32 kStateAdd = 1;
} // namespace

X11FloatingWindows::X11FloatingWindows(QString displayName) : m_displayName(std::move(displayName)) {}

X11FloatingWindows::~X11FloatingWindows() = default;

quint32 X11FloatingWindows::atom(const char *name) {
    xcb_connection_t *c = m_connection->get();
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const quint32 value = reply ? reply->atom : 0;
    std::free(reply);
    return value;
}

void X11FloatingWindows::keepAboveEverywhere(quint64 windowId) {
    if (!XcbConnection::ensureOpen(m_connection, m_displayName) || windowId == 0)
        return;
    xcb_connection_t *c = m_connection->get();
    const auto window = static_cast<xcb_window_t>(windowId);
    const xcb_atom_t wmState = atom("_NET_WM_STATE");
    const xcb_atom_t wanted[] = {atom("_NET_WM_STATE_ABOVE"), atom("_NET_WM_STATE_STICKY"),
                                 atom("_NET_WM_STATE_SKIP_TASKBAR"), atom("_NET_WM_STATE_SKIP_PAGER")};

    // Keep what the toolkit wrote and add ours.
    QList<xcb_atom_t> states;
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, wmState, XCB_ATOM_ATOM, 0, 64), nullptr);
    if (reply && reply->format == 32) {
        const auto *values = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
        for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i)
            states.append(values[i]);
    }
    std::free(reply);
    for (xcb_atom_t state : wanted)
        if (state && !states.contains(state))
            states.append(state);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, wmState, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(states.size()), states.constData());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                        &kAllDesktops);

    // A window manager owns the state of a mapped window and only changes it on request.
    const auto request = [&](xcb_atom_t type, xcb_atom_t first, xcb_atom_t second, quint32 value) {
        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof event);
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = type;
        event.data.data32[0] = value;
        event.data.data32[1] = first;
        event.data.data32[2] = second;
        event.data.data32[3] = 1;
        xcb_send_event(c, 0, m_connection->root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
    };
    request(wmState, wanted[0], wanted[1], kStateAdd);
    request(wmState, wanted[2], wanted[3], kStateAdd);
    request(atom("_NET_WM_DESKTOP"), 0, 0, kAllDesktops);
    xcb_flush(c);
}

bool X11FloatingWindows::isCompositing() {
    if (!XcbConnection::ensureOpen(m_connection, m_displayName))
        return false;
    xcb_connection_t *c = m_connection->get();
    // The compositing manager of screen 0 owns this selection.
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom("_NET_WM_CM_S0")), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

QStringList X11FloatingWindows::states(quint64 windowId) {
    QStringList names;
    if (!XcbConnection::ensureOpen(m_connection, m_displayName))
        return names;
    xcb_connection_t *c = m_connection->get();
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, static_cast<xcb_window_t>(windowId), atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64),
        nullptr);
    if (reply && reply->format == 32) {
        const auto *values = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
        for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i) {
            xcb_get_atom_name_reply_t *name = xcb_get_atom_name_reply(c, xcb_get_atom_name(c, values[i]), nullptr);
            if (name)
                names.append(QString::fromLatin1(xcb_get_atom_name_name(name), xcb_get_atom_name_name_length(name)));
            std::free(name);
        }
    }
    std::free(reply);
    return names;
}

qint64 X11FloatingWindows::desktop(quint64 windowId) {
    if (!XcbConnection::ensureOpen(m_connection, m_displayName))
        return -1;
    xcb_connection_t *c = m_connection->get();
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, static_cast<xcb_window_t>(windowId), atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 0, 1),
        nullptr);
    qint64 value = -1;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 4)
        value = *static_cast<const quint32 *>(xcb_get_property_value(reply));
    std::free(reply);
    return value;
}

} // namespace velmora
