#pragma once

// What the speaker tells the program about themselves so that cleanup spells their terms: a
// field of work, a description of their work and a personal vocabulary. Kept in the defaults
// store exactly as typed; only the CleanupContext built from them is cleaned and cut.

#include "dictation/cleanupcontext.h"
#include "dictation/dictationfield.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

class Defaults;

class DictationContext : public QObject {
    Q_OBJECT
public:
    // Limits in user-perceived characters, applied when the context is built or terms are added.
    static constexpr qint64 kFieldNameLimit = 60;
    static constexpr qint64 kAboutLimit = 300;
    static constexpr qint64 kTermLimit = 50;
    static constexpr qint64 kVocabularyLimit = 100;

    // Reads the settings as stored; a missing value or one of another type gives the default.
    explicit DictationContext(Defaults &defaults, QObject *parent = nullptr);

    DictationField field() const { return m_field; }
    const QString &fieldName() const { return m_fieldName; }
    const QString &about() const { return m_about; }
    const QStringList &vocabulary() const { return m_vocabulary; }

    // Each setter writes its key, also when the value is unchanged.
    void setField(DictationField field);
    void setFieldName(const QString &name);
    void setAbout(const QString &about);
    void setVocabulary(const QStringList &terms);

    // Adds the terms found in the text in front of the vocabulary (a term already there, in any
    // letter case, moves to the front with its new spelling); returns the terms it refused: too
    // long, or new while the vocabulary is full.
    QStringList addVocabulary(const QString &text);
    // Removes every entry equal to the term (case-sensitive).
    void removeVocabulary(const QString &term);

    // The context for the current settings, built afresh on every call.
    CleanupContext cleanupContext() const;

    // The terms addVocabulary would consider, in order, duplicates included: pieces between
    // commas, ideographic commas and line breaks, trimmed, empty ones dropped.
    static QStringList vocabularyTerms(const QString &text);
    // The text on one line, trimmed and cut to limit characters; none when nothing is left.
    static std::optional<QString> sanitize(const QString &text, qint64 limit);

signals:
    void fieldChanged();
    void fieldNameChanged();
    void aboutChanged();
    void vocabularyChanged();

private:
    Defaults &m_defaults;
    DictationField m_field = DictationField::Unspecified;
    QString m_fieldName;
    QString m_about;
    QStringList m_vocabulary;
};

} // namespace velmora
