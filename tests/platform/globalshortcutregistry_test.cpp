#include "platform/globalshortcutregistry.h"
#include "platform/virtualkeys.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

TEST(GlobalShortcutRegistry, AChordIsWrittenAsTheDesktopWritesShortcuts) {
    FakeGlobalShortcutRegistry registry;
    struct Case {
        KeyChord chord;
        QString text;
    };
    const Case cases[] = {
        {{0x02, KeyChord::kCommand | KeyChord::kShift}, "Ctrl+Shift+D"},
        {{0x02, KeyChord::kControl | KeyChord::kOption | KeyChord::kShift | KeyChord::kCommand},
         "Ctrl+Alt+Shift+Meta+D"},
        {{0x60, KeyChord::kControl | KeyChord::kOption | KeyChord::kCommand}, "Ctrl+Alt+Meta+F5"},
        {{0x53, KeyChord::kControl}, "Meta+1\u20E3"},
        {{0x4C, KeyChord::kOption}, "Alt+\u21A9\u20E3"},
        {{0x24, KeyChord::kCommand}, "Ctrl+\u21A9"},
        {{0x31, KeyChord::kOption}, "Alt+Space"},
        {{0x35, KeyChord::kCommand}, "Ctrl+\u238B"},
        {{0x72, KeyChord::kCommand}, "Ctrl+?\u20DD"},
        {{0x7E, KeyChord::kCommand}, "Ctrl+\u2191"},
        {{0x2B, KeyChord::kCommand}, "Ctrl+,"},
        // A key no PC keyboard has.
        {{0x0200, KeyChord::kCommand}, "Ctrl+\uFFFD"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(registry.displayText(c.chord), c.text) << c.chord.toJson().toStdString();
}

TEST(GlobalShortcutRegistry, ANameWorksOnlyWhileEnabledWithAChord) {
    FakeGlobalShortcutRegistry registry;
    QSignalSpy released(&registry, &GlobalShortcutRegistry::released);
    const QString name = QStringLiteral("dictation.toggle");
    const KeyChord chord{0x02, KeyChord::kCommand | KeyChord::kShift};

    registry.setChord(name, chord);
    EXPECT_EQ(registry.status(name), GlobalShortcutRegistry::Status::Off);
    EXPECT_FALSE(registry.press(name));
    registry.enable({name});
    EXPECT_EQ(registry.status(name), GlobalShortcutRegistry::Status::Active);
    EXPECT_TRUE(registry.press(name));
    registry.setChord(name, std::nullopt);
    EXPECT_FALSE(registry.press(name));
    registry.setChord(name, chord);
    registry.disable({name});
    EXPECT_FALSE(registry.press(name));
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(registry.chord(name), chord);
}

TEST(VirtualKeys, EveryKeyOfTheTableComesBackFromItsX11Code) {
    for (int key = 0; key < 0x80; ++key) {
        const std::optional<unsigned> code = VirtualKeys::x11KeyCode(key);
        if (code) {
            EXPECT_EQ(VirtualKeys::virtualKey(*code), key) << key;
        }
    }
    // Places that matter: Right Ctrl is the fn key, Escape, V for the paste chord.
    EXPECT_EQ(VirtualKeys::x11KeyCode(VirtualKeys::kFunction), 105u);
    EXPECT_EQ(VirtualKeys::x11KeyCode(VirtualKeys::kEscape), 9u);
    EXPECT_EQ(VirtualKeys::x11KeyCode(VirtualKeys::kV), 55u);
    // Print Screen has no virtual key.
    EXPECT_EQ(VirtualKeys::virtualKey(107), std::nullopt);
}

} // namespace
