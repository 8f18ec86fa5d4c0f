#include "dictation/dictationentrysections.h"

#include "dictation/dictationmeasurements.h"
#include "dictation/wordcount.h"
#include "ui/button.h"
#include "ui/copybutton.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "ui/typography.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace velmora {

namespace {

using Outcome = ActivityEvent::Outcome;

QString text(const char *source, const char *comment) {
    return QCoreApplication::translate("Dictation", source, comment);
}

bool looksJapanese(const QString &value) {
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if ((u >= 0x3040 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xFF66 && u <= 0xFF9D))
            return true;
    }
    return false;
}

std::optional<QString> noteFor(std::optional<Outcome> outcome, bool hasText) {
    if (!outcome)
        return std::nullopt;
    switch (*outcome) {
    case Outcome::Partial:
        return hasText ? text("Part of the recording couldn't be transcribed.",
                              "History entry note above a partial transcript")
                       : text("Transcription failed.", "History entry note for a run without text");
    case Outcome::Failed:
        return hasText ? text("Transcription didn't finish.", "History entry note above the transcript of a failed run")
                       : text("Transcription failed.", "History entry note for a run without text");
    case Outcome::Interrupted:
        return hasText ? text("The recording was interrupted partway through.",
                              "History entry note above the transcript of an interrupted recording")
                       : text("The recording was interrupted before any words were transcribed.",
                              "History entry note for an interrupted recording without text");
    case Outcome::Completed: return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

QString DictationEntrySections::countLabel(const QString &value, const std::optional<QString> &language) {
    const bool japanese = language ? language->startsWith(QLatin1String("ja")) : looksJapanese(value);
    if (japanese) {
        qint64 count = 0;
        for (const QChar c : value)
            count += c.isSpace() || c.isLowSurrogate() ? 0 : 1;
        return QCoreApplication::translate("Workspace", "%n characters", "Count of an entry's characters", count);
    }
    return QCoreApplication::translate("Workspace", "%n words", "Count of an entry's words",
                                       static_cast<int>(countWords(value, language)));
}

bool DictationEntrySections::isPlayable(const QUrl &url) {
    return url.isLocalFile() &&
           QFileInfo(url.toLocalFile()).suffix().compare(QLatin1String("f32"), Qt::CaseInsensitive) != 0;
}

DictationEntrySections::Plan DictationEntrySections::plan(const HistoryEntryDetail &detail, const AudioLocator &audio) {
    Plan plan;
    for (const LibraryArtifact &artifact : detail.artifacts) {
        if (artifact.kind != LibraryArtifact::Kind::Audio)
            continue;
        if (artifact.filePath)
            if (const std::optional<QUrl> url = audio(*artifact.filePath); url && isPlayable(*url))
                plan.recording = url;
        break;
    }
    const LibraryArtifact *transcript = nullptr;
    for (const LibraryArtifact &artifact : detail.artifacts)
        if (artifact.role == LibraryArtifact::Role::Output && artifact.kind == LibraryArtifact::Kind::Text)
            transcript = &artifact;
    std::optional<QString> value;
    if (transcript && transcript->text && !transcript->text->isEmpty())
        value = transcript->text;
    const std::optional<QString> note = noteFor(detail.outcome, value.has_value());
    if (!value && !note)
        return plan;

    Transcript section;
    section.label = text("Transcript", "History entry section with the dictation's text");
    section.note = note;
    section.text = value;
    if (value) {
        section.stats.append(countLabel(*value, transcript->language));
        std::optional<DictationMeasurements> measurements;
        if (detail.measurements)
            measurements = DictationMeasurements::decode(*detail.measurements);
        if (measurements && measurements->delivery == DictationMeasurements::Delivery::Pasted)
            section.stats.append(text("Pasted", "History entry: the text was pasted where the user was typing"));
        else if (measurements && measurements->delivery == DictationMeasurements::Delivery::Failed)
            section.stats.append(text("Couldn't paste", "History entry: pasting the text failed"));
    }
    plan.transcript = section;
    return plan;
}

QString DictationEntrySections::highlighted(const QString &value, const QStringList &terms, const QColor &highlight) {
    QStringList patterns;
    for (const QString &term : terms)
        if (!term.trimmed().isEmpty())
            patterns.append(QRegularExpression::escape(term.trimmed()));
    const QString style = QStringLiteral("<span style=\"background-color:%1\">").arg(highlight.name());
    QString html;
    qsizetype at = 0;
    if (!patterns.isEmpty()) {
        const QRegularExpression matcher(patterns.join(u'|'), QRegularExpression::CaseInsensitiveOption);
        for (auto it = matcher.globalMatch(value); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            if (match.capturedLength() == 0)
                continue;
            html += value.mid(at, match.capturedStart() - at).toHtmlEscaped();
            html += style + match.captured().toHtmlEscaped() + QStringLiteral("</span>");
            at = match.capturedEnd();
        }
    }
    html += value.mid(at).toHtmlEscaped();
    html.replace(u'\n', QStringLiteral("<br>"));
    return html;
}

DictationEntrySections::DictationEntrySections(const HistoryEntryDetail &detail, QStringList searchTerms,
                                               AudioLocator audio, QWidget *parent)
    : QWidget(parent), m_detail(detail), m_terms(std::move(searchTerms)), m_audio(std::move(audio)) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(24);
    build();
}

DictationEntrySections::~DictationEntrySections() = default;

void DictationEntrySections::clear() {
    delete m_recording;
    delete m_transcript;
    m_recording = m_transcript = nullptr;
    m_text = nullptr;
    m_note = m_stats = nullptr;
    m_copy = nullptr;
    m_play = nullptr;
    m_player = nullptr;
}

void DictationEntrySections::build() {
    clear();
    m_plan = plan(m_detail, m_audio);
    auto *layout = static_cast<QVBoxLayout *>(this->layout());
    const auto title = [](const QString &label) {
        auto *heading = new StyledLabel(label, Typography::SectionHeader);
        heading->setHeading(true);
        return heading;
    };
    if (m_plan.recording) {
        m_recording = new QWidget;
        auto *row = new QHBoxLayout(m_recording);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        m_play = new Button(text("Play", "History entry: plays the recording"), QStringLiteral("play.fill"),
                            SecondaryButtonStyle{});
        m_player = new QMediaPlayer(m_recording);
        m_player->setAudioOutput(new QAudioOutput(m_player));
        const QUrl url = *m_plan.recording;
        connect(m_play, &QAbstractButton::clicked, m_player, [player = m_player, url] {
            if (player->playbackState() == QMediaPlayer::PlayingState) {
                player->stop();
                return;
            }
            player->setSource(url);
            player->play();
        });
        connect(m_player, &QMediaPlayer::playbackStateChanged, m_play, [play = m_play](QMediaPlayer::PlaybackState s) {
            play->setText(s == QMediaPlayer::PlayingState ? text("Stop", "History entry: stops the recording")
                                                          : text("Play", "History entry: plays the recording"));
        });
        auto *name = new StyledLabel(QFileInfo(url.toLocalFile()).fileName(), Typography::Meta);
        name->setColor(ColorName::TextSecondary);
        row->addWidget(m_play);
        row->addWidget(name);
        row->addStretch(1);
        layout->addWidget(m_recording);
    }
    if (!m_plan.transcript)
        return;
    const Transcript &section = *m_plan.transcript;
    m_transcript = new QWidget;
    auto *column = new QVBoxLayout(m_transcript);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto *head = new QHBoxLayout;
    head->setSpacing(12);
    head->addWidget(title(section.label));
    if (!section.stats.isEmpty()) {
        m_stats = new StyledLabel(section.stats.join(QStringLiteral(" \u00B7 ")), Typography::Meta);
        m_stats->setColor(ColorName::TextSecondary);
        head->addWidget(m_stats, 0, Qt::AlignBaseline);
    }
    head->addStretch(1);
    if (section.text) {
        m_copy = new CopyButton(true);
        m_copy->setCopyText(section.text);
        head->addWidget(m_copy);
    }
    column->addLayout(head);
    if (section.note) {
        m_note = new StyledLabel(*section.note, Typography::Body);
        m_note->setColor(ColorName::TextSecondary);
        m_note->setWordWrap(true);
        column->addWidget(m_note);
    }
    if (section.text) {
        m_text = new QLabel;
        m_text->setTextFormat(Qt::RichText);
        m_text->setWordWrap(true);
        m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        m_text->setFont(fontFor(Typography::Reading, Environment::textSize(this)));
        m_text->setText(highlighted(*section.text, m_terms, Environment::color(this, ColorName::Highlight)));
        QPalette palette = m_text->palette();
        palette.setColor(QPalette::WindowText, Environment::color(this, ColorName::TextPrimary));
        m_text->setPalette(palette);
        column->addWidget(m_text);
    }
    layout->addWidget(m_transcript);
}

void DictationEntrySections::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange || Environment::isChange(event)) {
        if (event->type() != QEvent::ParentChange)
            build();
    }
}

} // namespace velmora
