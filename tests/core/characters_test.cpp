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
    // A flag is two code points, an accented letter may be two, CR LF is one character.
    const QString flagAccentCrlf = QStringLiteral("🇯🇵e\u0301\r\n");
    struct CountCase {
        QString text;
        qint64 count;
    };
    const std::vector<CountCase> counts = {{"", 0}, {"abc", 3}, {flagAccentCrlf, 3}};
    for (const CountCase &c : counts)
        EXPECT_EQ(countCharacters(c.text), c.count) << c.text.toStdString();

    struct CutCase {
        QString text;
        qint64 count;
        QString first;
    };
    const std::vector<CutCase> cuts = {
        {flagAccentCrlf, 2, QStringLiteral("🇯🇵e\u0301")},
        {flagAccentCrlf, 9, flagAccentCrlf},
        {flagAccentCrlf, 0, ""},
        {QStringLiteral("🇯🇵e\u0301xyz"), 2, QStringLiteral("🇯🇵e\u0301")},
        {"ab", 5, "ab"},
        {"ab", -1, ""},
    };
    for (const CutCase &c : cuts)
        EXPECT_EQ(firstCharacters(c.text, c.count), c.first) << c.text.toStdString() << " " << c.count;
}
