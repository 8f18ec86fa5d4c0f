#include "platform/xcbkeymap.h"

#include <xcb/xcb.h>

#include <X11/keysym.h>

#include <cstdlib>

namespace velmora {

std::optional<XcbKeymap> XcbKeymap::fetch(xcb_connection_t *connection) {
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const unsigned count = unsigned(setup->max_keycode) - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t *reply = xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr);
    if (!reply)
        return std::nullopt;
    XcbKeymap map;
    map.m_minKeyCode = setup->min_keycode;
    map.m_perKeyCode = reply->keysyms_per_keycode;
    const xcb_keysym_t *symbols = xcb_get_keyboard_mapping_keysyms(reply);
    map.m_symbols.assign(symbols, symbols + xcb_get_keyboard_mapping_keysyms_length(reply));
    std::free(reply);
    return map;
}

XcbKeymap::ModifierMasks XcbKeymap::modifierMasks(xcb_connection_t *connection) const {
    ModifierMasks masks;
    xcb_get_modifier_mapping_reply_t *reply =
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
    if (!reply)
        return masks;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    bool altFound = false, superFound = false;
    // Shift, Lock and Control (0 to 2) are fixed; Mod1 to Mod5 are where the layout puts them.
    for (int modifier = 3; modifier < 8; ++modifier) {
        for (int k = 0; k < perModifier; ++k) {
            const xcb_keycode_t code = codes[modifier * perModifier + k];
            if (code == 0)
                continue;
            const std::uint16_t bit = std::uint16_t(1u << modifier);
            switch (symbol(code)) {
            case XK_Num_Lock: masks.numLock = bit; break;
            case XK_Alt_L:
            case XK_Alt_R:
            case XK_Meta_L:
            case XK_Meta_R:
                if (!altFound) {
                    masks.alt = bit;
                    altFound = true;
                }
                break;
            case XK_Super_L:
            case XK_Super_R:
                if (!superFound) {
                    masks.super = bit;
                    superFound = true;
                }
                break;
            default: break;
            }
        }
    }
    std::free(reply);
    return masks;
}

std::uint32_t XcbKeymap::symbol(unsigned keyCode, int column) const {
    if (keyCode < m_minKeyCode || column < 0 || column >= m_perKeyCode)
        return 0;
    const std::size_t index = std::size_t(keyCode - m_minKeyCode) * m_perKeyCode + column;
    return index < m_symbols.size() ? m_symbols[index] : 0;
}

std::vector<unsigned> XcbKeymap::keyCodes(std::uint32_t wanted) const {
    std::vector<unsigned> codes;
    if (m_perKeyCode <= 0)
        return codes;
    for (std::size_t i = 0; i < m_symbols.size(); i += m_perKeyCode)
        if (m_symbols[i] == wanted)
            codes.push_back(m_minKeyCode + unsigned(i / m_perKeyCode));
    return codes;
}

std::optional<QChar> XcbKeymap::character(std::uint32_t symbol) {
    // Latin-1 symbols are their own code points; Unicode symbols carry theirs above 0x1000000.
    if ((symbol >= 0x20 && symbol <= 0x7E) || (symbol >= 0xA0 && symbol <= 0xFF))
        return QChar(char16_t(symbol));
    if (symbol >= 0x1000100 && symbol <= 0x100FFFF)
        return QChar(char16_t(symbol - 0x1000000));
    return std::nullopt;
}

} // namespace velmora
