#include "translatepagefixture.h"

#include "tools/translate/languagemenu.h"
#include "tools/translate/swapbutton.h"
#include "tools/translate/translatebutton.h"
#include "tools/translate/translatepanes.h"
#include "ui/button.h"
#include "ui/copybutton.h"
#include "ui/environment.h"
#include "ui/optionpills.h"
#include "ui/resulttextview.h"
#include "ui/styledlabel.h"
#include "ui/workspacepane.h"
#include "workspace/menutitles.h"
#include "workspace/sendtobutton.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kJapanese = QStringLiteral("今日は晴れています。");

} // namespace

class TranslatePanesTest : public TranslatePageTest {
protected:
    TranslatePanes &panes() {
        if (!m_panes)
            m_panes = std::make_unique<TranslatePanes>(session(), model(), handoff);
        return *m_panes;
    }
    void TearDown() override {
        m_panes.reset();
        TranslatePageTest::TearDown();
    }
    void rebuild() {
        m_panes.reset();
        resetSession();
    }
    // New panes in an active window of their own; null when the window did not become active.
    TranslatePanes *showInActiveWindow(QWidget &window) {
        auto *layout = new QVBoxLayout(&window);
        auto *shown = new TranslatePanes(session(), model(), handoff);
        layout->addWidget(shown);
        window.resize(900, 500);
        window.show();
        QApplication::setActiveWindow(&window);
        return QTest::qWaitForWindowActive(&window) ? shown : nullptr;
    }

private:
    std::unique_ptr<TranslatePanes> m_panes;
};

TEST_F(TranslatePanesTest, EachStateOfThePageEnablesAndLabelsWhatItShould) {
    const QString english = TranslateSession::sampleEnglishMail();
    const struct {
        std::optional<QString> preview;
        std::optional<QString> sourceCount;
        bool clear;
        bool swap;
        std::optional<QString> emptyText; // none: the result view shows
        std::optional<QString> resultCount;
        QStringList resultNotes;
        bool acts; // Copy and Send to have the result
        QString button;
        bool buttonEnabled;
    } cases[] = {
        {std::nullopt,
         std::nullopt,
         false,
         true,
         "The translation appears here.",
         std::nullopt,
         {},
         false,
         "Translate",
         false},
        {"typing",
         "157 characters",
         true,
         true,
         "The translation appears here.",
         std::nullopt,
         {},
         false,
         "Translate",
         true},
        {"running", "157 characters", false, false, std::nullopt, "Translating…", {}, false, "Stop", true},
        {"done",
         "157 characters",
         true,
         true,
         std::nullopt,
         QString("%1 words").arg(countWords(english, "en")),
         {},
         true,
         "Translate",
         true},
        {"edited",
         "157 characters",
         true,
         true,
         std::nullopt,
         QString("%1 words").arg(countWords(english, "en")),
         {"Edited"},
         true,
         "Translate",
         true},
        {"failed",
         "157 characters",
         true,
         true,
         "The translation didn't finish. Try again.",
         std::nullopt,
         {},
         false,
         "Translate",
         true},
        {"over",
         "5247 / 5000 characters",
         true,
         true,
         "The translation appears here.",
         std::nullopt,
         {},
         false,
         "Translate",
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.preview.value_or("none").toStdString());
        rebuild();
        previewState = c.preview;
        TranslatePanes &p = panes();
        EXPECT_EQ(p.editor()->toPlainText(), session().text());
        EXPECT_EQ(p.editor()->placeholder()->isVisibleTo(p.editor()), session().text().isEmpty());
        EXPECT_EQ(p.sourceCount(), c.sourceCount);
        EXPECT_EQ(p.clearButton()->isEnabled(), c.clear);
        EXPECT_EQ(p.swapButton()->isEnabled(), c.swap);
        EXPECT_EQ(p.emptyResult()->isVisibleTo(&p), c.emptyText.has_value());
        EXPECT_EQ(p.resultView()->isVisibleTo(&p), !c.emptyText.has_value());
        if (c.emptyText)
            EXPECT_EQ(p.emptyResult()->text(), *c.emptyText);
        else
            EXPECT_EQ(p.resultView()->isStreaming(), session().isRunning());
        EXPECT_EQ(p.resultCount(), c.resultCount);
        EXPECT_EQ(p.resultNotes(), c.resultNotes);
        EXPECT_EQ(p.copyButton()->copyText().has_value(), c.acts);
        EXPECT_EQ(p.sendToButton()->content().has_value(), c.acts);
        if (c.acts) {
            EXPECT_EQ(*p.copyButton()->copyText(), english);
            const SendableText &sent = *p.sendToButton()->content();
            EXPECT_EQ(sent.text, english);
            EXPECT_EQ(sent.original, session().text());
            EXPECT_EQ(sent.fileName, "Translation");
            EXPECT_EQ(sent.from, WorkspaceTool::Translate);
        }
        EXPECT_EQ(p.translateButton()->text(), c.button);
        EXPECT_EQ(p.translateButton()->isEnabled(), c.buttonEnabled);
        EXPECT_EQ(p.sourceMenu()->title(),
                  c.sourceCount ? QString::fromUtf8("日本語 (detected)") : QStringLiteral("Detect language"));
        EXPECT_EQ(p.targetMenu()->title(), "English");
    }
}

