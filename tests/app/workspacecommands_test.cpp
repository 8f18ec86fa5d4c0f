#include "app/absentnotes.h"
#include "app/appcommands.h"
#include "app/applanguage.h"
#include "app/apppages.h"
#include "app/mainwindow.h"
#include "app/updater.h"
#include "app/workspacecommands.h"
#include "core/defaults.h"
#include "support/testsupport.h"
#include "workspace/appnavigation.h"
#include "workspace/navigationcommands.h"
#include "workspace/pinnedtools.h"
#include "workspace/settingscategory.h"
#include "workspace/toolplaceholderview.h"
#include "workspace/workspaceview.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

using namespace velmora;

namespace {

// The main window as the program assembles it: the workspace as its content, the app's menus
// and the workspace's commands in them.
class WorkspaceCommandsTest : public ::testing::Test {
protected:
    WorkspaceCommandsTest() { window.setContent(new WorkspaceView(navigation, pins, defaults, &pages, nullptr)); }

    QStringList menuTitles() const {
        QStringList out;
        for (QAction *a : window.menuBar()->actions())
            out.append(a->menu() ? a->menu()->objectName() : QString());
        return out;
    }

    Defaults defaults{QString()};
    AppLanguage language{defaults, [] { return QStringList{QStringLiteral("en-US")}; }};
    AbsentNotes notes;
    AppNavigation navigation{defaults, notes};
    PinnedTools pins{defaults};
    AppPages pages;
    MainWindow window;
    Updater updater{QString()};
    AppCommands commands{window, updater, {[] {}, [] {}}};
    int opened = 0;
    WorkspaceCommands workspace{commands, navigation, pins, defaults, [this] { ++opened; }};
};

} // namespace

// The Go menu sits between View and Help; Back and Forward move the navigation with their keys
// and follow the back list; a pinned tool gets its Ctrl+number item.
TEST_F(WorkspaceCommandsTest, TheGoMenuIsInTheMenuBarAndMoves) {
    EXPECT_EQ(menuTitles(), (QStringList{"fileMenu", "editMenu", "viewMenu", "goMenu", "helpMenu"}));
    NavigationCommands *go = workspace.goMenu();
    EXPECT_EQ(go->title(), QStringLiteral("&Go"));
    EXPECT_EQ(go->backAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_BracketLeft));
    EXPECT_FALSE(go->backAction()->isEnabled());

    navigation.open(WorkspacePage::tool(WorkspaceTool::Translate));
    ASSERT_TRUE(go->backAction()->isEnabled());
    go->backAction()->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::home());
    EXPECT_TRUE(go->forwardAction()->isEnabled());

    pins.pin(WorkspaceTool::Summarize);
    const int n = pins.tools().indexOf(WorkspaceTool::Summarize);
    ASSERT_GE(n, 0);
    ASSERT_EQ(go->pinnedToolActions().size(), pins.tools().size());
    EXPECT_EQ(go->pinnedToolActions()[n]->shortcut(), QKeySequence(Qt::CTRL | (Qt::Key_1 + n)));
    go->pinnedToolActions()[n]->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Summarize));
    EXPECT_TRUE(navigation.fromPinned());
    EXPECT_EQ(opened, 1);
}

