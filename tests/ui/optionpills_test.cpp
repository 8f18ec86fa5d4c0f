#include "ui/optionpills.h"

#include "support/testsupport.h"
#include "ui/environment.h"

#include <QAction>
#include <QApplication>
#include <QEnterEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QToolTip>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const QVariantList kTones{QStringLiteral("natural"), QStringLiteral("business"), QStringLiteral("casual")};

QString title(const QVariant &v) {
    const QString s = v.toString();
    return s.left(1).toUpper() + s.mid(1);
}

} // namespace

TEST(OptionPills, ClickingAPillReportsItsOptionEvenWhenAlreadySelected) {
    QWidget window;
    auto *pills = new OptionPills(kTones, QStringLiteral("business"), title, &window);
    pills->resize(pills->sizeHint());
    window.show();
    QSignalSpy selected(pills, &OptionPills::selected);
    ASSERT_EQ(pills->pills().size(), 3);
    EXPECT_FALSE(pills->pills()[0]->isSelected());
    EXPECT_TRUE(pills->pills()[1]->isSelected());
    pills->pills()[1]->click();
    pills->pills()[2]->click();
    ASSERT_EQ(selected.size(), 2);
    EXPECT_EQ(selected[0].first().toString(), "business");
    EXPECT_EQ(selected[1].first().toString(), "casual");
    // The owner keeps the selection: nothing changes until it sets it.
    EXPECT_TRUE(pills->pills()[1]->isSelected());
    pills->setSelection(QStringLiteral("casual"));
    EXPECT_TRUE(pills->pills()[2]->isSelected());
    EXPECT_FALSE(pills->pills()[1]->isSelected());
}

TEST(OptionPills, TooNarrowForTheRowShowsTheMenuInstead) {
    QWidget window;
    auto *pills = new OptionPills(kTones, QStringLiteral("business"), title, &window);
    window.show();
    const int row = pills->sizeHint().width();
    pills->resize(row, pills->sizeHint().height());
    EXPECT_TRUE(pills->showsPills());
    EXPECT_TRUE(pills->pills()[0]->isVisible());
    pills->resize(row - 1, pills->sizeHint().height());
    EXPECT_FALSE(pills->showsPills());
    EXPECT_FALSE(pills->pills()[0]->isVisible());
    EXPECT_TRUE(pills->fallbackMenu()->isVisible());
    EXPECT_EQ(pills->fallbackMenu()->text(), "Business");

    // The menu lists every option, the current one checked; picking one reports it.
    QSignalSpy selected(pills, &OptionPills::selected);
    const QList<QAction *> actions = pills->fallbackMenu()->menu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_TRUE(actions[1]->isChecked());
    EXPECT_FALSE(actions[0]->isChecked());
    actions[2]->trigger();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().first().toString(), "casual");
}

TEST(OptionPills, ASelectionOutsideTheOptionsSelectsNothing) {
    OptionPills pills(kTones, QStringLiteral("formal"), title);
    for (OptionPill *pill : pills.pills())
        EXPECT_FALSE(pill->isSelected());
    EXPECT_EQ(pills.fallbackMenu()->text(), "Formal");
    for (QAction *action : pills.fallbackMenu()->menu()->actions())
        EXPECT_FALSE(action->isChecked());
}

TEST(OptionPills, PillsAndMenuGrowWithTheTextSize) {
    QWidget root;
    OptionPill pill(QStringLiteral("Natural"), false, &root);
    OptionsMenu menu(QStringLiteral("English"), &root);
    const std::array<int, 4> heights{24, 28, 32, 36};
    for (TextSize size : allTextSizes()) {
        Environment::setTextSize(&root, size);
        EXPECT_EQ(pill.sizeHint().height(), heights[position(size)]);
        EXPECT_EQ(menu.sizeHint().height(), heights[position(size)]);
    }
}

TEST(OptionsMenu, CompressedMayNarrowElseKeepsItsWidthAndDisabledNeverOpens) {
    QWidget root;
    auto *menu = new OptionsMenu(QStringLiteral("A fairly long option title"), &root);
    EXPECT_EQ(menu->minimumSizeHint(), menu->sizeHint());
    Environment::setCompressesHeaderOptions(&root, true);
    EXPECT_LT(menu->minimumSizeHint().width(), menu->sizeHint().width() / 2);
    EXPECT_EQ(menu->minimumSizeHint().height(), menu->sizeHint().height());

    menu->menu()->addAction(QStringLiteral("Item"));
    menu->setEnabled(false);
    root.show();
    menu->click();
    EXPECT_FALSE(menu->menu()->isVisible());
}

TEST(OptionsMenu, ATitleCutShortIsTheTooltipAndTheCompactSymbolSetsTheLeastWidth) {
    QWidget root;
    Environment::setCompressesHeaderOptions(&root, true);
    const QString title = QStringLiteral("A fairly long option title");
    auto *menu = new OptionsMenu(title, &root);
    menu->setCompactSymbol(QStringLiteral("text.bubble"));
    const int symbolLeast = menu->minimumSizeHint().width();
    EXPECT_LT(symbolLeast, menu->sizeHint().width() / 2);
    root.show();

    const auto hover = [&] {
        QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), menu->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(menu, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    const struct {
        const char *name;
        int width;
        bool whole;
    } cases[] = {
        {"whole", menu->sizeHint().width(), true},
        {"one pixel short", menu->sizeHint().width() - 1, false},
        {"least", symbolLeast, false},
    };
    for (const auto &c : cases) {
        menu->resize(c.width, menu->sizeHint().height());
        EXPECT_EQ(menu->showsWholeTitle(), c.whole) << c.name;
        EXPECT_EQ(hover(), c.whole ? QString() : title) << c.name;
    }
    QToolTip::hideText();
}

TEST(OptionPill, SelectedShowsNoHoverChange) {
    QWidget root;
    OptionPill pill(QStringLiteral("Natural"), true, &root);
    root.show();
    const QImage before = pill.grab().toImage();
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(&pill, &enter);
    ASSERT_TRUE(test::waitUntil([&] { return pill.hoverProgress() == 1.0; }));
    EXPECT_EQ(pill.grab().toImage(), before);
    pill.setSelected(false);
    const QImage hovered = pill.grab().toImage();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&pill, &leave);
    ASSERT_TRUE(test::waitUntil([&] { return pill.hoverProgress() == 0.0; }));
    EXPECT_NE(pill.grab().toImage(), hovered);
}
