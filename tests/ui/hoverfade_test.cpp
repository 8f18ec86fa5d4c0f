#include "ui/hoverfade.h"

#include "support/testsupport.h"

#include <QApplication>
#include <QEnterEvent>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

void pointer(QWidget &widget, bool inside) {
    if (inside) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), widget.mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(&widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&widget, &leave);
    }
}

} // namespace

TEST(HoverFade, FollowsThePointerAndReportsEachChangeOnce) {
    QWidget widget;
    auto *fade = new HoverFade(&widget);
    QSignalSpy changes(fade, &HoverFade::hoveringChanged);
    pointer(widget, true);
    EXPECT_TRUE(fade->isHovering());
    ASSERT_TRUE(test::waitUntil([&] { return fade->progress() == 1.0; }));
    // A second enter (or the owner tracking a press) changes nothing.
    pointer(widget, true);
    fade->setHovering(true);
    pointer(widget, false);
    EXPECT_FALSE(fade->isHovering());
    ASSERT_TRUE(test::waitUntil([&] { return fade->progress() == 0.0; }));
    ASSERT_EQ(changes.size(), 2);
    EXPECT_TRUE(changes.at(0).at(0).toBool());
    EXPECT_FALSE(changes.at(1).at(0).toBool());
}

TEST(HoverFade, LeavingMidwayFadesBackFromWhereItIs) {
    QWidget widget;
    auto *fade = new HoverFade(&widget);
    pointer(widget, true);
    ASSERT_TRUE(test::waitUntil([&] { return fade->progress() > 0.0; }));
    pointer(widget, false);
    const qreal left = fade->progress();
    QList<qreal> seen;
    ASSERT_TRUE(test::waitUntil([&] {
        seen.append(fade->progress());
        return fade->progress() == 0.0;
    }));
    for (qreal progress : seen)
        EXPECT_LE(progress, left);
}

TEST(HoverFade, AStillWidgetTracksThePointerWithoutFading) {
    QWidget still;
    QWidget moving;
    auto *stillFade = new HoverFade(&still);
    auto *movingFade = new HoverFade(&moving);
    bool holds = true;
    stillFade->setStillWhile([&] { return holds; });
    QSignalSpy changes(stillFade, &HoverFade::hoveringChanged);
    pointer(still, true);
    pointer(moving, true);
    EXPECT_TRUE(stillFade->isHovering());
    EXPECT_EQ(changes.size(), 1);
    // The moving fade started later with the same timing: once it is done, a fade of the still
    // widget would be too.
    ASSERT_TRUE(test::waitUntil([&] { return movingFade->progress() == 1.0; }));
    EXPECT_EQ(stillFade->progress(), 0.0);

    // The predicate is asked at each change.
    pointer(still, false);
    holds = false;
    pointer(still, true);
    ASSERT_TRUE(test::waitUntil([&] { return stillFade->progress() == 1.0; }));
    EXPECT_EQ(changes.size(), 3);
}
