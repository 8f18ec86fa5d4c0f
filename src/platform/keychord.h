#pragma once

// A global key chord as the shortcut registry takes it and the settings store it: a virtual
// key code (the key's position, see virtualkeys.h) and a modifier mask in the classic event
// manager's bit layout. On a PC keyboard the command bit is Ctrl, option is Alt and control is
// Meta.

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace velmora {

struct KeyChord {
    // Modifier bits of carbonModifiers.
    static constexpr int kCommand = 0x100;
    static constexpr int kShift = 0x200;
    static constexpr int kOption = 0x800;
    static constexpr int kControl = 0x1000;
    static constexpr int kFunction = 0x20000;

    // The same modifiers as key event flags (what the key taps report).
    static constexpr quint64 kShiftFlag = 0x20000;
    static constexpr quint64 kControlFlag = 0x40000;
    static constexpr quint64 kOptionFlag = 0x80000;
    static constexpr quint64 kCommandFlag = 0x100000;
    static constexpr quint64 kFunctionFlag = 0x800000;

    int carbonKeyCode = 0;
    int carbonModifiers = 0;

    bool operator==(const KeyChord &) const = default;

    // The modifiers as key event flags.
    quint64 flags() const;
    // A chord takes Ctrl, Alt or Meta (command, option or control); Shift or fn alone is not
    // enough. Ctrl+V is never usable: it is the chord Velmora itself sends to paste, and a
    // shortcut on it would swallow every dictated paste.
    bool isUsable() const;
    // Ctrl+V without other modifiers.
    bool isPasteChord() const;

    // The stored form: a JSON object with the integer members "carbonKeyCode" and
    // "carbonModifiers", as UTF-8 bytes.
    QByteArray toJson() const;
    // Reads the stored form, members in any order; none for anything else.
    static std::optional<KeyChord> fromJson(const QByteArray &json);
};

} // namespace velmora