TEST_F(TranslatePanesTest, TheSourceCountsCharactersAndWarnsNearTheLimit) {
    const struct {
        QString text;
        std::optional<QString> label;
        bool canTranslate;
    } cases[] = {
        {QString(), std::nullopt, false},
        {QString::fromUtf8("日本語"), "3 characters", true},
        // A thumb with a skin tone is one character; so is a letter with a combining mark.
        {QString::fromUtf8("\U0001F44D\U0001F3FD"), "1 characters", true},
        {QString::fromUtf8("e\u0301"), "1 characters", true},
        {QString(4499, u'a'), "4499 characters", true},
        {QString(4500, u'a'), "4500 / 5000 characters", true},
        {QString(4999, u'a') + QString::fromUtf8("\U0001F44D\U0001F3FD"), "5000 / 5000 characters", true},
        {QString(5001, u'a'), "5001 / 5000 characters", false},
    };
    TranslatePanes &p = panes();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.left(20).toStdString());
        session().setText(c.text);
        EXPECT_EQ(p.sourceCount(), c.label);
        EXPECT_EQ(session().canTranslate(), c.canTranslate);
        EXPECT_EQ(p.translateButton()->isEnabled(), c.canTranslate);
    }
}

TEST_F(TranslatePanesTest, TheEditorAndTheSessionShareOneText) {
    TranslatePanes &p = panes();
    QTest::keyClicks(p.editor(), QStringLiteral("Hello"));
    EXPECT_EQ(session().text(), "Hello");
    EXPECT_EQ(p.sourceCount(), "5 characters");
    EXPECT_EQ(p.sourceMenu()->title(), "English (detected)");
    EXPECT_EQ(p.targetMenu()->title(), QString::fromUtf8("日本語"));
    EXPECT_TRUE(p.clearButton()->isEnabled());

    session().setText(kJapanese);
    EXPECT_EQ(p.editor()->toPlainText(), kJapanese);
    EXPECT_EQ(p.sourceMenu()->title(), QString::fromUtf8("日本語 (detected)"));
    EXPECT_EQ(p.targetMenu()->title(), "English");
    p.clearButton()->click();
    EXPECT_EQ(session().text(), QString());
    EXPECT_EQ(p.editor()->toPlainText(), QString());
    EXPECT_FALSE(p.clearButton()->isEnabled());
    EXPECT_EQ(p.sourceMenu()->title(), "Detect language");
}

TEST_F(TranslatePanesTest, PickingTheTargetAsSourceSwapsAndTheMenusFollowTheSession) {
    TranslatePanes &p = panes();
    session().setText(kJapanese);
    std::unique_ptr<QMenu> source(p.sourceMenu()->createMenu());
    menuItemTitled(*source, "English")->trigger();
    EXPECT_EQ(session().chosenSource(), TranslateLanguage::English);
    EXPECT_EQ(session().target(), TranslateLanguage::Japanese);
    EXPECT_EQ(p.sourceMenu()->title(), "English");
    EXPECT_EQ(p.sourceMenu()->selection(), TranslateLanguage::English);
    EXPECT_EQ(p.targetMenu()->selection(), TranslateLanguage::Japanese);

    // Back to detection.
    std::unique_ptr<QMenu> again(p.sourceMenu()->createMenu());
    menuItemTitled(*again, "Detect language")->trigger();
    EXPECT_EQ(session().chosenSource(), std::nullopt);
    EXPECT_EQ(p.sourceMenu()->title(), QString::fromUtf8("日本語 (detected)"));
    EXPECT_EQ(session().target(), TranslateLanguage::English);

    // The target menu: the other language; the chosen source then changes places.
    std::unique_ptr<QMenu> source2(p.sourceMenu()->createMenu());
    menuItemTitled(*source2, QString::fromUtf8("日本語"))->trigger();
    std::unique_ptr<QMenu> target(p.targetMenu()->createMenu());
    menuItemTitled(*target, QString::fromUtf8("日本語"))->trigger();
    EXPECT_EQ(session().target(), TranslateLanguage::Japanese);
    EXPECT_EQ(session().chosenSource(), TranslateLanguage::English);
}

