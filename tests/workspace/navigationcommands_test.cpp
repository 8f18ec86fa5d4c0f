#include "workspace/navigationcommands.h"

#include "core/defaults.h"
#include "menutitles.h"
#include "workspace/appnavigation.h"
#include "workspace/pinnedtools.h"
#include "workspace/workspacesettings.h"
#include "workspacefakes.h"

#include <QTranslator>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class NavigationCommandsTest : public ::testing::Test {
protected:
    Defaults defaults{QString()};
    FakeNotes notes;
    AppNavigation navigation{defaults, notes};
    PinnedTools pins{defaults};
    int windowOpened = 0;
    NavigationCommands menu{navigation, pins, defaults, [this] { ++windowOpened; }};
};

} // namespace

TEST_F(NavigationCommandsTest, ItemsShortcutsAndPinnedTools) {
    EXPECT_EQ(menu.title(), "&Go");
    EXPECT_EQ(visibleMenuTitles(menu), (QStringList{"Back", "Forward", "—", "Previous Sidebar Item",
                                                    "Next Sidebar Item", "—", "Dictation", "OCR", "Translate"}));
    EXPECT_EQ(menu.backAction()->shortcut(), QKeySequence("Ctrl+["));
    EXPECT_EQ(menu.forwardAction()->shortcut(), QKeySequence("Ctrl+]"));
    EXPECT_EQ(menu.previousSidebarItemAction()->shortcut(), QKeySequence("Alt+Up"));
    EXPECT_EQ(menu.nextSidebarItemAction()->shortcut(), QKeySequence("Alt+Down"));
    ASSERT_EQ(menu.pinnedToolActions().size(), 3);
    EXPECT_EQ(menu.pinnedToolActions()[1]->shortcut(), QKeySequence("Ctrl+2"));

    // Ctrl+2 opens the second pin as reached from the Pinned group, bringing the window up.
    menu.pinnedToolActions()[1]->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::ExtractText));
    EXPECT_TRUE(navigation.fromPinned());
    EXPECT_EQ(windowOpened, 1);

    for (WorkspaceTool tool : QList<WorkspaceTool>(pins.tools()))
        pins.unpin(tool);
    EXPECT_EQ(visibleMenuTitles(menu).last(), "Next Sidebar Item");
    pins.pin(WorkspaceTool::Proofread);
    EXPECT_EQ(visibleMenuTitles(menu).mid(5), (QStringList{"—", "Proofread"}));
    EXPECT_EQ(menu.pinnedToolActions()[0]->shortcut(), QKeySequence("Ctrl+1"));

    QAction quickSwitcher("Quick Switcher");
    menu.setQuickSwitcherAction(&quickSwitcher);
    EXPECT_EQ(visibleMenuTitles(menu).mid(5), (QStringList{"—", "Quick Switcher", "—", "Proofread"}));
}

TEST_F(NavigationCommandsTest, BackAndForwardFollowTheHistory) {
    EXPECT_FALSE(menu.backAction()->isEnabled());
    EXPECT_FALSE(menu.forwardAction()->isEnabled());
    navigation.open(WorkspacePage::history());
    EXPECT_TRUE(menu.backAction()->isEnabled());
    EXPECT_FALSE(menu.forwardAction()->isEnabled());
    menu.backAction()->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::home());
    EXPECT_FALSE(menu.backAction()->isEnabled());
    EXPECT_TRUE(menu.forwardAction()->isEnabled());
    EXPECT_EQ(windowOpened, 0); // Back and Forward leave the window alone
}

TEST_F(NavigationCommandsTest, SidebarItemsWalkTheVisibleRows) {
    menu.nextSidebarItemAction()->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::notes());
    menu.previousSidebarItemAction()->trigger();
    menu.previousSidebarItemAction()->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Humanize));
    EXPECT_EQ(windowOpened, 3);

    navigation.open(WorkspacePage::tool(WorkspaceTool::Translate), true);
    menu.nextSidebarItemAction()->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Dictation));
    EXPECT_FALSE(navigation.fromPinned());
    navigation.open(WorkspacePage::tool(WorkspaceTool::Translate), false);
    menu.nextSidebarItemAction()->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Summarize));

    defaults.set(kCollapsedSidebarGroups, QString("pinned,audio,meetings,documents,writing"));
    navigation.openSettings();
    menu.previousSidebarItemAction()->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::history());
    menu.nextSidebarItemAction()->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::home());
}

TEST_F(NavigationCommandsTest, SwitchingTheLanguageRenamesTheMenu) {
    QTranslator japanese;
    ASSERT_TRUE(japanese.load(":/translations/workspace_ja.qm"));
    QCoreApplication::installTranslator(&japanese);
    QCoreApplication::sendPostedEvents(); // the language change reaches the menu
    EXPECT_EQ(menu.title(), QString::fromUtf8("移動(&G)"));
    EXPECT_EQ(menu.backAction()->text(), QString::fromUtf8("戻る"));
    EXPECT_EQ(menu.pinnedToolActions()[2]->text(), QString::fromUtf8("翻訳"));
    QCoreApplication::removeTranslator(&japanese);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(menu.title(), "&Go");
}
