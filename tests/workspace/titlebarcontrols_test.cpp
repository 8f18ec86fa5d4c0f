#include "workspace/titlebarcontrols.h"

#include "core/defaults.h"
#include "ui/button.h"
#include "ui/environment.h"
#include "workspace/appnavigation.h"
#include "workspacefakes.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class TitleBarTest : public ::testing::Test {
protected:
    void layout(double width, TextSize size = TextSize::Standard) {
        navigation.setWindowWidth(width);
        navigation.setTextBodySize(bodyPointSize(size));
        navigation.updateLayout();
    }
    Defaults defaults{QString()};
    FakeNotes notes;
    AppNavigation navigation{defaults, notes};
};

} // namespace

TEST_F(TitleBarTest, PositionsLineUpWithTheColumnsAtEveryTextSize) {
    struct Row {
        TextSize size;
        int b, x1Shown, x1Not, x2Shown, x2Not, x3ListShown, x3ListShownNoSidebar, x3NoList, x3NoListNoSidebar;
    };
    const Row table[] = {
        {TextSize::Standard, 24, 204, 84, 253, 112, 525, 284, 309, 168},
        {TextSize::Large, 28, 200, 84, 253, 116, 521, 280, 317, 180},
        {TextSize::Larger, 32, 196, 84, 253, 120, 517, 276, 325, 192},
        {TextSize::Largest, 36, 192, 84, 253, 124, 513, 272, 333, 204},
    };
    navigation.open(WorkspacePage::notes());
    for (const Row &r : table) {
        SCOPED_TRACE(toString(r.size).toStdString());
        layout(2000, r.size); // everything fits
        navigation.setSidebarHidden(false);
        navigation.setNoteListHidden(false);
        auto p = TitleBarControls::positions(navigation, r.size);
        EXPECT_EQ(p.buttonSize, r.b);
        EXPECT_EQ(p.sidebarToggle, r.x1Shown);
        EXPECT_EQ(p.back, r.x2Shown);
        EXPECT_EQ(p.forward, r.x2Shown + r.b + 4);
        EXPECT_EQ(p.listToggle, r.x3ListShown);
        navigation.setNoteListHidden(true);
        EXPECT_EQ(TitleBarControls::positions(navigation, r.size).listToggle, r.x3NoList);
        navigation.setSidebarHidden(true);
        p = TitleBarControls::positions(navigation, r.size);
        EXPECT_EQ(p.sidebarToggle, r.x1Not);
        EXPECT_EQ(p.back, r.x2Not);
        EXPECT_EQ(p.listToggle, r.x3NoListNoSidebar);
        navigation.setNoteListHidden(false);
        EXPECT_EQ(TitleBarControls::positions(navigation, r.size).listToggle, r.x3ListShownNoSidebar);
    }
}

TEST_F(TitleBarTest, ButtonsTitlesAndEnabledStates) {
    layout(1200);
    TitleBarControls bar(navigation, nullptr);
    bar.resize(1200, 40);
    EXPECT_EQ(bar.sidebarToggle()->x(), 204);
    EXPECT_EQ(bar.backButton()->x(), 253);
    EXPECT_EQ(bar.forwardButton()->x(), 281);
    EXPECT_EQ(bar.sidebarToggle()->toolTip(), "Hide Sidebar");
    EXPECT_EQ(bar.backButton()->toolTip(), "Back");
    EXPECT_FALSE(bar.backButton()->isEnabled());
    EXPECT_FALSE(bar.forwardButton()->isEnabled());

    QTest::mouseClick(bar.sidebarToggle(), Qt::LeftButton);
    EXPECT_TRUE(navigation.sidebarHidden());
    EXPECT_EQ(bar.sidebarToggle()->x(), 84);
    EXPECT_EQ(bar.backButton()->x(), 112);
    EXPECT_EQ(bar.forwardButton()->x(), 140);
    EXPECT_EQ(bar.sidebarToggle()->toolTip(), "Show Sidebar");

    navigation.open(WorkspacePage::history());
    EXPECT_TRUE(bar.backButton()->isEnabled());
    QTest::mouseClick(bar.backButton(), Qt::LeftButton);
    EXPECT_EQ(navigation.page(), WorkspacePage::home());
    EXPECT_FALSE(bar.backButton()->isEnabled());
    EXPECT_TRUE(bar.forwardButton()->isEnabled());

    // A narrow window: the sidebar slides over, the toggle stays at 84 and reads "Hide Sidebar".
    navigation.setSidebarHidden(false);
    layout(1000);
    QTest::mouseClick(bar.sidebarToggle(), Qt::LeftButton);
    EXPECT_EQ(navigation.slideOver(), SlidingPanel::Sidebar);
    EXPECT_EQ(bar.sidebarToggle()->x(), 84);
    EXPECT_EQ(bar.sidebarToggle()->toolTip(), "Hide Sidebar");
    navigation.closeSlideOver();
    EXPECT_EQ(bar.sidebarToggle()->toolTip(), "Show Sidebar");

    Environment::setTextSize(&bar, TextSize::Largest);
    EXPECT_EQ(bar.sidebarToggle()->width(), 36);
}
