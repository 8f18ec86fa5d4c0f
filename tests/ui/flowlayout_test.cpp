#include "ui/flowlayout.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <limits>

using namespace velmora;

namespace {
constexpr qreal kInf = std::numeric_limits<qreal>::infinity();
}

TEST(FlowLayout, ArrangesRowsLikeWords) {
    struct Case {
        const char *name;
        QList<QSizeF> sizes;
        qreal maxWidth;
        QList<QRectF> frames;
        QSizeF extent;
    };
    const Case cases[] = {
        {"nothing", {}, 100, {}, {0, 0}},
        {"no width: one row",
         {{30, 10}, {40, 20}, {50, 10}},
         kInf,
         {{0, 0, 30, 10}, {36, 0, 40, 20}, {82, 0, 50, 10}},
         {132, 20}},
        {"exactly the remaining room stays", {{50, 10}, {44, 10}}, 100, {{0, 0, 50, 10}, {56, 0, 44, 10}}, {100, 10}},
        {"one point wider wraps", {{50, 10}, {45, 10}}, 100, {{0, 0, 50, 10}, {0, 16, 45, 10}}, {50, 26}},
        {"wider than the row: narrowed, own row",
         {{30, 10}, {150, 12}, {20, 10}},
         100,
         {{0, 0, 30, 10}, {0, 16, 100, 12}, {0, 34, 20, 10}},
         {100, 44}},
        {"first of a row never moves", {{150, 10}}, 100, {{0, 0, 100, 10}}, {100, 10}},
        {"rows top-aligned under the tallest",
         {{40, 10}, {40, 30}, {40, 10}},
         90,
         {{0, 0, 40, 10}, {46, 0, 40, 30}, {0, 36, 40, 10}},
         {86, 46}},
    };
    for (const Case &c : cases) {
        const QList<QRectF> frames = FlowLayout::arrange(c.sizes, 6, c.maxWidth);
        EXPECT_EQ(frames, c.frames) << c.name;
        EXPECT_EQ(FlowLayout::extent(frames), c.extent) << c.name;
    }
}

TEST(FlowLayout, PlacesWidgetsAndHugsItsRows) {
    QWidget container;
    auto *layout = new FlowLayout(6, &container);
    QList<QWidget *> children;
    for (int width : {60, 60, 60}) {
        auto *child = new QWidget;
        child->setFixedSize(width, 20);
        layout->addWidget(child);
        children << child;
    }
    EXPECT_EQ(layout->sizeHint(), QSize(192, 20));
    EXPECT_EQ(layout->heightForWidth(130), 46);
    layout->setGeometry(QRect(10, 5, 130, 46));
    EXPECT_EQ(children[0]->geometry(), QRect(10, 5, 60, 20));
    EXPECT_EQ(children[1]->geometry(), QRect(76, 5, 60, 20));
    EXPECT_EQ(children[2]->geometry(), QRect(10, 31, 60, 20));
}
