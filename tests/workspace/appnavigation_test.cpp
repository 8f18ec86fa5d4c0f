#include "workspace/appnavigation.h"

#include "core/defaults.h"
#include "workspace/workspacesettings.h"
#include "workspacefakes.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace velmora;
using velmora::test::FakeNotes;

namespace {

const auto kTranslate = WorkspacePage::tool(WorkspaceTool::Translate);
const auto kSummarize = WorkspacePage::tool(WorkspaceTool::Summarize);

class AppNavigationTest : public ::testing::Test {
protected:
    std::unique_ptr<AppNavigation> make(const QStringList &arguments = {}) {
        defaults.setArguments(QStringList{"velmora"} + arguments);
        return std::make_unique<AppNavigation>(defaults, notes);
    }
    Defaults defaults{QString()};
    FakeNotes notes;
};

} // namespace

TEST_F(AppNavigationTest, LaunchOverridesAndTheirFallbacks) {
    struct Case {
        QStringList arguments;
        WorkspacePage page;
    };
    for (const Case &c : {Case{{"-page", "translate"}, kTranslate}, Case{{"-page", "Translate"}, WorkspacePage::home()},
                          Case{{}, WorkspacePage::home()}, Case{{"-page", "history"}, WorkspacePage::history()}})
        EXPECT_EQ(make(c.arguments)->page(), c.page) << c.arguments.join(' ').toStdString();

    const QUuid entry = QUuid::createUuid();
    auto nav = make({"-historyTools", "translate,,summarize,nothing, proofread", "-historyEntry",
                     entry.toString(QUuid::WithoutBraces), "-historyQuery", "invoice", "-settingsCategory", "models",
                     "-sidebarHidden", "YES", "-slideOver", "list"});
    EXPECT_EQ(nav->historyTools(), (QSet<WorkspaceTool>{WorkspaceTool::Translate, WorkspaceTool::Summarize}));
    EXPECT_EQ(nav->historySelection(), entry);
    EXPECT_EQ(nav->historyQuery(), "invoice");
    EXPECT_EQ(nav->settingsCategory(), SettingsCategory::Models);
    EXPECT_TRUE(nav->sidebarHidden());
    EXPECT_EQ(nav->slideOver(), SlidingPanel::List);

    auto plain = make({"-historyEntry", "not-a-uuid", "-settingsCategory", "Models", "-slideOver", "Sidebar"});
    EXPECT_FALSE(plain->historySelection());
    EXPECT_EQ(plain->settingsCategory(), SettingsCategory::General);
    EXPECT_FALSE(plain->slideOver());

    // "page" counts only as a launch argument; the others also from the stored settings.
    defaults.setString("page", "translate");
    defaults.setString("historyQuery", "stored");
    auto stored = make();
    EXPECT_EQ(stored->page(), WorkspacePage::home());
    EXPECT_EQ(stored->historyQuery(), "stored");
}

TEST_F(AppNavigationTest, OpeningRecordsThePlaceLeftOnlyWhenThePageChanges) {
    auto nav = make();
    QSignalSpy history(nav.get(), &AppNavigation::historyChanged);
    nav->open(kTranslate, false);
    EXPECT_EQ(nav->page(), kTranslate);
    ASSERT_EQ(nav->history().backSteps().size(), 1);
    EXPECT_EQ(nav->history().backSteps().first().page, WorkspacePage::home());

    // The same page from the Pinned group: the flag changes, nothing is recorded.
    QSignalSpy pinned(nav.get(), &AppNavigation::fromPinnedChanged);
    nav->open(kTranslate, true);
    EXPECT_TRUE(nav->fromPinned());
    EXPECT_EQ(pinned.count(), 1);
    EXPECT_EQ(nav->history().backSteps().size(), 1);
    EXPECT_EQ(history.count(), 1);

    // Reopening the page shown closes a sliding panel.
    nav->setSlideOver(SlidingPanel::Sidebar);
    nav->open(kTranslate, true);
    EXPECT_FALSE(nav->slideOver());
}

