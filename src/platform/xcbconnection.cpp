#include "platform/xcbconnection.h"

#include <xcb/xcb.h>

namespace velmora {

XcbConnection::XcbConnection(const QString &displayName) {
    const QByteArray name = displayName.toLocal8Bit();
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    m_root = screens.data->root;
}

XcbConnection::~XcbConnection() {
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool XcbConnection::hasError() const {
    return !m_connection || xcb_connection_has_error(m_connection) != 0;
}

} // namespace velmora
