#include "platform/xcbconnection.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <vector>

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

bool XcbConnection::ensureOpen(std::unique_ptr<XcbConnection> &slot, const QString &displayName) {
    if (!slot || slot->hasError())
        slot = std::make_unique<XcbConnection>(displayName);
    return bool(*slot);
}

namespace {
std::vector<std::uint16_t> lockVariants(std::uint16_t numLockMask) {
    std::vector<std::uint16_t> variants{0, XCB_MOD_MASK_LOCK};
    if (numLockMask) {
        variants.push_back(numLockMask);
        variants.push_back(std::uint16_t(numLockMask | XCB_MOD_MASK_LOCK));
    }
    return variants;
}
} // namespace

bool XcbConnection::grabKey(std::uint8_t keyCode, std::uint16_t modifiers, std::uint16_t numLockMask) const {
    std::vector<xcb_void_cookie_t> cookies;
    for (std::uint16_t variant : lockVariants(numLockMask))
        cookies.push_back(xcb_grab_key_checked(m_connection, 0, m_root, modifiers | variant, keyCode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool granted = true;
    for (const xcb_void_cookie_t &cookie : cookies) {
        if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
            granted = false;
            std::free(error);
        }
    }
    if (!granted)
        ungrabKey(keyCode, modifiers, numLockMask);
    return granted;
}

void XcbConnection::ungrabKey(std::uint8_t keyCode, std::uint16_t modifiers, std::uint16_t numLockMask) const {
    for (std::uint16_t variant : lockVariants(numLockMask))
        xcb_ungrab_key(m_connection, keyCode, m_root, modifiers | variant);
}

} // namespace velmora
