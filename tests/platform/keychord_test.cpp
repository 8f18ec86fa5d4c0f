#include "platform/keychord.h"
#include "platform/virtualkeys.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

constexpr int kD = 0x02;

TEST(KeyChord, TheStoredFormIsReadBackInAnyMemberOrder) {
    const KeyChord chord{kD, KeyChord::kCommand | KeyChord::kShift};
    EXPECT_EQ(chord.toJson(), QByteArrayLiteral(R"({"carbonKeyCode":2,"carbonModifiers":768})"));
    EXPECT_EQ(KeyChord::fromJson(chord.toJson()), chord);
    EXPECT_EQ(KeyChord::fromJson(R"({ "carbonModifiers" : 768, "carbonKeyCode" : 2 })"), chord);
}

struct UnreadableCase {
    const char *name;
    QByteArray stored;
};
void PrintTo(const UnreadableCase &c, std::ostream *os) {
    *os << c.name;
}

class KeyChordUnreadable : public ::testing::TestWithParam<UnreadableCase> {};

TEST_P(KeyChordUnreadable, ReadsAsNone) {
    EXPECT_EQ(KeyChord::fromJson(GetParam().stored), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, KeyChordUnreadable,
    ::testing::Values(UnreadableCase{"empty", ""}, UnreadableCase{"not json", "\x01\x02garbage"},
                      UnreadableCase{"an array", "[2, 768]"},
                      UnreadableCase{"a member missing", R"({"carbonKeyCode":2})"},
                      UnreadableCase{"numbers as text", R"({"carbonKeyCode":"2","carbonModifiers":"768"})"},
                      UnreadableCase{"a fraction", R"({"carbonKeyCode":2.5,"carbonModifiers":768})"},
                      UnreadableCase{"out of range", R"({"carbonKeyCode":2,"carbonModifiers":1e40})"},
                      UnreadableCase{"null", R"({"carbonKeyCode":null,"carbonModifiers":768})"}),
    [](const auto &info) {
        std::string name = info.param.name;
        for (char &c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST(KeyChord, ModifierBitsBecomeEventFlags) {
    EXPECT_EQ((KeyChord{kD, KeyChord::kControl}.flags()), 0x40000u);
    EXPECT_EQ((KeyChord{kD, KeyChord::kOption}.flags()), 0x80000u);
    EXPECT_EQ((KeyChord{kD, KeyChord::kShift}.flags()), 0x20000u);
    EXPECT_EQ((KeyChord{kD, KeyChord::kCommand}.flags()), 0x100000u);
    EXPECT_EQ((KeyChord{kD, KeyChord::kFunction}.flags()), 0x800000u);
    EXPECT_EQ((KeyChord{kD, KeyChord::kCommand | KeyChord::kOption | KeyChord::kShift}.flags()), 0x1A0000u);
}

TEST(KeyChord, OnlyChordsWithCtrlAltOrMetaAndNotThePasteChordAreUsable) {
    struct Case {
        KeyChord chord;
        bool usable;
    };
    const Case cases[] = {
        {{kD, KeyChord::kCommand}, true},
        {{kD, KeyChord::kOption}, true},
        {{kD, KeyChord::kControl}, true},
        {{kD, KeyChord::kCommand | KeyChord::kShift}, true},
        {{kD, 0}, false},
        {{kD, KeyChord::kShift}, false},
        {{kD, KeyChord::kFunction}, false},
        {{kD, KeyChord::kShift | KeyChord::kFunction}, false},
        // Velmora pastes with Ctrl+V: a shortcut on it would swallow every dictated paste.
        {{VirtualKeys::kV, KeyChord::kCommand}, false},
        {{VirtualKeys::kV, KeyChord::kCommand | KeyChord::kShift}, true},
        {{VirtualKeys::kV, KeyChord::kOption}, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.chord.isUsable(), c.usable) << c.chord.toJson().toStdString();
}

} // namespace
