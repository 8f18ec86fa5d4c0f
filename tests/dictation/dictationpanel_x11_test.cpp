// The overlay's window on a real X server: the hints that keep it above every window on every
// workspace, its shape without a compositing manager, and that it never takes the focus.

#include "dictation/dictationpanel.h"
#include "dictation/dictationpill.h"
#include "dictation/overlayclock.h"
#include "platform/floatingwindows.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QWindow>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace velmora::test {
extern QString x11TestDisplay;
}

namespace {

TEST(DictationPanelX11, ThePanelFloatsAboveEveryWindowOnEveryWorkspaceWithoutTakingTheFocus) {
    if (x11TestDisplay.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    X11FloatingWindows windows(x11TestDisplay);
    // A bare X server has no compositing manager.
    EXPECT_FALSE(windows.isCompositing());
    FakeOverlayClock clock;
    QWidget typing;
    typing.resize(300, 200);
    typing.show();
    typing.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QGuiApplication::focusWindow() == typing.windowHandle(); }));

    DictationPanel panel(windows);
    panel.setContent(new DictationPanelRoot(new DictationPill(
        DictationOverlayContent::failure(QStringLiteral("above")), [] { return 0.0; }, clock)));
    panel.orderFront();
    ASSERT_TRUE(waitUntil([&] { return panel.windowHandle() && panel.windowHandle()->isExposed(); }));
    const quint64 id = panel.winId();
    const QStringList states = windows.states(id);
    for (const char *state :
         {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"})
        EXPECT_TRUE(states.contains(QLatin1String(state))) << state << " in " << states.join(u' ').toStdString();
    EXPECT_EQ(windows.desktop(id), 0xFFFFFFFFLL);
    EXPECT_TRUE(panel.isShaped());
    EXPECT_EQ(panel.mask().boundingRect(), panel.content()->pillRect());
    // The window being typed in keeps the keyboard.
    QCoreApplication::processEvents();
    EXPECT_EQ(QGuiApplication::focusWindow(), typing.windowHandle());
}

} // namespace
