#include "ui/hovertip.h"

#include "support/testsupport.h"
#include "ui/environment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

void enter(QWidget *widget) {
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(widget, &event);
}

void leave(QWidget *widget) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

struct HoverTipTest : ::testing::Test {
    HoverTipTest() {
        target = new QPushButton(QStringLiteral("x"), &window);
        window.resize(300, 200);
        window.show();
        tip = HoverTip::install(target, QStringLiteral("Short"));
    }
    QWidget window;
    QPushButton *target;
    HoverTip *tip;
};

} // namespace

TEST_F(HoverTipTest, OpensAfterTheRestAndClosesAtOnceOnLeaving) {
    QElapsedTimer clock;
    clock.start();
    enter(target);
    EXPECT_TRUE(tip->isPending());
    EXPECT_FALSE(tip->isShown());
    ASSERT_TRUE(test::waitUntil([&] { return tip->isShown(); }));
    EXPECT_GE(clock.elapsed(), HoverTip::kDelayMs);
    leave(target);
    EXPECT_FALSE(tip->isShown());
}

TEST_F(HoverTipTest, LeavingEarlyOrHidingCancelsThePendingTip) {
    enter(target);
    leave(target);
    EXPECT_FALSE(tip->isPending());
    enter(target);
    target->hide();
    EXPECT_FALSE(tip->isPending());
    // Nothing opens later.
    EXPECT_FALSE(test::waitUntil([&] { return tip->isShown(); }, std::chrono::milliseconds(HoverTip::kDelayMs * 2)));
}

TEST_F(HoverTipTest, AShortTipIsNarrowAndALongOneWrapsAt240) {
    enter(target);
    ASSERT_TRUE(test::waitUntil([&] { return tip->isShown(); }));
    const int narrow = tip->tipWindow()->width();
    EXPECT_LT(narrow, 2 * HoverTip::kPadding + 100);
    leave(target);

    tip->setText(QString(QStringLiteral("A long explanation that needs several lines. ")).repeated(6));
    enter(target);
    ASSERT_TRUE(test::waitUntil([&] { return tip->isShown(); }));
    QWidget *window = tip->tipWindow();
    EXPECT_LE(window->width(), HoverTip::kMaxTextWidth + 2 * HoverTip::kPadding);
    EXPECT_GE(window->width(), HoverTip::kMaxTextWidth + 2 * HoverTip::kPadding - 2);
    EXPECT_GT(window->height(), 4 * 15);
    // It opens below the view.
    EXPECT_GE(window->mapToGlobal(QPoint(0, 0)).y(), target->mapToGlobal(QPoint(0, target->height())).y());
}
