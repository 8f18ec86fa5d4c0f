#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/error.h"
#include "support/testsupport.h"

#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

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

TEST(Cancellation, CancelFromAnotherThreadMarksAtOnceAndRunsTheCallbacksOnTheMainThread) {
    CancellationSource source;
    CancellationSource child(source.token());
    QThread *ranOn = nullptr;
    auto reg = child.token().onCancelled([&] { ranOn = QThread::currentThread(); });
    std::thread other([&] {
        source.cancel();
        EXPECT_TRUE(source.token().isCancelled());
    });
    other.join();
    // The main thread has not run its event loop since: a callback run on the other thread
    // shows here.
    EXPECT_EQ(ranOn, nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return ranOn != nullptr; }));
    EXPECT_EQ(ranOn, QThread::currentThread());
    EXPECT_TRUE(child.isCancelled());
}

TEST(Cancellation, AWaitCancelledFromAnotherThreadResumesOnTheMainThread) {
    CancellationSource source;
    QThread *resumedOn = nullptr;
    auto waiting = [](CancellationToken token, QThread **thread) -> QCoro::Task<> {
        try {
            co_await delay(10min, token);
        } catch (const CancelledError &) {
            *thread = QThread::currentThread();
        }
    }(source.token(), &resumedOn);
    std::thread other([&] { source.cancel(); });
    other.join();
    test::run(std::move(waiting));
    EXPECT_EQ(resumedOn, QThread::currentThread());
}
