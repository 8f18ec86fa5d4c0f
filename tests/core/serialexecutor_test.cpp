#include "core/error.h"
#include "core/serialexecutor.h"
#include "support/testsupport.h"

#include <QThread>
#include <mutex>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

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
