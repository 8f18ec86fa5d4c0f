// The stored dictation keys: what a launch reads from whatever the defaults hold, and what each
// change writes.

#include "dictation/speechshortcuts.h"

#include "core/defaults.h"
#include "dictation/dictationsettings.h"
#include "platform/keychord.h"
#include "platform/virtualkeys.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>

using namespace velmora;

namespace {

const KeyChord kCtrlAltD{0x02, KeyChord::kCommand | KeyChord::kOption};
const KeyChord kCtrlShiftK{0x28, KeyChord::kCommand | KeyChord::kShift};
const KeyChord kShiftD{0x02, KeyChord::kShift};
const KeyChord kFnD{0x02, KeyChord::kFunction};

struct Stored {
    const char *name;
    std::function<void(Defaults &)> store;
    bool toggleUsesGlobe = true;
    bool cancelUsesEscape = true;
    std::optional<KeyChord> toggleChord = std::nullopt;
    std::optional<KeyChord> cancelChord = std::nullopt;
};
void PrintTo(const Stored &c, std::ostream *os) {
    *os << c.name;
}

const Stored kStored[] = {
    {"nothing", [](Defaults &) {}},
    {"flags off and two chords",
     [](Defaults &d) {
         d.setBool(QStringLiteral("speech.toggleUsesGlobe"), false);
         d.setBool(QStringLiteral("speech.cancelUsesEscape"), false);
         d.setData(QStringLiteral("speech.toggleChord"), kCtrlAltD.toJson());
         d.setData(QStringLiteral("speech.cancelChord"), kCtrlShiftK.toJson());
     },
     false, false, kCtrlAltD, kCtrlShiftK},
    {"flags of another type",
     [](Defaults &d) {
         d.setString(QStringLiteral("speech.toggleUsesGlobe"), QStringLiteral("false"));
         d.setInteger(QStringLiteral("speech.cancelUsesEscape"), 0);
     }},
    {"chords with Shift or fn alone",
     [](Defaults &d) {
         d.setData(QStringLiteral("speech.toggleChord"), kShiftD.toJson());
         d.setData(QStringLiteral("speech.cancelChord"), kFnD.toJson());
     }},
    {"the paste chord",
     [](Defaults &d) {
         d.setData(QStringLiteral("speech.toggleChord"), KeyChord{VirtualKeys::kV, KeyChord::kCommand}.toJson());
     }},
    {"chords that are not data or not a chord",
     [](Defaults &d) {
         d.setString(QStringLiteral("speech.toggleChord"), QString::fromUtf8(kCtrlAltD.toJson()));
         d.setData(QStringLiteral("speech.cancelChord"), QByteArrayLiteral("{\"carbonKeyCode\":2}"));
     }},
    {"two equal chords",
     [](Defaults &d) {
         d.setData(QStringLiteral("speech.toggleChord"), kCtrlAltD.toJson());
         d.setData(QStringLiteral("speech.cancelChord"), kCtrlAltD.toJson());
     },
     true, true, kCtrlAltD, std::nullopt},
};

class SpeechShortcutsLoading : public ::testing::TestWithParam<Stored> {};

TEST_P(SpeechShortcutsLoading, ReadsOnlyWhatIsUsable) {
    const Stored &c = GetParam();
    Defaults defaults{QString()};
    c.store(defaults);
    const QVariant cancelBefore = defaults.value(QStringLiteral("speech.cancelChord"));
    SpeechShortcuts shortcuts(defaults);
    EXPECT_EQ(shortcuts.toggleUsesGlobe(), c.toggleUsesGlobe);
    EXPECT_EQ(shortcuts.cancelUsesEscape(), c.cancelUsesEscape);
    EXPECT_EQ(shortcuts.toggleChord(), c.toggleChord);
    EXPECT_EQ(shortcuts.cancelChord(), c.cancelChord);
    EXPECT_FALSE(shortcuts.isEditing());
    // What could not be used stays stored as it was.
    EXPECT_EQ(defaults.value(QStringLiteral("speech.cancelChord")), cancelBefore);
}

INSTANTIATE_TEST_SUITE_P(Stored, SpeechShortcutsLoading, ::testing::ValuesIn(kStored), [](const auto &info) {
    std::string name = info.param.name;
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
});

TEST(SpeechShortcuts, EveryChangeIsStoredAtOnceAndAnnounced) {
    Defaults defaults{QString()};
    SpeechShortcuts shortcuts(defaults);
    QSignalSpy changed(&shortcuts, &SpeechShortcuts::changed);

    // As the Settings row records a chord: shown, stored, then the flag.
    shortcuts.setToggleChord(kCtrlAltD);
    shortcuts.storeChord(kCtrlAltD, kToggleChord);
    shortcuts.setToggleUsesGlobe(false);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(defaults.data(QStringLiteral("speech.toggleChord")), kCtrlAltD.toJson());
    EXPECT_EQ(defaults.storedType(QStringLiteral("speech.toggleUsesGlobe")), Defaults::Type::Bool);
    EXPECT_FALSE(defaults.boolValue(QStringLiteral("speech.toggleUsesGlobe"), true));
    EXPECT_EQ(SpeechShortcuts(defaults).toggleChord(), kCtrlAltD);

    // Every assignment of the editing flag announces, changed or not.
    shortcuts.setEditing(true);
    shortcuts.setEditing(true);
    EXPECT_EQ(changed.count(), 4);
    shortcuts.setEditing(false);

    shortcuts.setCancelUsesEscape(false);
    shortcuts.storeChord(kCtrlShiftK, kCancelChord);
    changed.clear();
    shortcuts.resetToDefaults();
    EXPECT_EQ(changed.count(), 4);
    EXPECT_FALSE(defaults.contains(QStringLiteral("speech.toggleChord")));
    EXPECT_FALSE(defaults.contains(QStringLiteral("speech.cancelChord")));
    EXPECT_TRUE(defaults.boolValue(QStringLiteral("speech.toggleUsesGlobe"), false));
    EXPECT_TRUE(defaults.boolValue(QStringLiteral("speech.cancelUsesEscape"), false));
    EXPECT_EQ(defaults.storedType(QStringLiteral("speech.cancelUsesEscape")), Defaults::Type::Bool);
    EXPECT_TRUE(shortcuts.toggleUsesGlobe());
    EXPECT_FALSE(shortcuts.toggleChord());
}

} // namespace
