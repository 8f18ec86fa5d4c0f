#include "workspace/sidebar.h"

#include "core/defaults.h"
#include "menutitles.h"
#include "support/testsupport.h"
#include "ui/badge.h"
#include "ui/environment.h"
#include "workspace/appnavigation.h"
#include "workspace/pinnedtools.h"
#include "workspace/sidebargroupheader.h"
#include "workspace/sidebarrow.h"
#include "workspace/workspacesettings.h"
#include "workspacefakes.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

SidebarItem pinned(WorkspaceTool tool) {
    return {WorkspacePage::tool(tool), true};
}
SidebarItem inGroup(WorkspaceTool tool) {
    return {WorkspacePage::tool(tool), false};
}

class SidebarTest : public ::testing::Test {
protected:
    void show() {
        sidebar = std::make_unique<Sidebar>(navigation, *pins, defaults, nullptr);
        sidebar->resize(Sidebar::kWidth, 1400);
        sidebar->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sidebar.get()));
    }
    QPoint centerOf(const SidebarItem &item) const {
        SidebarRow *row = sidebar->row(item);
        return row->mapTo(sidebar.get(), row->rect().center());
    }

    Defaults defaults{QString()};
    FakeNotes notes;
    AppNavigation navigation{defaults, notes};
    std::unique_ptr<PinnedTools> pins = [this] {
        defaults.setStringList("pinnedTools", {"translate", "dictation"});
        return std::make_unique<PinnedTools>(defaults);
    }();
    std::unique_ptr<Sidebar> sidebar;
};

} // namespace

TEST_F(SidebarTest, RowsOfEveryPageAndToolWithNumberedTintedPins) {
    show();
    for (const WorkspacePage &page : {WorkspacePage::home(), WorkspacePage::notes(), WorkspacePage::history()})
        ASSERT_TRUE(sidebar->row({page, false}));
    for (WorkspaceTool tool : allTools())
        EXPECT_EQ(sidebar->row(inGroup(tool))->title(), toolName(tool));
    EXPECT_EQ(sidebar->settingsRow()->title(), "Settings");
    EXPECT_FALSE(sidebar->row({WorkspacePage::home(), false})->shortcutText());

    SidebarRow *first = sidebar->row(pinned(WorkspaceTool::Translate));
    SidebarRow *second = sidebar->row(pinned(WorkspaceTool::Dictation));
    EXPECT_EQ(first->shortcutText(), "Ctrl+1");
    EXPECT_EQ(first->iconColor(), "PinTint1");
    EXPECT_EQ(second->shortcutText(), "Ctrl+2");
    EXPECT_EQ(second->iconColor(), "PinTint2");
    pins->move(WorkspaceTool::Dictation, 0);
    EXPECT_EQ(second->shortcutText(), "Ctrl+1");
    EXPECT_EQ(second->iconColor(), "PinTint1");
    EXPECT_EQ(first->shortcutText(), "Ctrl+2");
    EXPECT_TRUE(waitUntil([&] { return second->y() < first->y(); }));

    // Without pins there is no Pinned group at all.
    pins->unpin(WorkspaceTool::Translate);
    pins->unpin(WorkspaceTool::Dictation);
    EXPECT_FALSE(sidebar->header("pinned")->isVisibleTo(sidebar.get()));
    EXPECT_FALSE(sidebar->row(pinned(WorkspaceTool::Translate)));
}

TEST_F(SidebarTest, OneRowOfAPinnedToolIsHighlighted) {
    show();
    QTest::mouseClick(sidebar->row(pinned(WorkspaceTool::Translate)), Qt::LeftButton);
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Translate));
    EXPECT_TRUE(navigation.fromPinned());
    EXPECT_TRUE(sidebar->row(pinned(WorkspaceTool::Translate))->isSelected());
    EXPECT_FALSE(sidebar->row(inGroup(WorkspaceTool::Translate))->isSelected());

    QTest::mouseClick(sidebar->row(inGroup(WorkspaceTool::Translate)), Qt::LeftButton);
    EXPECT_EQ(navigation.history().backSteps().size(), 1); // the same page: nothing recorded
    EXPECT_FALSE(sidebar->row(pinned(WorkspaceTool::Translate))->isSelected());
    EXPECT_TRUE(sidebar->row(inGroup(WorkspaceTool::Translate))->isSelected());
    EXPECT_FALSE(sidebar->row({WorkspacePage::home(), false})->isSelected());

    QTest::mouseClick(sidebar->settingsRow(), Qt::LeftButton);
    EXPECT_EQ(navigation.page(), WorkspacePage::settings());
    EXPECT_TRUE(sidebar->settingsRow()->isSelected());
}