TEST_F(TranslatePanesTest, TonePillsSetTheToneOnlyWhenItChanges) {
    TranslatePanes &p = panes();
    QSignalSpy changed(&session(), &TranslateSession::toneChanged);
    ASSERT_TRUE(p.tonePills()->showsPills() || p.tonePills()->fallbackMenu());
    emit p.tonePills()->selected(static_cast<int>(TranslateTone::Natural));
    EXPECT_EQ(changed.size(), 0);
    emit p.tonePills()->selected(static_cast<int>(TranslateTone::Casual));
    EXPECT_EQ(session().tone(), TranslateTone::Casual);
    EXPECT_EQ(p.tonePills()->selection().toInt(), static_cast<int>(TranslateTone::Casual));
    session().setTone(TranslateTone::Business);
    EXPECT_EQ(p.tonePills()->selection().toInt(), static_cast<int>(TranslateTone::Business));
    EXPECT_EQ(changed.size(), 2);
}

TEST_F(TranslatePanesTest, ARunStreamsThenItsResultCanBeCopiedSentAndEdited) {
    write({{"tokens", QJsonArray{"The ", "weather ", "is ", "fine."}}, {"tokenDelayMs", 200}});
    TranslatePanes &p = panes();
    session().setText(kJapanese);
    p.translateButton()->click();
    ASSERT_TRUE(session().isRunning());
    EXPECT_FALSE(p.swapButton()->isEnabled());
    EXPECT_FALSE(p.clearButton()->isEnabled());
    EXPECT_EQ(p.resultCount(), "Translating…");
    EXPECT_FALSE(p.copyButton()->copyText());
    EXPECT_FALSE(p.sendToButton()->content());
    EXPECT_TRUE(p.resultView()->isVisibleTo(&p));
    ASSERT_TRUE(waitUntil([&] { return !session().result().isEmpty(); }));
    EXPECT_TRUE(p.resultView()->shownText().startsWith(session().result()));
    EXPECT_TRUE(p.resultView()->isStreaming());
    ASSERT_TRUE(waitForEnd());

    EXPECT_EQ(p.resultView()->resultText(), "The weather is fine.");
    EXPECT_FALSE(p.resultView()->isStreaming());
    EXPECT_EQ(p.resultCount(), "4 words");
    EXPECT_EQ(p.copyButton()->copyText(), "The weather is fine.");
    EXPECT_TRUE(p.swapButton()->isEnabled());
    EXPECT_TRUE(p.resultNotes().isEmpty());

    // The user's edit reaches the session; the count follows it.
    emit p.resultView()->edited(QStringLiteral("The weather is very fine."));
    EXPECT_EQ(session().result(), "The weather is very fine.");
    EXPECT_TRUE(session().isEdited());
    EXPECT_EQ(p.resultNotes(), QStringList{"Edited"});
    EXPECT_EQ(p.resultCount(), "5 words");
    EXPECT_EQ(p.sendToButton()->content()->text, "The weather is very fine.");
}

TEST_F(TranslatePanesTest, TheSaveNoteShowsInTheSourcePane) {
    TranslatePanes &p = panes();
    EXPECT_TRUE(p.sourceNotes().isEmpty());
    run(session().attach(nullptr));
    EXPECT_EQ(p.sourceNotes(), QStringList{"History can't be opened, so translations aren't saved."});
}

TEST_F(TranslatePanesTest, ThePanesSplitTheWidthAndTheSwapButtonSitsBetweenTheirHeaders) {
    EXPECT_EQ(TranslatePanes::paneWidths(601), std::pair(294, 295));
    EXPECT_EQ(TranslatePanes::paneWidths(600), std::pair(294, 294));
    const struct {
        TextSize size;
        int offset;
    } cases[] = {{TextSize::Standard, 6}, {TextSize::Large, 6}, {TextSize::Larger, 8}, {TextSize::Largest, 8}};
    TranslatePanes &p = panes();
    p.show();
    const int band = WorkspacePane::kRingBand;
    for (const auto &c : cases) {
        Environment::setTextSize(&p, c.size);
        p.resize(601 + 2 * band, 400);
        EXPECT_EQ(p.swapOffset(), c.offset);
        const QRect source = p.sourcePane()->paneRect().translated(p.sourcePane()->pos());
        const QRect result = p.resultPane()->paneRect().translated(p.resultPane()->pos());
        EXPECT_EQ(source.width(), 294);
        EXPECT_EQ(result.width(), 295);
        EXPECT_EQ(result.left() - source.right() - 1, 12);
        const QRect swap = p.swapButton()->geometry();
        EXPECT_EQ(swap.top(), source.top() + c.offset);
        // Centred on the gap between the panes.
        EXPECT_LE(std::abs(swap.center().x() - (source.right() + result.left()) / 2), 1);
    }
}

