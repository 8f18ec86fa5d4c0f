#include "tools/translate/swapbutton.h"

#include "support/testsupport.h"
#include "ui/environment.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;

TEST(SwapButtonTest, TheCircleAndItsSymbolGrowWithTheTextSize) {
    const struct {
        TextSize size;
        int diameter;
        int symbol;
    } cases[] = {{TextSize::Standard, 24, 13},
                 {TextSize::Large, 28, 15},
                 {TextSize::Larger, 32, 17},
                 {TextSize::Largest, 36, 19}};
    for (const auto &c : cases) {
        QWidget root;
        auto *button = new SwapButton(QStringLiteral("arrow.left.arrow.right"), &root);
        Environment::setTextSize(&root, c.size);
        EXPECT_EQ(button->diameter(), c.diameter);
        EXPECT_EQ(button->sizeHint(), QSize(c.diameter, c.diameter));
        EXPECT_EQ(button->symbolPointSize(), c.symbol);
    }
}

TEST(SwapButtonTest, RestingFillFollowsTheSchemeAndPressingSwitchesAtOnce) {
    for (ColorScheme scheme : {ColorScheme::Light, ColorScheme::Dark}) {
        QWidget root;
        Environment::setColorScheme(&root, scheme);
        auto *button = new SwapButton(QStringLiteral("arrow.left.arrow.right"), &root);
        const ColorName rest = scheme == ColorScheme::Dark ? ColorName::SurfacePressed : ColorName::SurfaceContent;
        EXPECT_EQ(button->look().fill, NamedColors::color(rest, scheme));
        EXPECT_EQ(button->look().symbol, NamedColors::color(ColorName::TextSecondary, scheme));
        EXPECT_EQ(button->look().border, NamedColors::color(ColorName::LineStrong, scheme));
        button->setDown(true);
        EXPECT_EQ(button->look().fill, NamedColors::color(ColorName::SurfacePressed, scheme));
    }
}

TEST(SwapButtonTest, HoverFadesToThePrimaryTextAndTheHoverFill) {
    QWidget root;
    Environment::setColorScheme(&root, ColorScheme::Light);
    auto *button = new SwapButton(QStringLiteral("arrow.left.arrow.right"), &root);
    root.resize(100, 100);
    button->setGeometry(10, 10, 24, 24);
    root.show();
    QEnterEvent enter(QPointF(12, 12), QPointF(22, 22), QPointF(22, 22));
    QCoreApplication::sendEvent(button, &enter);
    EXPECT_TRUE(button->isHovered());
    ASSERT_TRUE(test::waitUntil([&] { return button->hoverProgress() == 1.0; }));
    EXPECT_EQ(button->look().symbol, NamedColors::color(ColorName::TextPrimary, ColorScheme::Light));
    EXPECT_EQ(button->look().fill, NamedColors::color(ColorName::SurfaceHover, ColorScheme::Light));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
    EXPECT_FALSE(button->isHovered());
    ASSERT_TRUE(test::waitUntil([&] { return button->hoverProgress() == 0.0; }));
}

TEST(SwapButtonTest, OnlyTheCircleTakesClicks) {
    QWidget root;
    auto *button = new SwapButton(QStringLiteral("arrow.left.arrow.right"), &root);
    button->setGeometry(0, 0, 24, 24);
    root.show();
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(clicked.size(), 0);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(clicked.size(), 1);
}
