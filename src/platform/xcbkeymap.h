#pragma once

// What the X11 key layers need of a display's keyboard: the key symbols of each key code, and
// which modifier bits Alt, Super and Num Lock sit on.

#include <QChar>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace velmora {

class XcbKeymap {
public:
    // Modifier bits of a key event's state.
    struct ModifierMasks {
        std::uint16_t alt = 0x08;   // Mod1
        std::uint16_t super = 0x40; // Mod4
        std::uint16_t numLock = 0;  // none when no key is Num Lock
    };

    // Reads the key symbols; none when the display does not answer.
    static std::optional<XcbKeymap> fetch(xcb_connection_t *connection);
    // Reads the modifier mapping; the usual bits when the display does not answer.
    ModifierMasks modifierMasks(xcb_connection_t *connection) const;

    // The symbol of a key in a column of the core mapping (0: first group, no Shift); 0 for none.
    std::uint32_t symbol(unsigned keyCode, int column = 0) const;
    // The key codes that give a symbol in their first column.
    std::vector<unsigned> keyCodes(std::uint32_t symbol) const;

    // The character a symbol types, for Latin and Unicode symbols; none for the others.
    static std::optional<QChar> character(std::uint32_t symbol);

private:
    unsigned m_minKeyCode = 8;
    int m_perKeyCode = 0;
    std::vector<std::uint32_t> m_symbols;
};

} // namespace velmora
