#include "ui/removablechips.h"

#include "support/testsupport.h"
#include "ui/environment.h"
#include "ui/hovertip.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

RemovableChips *makeChips(QWidget *parent) {
    return new RemovableChips([](const QVariant &v) { return v.toString().toUpper(); },
                              [](const QVariant &v) { return QStringLiteral("Remove ") + v.toString(); }, parent);
}

} // namespace

TEST(RemovableChips, EachXRemovesItsOwnItemAndSaysWhichInItsLabel) {
    QWidget window;
    auto *chips = makeChips(&window);
    chips->setItems({QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma")});
    chips->resize(chips->sizeHint());
    window.show();
    QSignalSpy removed(chips, &RemovableChips::removeRequested);
    auto *x = qobject_cast<QAbstractButton *>(chips->removeButton(QStringLiteral("beta")));
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->accessibleName(), "Remove beta");
    ASSERT_NE(HoverTip::of(x), nullptr);
    EXPECT_EQ(HoverTip::of(x)->text(), "Remove beta");
    x->click();
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed.first().first().toString(), "beta");
    // The x sits at the trailing end of its chip.
    const QWidget *chip = chips->chip(QStringLiteral("beta"));
    EXPECT_GT(x->geometry().left(), chip->width() / 2);
}

TEST(RemovableChips, EmptyTakesNoSpaceAndRowsWrap) {
    QWidget window;
    auto *chips = makeChips(&window);
    chips->setItems({});
    EXPECT_EQ(chips->sizeHint(), QSize(0, 0));
    chips->setItems({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three"), QStringLiteral("four")});
    const int oneRow = chips->heightForWidth(10000);
    EXPECT_EQ(oneRow, 22);
    EXPECT_EQ(chips->heightForWidth(chips->chip(QStringLiteral("one"))->sizeHint().width() + 10), 4 * 22 + 3 * 6);
}

TEST(RemovableChips, ChipsGrowWithTheTextSize) {
    QWidget window;
    auto *chips = makeChips(&window);
    chips->setItems({QStringLiteral("one")});
    const std::array<std::pair<int, int>, 4> expected{{{22, 14}, {24, 16}, {28, 18}, {32, 20}}};
    for (TextSize size : allTextSizes()) {
        Environment::setTextSize(&window, size);
        EXPECT_EQ(chips->chip(QStringLiteral("one"))->sizeHint().height(), expected[position(size)].first);
        EXPECT_EQ(chips->removeButton(QStringLiteral("one"))->sizeHint().width(), expected[position(size)].second);
    }
}

TEST(RemovableChips, RemovingMovesLaterChipsUpAtOnceUnderReduceMotion) {
    QWidget window;
    auto *chips = makeChips(&window);
    chips->setItems({QStringLiteral("aaaa"), QStringLiteral("bbbb"), QStringLiteral("cccc")});
    const int width = chips->chip(QStringLiteral("aaaa"))->sizeHint().width() * 2 + 6;
    chips->resize(width, chips->heightForWidth(width));
    window.show();
    QWidget *third = chips->chip(QStringLiteral("cccc"));
    EXPECT_GT(third->y(), 0);
    Environment::setReduceMotion(&window, true);
    chips->setItems({QStringLiteral("bbbb"), QStringLiteral("cccc")});
    // Same chip, moved up into the first row at once.
    EXPECT_EQ(chips->chip(QStringLiteral("cccc")), third);
    EXPECT_EQ(third->y(), 0);

    // With motion, the move animates and ends in place.
    Environment::setReduceMotion(&window, false);
    chips->setItems({QStringLiteral("aaaa"), QStringLiteral("bbbb"), QStringLiteral("cccc")});
    EXPECT_TRUE(test::waitUntil([&] { return third->y() > 0 && third->x() == 0; }));
}

TEST(RemovableChips, AValueListedTwiceGetsTwoChipsSideBySide) {
    QWidget window;
    auto *chips = makeChips(&window);
    chips->setItems({QStringLiteral("same"), QStringLiteral("same"), QStringLiteral("other")});
    chips->resize(2000, chips->heightForWidth(2000));
    window.show();
    const QList<QWidget *> shown = chips->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    int visible = 0;
    QList<QRect> frames;
    for (QWidget *chip : shown) {
        if (chip->isVisible()) {
            ++visible;
            frames << chip->geometry();
        }
    }
    EXPECT_EQ(visible, 3);
    for (int i = 0; i < frames.size(); ++i)
        for (int j = i + 1; j < frames.size(); ++j)
            EXPECT_FALSE(frames[i].intersects(frames[j]));
}
