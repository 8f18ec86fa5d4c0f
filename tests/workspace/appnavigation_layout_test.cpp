#include "workspace/appnavigation.h"

#include "core/defaults.h"
#include "workspacefakes.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace velmora;
using velmora::test::FakeNotes;

namespace {

class LayoutTest : public ::testing::Test {
protected:
    void layout(double width, int body = 13) {
        nav.setWindowWidth(width);
        nav.setTextBodySize(body);
        nav.updateLayout();
    }
    Defaults defaults{QString()};
    FakeNotes notes;
    AppNavigation nav{defaults, notes};
};

} // namespace

TEST_F(LayoutTest, ThresholdsAtEveryTextSize) {
    struct Case {
        int body;
        int contentMinimum;
    };
    for (const Case &c : {Case{13, 841}, Case{15, 921}, Case{17, 1001}, Case{19, 1081}}) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(AppNavigation::contentMinimum(c.body), c.contentMinimum);
        const int bothFit = c.contentMinimum + 241;
        layout(bothFit, c.body);
        EXPECT_TRUE(nav.sidebarFits());
        EXPECT_TRUE(nav.listFits());
        layout(bothFit - 1, c.body);
        EXPECT_FALSE(nav.sidebarFits());
        EXPECT_TRUE(nav.listFits());
        layout(c.contentMinimum - 1, c.body);
        EXPECT_FALSE(nav.sidebarFits());
        EXPECT_FALSE(nav.listFits());
    }
}

TEST_F(LayoutTest, TextSizeAloneCanHideAColumn) {
    layout(1200, 13);
    EXPECT_TRUE(nav.sidebarFits());
    layout(1200, 19);
    EXPECT_FALSE(nav.sidebarFits());
    EXPECT_TRUE(nav.listFits());
}

TEST_F(LayoutTest, SidebarToggleHidesTheColumnOrSlidesThePanel) {
    layout(1200);
    nav.toggleSidebar();
    EXPECT_TRUE(nav.sidebarHidden());
    EXPECT_FALSE(nav.sidebarVisible());
    nav.toggleSidebar();
    EXPECT_FALSE(nav.sidebarHidden());

    layout(1000);
    EXPECT_FALSE(nav.sidebarVisible()); // not hidden, but it does not fit
    nav.toggleSidebar();
    EXPECT_EQ(nav.slideOver(), SlidingPanel::Sidebar);
    EXPECT_TRUE(nav.sidebarVisible());
    EXPECT_FALSE(nav.sidebarHidden());
    nav.toggleSidebar();
    EXPECT_FALSE(nav.slideOver());

    // The sidebar panel replaces a sliding list, and the other way round.
    layout(800);
    nav.toggleList();
    EXPECT_EQ(nav.slideOver(), SlidingPanel::List);
    nav.toggleSidebar();
    EXPECT_EQ(nav.slideOver(), SlidingPanel::Sidebar);
    nav.toggleList();
    EXPECT_EQ(nav.slideOver(), SlidingPanel::List);
    nav.closeSlideOver();
    EXPECT_FALSE(nav.slideOver());
}

TEST_F(LayoutTest, ListToggleStoresTheFlagOfTheCurrentPage) {
    layout(1200);
    nav.open(WorkspacePage::history());
    nav.toggleList();
    EXPECT_TRUE(nav.historyListHidden());
    EXPECT_FALSE(nav.noteListHidden());
    EXPECT_TRUE(defaults.boolValue("historyListHidden"));
    EXPECT_TRUE(nav.listHidden());
    nav.open(WorkspacePage::notes());
    EXPECT_FALSE(nav.listHidden());
    nav.toggleList();
    EXPECT_TRUE(defaults.boolValue("noteListHidden"));
    EXPECT_FALSE(nav.listVisible());
}

TEST_F(LayoutTest, APanelClosesOnlyWhenItsColumnStartsToFit) {
    layout(1000);
    nav.toggleSidebar();
    layout(1050);
    EXPECT_EQ(nav.slideOver(), SlidingPanel::Sidebar);
    layout(1082);
    EXPECT_FALSE(nav.slideOver());

    // Opened while it already fitted (as the launch override can): it stays on widening.
    nav.setSlideOver(SlidingPanel::Sidebar);
    layout(1300);
    EXPECT_EQ(nav.slideOver(), SlidingPanel::Sidebar);
}

TEST_F(LayoutTest, OpeningHistoryInANarrowWindowSlidesItsListIn) {
    layout(800);
    nav.open(WorkspacePage::history());
    EXPECT_EQ(nav.slideOver(), SlidingPanel::List);
    nav.closeSlideOver();
    nav.open(WorkspacePage::history()); // the same page again
    EXPECT_EQ(nav.slideOver(), SlidingPanel::List);
    nav.open(WorkspacePage::home());
    EXPECT_FALSE(nav.slideOver());
    nav.setHistoryListHidden(true);
    nav.open(WorkspacePage::history());
    EXPECT_FALSE(nav.slideOver());
    // An entry opened from elsewhere is shown itself, without the list.
    nav.setHistoryListHidden(false);
    nav.open(WorkspacePage::home());
    nav.openHistoryEntry(QUuid::createUuid());
    EXPECT_FALSE(nav.slideOver());
}

TEST_F(LayoutTest, ResizingWithinARegimeNotifiesNobody) {
    layout(1200);
    QSignalSpy sidebar(&nav, &AppNavigation::sidebarFitsChanged);
    QSignalSpy list(&nav, &AppNavigation::listFitsChanged);
    QSignalSpy panel(&nav, &AppNavigation::slideOverChanged);
    for (int w = 1200; w >= 1082; --w)
        layout(w);
    EXPECT_EQ(sidebar.count() + list.count() + panel.count(), 0);
    // A fast drag across every threshold and back settles on the right flags.
    for (int w = 1400; w >= 700; w -= 37)
        layout(w);
    for (int w = 700; w <= 1400; w += 53)
        layout(w);
    layout(900);
    EXPECT_FALSE(nav.sidebarFits());
    EXPECT_TRUE(nav.listFits());
    EXPECT_EQ(sidebar.count() % 2, 1);
}