// The sidebar item leads View with Ctrl+B and says what it will do; the list item is enabled on
// the two pages with a list and is named after that page's list.
TEST_F(WorkspaceCommandsTest, TheViewItemsFollowThePage) {
    QAction *sidebar = workspace.toggleSidebarAction();
    QAction *list = workspace.toggleListAction();
    EXPECT_EQ(commands.viewMenu()->actions().value(0), sidebar);
    EXPECT_EQ(commands.viewMenu()->actions().value(1), list);
    EXPECT_EQ(sidebar->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
    EXPECT_EQ(list->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_B));
    EXPECT_EQ(sidebar->text(), QStringLiteral("Hide Sidebar"));
    sidebar->trigger();
    EXPECT_TRUE(navigation.sidebarHidden());
    EXPECT_EQ(sidebar->text(), QStringLiteral("Show Sidebar"));
    sidebar->trigger();
    EXPECT_FALSE(navigation.sidebarHidden());

    const struct {
        WorkspacePage page;
        bool enabled;
        const char *title;
    } cases[] = {
        {WorkspacePage::home(), false, "Hide Note List"},
        {WorkspacePage::notes(), true, "Hide Note List"},
        {WorkspacePage::tool(WorkspaceTool::Proofread), false, "Hide Note List"},
        {WorkspacePage::history(), true, "Hide History List"},
    };
    for (const auto &c : cases) {
        navigation.open(c.page);
        EXPECT_EQ(list->isEnabled(), c.enabled) << c.page.id().toStdString();
        EXPECT_EQ(list->text(), QString::fromUtf8(c.title)) << c.page.id().toStdString();
    }
    list->trigger();
    EXPECT_TRUE(navigation.historyListHidden());
    EXPECT_EQ(list->text(), QStringLiteral("Show History List"));
    EXPECT_FALSE(navigation.noteListHidden());
}

// "Settings…" (Ctrl+,) opens the Settings page on the category it showed last, then the window.
TEST_F(WorkspaceCommandsTest, SettingsOpensThePageOnItsLastCategory) {
    QAction *settings = workspace.settingsAction();
    EXPECT_TRUE(commands.editMenu()->actions().contains(settings));
    EXPECT_EQ(settings->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    navigation.openSettings(SettingsCategory::Models);
    navigation.open(WorkspacePage::tool(WorkspaceTool::Translate));
    settings->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::settings());
    EXPECT_EQ(navigation.settingsCategory(), SettingsCategory::Models);
    EXPECT_FALSE(navigation.fromPinned());
    EXPECT_EQ(opened, 1);
}

// The titles follow the interface language, and the window is named after the page.
TEST_F(WorkspaceCommandsTest, TitlesFollowTheLanguage) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    navigation.open(WorkspacePage::history());
    ASSERT_EQ(window.windowTitle(), QStringLiteral("History"));

    language.setPreference(AppLanguage::Preference::Japanese);
    ASSERT_TRUE(test::waitUntil([&] { return workspace.goMenu()->title() == QStringLiteral("移動(&G)"); }))
        << workspace.goMenu()->title().toStdString();
    EXPECT_EQ(workspace.toggleSidebarAction()->text(), QStringLiteral("サイドバーを隠す"));
    EXPECT_EQ(workspace.settingsAction()->text(), QStringLiteral("設定…"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("履歴"));

    language.setPreference(AppLanguage::Preference::English);
    ASSERT_TRUE(
        test::waitUntil([&] { return workspace.toggleSidebarAction()->text() == QStringLiteral("Hide Sidebar"); }));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("History"));
}

// A feature's page comes from its registration each time it is shown; a page nobody registered
// is the placeholder.
TEST_F(WorkspaceCommandsTest, RegisteredPagesReplaceThePlaceholder) {
    int made = 0;
    pages.add(WorkspacePage::tool(WorkspaceTool::Translate), [&made](QWidget *parent) {
        ++made;
        auto *page = new QWidget(parent);
        page->setObjectName(QStringLiteral("translatePage"));
        return page;
    });
    auto *view = qobject_cast<WorkspaceView *>(window.centralWidget());
    ASSERT_NE(view, nullptr);
    window.show();
    navigation.open(WorkspacePage::tool(WorkspaceTool::Translate));
    ASSERT_NE(view->page(), nullptr);
    EXPECT_EQ(view->page()->objectName(), QStringLiteral("translatePage"));
    navigation.open(WorkspacePage::tool(WorkspaceTool::Summarize));
    EXPECT_NE(qobject_cast<ToolPlaceholderView *>(view->page()), nullptr);
    navigation.goBack();
    EXPECT_EQ(view->page()->objectName(), QStringLiteral("translatePage"));
    EXPECT_EQ(made, 2);
}
