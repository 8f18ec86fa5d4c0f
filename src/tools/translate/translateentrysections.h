#pragma once

#include "library/history.h"
#include "tools/translate/translatetone.h"

#include <QStringList>
#include <QWidget>

#include <optional>

class QLabel;

namespace velmora {

class CopyButton;
class SendToButton;
class StyledLabel;
class ToolHandoff;

// The body of a History entry page for a Translate run: the "Original" section with the text
// that was translated and the "Translation" section with the result, each with a line of facts
// (language, tone, length), Copy and Send to, and for a run that did not finish a note above the
// translation. Search terms are highlighted in both texts. It only reads.
class TranslateEntrySections : public QWidget {
    Q_OBJECT
public:
    // What the sections show, derived from the entry.
    struct Content {
        std::optional<QString> inputText;
        std::optional<QString> inputLanguage;
        std::optional<QString> outputText;
        std::optional<QString> outputLanguage;
        std::optional<QString> note;
        std::optional<TranslateTone> tone;

        static Content from(const HistoryEntryDetail &detail);
        // Facts in order; texts in the in-app language.
        QStringList originalFacts() const;
        QStringList translationFacts() const;
        bool hasOriginal() const { return inputText.has_value(); }
        bool hasTranslation() const { return outputText.has_value() || note.has_value(); }
    };

    // One titled section.
    struct Section {
        QWidget *widget = nullptr;
        StyledLabel *title = nullptr;
        StyledLabel *facts = nullptr;
        StyledLabel *note = nullptr;
        QLabel *text = nullptr;
        CopyButton *copy = nullptr;
        SendToButton *sendTo = nullptr;
    };

    TranslateEntrySections(const HistoryEntryDetail &detail, const QStringList &searchTerms, ToolHandoff &handoff,
                           QWidget *parent = nullptr);

    const Content &content() const { return m_content; }
    // Absent sections have no widget.
    const Section &original() const { return m_original; }
    const Section &translation() const { return m_translation; }

    // "%lld characters" for Japanese text, else "%lld words".
    static QString countLabel(const QString &text, const std::optional<QString> &language);
    // The language's own name for "ja" and "en"; none for any other code.
    static std::optional<QString> languageName(const std::optional<QString> &code);
    // The text as rich text with every case-insensitive match of a term marked in color.
    static QString highlighted(const QString &text, const QStringList &terms, const QColor &color);

protected:
    void changeEvent(QEvent *event) override;

private:
    Section makeSection(const QString &text, const std::optional<QString> &original);
    void retranslate();

    HistoryEntryDetail m_detail;
    QStringList m_terms;
    ToolHandoff &m_handoff;
    Content m_content;
    Section m_original;
    Section m_translation;
};

} // namespace velmora
