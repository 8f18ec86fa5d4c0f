// A dictation's sections in History for each way a run ends and each delivery.

#include "dictation/dictationentrysections.h"

#include "dictation/dictationmeasurements.h"
#include "support/testsupport.h"
#include "ui/copybutton.h"
#include "ui/styledlabel.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

using Outcome = ActivityEvent::Outcome;
using Delivery = DictationMeasurements::Delivery;

class EntrySectionsTest : public ::testing::Test {
protected:
    // Only files that exist under the folder have a URL.
    DictationEntrySections::AudioLocator locator() {
        return [this](const QString &path) -> std::optional<QUrl> {
            const QString full = QDir(root.path()).filePath(path);
            if (!QFile::exists(full))
                return std::nullopt;
            return QUrl::fromLocalFile(full);
        };
    }
    LibraryArtifact audio(const QString &path, bool onDisk = true) {
        if (onDisk)
            writeFile(QDir(root.path()).filePath(path), "audio");
        LibraryArtifact a;
        a.role = LibraryArtifact::Role::Input;
        a.kind = LibraryArtifact::Kind::Audio;
        a.filePath = path;
        return a;
    }
    static LibraryArtifact transcript(const QString &text, std::optional<QString> language = QStringLiteral("en")) {
        LibraryArtifact a;
        a.role = LibraryArtifact::Role::Output;
        a.kind = LibraryArtifact::Kind::Text;
        a.text = text;
        a.language = language;
        return a;
    }
    static std::optional<QString> delivered(std::optional<Delivery> delivery) {
        DictationMeasurements m;
        m.delivery = delivery;
        return m.encoded();
    }

    QTemporaryDir root;
};

TEST_F(EntrySectionsTest, EachOutcomeGetsItsSectionsNoteAndStats) {
    struct Case {
        const char *name;
        std::optional<Outcome> outcome;
        bool audioKept;
        std::optional<QString> text;
        std::optional<QString> measurements;
        bool recording;
        bool transcriptSection;
        std::optional<QString> note;
        QStringList stats;
    };
    const QString words = QStringLiteral("Hello there, this is four words? no six.");
    const QString six = QStringLiteral("8 words");
    const QList<Case> cases{
        {"completed, pasted, audio kept",
         Outcome::Completed,
         true,
         words,
         delivered(Delivery::Pasted),
         true,
         true,
         std::nullopt,
         {six, QStringLiteral("Pasted")}},
        {"completed without text",
         Outcome::Completed,
         true,
         std::nullopt,
         delivered(Delivery::None),
         true,
         false,
         std::nullopt,
         {}},
        {"an empty text counts as none",
         Outcome::Completed,
         false,
         QString(),
         std::nullopt,
         false,
         false,
         std::nullopt,
         {}},
        {"failed without text",
         Outcome::Failed,
         false,
         std::nullopt,
         std::nullopt,
         false,
         true,
         QStringLiteral("Transcription failed."),
         {}},
        {"failed with text",
         Outcome::Failed,
         true,
         words,
         delivered(Delivery::Failed),
         true,
         true,
         QStringLiteral("Transcription didn't finish."),
         {six, QStringLiteral("Couldn't paste")}},
        {"partial with text",
         Outcome::Partial,
         true,
         words,
         delivered(Delivery::Pasted),
         true,
         true,
         QStringLiteral("Part of the recording couldn't be transcribed."),
         {six, QStringLiteral("Pasted")}},
        {"partial without text",
         Outcome::Partial,
         true,
         std::nullopt,
         std::nullopt,
         true,
         true,
         QStringLiteral("Transcription failed."),
         {}},
        {"interrupted with text",
         Outcome::Interrupted,
         true,
         words,
         delivered(Delivery::None),
         true,
         true,
         QStringLiteral("The recording was interrupted partway through."),
         {six}},
        {"interrupted without text",
         Outcome::Interrupted,
         false,
         std::nullopt,
         std::nullopt,
         false,
         true,
         QStringLiteral("The recording was interrupted before any words were transcribed."),
         {}},
        {"no outcome",
         std::nullopt,
         false,
         words,
         delivered(Delivery::Pasted),
         false,
         true,
         std::nullopt,
         {six, QStringLiteral("Pasted")}},
        {"unreadable measurements",
         Outcome::Completed,
         false,
         words,
         QStringLiteral("{not json"),
         false,
         true,
         std::nullopt,
         {six}},
        {"an unknown delivery",
         Outcome::Completed,
         false,
         words,
         QStringLiteral("{\"delivery\":\"mailed\"}"),
         false,
         true,
         std::nullopt,
         {six}},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HistoryEntryDetail detail;
        detail.tool = QStringLiteral("dictation");
        detail.outcome = c.outcome;
        detail.measurements = c.measurements;
        detail.artifacts.append(audio(QStringLiteral("Assets/%1/a.m4a").arg(++n), c.audioKept));
        if (c.text)
            detail.artifacts.append(transcript(*c.text));
        DictationEntrySections view(detail, {}, locator());
        EXPECT_EQ(view.recordingSection() != nullptr, c.recording);
        EXPECT_EQ(view.transcriptSection() != nullptr, c.transcriptSection);
        const auto &section = view.sections().transcript;
        ASSERT_EQ(section.has_value(), c.transcriptSection);
        if (!section)
            continue;
        EXPECT_EQ(section->label, QStringLiteral("Transcript"));
        EXPECT_EQ(section->note, c.note);
        EXPECT_EQ(section->stats, c.stats);
        const bool text = c.text && !c.text->isEmpty();
        EXPECT_EQ(view.copyButton() != nullptr, text);
        EXPECT_EQ(view.transcriptText() != nullptr, text);
        EXPECT_EQ(view.noteLabel() != nullptr, c.note.has_value());
        if (view.noteLabel()) {
            EXPECT_EQ(view.noteLabel()->color(), ColorName::TextSecondary);
        }
        if (view.copyButton()) {
            EXPECT_EQ(view.copyButton()->copyText(), c.text);
        }
    }
}

