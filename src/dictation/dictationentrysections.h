#pragma once

// A dictation run as History's entry page shows it: its recording (a player for the stored
// audio) and its transcript with a note on how the run ended, its count and whether it was pasted.

#include "library/history.h"

#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QMediaPlayer;

namespace velmora {

class Button;
class CopyButton;
class StyledLabel;

class DictationEntrySections : public QWidget {
    Q_OBJECT
public:
    // The file URL of a stored audio path under the Library; none when there is no such file.
    using AudioLocator = std::function<std::optional<QUrl>(const QString &path)>;

    struct Transcript {
        // "Transcript".
        QString label;
        // The count, then "Pasted" or "Couldn't paste" when known; empty without a text.
        QStringList stats;
        std::optional<QString> note;
        std::optional<QString> text;
    };
    // Which sections the entry gets.
    struct Plan {
        std::optional<QUrl> recording;
        std::optional<Transcript> transcript;
    };

    static Plan plan(const HistoryEntryDetail &detail, const AudioLocator &audio);
    // "12 words", or for Japanese (given, else recognised from the text) "34 characters", the
    // characters other than white space.
    static QString countLabel(const QString &text, const std::optional<QString> &language);
    // Whether the player plays this file: raw samples kept when archiving failed have no header
    // any player could read.
    static bool isPlayable(const QUrl &url);

    DictationEntrySections(const HistoryEntryDetail &detail, QStringList searchTerms, AudioLocator audio,
                           QWidget *parent = nullptr);
    ~DictationEntrySections() override;

    const Plan &sections() const { return m_plan; }
    QWidget *recordingSection() const { return m_recording; }
    QWidget *transcriptSection() const { return m_transcript; }
    QLabel *transcriptText() const { return m_text; }
    StyledLabel *noteLabel() const { return m_note; }
    StyledLabel *statsLabel() const { return m_stats; }
    CopyButton *copyButton() const { return m_copy; }

    // The transcript as rich text with the terms' matches highlighted.
    static QString highlighted(const QString &text, const QStringList &terms, const QColor &highlight);

protected:
    void changeEvent(QEvent *event) override;

private:
    void build();
    void clear();

    HistoryEntryDetail m_detail;
    QStringList m_terms;
    AudioLocator m_audio;
    Plan m_plan;
    QWidget *m_recording = nullptr;
    QWidget *m_transcript = nullptr;
    QLabel *m_text = nullptr;
    StyledLabel *m_note = nullptr;
    StyledLabel *m_stats = nullptr;
    CopyButton *m_copy = nullptr;
    Button *m_play = nullptr;
    QMediaPlayer *m_player = nullptr;
};

} // namespace velmora
