#include "platform/virtualkeys.h"

#include <QKeySequence>

#include <array>

namespace velmora::VirtualKeys {

namespace {

enum class Text { Layout, Fixed, Keypad, Space };

struct Key {
    int virtualKey;
    unsigned inputCode; // the kernel's key code; the X11 key code is 8 more
    char16_t character; // what a US layout gives it (or the fixed glyph, or the keypad character)
    Text text = Text::Layout;
    const char16_t *fixed = nullptr;
};

constexpr unsigned kX11Offset = 8;

// Keys a PC keyboard has. Command is Ctrl, option Alt, control Meta; Right Ctrl is the fn key.
constexpr std::array kKeys{
    Key{0x00, 30, u'a'},
    Key{0x01, 31, u's'},
    Key{0x02, 32, u'd'},
    Key{0x03, 33, u'f'},
    Key{0x04, 35, u'h'},
    Key{0x05, 34, u'g'},
    Key{0x06, 44, u'z'},
    Key{0x07, 45, u'x'},
    Key{0x08, 46, u'c'},
    Key{0x09, 47, u'v'},
    Key{0x0A, 86, u'<'},
    Key{0x0B, 48, u'b'},
    Key{0x0C, 16, u'q'},
    Key{0x0D, 17, u'w'},
    Key{0x0E, 18, u'e'},
    Key{0x0F, 19, u'r'},
    Key{0x10, 21, u'y'},
    Key{0x11, 20, u't'},
    Key{0x12, 2, u'1'},
    Key{0x13, 3, u'2'},
    Key{0x14, 4, u'3'},
    Key{0x15, 5, u'4'},
    Key{0x16, 7, u'6'},
    Key{0x17, 6, u'5'},
    Key{0x18, 13, u'='},
    Key{0x19, 10, u'9'},
    Key{0x1A, 8, u'7'},
    Key{0x1B, 12, u'-'},
    Key{0x1C, 9, u'8'},
    Key{0x1D, 11, u'0'},
    Key{0x1E, 27, u']'},
    Key{0x1F, 24, u'o'},
    Key{0x20, 22, u'u'},
    Key{0x21, 26, u'['},
    Key{0x22, 23, u'i'},
    Key{0x23, 25, u'p'},
    Key{0x24, 28, 0, Text::Fixed, u"\u21A9"},
    Key{0x25, 38, u'l'},
    Key{0x26, 36, u'j'},
    Key{0x27, 40, u'\''},
    Key{0x28, 37, u'k'},
    Key{0x29, 39, u';'},
    Key{0x2A, 43, u'\\'},
    Key{0x2B, 51, u','},
    Key{0x2C, 53, u'/'},
    Key{0x2D, 49, u'n'},
    Key{0x2E, 50, u'm'},
    Key{0x2F, 52, u'.'},
    Key{0x30, 15, 0, Text::Fixed, u"\u21E5"},
    Key{0x31, 57, 0, Text::Space},
    Key{0x32, 41, u'`'},
    Key{0x33, 14, 0, Text::Fixed, u"\u232B"},
    Key{0x35, 1, 0, Text::Fixed, u"\u238B"},
    Key{0x37, 29, 0},
    Key{0x38, 42, 0},
    Key{0x39, 58, 0},
    Key{0x3A, 56, 0},
    Key{0x3B, 125, 0},
    Key{0x3C, 54, 0},
    Key{0x3D, 100, 0},
    Key{0x3E, 126, 0},
    Key{0x3F, 97, 0},
    Key{0x40, 187, 0, Text::Fixed, u"F17"},
    Key{0x41, 83, u'.', Text::Keypad},
    Key{0x43, 55, u'*', Text::Keypad},
    Key{0x45, 78, u'+', Text::Keypad},
    Key{0x4B, 98, u'/', Text::Keypad},
    Key{0x4C, 96, u'\u21A9', Text::Keypad},
    Key{0x4E, 74, u'-', Text::Keypad},
    Key{0x4F, 188, 0, Text::Fixed, u"F18"},
    Key{0x50, 189, 0, Text::Fixed, u"F19"},
    Key{0x51, 117, u'=', Text::Keypad},
    Key{0x52, 82, u'0', Text::Keypad},
    Key{0x53, 79, u'1', Text::Keypad},
    Key{0x54, 80, u'2', Text::Keypad},
    Key{0x55, 81, u'3', Text::Keypad},
    Key{0x56, 75, u'4', Text::Keypad},
    Key{0x57, 76, u'5', Text::Keypad},
    Key{0x58, 77, u'6', Text::Keypad},
    Key{0x59, 71, u'7', Text::Keypad},
    Key{0x5A, 190, 0, Text::Fixed, u"F20"},
    Key{0x5B, 72, u'8', Text::Keypad},
    Key{0x5C, 73, u'9', Text::Keypad},
    Key{0x5D, 124, 0},
    Key{0x5E, 89, 0},
    Key{0x5F, 95, 0},
    Key{0x60, 63, 0, Text::Fixed, u"F5"},
    Key{0x61, 64, 0, Text::Fixed, u"F6"},
    Key{0x62, 65, 0, Text::Fixed, u"F7"},
    Key{0x63, 61, 0, Text::Fixed, u"F3"},
    Key{0x64, 66, 0, Text::Fixed, u"F8"},
    Key{0x65, 67, 0, Text::Fixed, u"F9"},
    Key{0x67, 87, 0, Text::Fixed, u"F11"},
    Key{0x69, 183, 0, Text::Fixed, u"F13"},
    Key{0x6A, 186, 0, Text::Fixed, u"F16"},
    Key{0x6B, 184, 0, Text::Fixed, u"F14"},
    Key{0x6D, 68, 0, Text::Fixed, u"F10"},
    Key{0x6F, 88, 0, Text::Fixed, u"F12"},
    Key{0x71, 185, 0, Text::Fixed, u"F15"},
    // The Help key sits where a PC keyboard has Insert.
    Key{0x72, 110, 0, Text::Fixed, u"?\u20DD"},
    Key{0x73, 102, 0, Text::Fixed, u"\u2196"},
    Key{0x74, 104, 0, Text::Fixed, u"\u21DE"},
    Key{0x75, 111, 0, Text::Fixed, u"\u2326"},
    Key{0x76, 62, 0, Text::Fixed, u"F4"},
    Key{0x77, 107, 0, Text::Fixed, u"\u2198"},
    Key{0x78, 60, 0, Text::Fixed, u"F2"},
    Key{0x79, 109, 0, Text::Fixed, u"\u21DF"},
    Key{0x7A, 59, 0, Text::Fixed, u"F1"},
    Key{0x7B, 105, 0, Text::Fixed, u"\u2190"},
    Key{0x7C, 106, 0, Text::Fixed, u"\u2192"},
    Key{0x7D, 108, 0, Text::Fixed, u"\u2193"},
    Key{0x7E, 103, 0, Text::Fixed, u"\u2191"},
};

const Key *byVirtualKey(int virtualKey) {
    for (const Key &key : kKeys)
        if (key.virtualKey == virtualKey)
            return &key;
    return nullptr;
}

} // namespace

std::optional<unsigned> x11KeyCode(int virtualKey) {
    if (const Key *key = byVirtualKey(virtualKey))
        return key->inputCode + kX11Offset;
    return std::nullopt;
}

std::optional<int> virtualKey(unsigned x11KeyCode) {
    for (const Key &key : kKeys)
        if (key.inputCode + kX11Offset == x11KeyCode)
            return key.virtualKey;
    return std::nullopt;
}

std::optional<QString> fixedText(int virtualKey) {
    const Key *key = byVirtualKey(virtualKey);
    if (!key)
        return std::nullopt;
    switch (key->text) {
    case Text::Layout: return std::nullopt;
    case Text::Fixed: return QString::fromUtf16(key->fixed);
    case Text::Keypad: return QString(QChar(key->character)) + QChar(0x20E3);
    // Qt's own name of the key, translated with Qt's catalogue.
    case Text::Space: return QKeySequence(Qt::Key_Space).toString(QKeySequence::NativeText);
    }
    return std::nullopt;
}

std::optional<QChar> usCharacter(int virtualKey) {
    const Key *key = byVirtualKey(virtualKey);
    if (!key || key->text != Text::Layout || key->character == 0)
        return std::nullopt;
    return QChar(key->character);
}

} // namespace velmora::VirtualKeys