// Short of room, the result header drops the Send to title, then the tone shrinks (pills, its
// menu, the menu's symbol) before the language's name is cut; nothing overlaps.
TEST_F(TranslatePanesTest, ANarrowResultHeaderGivesWayToneFirstAndNothingOverlaps) {
    const struct {
        const char *name;
        TextSize size;
        int width;
        bool wholeTone;
    } cases[] = {
        {"roomy", TextSize::Standard, 1100, true},
        // The panes of the narrowest window the app allows.
        {"narrowest window", TextSize::Standard, 620, true},
        {"narrowest window, largest text", TextSize::Largest, 620, false},
    };
    TranslatePanes &p = panes();
    p.show();
    const int band = WorkspacePane::kRingBand;
    for (const auto &c : cases) {
        Environment::setTextSize(&p, c.size);
        p.resize(c.width + 2 * band, 400);
        QCoreApplication::sendPostedEvents();
        const auto inHeader = [&](QWidget *w) {
            return QRect(w->mapTo(p.resultPane()->header(), QPoint()), w->size());
        };
        OptionPills *tones = p.tonePills();
        OptionsMenu *menu = tones->fallbackMenu();
        const QRect language = inHeader(p.targetMenu());
        const QRect tone = inHeader(tones);
        const QRect copy = inHeader(p.copyButton());
        EXPECT_LE(language.right(), tone.left()) << c.name;
        EXPECT_LT(tone.right(), copy.left()) << c.name;
        EXPECT_EQ(tones->showsPills() || menu->showsWholeTitle(), c.wholeTone) << c.name;
        if (!tones->showsPills()) {
            // The menu keeps at least its compact form, inside the tone's room.
            EXPECT_GE(menu->width(), menu->minimumSizeHint().width()) << c.name;
            EXPECT_LE(menu->width(), tones->width()) << c.name;
        }
        // The language's name is cut only once the tone is down to its least.
        if (p.targetMenu()->width() < p.targetMenu()->sizeHint().width()) {
            EXPECT_EQ(tones->width(), tones->minimumSizeHint().width()) << c.name;
        }
        // A name or tone cut short is the tooltip.
        for (QAbstractButton *button :
             {static_cast<QAbstractButton *>(p.targetMenu()), static_cast<QAbstractButton *>(menu)}) {
            if (!button->isVisible())
                continue;
            QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(button, &help);
            const bool cut = button->width() < button->sizeHint().width();
            EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), cut ? button->text() : QString()) << c.name;
            QToolTip::hideText();
        }
    }
}

TEST_F(TranslatePanesTest, SendToShowsItsTitleOnlyInARoomyHeader) {
    TranslatePanes &p = panes();
    p.show();
    const int band = WorkspacePane::kRingBand;
    p.resize(1100 + 2 * band, 400);
    QCoreApplication::sendPostedEvents();
    ASSERT_NE(p.resultPane()->headerLayout(), WorkspacePane::HeaderLayout::Compact);
    const int titled = p.sendToButton()->sizeHint().width();
    Environment::setTextSize(&p, TextSize::Largest);
    p.resize(620 + 2 * band, 400);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(p.resultPane()->headerLayout(), WorkspacePane::HeaderLayout::Compact);
    const int compact = p.sendToButton()->sizeHint().width();
    Environment::setTextSize(&p, TextSize::Standard);
    p.resize(1100 + 2 * band, 400);
    QCoreApplication::sendPostedEvents();
    EXPECT_LT(compact, titled);
    EXPECT_EQ(p.sendToButton()->sizeHint().width(), titled);
}

TEST_F(TranslatePanesTest, OpeningThePageLeavesNoCaretButAClickKeepsTheFocus) {
    QWidget window;
    TranslatePanes *p = showInActiveWindow(window);
    ASSERT_TRUE(p);
    p->editor()->setFocus(Qt::ActiveWindowFocusReason);
    EXPECT_FALSE(p->editor()->hasFocus());
    EXPECT_FALSE(p->editor()->isFirstFocus());

    p->editor()->setFocus(Qt::OtherFocusReason);
    EXPECT_TRUE(p->editor()->hasFocus());
}

TEST_F(TranslatePanesTest, AClickIsTheFirstFocusThatStays) {
    QWidget window;
    TranslatePanes *p = showInActiveWindow(window);
    ASSERT_TRUE(p);
    QTest::mouseClick(p->editor()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_TRUE(p->editor()->hasFocus());
    QTest::keyClicks(p->editor(), QStringLiteral("Hi"));
    EXPECT_EQ(session().text(), "Hi");
}
