#include "workspace/workspaceview.h"

#include "core/defaults.h"
#include "support/testsupport.h"
#include "ui/button.h"
#include "ui/environment.h"
#include "ui/styledlabel.h"
#include "ui/toolpageheader.h"
#include "workspace/appnavigation.h"
#include "workspace/pagefactory.h"
#include "workspace/pinnedtools.h"
#include "workspace/sidebar.h"
#include "workspace/sidebarbutton.h"
#include "workspace/sidebarrow.h"
#include "workspace/slideoverpanel.h"
#include "workspace/titlebarcontrols.h"
#include "workspace/toolplaceholderview.h"
#include "workspacefakes.h"

#include <QMainWindow>
#include <QMenu>
#include <QScrollArea>
#include <QTest>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class Pages : public PageFactory {
public:
    QWidget *createPage(const WorkspacePage &page, QWidget *parent) override {
        if (page != WorkspacePage::tool(WorkspaceTool::Translate))
            return nullptr;
        ++made;
        auto *view = new QWidget(parent);
        view->setObjectName("translatePage");
        return view;
    }
    int made = 0;
};

class WorkspaceViewTest : public ::testing::Test {
protected:
    void show(int width) {
        view = new WorkspaceView(navigation, pins, defaults, &pages, nullptr);
        window.setCentralWidget(view);
        window.resize(width, 760);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void resize(int width) {
        window.resize(width, 760);
        ASSERT_TRUE(waitUntil([&] { return view->width() == width; }));
    }

    Defaults defaults{QString()};
    FakeNotes notes;
    AppNavigation navigation{defaults, notes};
    PinnedTools pins{defaults};
    Pages pages;
    QMainWindow window;
    WorkspaceView *view = nullptr;
};

} // namespace

TEST_F(WorkspaceViewTest, EveryUnbuiltToolShowsItsPlaceholderPage) {
    show(1200);
    for (WorkspaceTool tool : allTools()) {
        navigation.open(WorkspacePage::tool(tool));
        if (tool == WorkspaceTool::Translate) {
            EXPECT_EQ(view->page()->objectName(), "translatePage");
            continue;
        }
        auto *placeholder = qobject_cast<ToolPlaceholderView *>(view->page());
        ASSERT_TRUE(placeholder) << toString(tool).toStdString();
        EXPECT_EQ(placeholder->tool(), tool);
        EXPECT_EQ(placeholder->header()->nameLabel()->text(), toolName(tool));
        EXPECT_EQ(placeholder->header()->descriptionLabel()->text(), toolSummary(tool));
        EXPECT_EQ(placeholder->message()->text(), "This tool is coming in a future update.");
    }
    // Each visit builds the page anew.
    navigation.open(WorkspacePage::tool(WorkspaceTool::Translate));
    EXPECT_EQ(pages.made, 2);
    EXPECT_EQ(window.windowTitle(), "Translate");
}

TEST_F(WorkspaceViewTest, ThePlaceholderMenuPinsTheTool) {
    show(1200);
    navigation.open(WorkspacePage::tool(WorkspaceTool::Redact));
    auto *placeholder = qobject_cast<ToolPlaceholderView *>(view->page());
    ASSERT_TRUE(placeholder);
    QMenu *more = placeholder->header()->moreMenu();
    ASSERT_EQ(more->actions().size(), 1);
    EXPECT_EQ(more->actions()[0]->text(), "Pin");
    more->actions()[0]->trigger();
    EXPECT_TRUE(pins.isPinned(WorkspaceTool::Redact));
    EXPECT_TRUE(view->sidebar()->row({WorkspacePage::tool(WorkspaceTool::Redact), true}));
}

TEST_F(WorkspaceViewTest, ColumnsFollowTheWidthAndTheSidebarSlidesOverWhenItDoesNotFit) {
    show(1200);
    EXPECT_EQ(view->sidebarColumnWidth(), 241);
    EXPECT_TRUE(view->sidebar()->isVisible());
    EXPECT_EQ(navigation.windowWidth(), 1200);

    resize(1000);
    EXPECT_EQ(view->sidebarColumnWidth(), 0);
    EXPECT_FALSE(view->sidebar()->isVisible());
    QTest::mouseClick(view->titleBar()->sidebarToggle(), Qt::LeftButton);
    ASSERT_TRUE(view->sidebarPanel()->isPresented());
    EXPECT_TRUE(view->sidebarPanel()->isVisible());
    // The toggle stays above the panel.
    EXPECT_EQ(view->childAt(view->titleBar()->sidebarToggle()->geometry().center()), view->titleBar()->sidebarToggle());

    // Escape closes it; so does a click on the dimmed page.
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(navigation.slideOver());
    QTest::mouseClick(view->titleBar()->sidebarToggle(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return view->sidebarPanel()->progress() == 1.0; }));
    QTest::mouseClick(view->sidebarPanel(), Qt::LeftButton, {}, QPoint(700, 400));
    EXPECT_FALSE(navigation.slideOver());
    ASSERT_TRUE(waitUntil([&] { return !view->sidebarPanel()->isVisible(); }));

    // A click on a row of the sliding sidebar opens its page and closes the panel.
    navigation.toggleSidebar();
    QTest::mouseClick(view->slidingSidebar()->row({WorkspacePage::history(), false}), Qt::LeftButton);
    EXPECT_EQ(navigation.page(), WorkspacePage::history());
    EXPECT_NE(navigation.slideOver(), SlidingPanel::Sidebar);

    resize(1200);
    ASSERT_TRUE(waitUntil([&] { return view->sidebarColumnWidth() == 241; }));
    EXPECT_GE(view->minimumWidth(), 700);
    EXPECT_GE(view->minimumHeight(), 568);
}

