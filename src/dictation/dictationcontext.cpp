#include "dictation/dictationcontext.h"

#include "core/characters.h"
#include "core/defaults.h"
#include "dictation/dictationsettings.h"
#include "dictation/wordcount.h"

#include <QTextBoundaryFinder>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <functional>

namespace velmora {

namespace {

bool isLineBreak(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isBlank(char32_t c) {
    return c == u'\t' || QChar::category(c) == QChar::Separator_Space;
}

// Splits the text at every user-perceived character for which isSeparator holds; empty pieces
// are dropped.
QStringList splitCharacters(const QString &text, const std::function<bool(QStringView)> &isSeparator) {
    QStringList pieces;
    QString current;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end > 0; end = finder.toNextBoundary()) {
        const QStringView character = QStringView(text).mid(start, end - start);
        start = end;
        if (isSeparator(character)) {
            if (!current.isEmpty())
                pieces.append(current);
            current.clear();
        } else {
            current += character;
        }
    }
    if (!current.isEmpty())
        pieces.append(current);
    return pieces;
}

bool startsWithLineBreak(QStringView character) {
    return !character.isEmpty() && isLineBreak(character.toUcs4().first());
}

QString lowered(const QString &text) {
    icu::UnicodeString unicode(reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
    unicode.toLower(icu::Locale::getRoot());
    return QString(reinterpret_cast<const QChar *>(unicode.getBuffer()), unicode.length());
}

} // namespace

DictationContext::DictationContext(Defaults &defaults, QObject *parent) : QObject(parent), m_defaults(defaults) {
    m_field = dictationFieldFromString(defaults.storedOrDefault(kDictationField)).value_or(DictationField::Unspecified);
    m_fieldName = defaults.storedOrDefault(kDictationFieldName);
    m_about = defaults.storedOrDefault(kDictationAbout);
    m_vocabulary = defaults.storedOrDefault(kDictationVocabulary);
}

void DictationContext::setField(DictationField field) {
    if (m_defaults.update(kDictationField, toString(field), m_field, field))
        emit fieldChanged();
}

void DictationContext::setFieldName(const QString &name) {
    if (m_defaults.update(kDictationFieldName, m_fieldName, name))
        emit fieldNameChanged();
}

void DictationContext::setAbout(const QString &about) {
    if (m_defaults.update(kDictationAbout, m_about, about))
        emit aboutChanged();
}

void DictationContext::setVocabulary(const QStringList &terms) {
    if (m_defaults.update(kDictationVocabulary, m_vocabulary, terms))
        emit vocabularyChanged();
}

QStringList DictationContext::vocabularyTerms(const QString &text) {
    const QStringList pieces = splitCharacters(text, [](QStringView character) {
        return character == u"," || character == u"\u3001" || startsWithLineBreak(character);
    });
    QStringList terms;
    for (const QString &piece : pieces) {
        const QString term = trimmedBy(piece, isBlank);
        if (!term.isEmpty())
            terms.append(term);
    }
    return terms;
}

QStringList DictationContext::addVocabulary(const QString &text) {
    const QStringList terms = vocabularyTerms(text);
    if (terms.isEmpty())
        return {};
    QStringList working = m_vocabulary;
    QStringList added, rejected;
    QStringList addedKeys;
    for (const QString &term : terms) {
        const QString key = lowered(term);
        if (addedKeys.contains(key))
            continue;
        qsizetype match = -1;
        for (qsizetype i = 0; i < working.size(); ++i) {
            if (lowered(working[i]) == key) {
                match = i;
                break;
            }
        }
        if (countCharacters(term) > kTermLimit) {
            rejected.append(term);
            continue;
        }
        if (match < 0 && added.size() + working.size() >= kVocabularyLimit) {
            rejected.append(term);
            continue;
        }
        if (match >= 0)
            working.removeAt(match);
        added.append(term);
        addedKeys.append(key);
    }
    if (added.isEmpty())
        return rejected;
    setVocabulary(added + working);
    return rejected;
}

void DictationContext::removeVocabulary(const QString &term) {
    QStringList kept = m_vocabulary;
    kept.removeAll(term);
    setVocabulary(kept);
}

std::optional<QString> DictationContext::sanitize(const QString &text, qint64 limit) {
    const QString oneLine = splitCharacters(text, startsWithLineBreak).join(QLatin1Char(' '));
    const QString cut = trimmedBy(firstCharacters(trimmedBy(oneLine, isBlank), limit), isBlank);
    if (cut.isEmpty())
        return std::nullopt;
    return cut;
}

CleanupContext DictationContext::cleanupContext() const {
    CleanupContext context;
    context.field = m_field == DictationField::Other ? sanitize(m_fieldName, kFieldNameLimit) : promptPhrase(m_field);
    context.about = sanitize(m_about, kAboutLimit);
    context.vocabulary = m_vocabulary;
    return context;
}

} // namespace velmora
