#include "dictation/wordcount.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>

namespace velmora {

qint64 countWords(const QString &text, const std::optional<QString> &language) {
    if (text.isEmpty())
        return 0;
    icu::Locale locale = icu::Locale::getRoot();
    if (language) {
        UErrorCode tagStatus = U_ZERO_ERROR;
        const icu::Locale tagged = icu::Locale::forLanguageTag(language->toStdString(), tagStatus);
        if (U_SUCCESS(tagStatus) && !tagged.isBogus())
            locale = tagged;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> words(icu::BreakIterator::createWordInstance(locale, status));
    if (U_FAILURE(status) || !words)
        return 0;
    const icu::UnicodeString unicode(reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
    words->setText(unicode);
    qint64 count = 0;
    words->first();
    for (int32_t end = words->next(); end != icu::BreakIterator::DONE; end = words->next()) {
        // Segments of spaces and punctuation carry the "none" status; numbers, letters, kana
        // and ideographs have their own.
        if (words->getRuleStatus() >= UBRK_WORD_NONE_LIMIT)
            ++count;
    }
    return count;
}

} // namespace velmora
