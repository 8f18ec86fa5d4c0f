#pragma once

// Virtual key codes, the key numbering of the stored chord form: each names a key by its place
// on the keyboard, whatever the layout prints on it. Here they meet the keys of an X11 display,
// whose key codes are the kernel's input codes plus 8 on every current server (evdev, libinput,
// Xwayland, Xvfb), so the table goes through the kernel's codes.

#include <QString>

#include <optional>

namespace velmora::VirtualKeys {

constexpr int kV = 0x09;
constexpr int kReturn = 0x24;
constexpr int kTab = 0x30;
constexpr int kSpace = 0x31;
constexpr int kDelete = 0x33;
constexpr int kEscape = 0x35;
// The fn/Globe key; a PC keyboard has none, and Right Ctrl stands in for it.
constexpr int kFunction = 0x3F;

// The X11 key code of a virtual key; none for a key a PC keyboard does not have.
std::optional<unsigned> x11KeyCode(int virtualKey);
// The virtual key of an X11 key code; none for a key outside the table (Print, Pause, Menu…).
std::optional<int> virtualKey(unsigned x11KeyCode);

// The fixed text of a key that shows no character of the layout: "↩" for Return, "F5", "1⃣"
// for keypad 1 (with the enclosing keycap), the translated word for Space…; none for the keys
// whose text is the character the layout gives them.
std::optional<QString> fixedText(int virtualKey);
// The character a US layout gives the key without modifiers, for a layout that gives none.
std::optional<QChar> usCharacter(int virtualKey);

} // namespace velmora::VirtualKeys
