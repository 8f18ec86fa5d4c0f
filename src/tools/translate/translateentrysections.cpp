#include "tools/translate/translateentrysections.h"

#include "dictation/wordcount.h"
#include "tools/translate/translatelanguage.h"
#include "tools/translate/translatemeasurements.h"
#include "ui/button.h"
#include "ui/copybutton.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "workspace/sendtobutton.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace velmora {

namespace {

QString translated(const char *text, const char *comment) {
    return QCoreApplication::translate("Translate", text, comment);
}

QString originalTitle() {
    return translated("Original", "History entry section with the text that was translated");
}

QString translationTitle() {
    return translated("Translation", "History entry section with the translated text");
}

bool isText(const LibraryArtifact &artifact, LibraryArtifact::Role role) {
    return artifact.role == role && artifact.kind == LibraryArtifact::Kind::Text;
}

} // namespace

TranslateEntrySections::Content TranslateEntrySections::Content::from(const HistoryEntryDetail &detail) {
    Content content;
    for (const LibraryArtifact &artifact : detail.artifacts) {
        if (isText(artifact, LibraryArtifact::Role::Input)) {
            content.inputText = artifact.text;
            content.inputLanguage = artifact.language;
            break;
        }
    }
    for (const LibraryArtifact &artifact : detail.artifacts) {
        if (isText(artifact, LibraryArtifact::Role::Output) && artifact.text && !artifact.text->isEmpty()) {
            content.outputText = artifact.text;
            content.outputLanguage = artifact.language;
        }
    }
    if (detail.outcome && *detail.outcome != ActivityEvent::Outcome::Completed) {
        content.note = content.outputText
                           ? translated("The translation stopped partway through.",
                                        "History entry note above an incomplete translation")
                           : translated("Translation failed.", "History entry note for a run without text");
    }
    // Measurements that do not decode count as none.
    if (detail.measurements) {
        if (const std::optional<TranslateMeasurements> measurements =
                TranslateMeasurements::decode(*detail.measurements))
            content.tone = measurements->tone;
    }
    return content;
}

QStringList TranslateEntrySections::Content::originalFacts() const {
    QStringList facts;
    if (const std::optional<QString> name = languageName(inputLanguage))
        facts.append(*name);
    if (inputText)
        facts.append(countLabel(*inputText, inputLanguage));
    return facts;
}

QStringList TranslateEntrySections::Content::translationFacts() const {
    QStringList facts;
    if (outputText) {
        if (const std::optional<QString> name = languageName(outputLanguage))
            facts.append(*name);
    }
    if (tone)
        facts.append(noteTitle(*tone));
    if (outputText)
        facts.append(countLabel(*outputText, outputLanguage));
    return facts;
}

QString TranslateEntrySections::countLabel(const QString &text, const std::optional<QString> &language) {
    // The same texts as the other tools' History entries, so one translation serves all.
    if (language == QStringLiteral("ja"))
        return QCoreApplication::translate("Workspace", "%n characters", "Count of an entry's characters",
                                           static_cast<int>(countCharacters(text)));
    return QCoreApplication::translate("Workspace", "%n words", "Count of an entry's words",
                                       static_cast<int>(countWords(text, language)));
}

std::optional<QString> TranslateEntrySections::languageName(const std::optional<QString> &code) {
    if (!code)
        return std::nullopt;
    const std::optional<TranslateLanguage> language = translateLanguageFromString(*code);
    if (!language)
        return std::nullopt;
    return interfaceName(*language);
}

QString TranslateEntrySections::highlighted(const QString &text, const QStringList &terms, const QColor &color) {
    // Marks per UTF-16 unit, so overlapping terms merge into one span.
    QList<bool> marked(text.size(), false);
    for (const QString &term : terms) {
        if (term.isEmpty())
            continue;
        for (qsizetype at = text.indexOf(term, 0, Qt::CaseInsensitive); at >= 0;
             at = text.indexOf(term, at + term.size(), Qt::CaseInsensitive)) {
            for (qsizetype i = at; i < at + term.size(); ++i)
                marked[i] = true;
        }
    }
    const QString open = QStringLiteral("<span style=\"background-color:%1\">").arg(color.name(QColor::HexArgb));
    QString html;
    bool inMark = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (marked[i] != inMark) {
            html += marked[i] ? open : QStringLiteral("</span>");
            inMark = marked[i];
        }
        html += QString(text[i]).toHtmlEscaped();
    }
    if (inMark)
        html += QStringLiteral("</span>");
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

