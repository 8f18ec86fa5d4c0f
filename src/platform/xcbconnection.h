#pragma once

#include <QString>

#include <cstdint>

struct xcb_connection_t;

namespace velmora {

// An owned connection to an X11 display; empty when the display cannot be reached.
class XcbConnection {
public:
    // DISPLAY when the name is empty.
    explicit XcbConnection(const QString &displayName);
    ~XcbConnection();
    XcbConnection(const XcbConnection &) = delete;
    XcbConnection &operator=(const XcbConnection &) = delete;

    explicit operator bool() const { return m_connection != nullptr; }
    xcb_connection_t *get() const { return m_connection; }
    std::uint32_t root() const { return m_root; }
    // The connection broke (the server went away) or never opened.
    bool hasError() const;

private:
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
};

} // namespace velmora