TEST_F(SidebarTest, HeadersCollapseGroupsInEverySidebar) {
    show();
    Sidebar other(navigation, *pins, defaults, nullptr);
    QTest::mouseClick(sidebar->header("audio"), Qt::LeftButton);
    EXPECT_EQ(defaults.get(kCollapsedSidebarGroups), "audio");
    QTest::mouseClick(sidebar->header("writing"), Qt::LeftButton);
    EXPECT_EQ(defaults.get(kCollapsedSidebarGroups), "audio,writing");
    for (Sidebar *s : {sidebar.get(), &other}) {
        EXPECT_TRUE(s->header("audio")->isCollapsed());
        EXPECT_EQ(s->header("audio")->chevronSymbol(), "chevron.right");
        EXPECT_EQ(s->header("documents")->chevronSymbol(), "chevron.down");
        EXPECT_EQ(s->header("audio")->accessibleDescription(), "Collapsed");
    }
    ASSERT_TRUE(
        waitUntil([&] { return !sidebar->row(inGroup(WorkspaceTool::Dictation))->isVisibleTo(sidebar.get()); }));
    EXPECT_TRUE(sidebar->row(pinned(WorkspaceTool::Dictation))->isVisibleTo(sidebar.get()));
    QTest::mouseClick(sidebar->header("audio"), Qt::LeftButton);
    EXPECT_EQ(defaults.get(kCollapsedSidebarGroups), "writing");
    ASSERT_TRUE(waitUntil([&] { return sidebar->row(inGroup(WorkspaceTool::Dictation))->isVisibleTo(sidebar.get()); }));
}

TEST_F(SidebarTest, RowMenusHoldThePinItems) {
    show();
    std::unique_ptr<QMenu> pinnedMenu(sidebar->row(pinned(WorkspaceTool::Translate))->createMenu());
    EXPECT_EQ(menuTitles(*pinnedMenu), (QStringList{"Move Up", "Move Down", "—", "Unpin"}));
    std::unique_ptr<QMenu> groupMenu(sidebar->row(inGroup(WorkspaceTool::Redact))->createMenu());
    EXPECT_EQ(menuTitles(*groupMenu), QStringList{"Pin"});
    std::unique_ptr<QMenu> pinnedInGroup(sidebar->row(inGroup(WorkspaceTool::Translate))->createMenu());
    EXPECT_EQ(menuTitles(*pinnedInGroup), QStringList{"Unpin"});
    EXPECT_FALSE(sidebar->row({WorkspacePage::home(), false})->createMenu());
    EXPECT_FALSE(sidebar->settingsRow()->createMenu());

    // Unpinning the open pinned tool keeps its page, now highlighted in its group.
    navigation.open(WorkspacePage::tool(WorkspaceTool::Translate), true);
    std::unique_ptr<QMenu> menu(sidebar->row(pinned(WorkspaceTool::Translate))->createMenu());
    menu->actions().last()->trigger();
    EXPECT_EQ(navigation.page(), WorkspacePage::tool(WorkspaceTool::Translate));
    EXPECT_TRUE(sidebar->row(inGroup(WorkspaceTool::Translate))->isSelected());
}

TEST_F(SidebarTest, LinesFollowTheTextSize) {
    show();
    struct Case {
        TextSize size;
        int line, chevron;
    };
    for (const Case &c : {Case{TextSize::Standard, 32, 10}, Case{TextSize::Large, 36, 12},
                          Case{TextSize::Larger, 40, 13}, Case{TextSize::Largest, 48, 15}}) {
        Environment::setTextSize(sidebar.get(), c.size);
        EXPECT_EQ(sidebar->row(inGroup(WorkspaceTool::Redact))->height(), c.line);
        EXPECT_EQ(sidebar->header("meetings")->height(), c.line);
        EXPECT_EQ(sidebar->header("meetings")->chevronPointSize(), c.chevron);
    }
}

