#include "platform/terminationsignals.h"

#include "support/testsupport.h"

#include <QSignalSpy>

#include <csignal>

using namespace velmora;

// Each termination signal reaches the main loop as a Qt signal, in the order sent, and none
// ends the process.
TEST(TerminationSignals, DeliversEachSignalOnTheMainLoop) {
    TerminationSignals signals_;
    QSignalSpy spy(&signals_, &TerminationSignals::received);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ASSERT_EQ(::raise(s), 0);
    ASSERT_TRUE(test::waitUntil([&] { return spy.count() == 3; }));
    EXPECT_EQ(spy.at(0).at(0).toInt(), SIGTERM);
    EXPECT_EQ(spy.at(1).at(0).toInt(), SIGINT);
    EXPECT_EQ(spy.at(2).at(0).toInt(), SIGHUP);
}

// A signal that arrives before anyone listens waits in the pipe for the first listener.
TEST(TerminationSignals, SignalBeforeTheListenerIsKept) {
    TerminationSignals::install();
    ASSERT_EQ(::raise(SIGTERM), 0);
    TerminationSignals signals_;
    QSignalSpy spy(&signals_, &TerminationSignals::received);
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(spy.at(0).at(0).toInt(), SIGTERM);
}
