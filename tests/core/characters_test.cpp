#include "core/characters.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(Characters, TrimmingTakesWholeCodePointsFromBothEndsOnly) {
    const auto isSpaceOrStar = [](char32_t c) { return c == U' ' || c == U'*' || c == U'\U0001F600'; };
    struct Case {
        QString text, trimmed;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"  ", ""},
        {" *a b* ", "a b"},
        {"a", "a"},
        {QString::fromUcs4(U"\U0001F600x\U0001F600 "), "x"},
        // A surrogate pair whose code point is not trimmed stays whole.
        {QString::fromUcs4(U" \U0001F601 "), QString::fromUcs4(U"\U0001F601")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(trimmedBy(c.text, isSpaceOrStar), c.trimmed) << c.text.toStdString();
}

TEST(Characters, CountsAndCutsByUserPerceivedCharacters) {
    const QString flagAccentCrlf = QStringLiteral("🇯🇵e\u0301\r\n");
    EXPECT_EQ(countCharacters(flagAccentCrlf), 3);
    EXPECT_EQ(firstCharacters(flagAccentCrlf, 2), QStringLiteral("🇯🇵e\u0301"));
    EXPECT_EQ(firstCharacters(flagAccentCrlf, 9), flagAccentCrlf);
    EXPECT_EQ(firstCharacters(flagAccentCrlf, 0), QString());
}
