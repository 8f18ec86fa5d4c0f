#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/error.h"
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
