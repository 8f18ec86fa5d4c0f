#include "ui/badge.h"

#include "ui/environment.h"

#include <QHBoxLayout>
#include <QLocale>

#include <gtest/gtest.h>

using namespace velmora;

TEST(Badge, CountsInTheSystemLocaleInACapsuleThatKeepsItsMinimum) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QWidget root;
    Badge zero(0, &root), negative(-3, &root), many(12345, &root);
    EXPECT_EQ(zero.text(), QLocale::system().toString(0));
    EXPECT_EQ(negative.text(), QLocale::system().toString(-3));
    EXPECT_TRUE(negative.text().contains(QLatin1Char('3')));
    EXPECT_EQ(many.text(), QLocale::system().toString(12345));
    const std::array<int, 4> minimum{16, 20, 20, 24};
    for (TextSize size : allTextSizes()) {
        Environment::setTextSize(&root, size);
        EXPECT_GE(zero.sizeHint().width(), minimum[position(size)]);
        EXPECT_GE(zero.sizeHint().height(), minimum[position(size)]);
        // Longer counts widen the capsule; its height stays.
        EXPECT_GT(many.sizeHint().width(), zero.sizeHint().width());
        EXPECT_EQ(many.sizeHint().height(), zero.sizeHint().height());
    }
}

TEST(Badge, ANarrowRowDoesNotSqueezeIt) {
    QWidget row;
    auto *layout = new QHBoxLayout(&row);
    auto *filler = new QWidget;
    filler->setMinimumWidth(10);
    filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *badge = new Badge(1234);
    layout->addWidget(filler);
    layout->addWidget(badge);
    row.resize(60, 30);
    row.show();
    layout->activate();
    EXPECT_EQ(badge->width(), badge->sizeHint().width());
}

TEST(EmptyStateIcon, TileAndSymbolGrowWhileTheCornerStays) {
    QWidget root;
    EmptyStateIcon icon(QStringLiteral("note.text"), &root);
    const std::array<std::pair<int, int>, 4> expected{{{20, 36}, {23, 40}, {26, 48}, {29, 52}}};
    for (TextSize size : allTextSizes()) {
        Environment::setTextSize(&root, size);
        EXPECT_EQ(icon.symbolPointSize(), expected[position(size)].first);
        EXPECT_EQ(icon.tileSide(), expected[position(size)].second);
        EXPECT_EQ(icon.sizeHint(), QSize(expected[position(size)].second, expected[position(size)].second));
    }
    // Swapping the symbol leaves the tile as it is.
    const QSize before = icon.sizeHint();
    icon.setSymbol(QStringLiteral("magnifyingglass"));
    EXPECT_EQ(icon.sizeHint(), before);
}
