#include "tools/translate/translateentrysections.h"

#include "dictation/wordcount.h"
#include "tools/translate/translatemeasurements.h"
#include "ui/copybutton.h"
#include "ui/styledlabel.h"
#include "workspace/handofffakes.h"
#include "workspace/sendtobutton.h"

#include "support/testsupport.h"

#include <QLabel>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kJapanese = QStringLiteral("本日の会議は木曜日に変更になりました。");
const QString kEnglish = QStringLiteral("Today's meeting has moved to Thursday.");

LibraryArtifact text(LibraryArtifact::Role role, std::optional<QString> language, std::optional<QString> value) {
    LibraryArtifact artifact;
    artifact.id = QUuid::createUuid();
    artifact.role = role;
    artifact.kind = LibraryArtifact::Kind::Text;
    artifact.language = std::move(language);
    artifact.text = std::move(value);
    return artifact;
}

QString measurementsWithTone(TranslateTone tone) {
    TranslateMeasurements measurements;
    measurements.tone = tone;
    measurements.sourceCharacters = 19;
    return measurements.encoded();
}

class TranslateEntrySectionsTest : public ::testing::Test, protected HandoffFakes {
protected:
    TranslateEntrySectionsTest() : HandoffFakes(false) {}

    HistoryEntryDetail detail(QList<LibraryArtifact> artifacts, std::optional<ActivityEvent::Outcome> outcome,
                              std::optional<QString> measurements) {
        HistoryEntryDetail d;
        d.id = QUuid::createUuid();
        d.tool = QStringLiteral("translate");
        d.artifacts = std::move(artifacts);
        d.outcome = outcome;
        d.measurements = std::move(measurements);
        return d;
    }
};

} // namespace

TEST_F(TranslateEntrySectionsTest, ACompletedRunShowsBothTextsWithTheirLanguagesToneAndLength) {
    using Role = LibraryArtifact::Role;
    TranslateEntrySections view(detail({text(Role::Input, "ja", kJapanese), text(Role::Output, "en", kEnglish)},
                                       ActivityEvent::Outcome::Completed, measurementsWithTone(TranslateTone::Natural)),
                                {}, handoff);
    const auto &original = view.original();
    ASSERT_NE(original.widget, nullptr);
    EXPECT_EQ(original.title->text(), "Original");
    EXPECT_EQ(original.facts->text(), QString::fromUtf8("日本語 · %1 characters").arg(countCharacters(kJapanese)));
    EXPECT_EQ(original.text->text(), kJapanese);
    EXPECT_FALSE(original.note->isVisibleTo(&view));
    EXPECT_EQ(original.copy->copyText(), kJapanese);
    EXPECT_EQ(original.sendTo->content()->text, kJapanese);
    EXPECT_EQ(original.sendTo->content()->original, std::nullopt);
    EXPECT_EQ(original.sendTo->content()->fileName, "Original");

    const auto &translation = view.translation();
    ASSERT_NE(translation.widget, nullptr);
    EXPECT_EQ(translation.title->text(), "Translation");
    EXPECT_EQ(translation.facts->text(), QString("English · Natural tone · %1 words").arg(countWords(kEnglish, "en")));
    EXPECT_FALSE(translation.note->isVisibleTo(&view));
    EXPECT_EQ(translation.copy->copyText(), kEnglish);
    EXPECT_EQ(translation.sendTo->content()->text, kEnglish);
    EXPECT_EQ(translation.sendTo->content()->original, kJapanese);
    EXPECT_EQ(translation.sendTo->content()->from, WorkspaceTool::Translate);
}

