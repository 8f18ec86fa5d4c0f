// Entry of the X11 tests: the application object runs on the xcb platform of a private Xvfb,
// so the clipboard, the key state and the synthetic keys are the real X11 ones. Without Xvfb
// the tests skip.

#include "support/testsupport.h"
#include "xvfbserver.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <memory>

namespace velmora::test {
// The display the tests run on; empty when there is none.
QString x11TestDisplay;
} // namespace velmora::test

int main(int argc, char **argv) {
    std::signal(SIGPIPE, SIG_IGN);
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strncmp(argv[i], "--gtest_list_tests", 18) == 0;
    std::unique_ptr<velmora::test::XvfbServer> server;
    if (!listing)
        server = std::make_unique<velmora::test::XvfbServer>();
    if (server && !server->display().isEmpty()) {
        velmora::test::x11TestDisplay = server->display();
        qputenv("DISPLAY", server->display().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        velmora::test::installListeners();
        result = RUN_ALL_TESTS();
    }
    return result;
}
