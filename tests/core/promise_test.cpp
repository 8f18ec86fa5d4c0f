#include "core/error.h"
#include "core/promise.h"
#include "support/testsupport.h"

#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

struct Resumption {
    std::atomic<bool> resumed = false;
    std::atomic<QThread *> thread = nullptr;
    int value = 0;
};

QCoro::Task<> awaitAndRecord(Promise<int>::Awaiter awaiter, Resumption *out) {
    out->value = co_await std::move(awaiter);
    out->thread = QThread::currentThread();
    out->resumed = true;
}

struct SettleCase {
    const char *name;
    std::function<void(Promise<int>)> settle;
};

class PromiseSettledFrom : public ::testing::TestWithParam<SettleCase> {};

} // namespace

// Whoever settles, the awaiter carries on later on its own thread, never inside resolve().
TEST_P(PromiseSettledFrom, ResumesOnTheAwaitingThreadThroughItsEventLoop) {
    Promise<int> promise;
    Resumption r;
    auto waiting = awaitAndRecord(promise.waiter(), &r);
    GetParam().settle(promise);
    // This thread has not run its event loop since: a resumption inside resolve() shows here.
    EXPECT_FALSE(r.resumed);
    test::run(std::move(waiting));
    EXPECT_TRUE(r.resumed);
    EXPECT_EQ(r.thread, QThread::currentThread());
    EXPECT_EQ(r.value, 7);
}

INSTANTIATE_TEST_SUITE_P(Promise, PromiseSettledFrom,
                         ::testing::Values(SettleCase{"TheSameThread", [](Promise<int> p) { p.resolve(7); }},
                                           SettleCase{"AnotherThread",
                                                      [](Promise<int> p) {
                                                          std::thread other([p]() mutable { p.resolve(7); });
                                                          other.join();
                                                      }}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Promise, AnAwaiterOnAWorkerThreadResumesThereWhenTheMainThreadSettles) {
    QThread worker;
    worker.start();
    QObject onWorker;
    onWorker.moveToThread(&worker);
    Promise<int> promise;
    Resumption r;
    std::atomic<bool> suspended = false;
    std::optional<QCoro::Task<>> waiting;
    QMetaObject::invokeMethod(&onWorker, [&] {
        waiting.emplace(awaitAndRecord(promise.waiter(), &r));
        suspended = true;
    });
    ASSERT_TRUE(test::waitUntil([&] { return suspended.load(); }));
    promise.resolve(7);
    ASSERT_TRUE(test::waitUntil([&] { return r.resumed.load(); }));
    EXPECT_EQ(r.thread, &worker);
    EXPECT_EQ(r.value, 7);
    // The finished task goes on the thread that ran it.
    QMetaObject::invokeMethod(
        &onWorker, [&] { waiting.reset(); }, Qt::BlockingQueuedConnection);
    worker.quit();
    worker.wait();
}

TEST(Promise, TheLastProducerGoneUnsettledRejectsTheAwaitersWithCancelledError) {
    Resumption r;
    std::optional<QCoro::Task<>> waiting;
    {
        Promise<int> promise;
        std::function<void()> producer = [promise]() mutable { promise.resolve(1); };
        waiting.emplace(awaitAndRecord(promise.waiter(), &r));
        // One producer handle still exists: nothing happens yet.
        producer = nullptr;
        test::drainPostedEvents();
        EXPECT_FALSE(r.resumed);
    }
    EXPECT_THROW(test::run(std::move(*waiting)), CancelledError);
    EXPECT_FALSE(r.resumed);
}

TEST(Promise, ASettledPromiseKeepsItsValueAfterTheProducersGo) {
    Promise<int>::Awaiter awaiter = [] {
        Promise<int> promise;
        promise.resolve(3);
        return promise.waiter();
    }();
    Resumption r;
    test::run(awaitAndRecord(std::move(awaiter), &r));
    EXPECT_EQ(r.value, 3);
}

namespace {

struct Probe {
    static inline int made = 0;
    static inline int destroyed = 0;
    Probe() { ++made; }
    Probe(const Probe &) { ++made; }
    Probe(Probe &&) noexcept { ++made; }
    ~Probe() { ++destroyed; }
};

QCoro::Task<int> failing(std::function<int()> f) {
    throw std::runtime_error("failed");
    co_return f();
}

QCoro::Task<> awaitNamedTask() {
    Probe probe;
    auto task = failing([probe] { return 1; });
    co_await std::move(task);
}

} // namespace

// Pins the compiler fault behind the coroutine rule (core/promise.h): written as
// `co_await failing([probe] { ... })`, the lambda is destroyed twice and the counts disagree.
TEST(CoroutineRule, ALambdaForAThrowingTaskIsDestroyedOnceWhenTheTaskIsNamed) {
    Probe::made = 0;
    Probe::destroyed = 0;
    EXPECT_THROW(test::run(awaitNamedTask()), std::runtime_error);
    EXPECT_EQ(Probe::destroyed, Probe::made);
}