TEST_F(TranslateEntrySectionsTest, TheNoteFollowsTheOutcomeAndWhetherTextCameBack) {
    using Role = LibraryArtifact::Role;
    using Outcome = ActivityEvent::Outcome;
    const QString partial = QStringLiteral("Today's meeting");
    const struct {
        const char *name;
        std::optional<Outcome> outcome;
        bool withText;
        std::optional<QString> note;
        bool section;
    } cases[] = {
        {"partial with text", Outcome::Partial, true, "The translation stopped partway through.", true},
        {"failed with text", Outcome::Failed, true, "The translation stopped partway through.", true},
        {"interrupted with text", Outcome::Interrupted, true, "The translation stopped partway through.", true},
        {"partial without text", Outcome::Partial, false, "Translation failed.", true},
        {"failed without text", Outcome::Failed, false, "Translation failed.", true},
        {"interrupted without text", Outcome::Interrupted, false, "Translation failed.", true},
        {"completed with text", Outcome::Completed, true, std::nullopt, true},
        {"no outcome with text", std::nullopt, true, std::nullopt, true},
        {"completed without text", Outcome::Completed, false, std::nullopt, false},
        {"no outcome without text", std::nullopt, false, std::nullopt, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QList<LibraryArtifact> artifacts{text(Role::Input, "ja", kJapanese)};
        if (c.withText)
            artifacts.append(text(Role::Output, "en", partial));
        TranslateEntrySections view(detail(artifacts, c.outcome, measurementsWithTone(TranslateTone::Business)), {},
                                    handoff);
        EXPECT_EQ(view.content().note, c.note);
        ASSERT_EQ(view.translation().widget != nullptr, c.section);
        if (!c.section)
            continue;
        const auto &translation = view.translation();
        EXPECT_EQ(translation.note->isVisibleTo(&view), c.note.has_value());
        if (c.note) {
            EXPECT_EQ(translation.note->text(), *c.note);
        }
        EXPECT_EQ(translation.copy->isVisibleTo(&view), c.withText);
        EXPECT_EQ(translation.sendTo->isVisibleTo(&view), c.withText);
        EXPECT_EQ(translation.text->isVisibleTo(&view), c.withText);
        if (c.withText) {
            EXPECT_EQ(translation.copy->copyText(), partial);
            EXPECT_EQ(translation.facts->text(), "English · Business tone · 2 words");
        } else {
            // Only the tone is left to tell.
            EXPECT_EQ(translation.facts->text(), "Business tone");
        }
    }
}

TEST_F(TranslateEntrySectionsTest, MeasurementsWithoutAUsableToneShowNoToneAndNothingElseChanges) {
    using Role = LibraryArtifact::Role;
    const std::optional<QString> measurements[] = {std::nullopt, QStringLiteral("{not json"),
                                                   QStringLiteral("{\"tone\":\"formal\"}"), QStringLiteral("{}")};
    for (const std::optional<QString> &m : measurements) {
        SCOPED_TRACE(m.value_or("none").toStdString());
        TranslateEntrySections view(detail({text(Role::Input, "ja", kJapanese), text(Role::Output, "en", kEnglish)},
                                           ActivityEvent::Outcome::Completed, m),
                                    {}, handoff);
        EXPECT_EQ(view.content().tone, std::nullopt);
        EXPECT_EQ(view.translation().facts->text(), QString("English · %1 words").arg(countWords(kEnglish, "en")));
        EXPECT_EQ(view.original().facts->text(),
                  QString::fromUtf8("日本語 · %1 characters").arg(countCharacters(kJapanese)));
    }
}

TEST_F(TranslateEntrySectionsTest, WhichArtifactsAreShown) {
    using Role = LibraryArtifact::Role;
    LibraryArtifact audio = text(Role::Input, "en", QStringLiteral("not text"));
    audio.kind = LibraryArtifact::Kind::Audio;
    // The first input text, and the last output text that is not empty.
    TranslateEntrySections view(
        detail({audio, text(Role::Input, "fr", QStringLiteral("Bonjour tout le monde")),
                text(Role::Input, "ja", kJapanese), text(Role::Output, "en", QStringLiteral("First try.")),
                text(Role::Output, "en", kEnglish), text(Role::Output, "en", QString()),
                text(Role::Output, "en", std::nullopt)},
               std::nullopt, std::nullopt),
        {}, handoff);
    EXPECT_EQ(view.content().inputText, "Bonjour tout le monde");
    EXPECT_EQ(view.content().outputText, kEnglish);
    // A language other than the two has no name, and its length is in words.
    EXPECT_EQ(view.original().facts->text(), "4 words");

    // An empty original still counts as one; an entry with nothing shows nothing.
    TranslateEntrySections empty(detail({text(Role::Input, "en", QString())}, std::nullopt, std::nullopt), {}, handoff);
    EXPECT_NE(empty.original().widget, nullptr);
    EXPECT_EQ(empty.translation().widget, nullptr);
    TranslateEntrySections nothing(detail({}, std::nullopt, std::nullopt), {}, handoff);
    EXPECT_EQ(nothing.original().widget, nullptr);
    EXPECT_EQ(nothing.translation().widget, nullptr);
}

TEST_F(TranslateEntrySectionsTest, SearchTermsAreMarkedWhereverTheyOccurInAnyCase) {
    const QColor mark(Qt::yellow);
    const QString open = QStringLiteral("<span style=\"background-color:%1\">").arg(mark.name(QColor::HexArgb));
    const struct {
        QString text;
        QStringList terms;
        QString html;
    } cases[] = {
        {"A Meeting about the meeting",
         {"meeting"},
         "A " + open + "Meeting</span> about the " + open + "meeting</span>"},
        {"no terms <b>", {}, "no terms &lt;b&gt;"},
        {"overlapping", {"overl", "lapp"}, open + "overlapp</span>ing"},
        {"two\nlines", {"x"}, "two<br>lines"},
        {QString::fromUtf8("会議は会議室で"),
         {QString::fromUtf8("会議")},
         open + QString::fromUtf8("会議</span>は") + open + QString::fromUtf8("会議</span>室で")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TranslateEntrySections::highlighted(c.text, c.terms, mark), c.html) << c.text.toStdString();

    using Role = LibraryArtifact::Role;
    TranslateEntrySections view(detail({text(Role::Input, "en", QStringLiteral("The meeting")),
                                        text(Role::Output, "ja", QString::fromUtf8("会議 meeting"))},
                                       ActivityEvent::Outcome::Completed, std::nullopt),
                                {QStringLiteral("MEETING")}, handoff);
    EXPECT_EQ(view.original().text->text().count(QStringLiteral("<span")), 1);
    EXPECT_EQ(view.translation().text->text().count(QStringLiteral("<span")), 1);
    EXPECT_EQ(view.translation().facts->text(), QString::fromUtf8("日本語 · 10 characters"));
}

TEST_F(TranslateEntrySectionsTest, SwitchingTheLanguageRelabelsAllButTheLanguageNames) {
    using Role = LibraryArtifact::Role;
    TranslateEntrySections view(detail({text(Role::Input, "ja", kJapanese), text(Role::Output, "en", kEnglish)},
                                       ActivityEvent::Outcome::Partial, measurementsWithTone(TranslateTone::Casual)),
                                {}, handoff);
    // The counts are the Workspace's texts, shared by every tool's History entry.
    QTranslator japanese, shared;
    ASSERT_TRUE(japanese.load(QStringLiteral(":/translations/translate_ja.qm")));
    ASSERT_TRUE(shared.load(QStringLiteral(":/translations/workspace_ja.qm")));
    QCoreApplication::installTranslator(&shared);
    QCoreApplication::installTranslator(&japanese);
    EXPECT_TRUE(test::waitUntil([&] { return view.original().title->text() != "Original"; }));
    EXPECT_EQ(view.original().title->text(), QString::fromUtf8("原文"));
    EXPECT_EQ(view.translation().title->text(), QString::fromUtf8("翻訳"));
    EXPECT_EQ(view.translation().note->text(), QString::fromUtf8("翻訳は途中で止まりました。"));
    EXPECT_EQ(view.translation().facts->text(),
              QString::fromUtf8("English · カジュアルなトーン · %1 語").arg(countWords(kEnglish, "en")));
    EXPECT_EQ(view.original().facts->text(), QString::fromUtf8("日本語 · %1 文字").arg(countCharacters(kJapanese)));
    QCoreApplication::removeTranslator(&japanese);
    QCoreApplication::removeTranslator(&shared);
    EXPECT_TRUE(test::waitUntil([&] { return view.original().title->text() == "Original"; }));
}
