#include "tools/translate/translatelanguage.h"
#include "tools/translate/translatetone.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(TranslateLanguage, CodesNamesAndOrder) {
    EXPECT_EQ(allTranslateLanguages(), (QList{TranslateLanguage::Japanese, TranslateLanguage::English}));
    EXPECT_EQ(toString(TranslateLanguage::Japanese), "ja");
    EXPECT_EQ(toString(TranslateLanguage::English), "en");
    EXPECT_EQ(interfaceName(TranslateLanguage::Japanese), QStringLiteral("日本語"));
    EXPECT_EQ(interfaceName(TranslateLanguage::English), "English");
    EXPECT_EQ(promptName(TranslateLanguage::Japanese), "Japanese");
    EXPECT_EQ(otherLanguage(TranslateLanguage::Japanese), TranslateLanguage::English);
    EXPECT_EQ(otherLanguage(TranslateLanguage::English), TranslateLanguage::Japanese);
    for (TranslateLanguage language : allTranslateLanguages())
        EXPECT_EQ(translateLanguageFromString(toString(language)), language);
    for (const char *raw : {"fr", "", "JA", "english", "auto"})
        EXPECT_EQ(translateLanguageFromString(QString::fromLatin1(raw)), std::nullopt) << raw;
}

TEST(TranslateTone, RawValuesAndOrder) {
    EXPECT_EQ(allTranslateTones(), (QList{TranslateTone::Natural, TranslateTone::Business, TranslateTone::Casual}));
    for (TranslateTone tone : allTranslateTones())
        EXPECT_EQ(translateToneFromString(toString(tone)), tone);
    EXPECT_EQ(toString(TranslateTone::Business), "business");
    EXPECT_EQ(translateToneFromString("formal"), std::nullopt);
    EXPECT_EQ(pillTitle(TranslateTone::Casual), "Casual");
    EXPECT_EQ(noteTitle(TranslateTone::Natural), "Natural tone");
}

TEST(TranslateLanguageDetection, DecidesByScript) {
    struct Case {
        const char *name;
        QString text;
        TranslateLanguage target;
        TranslateLanguage expected;
    };
    const QList<Case> cases = {
        {"Japanese", QStringLiteral("お世話になっております。"), TranslateLanguage::English,
         TranslateLanguage::Japanese},
        {"Japanese, whatever the target", QStringLiteral("会議は木曜日です"), TranslateLanguage::Japanese,
         TranslateLanguage::Japanese},
        {"katakana only", QStringLiteral("コーヒー"), TranslateLanguage::English, TranslateLanguage::Japanese},
        {"half-width katakana", QStringLiteral("ｺｰﾋｰ"), TranslateLanguage::English, TranslateLanguage::Japanese},
        {"English", QStringLiteral("Thank you for your support."), TranslateLanguage::English,
         TranslateLanguage::English},
        {"French is read as English", QStringLiteral("Où est la gare ? Ça va très bien."), TranslateLanguage::English,
         TranslateLanguage::English},
        {"English with a Japanese word", QStringLiteral("Please bring the 資料 to the meeting tomorrow."),
         TranslateLanguage::English, TranslateLanguage::English},
        {"Japanese with English words", QStringLiteral("明日のmeetingでreviewをお願いします。"),
         TranslateLanguage::English, TranslateLanguage::Japanese},
        {"digits and punctuation, into Japanese", QStringLiteral("12:30 - 3,400 (!)"), TranslateLanguage::Japanese,
         TranslateLanguage::English},
        {"digits and punctuation, into English", QStringLiteral("12:30 - 3,400 (!)"), TranslateLanguage::English,
         TranslateLanguage::Japanese},
        {"emoji only", QStringLiteral("👍🏽🎉"), TranslateLanguage::Japanese, TranslateLanguage::English},
        {"Cyrillic has no letter of either", QStringLiteral("Привет"), TranslateLanguage::English,
         TranslateLanguage::Japanese},
    };
    for (const Case &c : cases)
        EXPECT_EQ(detectLanguage(c.text, c.target), c.expected) << c.name;
}

TEST(TranslateLanguageDetection, ReadsOnlyTheFirst2000Characters) {
    // 2000 characters of English, then Japanese: the Japanese is past the window.
    QString text;
    while (text.size() < 2000)
        text += QStringLiteral("word ");
    text.truncate(2000);
    const QString mixed = text + QString(500, QChar(u'語'));
    EXPECT_EQ(detectLanguage(mixed, TranslateLanguage::Japanese), TranslateLanguage::English);
    // Counted in characters, not code units: 1999 emoji with a skin tone (4 units each) and one
    // letter fill the window, so the Japanese after them is not read.
    QString emoji;
    for (int i = 0; i < 1999; ++i)
        emoji += QStringLiteral("👍🏽");
    EXPECT_EQ(detectLanguage(emoji + u'a' + QStringLiteral("日本語のテキスト"), TranslateLanguage::English),
              TranslateLanguage::English);
    EXPECT_EQ(detectLanguage(emoji + QStringLiteral("日本語のテキスト"), TranslateLanguage::English),
              TranslateLanguage::Japanese);
}
