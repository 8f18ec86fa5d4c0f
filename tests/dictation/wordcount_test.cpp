#include "dictation/wordcount.h"

#include "support/testsupport.h"

using namespace velmora;

namespace {

struct WordCase {
    const char *name;
    QString text;
    std::optional<QString> language;
    qint64 words;
};
void PrintTo(const WordCase &c, std::ostream *os) {
    *os << c.name;
}

class CountWordsTest : public ::testing::TestWithParam<WordCase> {};

TEST_P(CountWordsTest, CountsWordsNotSpacesOrPunctuation) {
    EXPECT_EQ(countWords(GetParam().text, GetParam().language), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CountWordsTest,
    ::testing::Values(
        WordCase{"Empty", {}, {}, 0}, WordCase{"OnlyPunctuationAndSpaces", QStringLiteral(" ... !? "), {}, 0},
        WordCase{"TwoWordsWithCommaAndBang", QStringLiteral("Hello, world!"), QStringLiteral("en"), 2},
        WordCase{"ContractionIsOneWord", QStringLiteral("don't stop"), QStringLiteral("en"), 2},
        WordCase{"NumbersAreWords", QStringLiteral("version 3.14 ships"), {}, 3},
        WordCase{"LineBreaksSeparate", QStringLiteral("one\ntwo\r\nthree"), {}, 3},
        // Split by the dictionary, as a Japanese reader would: 今日 は 良い 天気 です.
        WordCase{"JapaneseWithoutSpaces", QStringLiteral("今日は良い天気です。"), QStringLiteral("ja"), 5},
        WordCase{"JapaneseWithoutALanguage", QStringLiteral("今日は良い天気です。"), {}, 5},
        WordCase{"UnknownLanguageCodeIsUsedAsGiven", QStringLiteral("two words"), QStringLiteral("xx"), 2}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
