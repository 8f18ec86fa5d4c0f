#include "core/error.h"
#include "core/serialexecutor.h"
#include "support/testsupport.h"

#include <QDeadlineTimer>
#include <QThread>
#include <mutex>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;
using QCoro::Task;

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
    // The thread is looked at inside the coroutine, after its co_await.
    auto resumedOn = [](Task<int> task, QThread **thread) -> Task<int> {
        const int value = co_await std::move(task);
        *thread = QThread::currentThread();
        co_return value;
    };
    QThread *firstResumedOn = nullptr;
    auto first = resumedOn(executor.run(job(1)), &firstResumedOn);
    auto second = executor.run(job(2));
    EXPECT_EQ(test::run(std::move(first)), 2);
    EXPECT_EQ(firstResumedOn, main);
    EXPECT_EQ(test::run(std::move(second)), 4);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_THROW(test::run(executor.run([]() -> int { throw Error("Exec", 9); })), Error);
}

TEST(SerialExecutor, AJobDroppedUnrunWhenTheExecutorGoesRejectsItsAwaiter) {
    auto executor = std::make_unique<SerialExecutor>(QStringLiteral("test.executor"));
    // The first job stops the executor's loop, so the second one stays queued.
    QThread *thread = executor->thread();
    test::run(executor->run([thread] { thread->quit(); }));
    ASSERT_TRUE(thread->wait(QDeadlineTimer(10s)));
    bool ran = false;
    auto dropped = executor->run([&ran] {
        ran = true;
        return 1;
    });
    executor.reset();
    EXPECT_THROW(test::run(std::move(dropped)), CancelledError);
    EXPECT_FALSE(ran);
}