TEST_F(WorkspaceViewTest, HidingTheSidebarLeavesThePageTheWholeWidth) {
    show(1300);
    QTest::mouseClick(view->titleBar()->sidebarToggle(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return view->sidebarColumnWidth() == 0; }));
    EXPECT_FALSE(navigation.slideOver());
    EXPECT_EQ(view->page()->width(), 1300);
}

TEST_F(WorkspaceViewTest, TheTextSizeMovesThresholdsAndPageHeadersStayBelowTheControls) {
    show(1200);
    for (TextSize size : allTextSizes()) {
        Environment::setTextSize(view, size);
        const auto p = TitleBarControls::positions(navigation, size);
        // A page's scaffold starts its header 32 below the inset: below the title-bar controls.
        EXPECT_GE(WorkspaceView::topInset(size) + 32, TitleBarControls::kTopInset + p.buttonSize)
            << toString(size).toStdString();
        EXPECT_EQ(view->page()->y(), WorkspaceView::topInset(size));
    }
    // 1200 is wide enough for the sidebar at the standard size, not at the largest.
    Environment::setTextSize(view, TextSize::Largest);
    EXPECT_FALSE(navigation.sidebarFits());
    ASSERT_TRUE(waitUntil([&] { return view->sidebarColumnWidth() == 0; }));
    Environment::setTextSize(view, TextSize::Standard);
    EXPECT_TRUE(navigation.sidebarFits());
}

// A page opened from elsewhere (the Go menu, Back) brings its row wholly into view in whichever
// sidebar shows, including one that slides over later, and no row or header is left cut in half
// at the top, where the title-bar band ends.
TEST_F(WorkspaceViewTest, TheOpenedPageRowIsRevealedWholeWithNoRowCutAtTheTop) {
    struct Case {
        TextSize size;
        int width;
        bool sliding;
    };
    const QList<WorkspacePage> steps = {
        WorkspacePage::tool(WorkspaceTool::Redact),      WorkspacePage::home(),
        WorkspacePage::tool(WorkspaceTool::ActionItems), WorkspacePage::history(),
        WorkspacePage::tool(WorkspaceTool::Redact),      WorkspacePage::notes(),
        WorkspacePage::tool(WorkspaceTool::Translate),   WorkspacePage::tool(WorkspaceTool::VoiceCompose)};
    show(1200);
    for (const Case &c : {Case{TextSize::Standard, 1200, false}, Case{TextSize::Standard, 1000, true},
                          Case{TextSize::Largest, 1500, false}, Case{TextSize::Largest, 1200, true}}) {
        Environment::setTextSize(view, c.size);
        window.resize(c.width, 560);
        ASSERT_TRUE(waitUntil([&] { return view->width() == c.width && navigation.sidebarFits() != c.sliding; }));
        for (const WorkspacePage &page : steps) {
            const std::string where =
                toString(c.size).toStdString() + (c.sliding ? " sliding " : " column ") + page.title().toStdString();
            navigation.open(page);
            if (c.sliding) {
                navigation.toggleSidebar();
                ASSERT_TRUE(waitUntil([&] { return view->sidebarPanel()->progress() == 1.0; })) << where;
            }
            Sidebar *sidebar = c.sliding ? view->slidingSidebar() : view->sidebar();
            auto *scroll = sidebar->findChild<QScrollArea *>();
            ASSERT_NE(scroll, nullptr);
            QWidget *viewport = scroll->viewport();
            auto rectIn = [viewport](QWidget *w) { return QRect(w->mapTo(viewport, QPoint(0, 0)), w->size()); };
            SidebarRow *row = sidebar->row({page, false});
            auto cutAtTop = [&]() -> QWidget * {
                for (auto *item : scroll->widget()->findChildren<SidebarButton *>()) {
                    const QRect r = rectIn(item);
                    if (item->isVisible() && r.top() < 0 && r.bottom() >= 0)
                        return item;
                }
                return nullptr;
            };
            const bool settled = waitUntil([&] { return viewport->rect().contains(rectIn(row)) && !cutAtTop(); });
            QWidget *cut = cutAtTop();
            EXPECT_TRUE(settled) << where << ": row at " << rectIn(row).y() << " of " << viewport->height()
                                 << (cut ? ", a row cut at the top at " + std::to_string(rectIn(cut).y()) : "");
            if (c.sliding) {
                navigation.closeSlideOver();
                ASSERT_TRUE(waitUntil([&] { return !view->sidebarPanel()->isVisible(); })) << where;
            }
        }
    }
}

TEST_F(WorkspaceViewTest, TheWindowIsNamedAfterThePageInTheInterfaceLanguage) {
    show(1200);
    EXPECT_EQ(window.windowTitle(), "Home");
    navigation.open(WorkspacePage::tool(WorkspaceTool::ExtractText));
    EXPECT_EQ(window.windowTitle(), "OCR");
    QTranslator japanese;
    ASSERT_TRUE(japanese.load(":/translations/workspace_ja.qm"));
    QCoreApplication::installTranslator(&japanese);
    QCoreApplication::sendPostedEvents();
    navigation.open(WorkspacePage::history());
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("履歴"));
    EXPECT_EQ(view->sidebar()->row({WorkspacePage::home(), false})->title(), QString::fromUtf8("ホーム"));
    QCoreApplication::removeTranslator(&japanese);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window.windowTitle(), "History");
}
