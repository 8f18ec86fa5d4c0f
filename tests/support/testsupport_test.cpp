#include "core/promise.h"
#include "support/testsupport.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {
QCoro::Task<int> awaitPromise(Promise<int> promise, bool *finished) {
    const int value = co_await promise;
    *finished = true;
    co_return value;
}
} // namespace

TEST(TestRun, ReturnsTheValueOrRethrowsTheError) {
    Promise<int> ready;
    ready.resolve(4);
    bool finished = false;
    EXPECT_EQ(test::run(awaitPromise(ready, &finished)), 4);

    Promise<int> failed;
    failed.reject(std::make_exception_ptr(std::runtime_error("boom")));
    EXPECT_THROW(test::run(awaitPromise(failed, &finished)), std::runtime_error);
}

TEST(TestRun, ATaskThatNeverFinishesFailsTheTestInsteadOfHangingIt) {
    Promise<int> never;
    bool finished = false;
    bool threw = false;
    EXPECT_NONFATAL_FAILURE(
        {
            try {
                test::run(awaitPromise(never, &finished), 50ms);
            } catch (const test::RunTimeout &) {
                threw = true;
            }
        },
        "did not finish within 50 ms");
    EXPECT_TRUE(threw);
    // The abandoned task may still end later without touching anything of the run that gave up.
    never.resolve(1);
    EXPECT_TRUE(test::waitUntil([&] { return finished; }));
}
