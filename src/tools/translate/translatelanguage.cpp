#include "tools/translate/translatelanguage.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utext.h>

#include <memory>

namespace velmora {

namespace {

constexpr qsizetype kDetectionWindow = 2000;
constexpr qint64 kJapaneseWeight = 3;

// The end (in UTF-16 units) of the text's first count grapheme clusters.
qsizetype graphemeWindowEnd(QStringView text, qsizetype count) {
    // A grapheme holds at least one unit: a short text fits whole.
    if (text.size() <= count)
        return text.size();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> graphemes(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !graphemes)
        return count;
    UText *utext = utext_openUChars(nullptr, reinterpret_cast<const UChar *>(text.utf16()), text.size(), &status);
    if (U_FAILURE(status))
        return count;
    graphemes->setText(utext, status);
    qsizetype end = 0;
    graphemes->first();
    for (qsizetype i = 0; i < count; ++i) {
        const int32_t next = graphemes->next();
        if (next == icu::BreakIterator::DONE)
            break;
        end = next;
    }
    graphemes.reset();
    utext_close(utext);
    return U_SUCCESS(status) ? end : count;
}

bool isJapaneseLetter(char32_t c) {
    // Script extensions count the prolonged sound mark and the iteration marks, which are
    // shared by kana and kanji.
    return uscript_hasScript(UChar32(c), USCRIPT_HIRAGANA) || uscript_hasScript(UChar32(c), USCRIPT_KATAKANA) ||
           uscript_hasScript(UChar32(c), USCRIPT_HAN);
}

bool isLatinLetter(char32_t c) {
    UErrorCode status = U_ZERO_ERROR;
    return u_isalpha(UChar32(c)) && uscript_getScript(UChar32(c), &status) == USCRIPT_LATIN && U_SUCCESS(status);
}

} // namespace

QList<TranslateLanguage> allTranslateLanguages() {
    return {TranslateLanguage::Japanese, TranslateLanguage::English};
}

QString toString(TranslateLanguage language) {
    return language == TranslateLanguage::Japanese ? QStringLiteral("ja") : QStringLiteral("en");
}

std::optional<TranslateLanguage> translateLanguageFromString(const QString &code) {
    for (TranslateLanguage language : allTranslateLanguages())
        if (toString(language) == code)
            return language;
    return std::nullopt;
}

QString interfaceName(TranslateLanguage language) {
    return language == TranslateLanguage::Japanese ? QStringLiteral("日本語") : QStringLiteral("English");
}

QString promptName(TranslateLanguage language) {
    return language == TranslateLanguage::Japanese ? QStringLiteral("Japanese") : QStringLiteral("English");
}

TranslateLanguage otherLanguage(TranslateLanguage language) {
    return language == TranslateLanguage::Japanese ? TranslateLanguage::English : TranslateLanguage::Japanese;
}

std::optional<TranslateLanguage> dominantLanguage(QStringView text) {
    const QStringView window = text.first(graphemeWindowEnd(text, kDetectionWindow));
    qint64 japanese = 0;
    qint64 latin = 0;
    for (qsizetype i = 0; i < window.size(); ++i) {
        char32_t c = window[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < window.size() && window[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), window[++i].unicode());
        if (c < 0x80) {
            // The common case of English text, without a property lookup.
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                ++latin;
            continue;
        }
        if (isJapaneseLetter(c))
            ++japanese;
        else if (isLatinLetter(c))
            ++latin;
    }
    if (japanese == 0 && latin == 0)
        return std::nullopt;
    return japanese * kJapaneseWeight >= latin ? TranslateLanguage::Japanese : TranslateLanguage::English;
}

TranslateLanguage detectLanguage(QStringView text, TranslateLanguage target) {
    return dominantLanguage(text).value_or(otherLanguage(target));
}

} // namespace velmora
