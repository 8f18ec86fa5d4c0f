#include "core/continuousclock.h"
#include "core/error.h"
#include "core/sharedtask.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

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
