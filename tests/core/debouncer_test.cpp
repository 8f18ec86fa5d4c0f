#include "core/debouncer.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using namespace velmora;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kDelay = 50ms;

// Records when each trigger was made and when each fired() came.
struct Timeline {
    explicit Timeline(Debouncer &d) : debouncer(d) {
        QObject::connect(&debouncer, &Debouncer::fired, [this] { fires.push_back(Clock::now()); });
    }
    void trigger() {
        triggers.push_back(Clock::now()); // before the timer starts, so a fire is never early against it
        debouncer.trigger();
    }
    Debouncer &debouncer;
    std::vector<Clock::time_point> triggers, fires;
};

} // namespace

TEST(Debouncer, SlidingFiresOnlyOnceTheTriggersHavePausedForTheDelay) {
    Debouncer debouncer(Debouncer::Mode::Sliding, kDelay);
    Timeline t(debouncer);
    const auto end = Clock::now() + 6 * kDelay;
    while (Clock::now() < end) {
        t.trigger();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    ASSERT_TRUE(test::waitUntil([&] { return !debouncer.isPending(); }));
    ASSERT_FALSE(t.fires.empty());
    // Every fire comes a full delay after the trigger just before it (a loaded machine may
    // pause the triggers long enough for an early fire, never for one that is too soon).
    for (const auto &fire : t.fires) {
        auto last = t.triggers.front();
        for (const auto &trigger : t.triggers)
            if (trigger < fire)
                last = trigger;
        EXPECT_GE(fire - last, kDelay);
    }
    EXPECT_GT(t.fires.back(), t.triggers.back());
}

TEST(Debouncer, ThrottlingFiresADelayAfterTheFirstTriggerWhileTriggersKeepComing) {
    Debouncer debouncer(Debouncer::Mode::Throttling, kDelay);
    Timeline t(debouncer);
    QDeadlineTimer deadline(10s);
    while (t.fires.empty() && !deadline.hasExpired()) {
        t.trigger();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    ASSERT_EQ(t.fires.size(), 1u) << "later triggers kept postponing the fire";
    EXPECT_GE(t.fires.front() - t.triggers.front(), kDelay);
    EXPECT_FALSE(debouncer.isPending());

    // The next trigger starts a new period of its own.
    const auto second = Clock::now();
    t.trigger();
    QSignalSpy spy(&debouncer, &Debouncer::fired);
    ASSERT_TRUE(spy.wait(10'000));
    EXPECT_GE(t.fires.back() - second, kDelay);
}

TEST(Debouncer, FlushFiresAPendingTriggerNowAndCancelDropsIt) {
    for (const auto mode : {Debouncer::Mode::Sliding, Debouncer::Mode::Throttling}) {
        SCOPED_TRACE(int(mode));
        Debouncer debouncer(mode, kDelay);
        QSignalSpy fired(&debouncer, &Debouncer::fired);

        debouncer.flush(); // nothing pending: nothing to fire
        EXPECT_EQ(fired.count(), 0);

        debouncer.trigger();
        EXPECT_TRUE(debouncer.isPending());
        debouncer.flush();
        EXPECT_EQ(fired.count(), 1);
        EXPECT_FALSE(debouncer.isPending());

        Debouncer cancelled(mode, kDelay);
        QSignalSpy cancelledFired(&cancelled, &Debouncer::fired);
        cancelled.trigger();
        cancelled.cancel();
        EXPECT_FALSE(cancelled.isPending());

        // A control triggered after both fires after either would have: neither fires again.
        Debouncer control(mode, kDelay);
        QSignalSpy controlFired(&control, &Debouncer::fired);
        control.trigger();
        ASSERT_TRUE(controlFired.wait(10'000));
        EXPECT_EQ(fired.count(), 1);
        EXPECT_EQ(cancelledFired.count(), 0);
    }
}
