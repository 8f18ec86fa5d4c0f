#include "core/async.h"
#include "support/testsupport.h"

#include <QThread>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

QCoro::Task<int> valueAfter(std::chrono::milliseconds wait, int value, CancellationToken token) {
    co_await delay(wait, token);
    co_return value;
}

} // namespace

TEST(Cancellation, CallbacksRunOnceAndRegistrationsEnd) {
    CancellationSource source;
    auto token = source.token();
    int fired = 0, dropped = 0;
    auto keep = token.onCancelled([&] { ++fired; });
    {
        auto gone = token.onCancelled([&] { ++dropped; });
    }
    EXPECT_FALSE(token.isCancelled());
    source.cancel();
    source.cancel();
    EXPECT_TRUE(token.isCancelled());
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(dropped, 0);
    EXPECT_THROW(token.throwIfCancelled(), CancelledError);
    // Registering on a cancelled token runs at once.
    int late = 0;
    auto r = token.onCancelled([&] { ++late; });
    EXPECT_EQ(late, 1);
}

TEST(Cancellation, ChildFollowsParentButNotTheOtherWay) {
    CancellationSource parent;
    CancellationSource child(parent.token());
    CancellationSource sibling(parent.token());
    child.cancel();
    EXPECT_FALSE(parent.isCancelled());
    EXPECT_FALSE(sibling.isCancelled());
    parent.cancel();
    EXPECT_TRUE(sibling.isCancelled());
    EXPECT_FALSE(CancellationToken().isCancelled());
}

TEST(Cancellation, CancellingStopsADelayWithCancelledError) {
    CancellationSource source;
    QTimer::singleShot(20ms, [&] { source.cancel(); });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(test::run(valueAfter(10s, 1, source.token())), CancelledError);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

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

TEST(SharedTask, SeveralAwaitersGetOneRun) {
    int runs = 0;
    auto work = [&]() -> QCoro::Task<QString> {
        ++runs;
        co_await delay(10ms);
        co_return QStringLiteral("done");
    };
    SharedTask<QString> shared(work());
    std::vector<QString> seen;
    auto awaiter = [&]() -> QCoro::Task<> { seen.push_back(co_await shared); };
    auto a = awaiter();
    auto b = awaiter();
    test::run(std::move(a));
    test::run(std::move(b));
    // An awaiter arriving after completion gets the same value at once.
    test::run(awaiter());
    EXPECT_EQ(runs, 1);
    ASSERT_EQ(seen.size(), 3u);
    for (const auto &s : seen)
        EXPECT_EQ(s, "done");
}

TEST(SharedTask, ErrorsReachEveryAwaiter) {
    auto work = []() -> QCoro::Task<int> {
        co_await delay(1ms);
        throw Error("Shared", 3);
    };
    SharedTask<int> shared(work());
    int failures = 0;
    auto awaiter = [&]() -> QCoro::Task<> {
        try {
            co_await shared;
        } catch (const Error &e) {
            failures += e.code() == 3;
        }
    };
    auto a = awaiter();
    auto b = awaiter();
    test::run(std::move(a));
    test::run(std::move(b));
    EXPECT_EQ(failures, 2);
}

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

TEST(SerialQueue, JobsRunOneAfterAnotherEvenAfterAFailure) {
    SerialQueue queue;
    std::vector<QString> events;
    int running = 0, maxRunning = 0;
    auto job = [&](QString name, std::chrono::milliseconds wait, bool fail) {
        return [&, name, wait, fail]() -> QCoro::Task<void> {
            maxRunning = std::max(maxRunning, ++running);
            events.push_back(name + " start");
            co_await delay(wait);
            events.push_back(name + " end");
            --running;
            if (fail)
                throw Error("Queue", 1);
        };
    };
    // The first job takes longest; the order must still be the order of submission.
    queue.post(job("a", 30ms, false));
    auto b = queue.run<void>(job("b", 1ms, true));
    queue.post(job("c", 1ms, false));
    EXPECT_EQ(queue.pending(), 3);
    EXPECT_THROW(test::run(std::move(b)), Error);
    test::run(queue.drain());
    EXPECT_EQ(queue.pending(), 0);
    EXPECT_EQ(maxRunning, 1);
    EXPECT_EQ(events, (std::vector<QString>{"a start", "a end", "b start", "b end", "c start", "c end"}));
}

TEST(SerialQueue, RunReturnsTheJobsValue) {
    SerialQueue queue;
    auto v = test::run(queue.run<int>([]() -> QCoro::Task<int> { co_return 5; }));
    EXPECT_EQ(v, 5);
}

TEST(SerialExecutor, RunsOffTheMainThreadInOrderAndResumesOnMain) {
    SerialExecutor executor(QStringLiteral("test.executor"));
    QThread *main = QThread::currentThread();
    std::vector<int> order;
    std::mutex m;
    auto job = [&](int i) {
        return [&, i] {
            EXPECT_NE(QThread::currentThread(), main);
            std::lock_guard lock(m);
            order.push_back(i);
            return i * 2;
        };
    };
    auto first = executor.run(job(1));
    auto second = executor.run(job(2));
    EXPECT_EQ(test::run(std::move(first)), 2);
    EXPECT_EQ(QThread::currentThread(), main);
    EXPECT_EQ(test::run(std::move(second)), 4);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_THROW(test::run(executor.run([]() -> int { throw Error("Exec", 9); })), Error);
}