TranslateEntrySections::TranslateEntrySections(const HistoryEntryDetail &detail, const QStringList &searchTerms,
                                               ToolHandoff &handoff, QWidget *parent)
    : QWidget(parent), m_detail(detail), m_terms(searchTerms), m_handoff(handoff) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(24);
    m_content = Content::from(detail);
    if (m_content.hasOriginal()) {
        m_original = makeSection(*m_content.inputText, std::nullopt);
        layout->addWidget(m_original.widget);
    }
    if (m_content.hasTranslation()) {
        m_translation = makeSection(m_content.outputText.value_or(QString()), m_content.inputText);
        if (!m_content.outputText) {
            m_translation.text->hide();
            m_translation.copy->hide();
            m_translation.sendTo->hide();
        }
        layout->addWidget(m_translation.widget);
    }
    layout->addStretch(1);
    retranslate();
}

TranslateEntrySections::Section TranslateEntrySections::makeSection(const QString &text,
                                                                    const std::optional<QString> &original) {
    Section section;
    section.widget = new QWidget(this);
    auto *column = new QVBoxLayout(section.widget);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto *top = new QHBoxLayout;
    top->setSpacing(12);
    auto *heading = new QVBoxLayout;
    heading->setSpacing(2);
    section.title = new StyledLabel(QString(), Typography::SectionHeader);
    section.title->setHeading(true);
    section.facts = new StyledLabel(QString(), Typography::Meta);
    section.facts->setColor(ColorName::TextSecondary);
    heading->addWidget(section.title);
    heading->addWidget(section.facts);
    top->addLayout(heading, 1);
    section.copy = new CopyButton(false);
    section.copy->setCopyText(text);
    section.sendTo = new SendToButton(m_handoff);
    SendableText sendable;
    sendable.text = text;
    sendable.original = original;
    sendable.from = WorkspaceTool::Translate;
    section.sendTo->setContent(sendable);
    top->addWidget(section.copy, 0, Qt::AlignTop);
    top->addWidget(section.sendTo, 0, Qt::AlignTop);
    column->addLayout(top);
    section.note = new StyledLabel(QString(), Typography::Body);
    section.note->setColor(ColorName::TextSecondary);
    section.note->setWordWrap(true);
    section.note->hide();
    column->addWidget(section.note);
    section.text = new QLabel;
    section.text->setTextFormat(Qt::RichText);
    section.text->setWordWrap(true);
    section.text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    section.text->setFont(fontFor(Typography::Reading, Environment::textSize(this)));
    section.text->setText(highlighted(text, m_terms, Environment::color(this, ColorName::Highlight)));
    column->addWidget(section.text);
    return section;
}

void TranslateEntrySections::retranslate() {
    // Notes and tone labels are texts of the in-app language: derive them again.
    m_content = Content::from(m_detail);
    if (m_original.widget) {
        m_original.title->setText(originalTitle());
        m_original.facts->setText(m_content.originalFacts().join(QStringLiteral(" · ")));
        SendableText sendable = *m_original.sendTo->content();
        sendable.fileName = originalTitle();
        m_original.sendTo->setContent(sendable);
    }
    if (m_translation.widget) {
        m_translation.title->setText(translationTitle());
        m_translation.facts->setText(m_content.translationFacts().join(QStringLiteral(" · ")));
        m_translation.note->setText(m_content.note.value_or(QString()));
        m_translation.note->setVisible(m_content.note.has_value());
        SendableText sendable = *m_translation.sendTo->content();
        sendable.fileName = translationTitle();
        m_translation.sendTo->setContent(sendable);
    }
}

void TranslateEntrySections::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

} // namespace velmora