TEST_F(AppNavigationTest, BackAndForwardRestoreNotesAndHistoryPlaces) {
    auto nav = make();
    const QUuid a = notes.add("alpha"), other = notes.add("beta");
    nav->openNote(a);
    EXPECT_EQ(nav->page(), WorkspacePage::notes());
    EXPECT_EQ(notes.selected, a);
    nav->open(kTranslate, false);
    notes.search = "beta"; // hides note A
    notes.selected = other;
    nav->goBack();
    EXPECT_EQ(nav->page(), WorkspacePage::notes());
    EXPECT_EQ(notes.selected, a);
    EXPECT_TRUE(notes.search.isEmpty());
    nav->goForward();
    EXPECT_EQ(nav->page(), kTranslate);

    // A History step brings back its tool filter, clears the search and selects its entry.
    const QUuid entry = QUuid::createUuid();
    nav->open(WorkspacePage::history(), false);
    nav->setHistoryTools({WorkspaceTool::Summarize});
    nav->selectHistoryEntry(entry);
    nav->open(kSummarize, false);
    nav->setHistoryTools({});
    nav->setHistoryQuery("draft");
    nav->setHistorySelection(std::nullopt);
    nav->goBack();
    EXPECT_EQ(nav->page(), WorkspacePage::history());
    EXPECT_EQ(nav->historyTools(), QSet<WorkspaceTool>{WorkspaceTool::Summarize});
    EXPECT_EQ(nav->historySelection(), entry);
    EXPECT_TRUE(nav->historyQuery().isEmpty());
}

TEST_F(AppNavigationTest, OpeningAnEntryClearsSearchAndFilterAndRecordsOnce) {
    auto nav = make();
    nav->setHistoryQuery("x");
    nav->setHistoryTools({WorkspaceTool::Translate});
    const QUuid entry = QUuid::createUuid();
    nav->openHistoryEntry(entry);
    EXPECT_EQ(nav->page(), WorkspacePage::history());
    EXPECT_EQ(nav->historySelection(), entry);
    EXPECT_TRUE(nav->historyQuery().isEmpty());
    EXPECT_TRUE(nav->historyTools().isEmpty());
    EXPECT_EQ(nav->history().backSteps().size(), 1);
    nav->openHistoryEntry(entry); // already there
    EXPECT_EQ(nav->history().backSteps().size(), 1);

    // Forgetting a deleted entry merges what remains.
    const QUuid e1 = QUuid::createUuid(), e2 = QUuid::createUuid();
    const QUuid a = notes.add("a");
    auto fresh = make();
    fresh->openHistoryEntry(e1);
    fresh->openNote(a);
    fresh->openHistoryEntry(e2);
    fresh->openNote(a);
    fresh->open(kTranslate);
    fresh->forgetHistoryEntry(e2);
    ASSERT_EQ(fresh->history().backSteps().size(), 3);
    EXPECT_EQ(fresh->history().backSteps()[1].item, e1);
    EXPECT_EQ(fresh->history().backSteps()[2].item, a);
}

TEST_F(AppNavigationTest, NewNoteRecordsNothingWhenABlankNewNoteIsShown) {
    auto nav = make();
    nav->newNote();
    EXPECT_EQ(nav->page(), WorkspacePage::notes());
    EXPECT_EQ(nav->history().backSteps().size(), 1);
    nav->newNote();
    EXPECT_EQ(nav->history().backSteps().size(), 1);
}

TEST_F(AppNavigationTest, SelectingInASlidingListClosesIt) {
    auto nav = make();
    nav->open(WorkspacePage::notes());
    nav->setSlideOver(SlidingPanel::List);
    const QUuid a = notes.add("a");
    nav->selectNote(a);
    EXPECT_EQ(notes.selected, a);
    EXPECT_FALSE(nav->slideOver());
    nav->open(WorkspacePage::history());
    nav->setSlideOver(SlidingPanel::List);
    nav->selectHistoryEntry(QUuid::createUuid());
    EXPECT_FALSE(nav->slideOver());
}

TEST_F(AppNavigationTest, OpenSettingsChangesThePaneWithoutRecordingOnTheSettingsPage) {
    auto nav = make();
    nav->openSettings(SettingsCategory::Permissions);
    EXPECT_EQ(nav->page(), WorkspacePage::settings());
    EXPECT_EQ(nav->settingsCategory(), SettingsCategory::Permissions);
    nav->openSettings(SettingsCategory::Models);
    EXPECT_EQ(nav->settingsCategory(), SettingsCategory::Models);
    EXPECT_EQ(nav->history().backSteps().size(), 1);
    nav->openSettings();
    EXPECT_EQ(nav->settingsCategory(), SettingsCategory::Models);
}

TEST_F(AppNavigationTest, ListFlagsAreStoredOnEveryAssignmentButNotifyOnlyOnChange) {
    auto nav = make();
    QSignalSpy changed(nav.get(), &AppNavigation::noteListHiddenChanged);
    QSignalSpy written(&defaults, &Defaults::changed);
    nav->setNoteListHidden(false);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(written.count(), 1);
    EXPECT_TRUE(defaults.isStored(kNoteListHidden));
    nav->setHistoryListHidden(true);
    EXPECT_TRUE(make()->historyListHidden());
}