TEST_F(EntrySectionsTest, TheLastOutputTextIsTheTranscriptAndTheFirstAudioTheRecording) {
    HistoryEntryDetail detail;
    detail.outcome = Outcome::Completed;
    detail.artifacts = {transcript(QStringLiteral("older text")), audio(QStringLiteral("first.m4a")),
                        audio(QStringLiteral("second.m4a")), transcript(QStringLiteral("newer text here"))};
    const auto plan = DictationEntrySections::plan(detail, locator());
    ASSERT_TRUE(plan.recording.has_value());
    EXPECT_TRUE(plan.recording->toLocalFile().endsWith(QStringLiteral("first.m4a")));
    EXPECT_EQ(plan.transcript->text, QStringLiteral("newer text here"));
    EXPECT_EQ(plan.transcript->stats.value(0), QStringLiteral("3 words"));
}

TEST_F(EntrySectionsTest, RawSamplesKeptWhenArchivingFailedAreNotOfferedToThePlayer) {
    HistoryEntryDetail detail;
    detail.outcome = Outcome::Completed;
    detail.artifacts = {audio(QStringLiteral("Assets/t/raw.f32")), transcript(QStringLiteral("kept words"))};
    DictationEntrySections view(detail, {}, locator());
    EXPECT_EQ(view.recordingSection(), nullptr);
    EXPECT_NE(view.transcriptSection(), nullptr);
    EXPECT_TRUE(DictationEntrySections::isPlayable(QUrl::fromLocalFile(QStringLiteral("/x/a.m4a"))));
    EXPECT_FALSE(DictationEntrySections::isPlayable(QUrl::fromLocalFile(QStringLiteral("/x/a.F32"))));
}

TEST_F(EntrySectionsTest, JapaneseCountsCharactersOtherThanWhiteSpace) {
    struct Case {
        QString text;
        std::optional<QString> language;
        QString label;
    };
    const QList<Case> cases{
        {QStringLiteral("こんにちは 世界\n"), QStringLiteral("ja"), QStringLiteral("7 characters")},
        {QStringLiteral("こんにちは 世界"), std::nullopt, QStringLiteral("7 characters")},
        {QStringLiteral("two words"), std::nullopt, QStringLiteral("2 words")},
        {QStringLiteral("one"), QStringLiteral("en"), QStringLiteral("1 words")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DictationEntrySections::countLabel(c.text, c.language), c.label) << c.text.toStdString();
}

TEST_F(EntrySectionsTest, SearchTermsAreHighlightedWithoutTouchingTheRest) {
    const QString html = DictationEntrySections::highlighted(QStringLiteral("Say <b>Hello</b> hello"),
                                                             {QStringLiteral("hello")}, Qt::yellow);
    EXPECT_EQ(html.count(QStringLiteral("background-color:#ffff00")), 2);
    EXPECT_TRUE(html.contains(QStringLiteral("&lt;b&gt;")));
    EXPECT_EQ(DictationEntrySections::highlighted(QStringLiteral("a.b"), {QStringLiteral(".")}, Qt::yellow),
              QStringLiteral("a<span style=\"background-color:#ffff00\">.</span>b"));
    EXPECT_EQ(DictationEntrySections::highlighted(QStringLiteral("plain"), {}, Qt::yellow), QStringLiteral("plain"));
}

} // namespace

namespace {

TEST_F(EntrySectionsTest, TheTextsFollowTheApplicationLanguage) {
    QTranslator dictationJa;
    QTranslator workspaceJa;
    ASSERT_TRUE(dictationJa.load(QStringLiteral(":/translations/dictation_ja.qm")));
    ASSERT_TRUE(workspaceJa.load(QStringLiteral(":/translations/workspace_ja.qm")));
    QCoreApplication::installTranslator(&dictationJa);
    QCoreApplication::installTranslator(&workspaceJa);
    HistoryEntryDetail detail;
    detail.outcome = Outcome::Interrupted;
    detail.measurements = delivered(Delivery::Pasted);
    detail.artifacts = {transcript(QStringLiteral("two words"))};
    const auto plan = DictationEntrySections::plan(detail, locator());
    QCoreApplication::removeTranslator(&dictationJa);
    QCoreApplication::removeTranslator(&workspaceJa);
    ASSERT_TRUE(plan.transcript.has_value());
    EXPECT_EQ(plan.transcript->label, QStringLiteral("文字起こし"));
    EXPECT_EQ(plan.transcript->stats, (QStringList{QStringLiteral("2 語"), QStringLiteral("ペースト済み")}));
    EXPECT_EQ(plan.transcript->note, QStringLiteral("録音が途中で中断されました。"));
}

} // namespace
