#include "core/continuousclock.h"
#include "core/error.h"
#include "support/testsupport.h"

#include <QTimer>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

TEST(Sleep, ContinuousClockAdvancesAndSleepWaits) {
    const auto start = ContinuousClock::now();
    test::run(sleepFor(30ms));
    const auto elapsed = ContinuousClock::now() - start;
    EXPECT_GE(elapsed, 30ms);
    EXPECT_LT(elapsed, 5s);

    CancellationSource source;
    QTimer::singleShot(10ms, [&] { source.cancel(); });
    EXPECT_THROW(test::run(sleepFor(10s, source.token())), CancelledError);
}
