#include "core/continuousclock.h"
#include "core/racebudget.h"
#include "support/testsupport.h"

#include <QTimer>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

QCoro::Task<int> valueAfter(std::chrono::milliseconds wait, int value, CancellationToken token) {
    co_await delay(wait, token);
    co_return value;
}

} // namespace

TEST(Race, WorkFirstReturnsItsValue) {
    auto r = test::run(raceBudget<int>(2s, [](CancellationToken t) { return valueAfter(10ms, 42, t); }));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, 42);
}

TEST(Race, BudgetFirstCancelsTheWorkAndGivesNothing) {
    bool workSawCancel = false;
    auto r = test::run(raceBudget<int>(20ms, [&](CancellationToken t) -> QCoro::Task<int> {
        try {
            co_await delay(10s, t);
        } catch (const CancelledError &) {
            workSawCancel = true;
            throw;
        }
        co_return 1;
    }));
    EXPECT_FALSE(r.has_value());
    EXPECT_TRUE(workSawCancel);
}

TEST(Race, VoidWorkReportsWhetherItFinished) {
    EXPECT_TRUE(test::run(raceBudget<void>(2s, [](CancellationToken t) { return delay(5ms, t); })));
    EXPECT_FALSE(test::run(raceBudget<void>(10ms, [](CancellationToken t) { return delay(5s, t); })));
}

TEST(Race, WorkErrorsPassThroughAndCallerCancellationThrows) {
    auto failing = [](CancellationToken) -> QCoro::Task<int> {
        co_await delay(1ms);
        throw Error("Test", 7);
    };
    try {
        test::run(raceBudget<int>(2s, failing));
        FAIL() << "expected an error";
    } catch (const Error &e) {
        EXPECT_EQ(e.code(), 7);
    }

    CancellationSource caller;
    QTimer::singleShot(10ms, [&] { caller.cancel(); });
    EXPECT_THROW(test::run(raceBudget<int>(
                     5s, [](CancellationToken t) { return valueAfter(5s, 1, t); }, caller.token())),
                 CancelledError);
}
