#pragma once

// The two languages Translate works between. Their codes ("ja", "en") are the stored form
// everywhere; each is shown by its own name in every interface language.

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace velmora {

enum class TranslateLanguage { Japanese, English };

// Japanese, then English: the order wherever the languages are listed.
QList<TranslateLanguage> allTranslateLanguages();

// "ja" or "en".
QString toString(TranslateLanguage language);
// None for any other string.
std::optional<TranslateLanguage> translateLanguageFromString(const QString &code);

// "日本語" or "English", never translated.
QString interfaceName(TranslateLanguage language);
// The English name the prompt uses: "Japanese" or "English".
QString promptName(TranslateLanguage language);
TranslateLanguage otherLanguage(TranslateLanguage language);

// The language of the text's first 2000 characters, judged by script: letters of the Japanese
// scripts (kana, kanji and the marks that belong to them) against Latin letters, a Japanese
// letter counting as much as three Latin ones (a Japanese text says in one character what
// English says in two or three). None when the window holds no letter of either.
std::optional<TranslateLanguage> dominantLanguage(QStringView text);

// The language the text is written in: its dominant language, or, when it has none, the other
// language of the target (Japanese is assumed when translating into English).
TranslateLanguage detectLanguage(QStringView text, TranslateLanguage target);

} // namespace velmora
