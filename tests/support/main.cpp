// Test entry: one application object for the whole test program, so coroutines have an
// event loop; each test gets a fresh temporary home from TempHome.
#include "support/testsupport.h"

#include <gtest/gtest.h>

#ifdef VELMORA_TEST_GUI
#include <QApplication>
using TestApp = QApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif

#include <csignal>

int main(int argc, char **argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    velmora::test::installListeners();
    return RUN_ALL_TESTS();
}
