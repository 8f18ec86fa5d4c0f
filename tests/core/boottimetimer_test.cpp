#include "core/boottimetimer.h"
#include "core/continuousclock.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {
// Lets the clock pass the duration without running the event loop, so an expiry is counted by
// the kernel but not yet delivered.
void passWithoutEvents(std::chrono::nanoseconds duration) {
    const auto until = ContinuousClock::now() + duration;
    while (ContinuousClock::now() < until) {
    }
}
} // namespace

TEST(BoottimeTimer, FiresOnceAfterItsDurationAndReArmingReplacesTheDeadline) {
    BoottimeTimer timer;
    QSignalSpy fired(&timer, &BoottimeTimer::timeout);
    const auto started = ContinuousClock::now();
    timer.start(30ms);
    EXPECT_TRUE(timer.isActive());
    ASSERT_TRUE(fired.wait(10'000));
    EXPECT_GE(ContinuousClock::now() - started, 30ms);
    EXPECT_FALSE(timer.isActive());

    // A long deadline re-armed with a short one fires once, at the short one.
    timer.start(1h);
    timer.start(1ms);
    ASSERT_TRUE(fired.wait(10'000));
    EXPECT_EQ(fired.count(), 2);
    EXPECT_FALSE(timer.isActive());

    // Zero or less still fires, on a later turn.
    timer.start(0ns);
    EXPECT_EQ(fired.count(), 2);
    ASSERT_TRUE(fired.wait(10'000));
}

TEST(BoottimeTimer, AStoppedTimerNeverFiresEvenWhenItsExpiryWasAlreadyCounted) {
    BoottimeTimer stopped;
    BoottimeTimer control;
    QSignalSpy stoppedFired(&stopped, &BoottimeTimer::timeout);
    QSignalSpy controlFired(&control, &BoottimeTimer::timeout);
    stopped.start(1ms);
    passWithoutEvents(5ms);
    stopped.stop();
    EXPECT_FALSE(stopped.isActive());
    // The control expires after the stopped one would have: had it been going to fire, it
    // would have done so by then.
    control.start(1ms);
    ASSERT_TRUE(controlFired.wait(10'000));
    EXPECT_EQ(stoppedFired.count(), 0);
}