// The count shows as a badge and to screen readers; none (or less) shows neither.
TEST_F(SidebarTest, ARowShowsItsAttentionCount) {
    SidebarRow row("gearshape", "Settings");
    auto *badge = row.findChild<Badge *>();
    ASSERT_NE(badge, nullptr);
    EXPECT_TRUE(row.accessibleDescription().isEmpty());
    EXPECT_TRUE(badge->isHidden());
    row.setAttentionCount(3);
    EXPECT_EQ(row.accessibleDescription(), "3 items need attention");
    EXPECT_FALSE(badge->isHidden());
    EXPECT_EQ(badge->count(), 3);
    row.setAttentionCount(1);
    EXPECT_EQ(row.accessibleDescription(), "1 item needs attention");
    EXPECT_EQ(badge->count(), 1);
    row.setAttentionCount(-1);
    EXPECT_TRUE(row.accessibleValue().isEmpty());
    EXPECT_TRUE(badge->isHidden());
}

// The window system's drag loop is played by the test: it delivers the drag events a person's
// pointer would cause while the drag runs, then the drag ends.
TEST_F(SidebarTest, DraggingAPinReordersLiveAndEndsCleanly) {
    show();
    SidebarRow *source = sidebar->row(pinned(WorkspaceTool::Dictation));
    SidebarRow *target = sidebar->row(pinned(WorkspaceTool::Translate));
    std::optional<WorkspaceTool> dragged;
    bool enterAccepted = false, dropAccepted = false;
    QList<WorkspaceTool> beforeDrop;
    QString payload;
    sidebar->setDragLoop([&](QDrag *drag) {
        dragged = sidebar->draggingPin();
        payload = drag->mimeData()->text();
        QDragEnterEvent enter(target->rect().center(), Qt::MoveAction, drag->mimeData(), Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        enterAccepted = enter.isAccepted();
        beforeDrop = pins->tools();
        QDropEvent drop(QPointF(target->rect().center()), Qt::MoveAction, drag->mimeData(), Qt::LeftButton, {});
        QApplication::sendEvent(target, &drop);
        dropAccepted = drop.isAccepted();
        return Qt::MoveAction;
    });
    // A press and a move past the drag distance start the drag.
    QTest::mousePress(source, Qt::LeftButton, {}, QPoint(40, 10));
    QTest::mouseMove(source, QPoint(40, 10 + QApplication::startDragDistance() + 2));
    EXPECT_EQ(dragged, WorkspaceTool::Dictation);
    EXPECT_EQ(payload, "dictation");
    EXPECT_TRUE(enterAccepted);
    EXPECT_TRUE(dropAccepted);
    // The order changed when the pointer entered the row, before the drop, and was stored.
    EXPECT_EQ(beforeDrop, (QList<WorkspaceTool>{WorkspaceTool::Dictation, WorkspaceTool::Translate}));
    EXPECT_EQ(pins->tools(), beforeDrop);
    EXPECT_EQ(defaults.get(kPinnedTools), (QStringList{"dictation", "translate"}));
    EXPECT_FALSE(sidebar->draggingPin());
    EXPECT_EQ(navigation.page(), WorkspacePage::home()); // a drag is no click
}

TEST_F(SidebarTest, ADragThatEndsElsewhereLeavesNoDragState) {
    show();
    SidebarRow *target = sidebar->row(pinned(WorkspaceTool::Dictation));
    std::optional<WorkspaceTool> during;
    // Dropped outside the pinned rows (or cancelled): no pinned row sees a drop.
    sidebar->setDragLoop([&](QDrag *) {
        during = sidebar->draggingPin();
        return Qt::IgnoreAction;
    });
    sidebar->dragPin(WorkspaceTool::Translate);
    EXPECT_EQ(during, WorkspaceTool::Translate);
    EXPECT_FALSE(sidebar->draggingPin());

    // A text dragged in from elsewhere later does not move the pins.
    QMimeData text;
    text.setText("dictation");
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction | Qt::MoveAction, &text, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    EXPECT_FALSE(enter.isAccepted());
    EXPECT_EQ(pins->tools(), (QList<WorkspaceTool>{WorkspaceTool::Translate, WorkspaceTool::Dictation}));
}
