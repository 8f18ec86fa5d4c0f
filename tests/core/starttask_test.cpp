#include "core/error.h"
#include "core/promise.h"
#include "core/starttask.h"
#include "support/testsupport.h"

#include <QObject>

#include <gtest/gtest.h>

#include <memory>

using namespace velmora;

namespace {
QCoro::Task<int> valueOf(Promise<int> promise) {
    co_return co_await promise;
}
QCoro::Task<> completionOf(Promise<int> promise) {
    co_await promise;
}
} // namespace

TEST(StartTask, DeliversTheResultOrTheErrorToALivingContext) {
    QObject context;
    Promise<int> work;
    int result = 0;
    bool failed = false;
    startTask(
        &context, valueOf(work), [&](int value) { result = value; }, [&](std::exception_ptr) { failed = true; });
    EXPECT_EQ(result, 0); // nothing before the work ends
    work.resolve(7);
    ASSERT_TRUE(test::waitUntil([&] { return result == 7; }));
    EXPECT_FALSE(failed);

    Promise<int> failing;
    int code = 0;
    startTask(
        &context, valueOf(failing), [&](int) { ADD_FAILURE() << "a failed task has no result"; },
        [&](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const Error &e) {
                code = int(e.code());
            }
        });
    failing.reject(std::make_exception_ptr(Error("Test", 5)));
    ASSERT_TRUE(test::waitUntil([&] { return code == 5; }));

    // Without an error callback an error is dropped; it is not taken for a result.
    bool failedTaskDelivered = false;
    Promise<int> failingVoid;
    startTask(&context, completionOf(failingVoid), [&] { failedTaskDelivered = true; });
    failingVoid.reject(std::make_exception_ptr(Error("Dropped", 1)));
    bool done = false;
    Promise<int> voidWork;
    startTask(&context, completionOf(voidWork), [&] { done = true; });
    voidWork.resolve(1);
    ASSERT_TRUE(test::waitUntil([&] { return done; }));
    EXPECT_FALSE(failedTaskDelivered);
}

TEST(StartTask, NothingReachesAContextThatIsGone) {
    auto gone = std::make_unique<QObject>();
    QObject alive;
    Promise<int> work;
    bool goneCalled = false;
    int aliveResult = 0;
    startTask(
        gone.get(), valueOf(work), [&](int) { goneCalled = true; }, [&](std::exception_ptr) { goneCalled = true; });
    startTask(&alive, valueOf(work), [&](int value) { aliveResult = value; });
    gone.reset();
    work.resolve(3);
    // The same outcome reached the living context, so it would have reached the other one too.
    ASSERT_TRUE(test::waitUntil([&] { return aliveResult == 3; }));
    EXPECT_FALSE(goneCalled);
}
