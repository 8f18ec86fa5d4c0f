#pragma once

#include <QString>

#include <cstdint>
#include <memory>

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
    // Opens slot again when it holds no connection or a broken one, so that a restarted server
    // is reached on the next use; false when the display cannot be reached.
    static bool ensureOpen(std::unique_ptr<XcbConnection> &slot, const QString &displayName);

    // A root-window key grab that holds whatever the state of Caps Lock and Num Lock (whose
    // modifier mask is numLockMask): one grab for each of their combinations. All or nothing:
    // when the server refuses any, the others are released and the result is false.
    bool grabKey(std::uint8_t keyCode, std::uint16_t modifiers, std::uint16_t numLockMask) const;
    // Releases a grabKey made with the same arguments.
    void ungrabKey(std::uint8_t keyCode, std::uint16_t modifiers, std::uint16_t numLockMask) const;

private:
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
};

} // namespace velmora
