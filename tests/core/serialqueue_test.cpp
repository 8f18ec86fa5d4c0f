#include "core/continuousclock.h"
#include "core/error.h"
#include "core/serialqueue.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

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
