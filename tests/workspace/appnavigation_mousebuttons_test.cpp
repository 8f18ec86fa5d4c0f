#include "workspace/appnavigation.h"

#include "core/defaults.h"
#include "workspacefakes.h"

#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

using namespace velmora;
using velmora::test::FakeNotes;

namespace {

class RecordingWidget : public QWidget {
public:
    QList<Qt::MouseButton> pressed;

protected:
    void mousePressEvent(QMouseEvent *event) override { pressed.append(event->button()); }
    void mouseReleaseEvent(QMouseEvent *event) override { pressed.append(event->button()); }
};

} // namespace

TEST(MouseButtonsTest, BackAndForwardButtonsNavigateAndNeverReachWidgets) {
    Defaults defaults{QString()};
    FakeNotes notes;
    AppNavigation nav(defaults, notes);
    nav.open(WorkspacePage::tool(WorkspaceTool::Translate));
    nav.open(WorkspacePage::tool(WorkspaceTool::Summarize));
    // Showing the window twice installs one filter: one press goes back one place.
    nav.installMouseButtons();
    nav.installMouseButtons();

    RecordingWidget widget;
    widget.resize(200, 100);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));

    // Through the window, as the window system delivers them.
    QWindow *window = widget.windowHandle();
    const QPoint at(50, 50);
    QTest::mouseClick(window, Qt::BackButton, {}, at);
    EXPECT_EQ(nav.page(), WorkspacePage::tool(WorkspaceTool::Translate));
    QTest::mouseClick(window, Qt::ForwardButton, {}, at);
    EXPECT_EQ(nav.page(), WorkspacePage::tool(WorkspaceTool::Summarize));
    QTest::mouseDClick(window, Qt::BackButton, {}, at); // two quick presses: two steps back
    EXPECT_EQ(nav.page(), WorkspacePage::home());
    EXPECT_TRUE(widget.pressed.isEmpty());

    // The middle button (and any other) reaches the widget untouched.
    QTest::mouseClick(window, Qt::MiddleButton, {}, at);
    QTest::mouseClick(window, Qt::ExtraButton3, {}, at);
    EXPECT_EQ(widget.pressed,
              (QList<Qt::MouseButton>{Qt::MiddleButton, Qt::MiddleButton, Qt::ExtraButton3, Qt::ExtraButton3}));
    EXPECT_EQ(nav.page(), WorkspacePage::home());
}

TEST(MouseButtonsTest, ANewNavigationTakesOverFromOneThatWentAway) {
    Defaults defaults{QString()};
    FakeNotes notes;
    QWidget widget;
    widget.resize(100, 100);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    {
        AppNavigation gone(defaults, notes);
        gone.installMouseButtons();
    }
    QTest::mouseClick(widget.windowHandle(), Qt::BackButton, {}, QPoint(10, 10)); // nothing to act on
    AppNavigation nav(defaults, notes);
    nav.installMouseButtons();
    nav.open(WorkspacePage::history());
    QTest::mouseClick(widget.windowHandle(), Qt::BackButton, {}, QPoint(10, 10));
    EXPECT_EQ(nav.page(), WorkspacePage::home());
}
