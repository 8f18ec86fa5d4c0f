#include "home/homehistorycard.h"

#include "history/historyfeed.h"
#include "home/homehistorycardfactory.h"
#include "library/libraryfixture.h"
#include "library/texttaskhistory.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "workspace/handofffakes.h"
#include "workspace/menutitles.h"
#include "workspace/sendtoitems.h"

#include <QAbstractButton>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

namespace {

QStringList actionTexts(const QMenu *menu) {
    QStringList texts;
    for (const QAction *action : menu->actions()) {
        if (!action->isSeparator())
            texts.append(action->text());
    }
    return texts;
}

QAbstractButton *button(QMessageBox *box, QMessageBox::ButtonRole role) {
    for (QAbstractButton *b : box->buttons()) {
        if (box->buttonRole(b) == role)
            return b;
    }
    return nullptr;
}

class HomeHistoryCardTest : public LibraryTest, protected HandoffFakes {
protected:
    void SetUp() override {
        library = openReady();
        feed.setLibrary(library);
    }

    // A run recorded the way a tool records it; the entry as the feed lists it.
    HistoryEntry record(const QString &tool, const QString &output,
                        ActivityEvent::Outcome outcome = ActivityEvent::Outcome::Completed) {
        TextTaskHistory::Run run;
        run.input = QStringLiteral("input");
        run.output = output;
        run.outcome = outcome;
        const QUuid id = test::run(TextTaskHistory(library, tool).record(run, std::nullopt));
        for (const HistoryEntry &entry : test::run(feed.entries(std::nullopt, std::nullopt, std::nullopt))) {
            if (entry.id == id)
                return entry;
        }
        ADD_FAILURE() << "the run is not listed";
        return {};
    }

    HomeHistoryCard *card(const HistoryEntry &entry, bool showsTool, std::optional<WorkspaceTool> sendFrom) {
        return new HomeHistoryCard(entry, showsTool, sendFrom, {&feed, &navigation, &handoff}, &window);
    }

    std::shared_ptr<Library> library;
    HistoryFeed feed;
    QWidget window;
};

} // namespace

TEST_F(HomeHistoryCardTest, TheTopLineNamesTheToolOnlyWhenAskedAndKnown) {
    const HistoryEntry translation = record("translate", "Good morning");
    HistoryEntry unknown = translation;
    unknown.tool = QStringLiteral("someFutureTool");
    const struct {
        const char *name;
        HistoryEntry entry;
        bool showsTool;
        bool namesTool;
    } cases[] = {
        {"Home", translation, true, true},
        {"a tool page", translation, false, false},
        {"a tool of another build", unknown, true, false},
    };
    for (const auto &c : cases) {
        HomeHistoryCard *shown = card(c.entry, c.showsTool, std::nullopt);
        EXPECT_EQ(shown->namesTool(), c.namesTool) << c.name;
        if (c.namesTool) {
            EXPECT_EQ(shown->toolLabel()->text(), "Translate") << c.name;
        }
        EXPECT_FALSE(shown->timeLabel()->text().isEmpty()) << c.name;
        EXPECT_EQ(shown->textLabel()->text(), "Good morning") << c.name;
        EXPECT_EQ(shown->textLabel()->color(), std::nullopt) << c.name;
    }
}

TEST_F(HomeHistoryCardTest, TheTextShowsItsLinesUpToFive) {
    const HistoryEntry entry = record("translate", "first\nsecond");
    HomeHistoryCard *shown = card(entry, false, WorkspaceTool::Translate);
    EXPECT_EQ(shown->textLabel()->text(), QString("first") + QChar::LineSeparator + "second");
    EXPECT_EQ(shown->textLabel()->maximumLineCount(), 5);
}

TEST_F(HomeHistoryCardTest, ARunWithoutTextShowsItsPlaceholderAndOffersOnlyDeletion) {
    // A failed translation stores an empty output; a run may also have none at all.
    const HistoryEntry empty = record("translate", QString(), ActivityEvent::Outcome::Failed);
    HistoryEntry absent = record("dictation", "words", ActivityEvent::Outcome::Interrupted);
    absent.text.reset();
    const std::pair<HistoryEntry, QString> cases[] = {
        {empty, "Translation failed."},
        {absent, "Recording interrupted."},
    };
    for (const auto &[entry, placeholder] : cases) {
        HomeHistoryCard *shown = card(entry, false, WorkspaceTool::Translate);
        EXPECT_EQ(shown->textLabel()->text(), placeholder);
        EXPECT_EQ(shown->textLabel()->color(), ColorName::TextSecondary);
        std::unique_ptr<QMenu> menu(shown->createContextMenu());
        EXPECT_EQ(actionTexts(menu.get()), QStringList{"Delete…"});
    }
}

TEST_F(HomeHistoryCardTest, AClickOpensTheRunInHistory) {
    const HistoryEntry entry = record("translate", "Good morning");
    HomeHistoryCard *shown = card(entry, false, WorkspaceTool::Translate);
    window.show();
    QTest::mouseClick(shown, Qt::LeftButton);
    EXPECT_EQ(navigation.page(), WorkspacePage::history());
    EXPECT_EQ(navigation.historySelection(), entry.id);
}

TEST_F(HomeHistoryCardTest, CopyAndSendToLeaveOutThePagesOwnTool) {
    const HistoryEntry entry = record("translate", "Good morning");
    const struct {
        std::optional<WorkspaceTool> sendFrom;
        QStringList tools;
    } cases[] = {
        {WorkspaceTool::Translate, {"Summarize", "Proofread"}},
        {WorkspaceTool::Dictation, {"Translate", "Summarize", "Proofread"}},
        {std::nullopt, {"Translate", "Summarize", "Proofread"}},
    };
    for (const auto &c : cases) {
        std::unique_ptr<QMenu> menu(card(entry, false, c.sendFrom)->createContextMenu());
        EXPECT_EQ(actionTexts(menu.get()), (QStringList{"Copy", SendToItems::sendToTitle(), "Delete…"}));
        QAction *sendTo = menuItemTitled(*menu, SendToItems::sendToTitle());
        ASSERT_TRUE(sendTo && sendTo->menu());
        const QStringList offered = actionTexts(sendTo->menu());
        for (const QString &tool :
             {QStringLiteral("Translate"), QStringLiteral("Summarize"), QStringLiteral("Proofread")})
            EXPECT_EQ(offered.contains(tool), c.tools.contains(tool)) << tool.toStdString();
    }
    std::unique_ptr<QMenu> menu(card(entry, false, WorkspaceTool::Translate)->createContextMenu());
    menuItemTitled(*menu, "Copy")->trigger();
    EXPECT_EQ(clipboard.paste(), QByteArray("Good morning"));
    QAction *sendTo = menuItemTitled(*menu, SendToItems::sendToTitle());
    menuItemTitled(*sendTo->menu(), "Proofread")->trigger();
    EXPECT_EQ(proofreadTarget.received.value(0).first, "Good morning");
}

TEST_F(HomeHistoryCardTest, DeletingAsksFirstThenForgetsTheStepsAndDeletesThroughTheFeed) {
    const HistoryEntry kept = record("translate", "Keep me");
    const HistoryEntry gone = record("translate", "Delete me");
    navigation.openHistoryEntry(gone.id);
    navigation.open(WorkspacePage::tool(WorkspaceTool::Translate));
    const auto remembers = [&] {
        const QList<NavigationStep> &steps = navigation.history().backSteps();
        return std::any_of(steps.begin(), steps.end(), [&](const NavigationStep &s) { return s.item == gone.id; });
    };
    ASSERT_TRUE(remembers());
    HomeHistoryCard *shown = card(gone, false, WorkspaceTool::Translate);
    window.show();
    const qint64 before = feed.revision();

    // Cancelled: nothing happens.
    shown->askToDelete();
    ASSERT_TRUE(shown->confirmation());
    EXPECT_EQ(shown->deleting(), gone);
    EXPECT_EQ(shown->confirmation()->text(), "Delete this entry?");
    EXPECT_EQ(shown->confirmation()->informativeText(), "This can't be undone.");
    button(shown->confirmation(), QMessageBox::RejectRole)->click();
    ASSERT_TRUE(waitUntil([&] { return !shown->confirmation(); }));
    EXPECT_FALSE(shown->deleting());
    EXPECT_EQ(feed.revision(), before);
    EXPECT_EQ(test::run(feed.entries(std::nullopt, std::nullopt, std::nullopt)).size(), 2);

    // Confirmed: the steps leave Back at once, the run goes, and the revision moves.
    std::unique_ptr<QMenu> menu(shown->createContextMenu());
    menuItemTitled(*menu, "Delete…")->trigger();
    ASSERT_TRUE(shown->confirmation());
    QAbstractButton *remove = button(shown->confirmation(), QMessageBox::DestructiveRole);
    ASSERT_TRUE(remove);
    EXPECT_EQ(remove->text(), "Delete");
    remove->click();
    EXPECT_FALSE(remembers());
    ASSERT_TRUE(waitUntil([&] { return feed.revision() == before + 1; }));
    const QList<HistoryEntry> left = test::run(feed.entries(std::nullopt, std::nullopt, std::nullopt));
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left.first().id, kept.id);
    EXPECT_FALSE(shown->deleting());
}

TEST_F(HomeHistoryCardTest, TheCardGrowsInHeightWithTheTextSizeOnly) {
    const HistoryEntry entry = record("translate", "Good morning");
    const std::pair<TextSize, QSize> cases[] = {
        {TextSize::Standard, {232, 168}},
        {TextSize::Large, {232, 192}},
        {TextSize::Larger, {232, 220}},
        {TextSize::Largest, {232, 244}},
    };
    HomeHistoryCard *shown = card(entry, false, WorkspaceTool::Translate);
    for (const auto &[size, expected] : cases) {
        Environment::setTextSize(&window, size);
        EXPECT_EQ(shown->size(), expected) << toString(size).toStdString();
    }
}

TEST_F(HomeHistoryCardTest, TheFactoryMakesToolPageCards) {
    const HistoryEntry entry = record("translate", "Good morning");
    HomeHistoryCardFactory factory({&feed, &navigation, &handoff});
    auto *made = qobject_cast<HomeHistoryCard *>(factory.createCard(entry, WorkspaceTool::Translate, &window));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->parentWidget(), &window);
    EXPECT_FALSE(made->namesTool());
    std::unique_ptr<QMenu> menu(made->createContextMenu());
    EXPECT_FALSE(actionTexts(menuItemTitled(*menu, SendToItems::sendToTitle())->menu()).contains("Translate"));
}
