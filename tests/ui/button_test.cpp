#include "ui/button.h"

#include "support/testsupport.h"
#include "ui/environment.h"

#include <QApplication>
#include <QEnterEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

void hover(Button &button, bool inside) {
    if (inside) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), button.mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(&button, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
    }
}

} // namespace

TEST(Button, HeightsFollowTheTextSize) {
    struct Case {
        ButtonStyle style;
        std::array<int, 4> heights;
    };
    const Case cases[] = {
        {IconButtonStyle{}, {24, 28, 32, 36}},  {PrimaryButtonStyle{}, {28, 32, 36, 40}},
        {SmallButtonStyle{}, {24, 28, 32, 36}}, {SecondaryButtonStyle{}, {28, 32, 36, 40}},
        {PaneButtonStyle{}, {24, 28, 32, 36}},  {TextButtonStyle{}, {28, 32, 36, 40}},
    };
    QWidget root;
    for (const Case &c : cases) {
        Button button(QStringLiteral("Title"), QStringLiteral("doc.on.doc"), c.style, &root);
        for (TextSize size : allTextSizes()) {
            Environment::setTextSize(&root, size);
            EXPECT_EQ(button.sizeHint().height(), c.heights[position(size)]) << position(size);
        }
        Environment::setTextSize(&root, TextSize::Standard);
    }
    // The icon button is square; an icon-only secondary button at least as wide as high; an
    // icon-only pane button keeps its padding without a minimum width.
    Button icon(QStringLiteral("Copy"), QStringLiteral("doc.on.doc"), IconButtonStyle{}, &root);
    EXPECT_EQ(icon.sizeHint(), QSize(24, 24));
    Button secondary(QStringLiteral("Swap"), QStringLiteral("arrow.left.arrow.right"), SecondaryButtonStyle{true},
                     &root);
    EXPECT_EQ(secondary.sizeHint().width(), 28);
    Button pane(QStringLiteral("Copy"), QStringLiteral("doc.on.doc"), PaneButtonStyle{true}, &root);
    EXPECT_EQ(pane.sizeHint().width(), 8 + 14 + 8);
    Button paneTitled(QStringLiteral("Copy"), QStringLiteral("doc.on.doc"), PaneButtonStyle{false}, &root);
    EXPECT_GT(paneTitled.sizeHint().width(), pane.sizeHint().width());
    // Icon-only forms keep their title for the pointer and screen readers.
    EXPECT_EQ(pane.toolTip(), "Copy");
    EXPECT_EQ(pane.accessibleName(), "Copy");
    EXPECT_TRUE(paneTitled.toolTip().isEmpty());
}

TEST(Button, DisabledAndRunningLooks) {
    QWidget root;
    Button primary(QStringLiteral("Translate"), QString(), PrimaryButtonStyle{}, &root);
    EXPECT_EQ(primary.look().opacity, 1.0);
    primary.setEnabled(false);
    EXPECT_EQ(primary.look().opacity, 0.4);
    // Running wins over disabled, and neither darkens on hover or press.
    primary.setButtonStyle(PrimaryButtonStyle{true, QString()});
    EXPECT_EQ(primary.look().opacity, 0.7);
    primary.setEnabled(true);
    primary.setDown(true);
    EXPECT_EQ(primary.look().brightness, 0.0);
    primary.setButtonStyle(PrimaryButtonStyle{false, QString()});
    EXPECT_EQ(primary.look().brightness, -0.08);

    Button icon(QStringLiteral("Close"), QStringLiteral("xmark"), IconButtonStyle{}, &root);
    icon.setEnabled(false);
    hover(icon, true);
    EXPECT_EQ(icon.look().opacity, 0.4);
    EXPECT_EQ(icon.look().fill.alpha(), 0);
    EXPECT_EQ(icon.look().text, Environment::color(&icon, ColorName::TextSecondary));

    // Small, text and fill styles draw no disabled look of their own.
    Button small(QStringLiteral("Add"), QString(), SmallButtonStyle{}, &root);
    small.setEnabled(false);
    EXPECT_EQ(small.look().opacity, 1.0);
    Button link(QStringLiteral("Open Settings"), QString(), TextButtonStyle{}, &root);
    link.setEnabled(false);
    EXPECT_EQ(link.look().opacity, 1.0);
    link.setEnabled(true);
    link.setDown(true);
    EXPECT_EQ(link.look().opacity, 0.6);
}

TEST(Button, HoverFadesInAndPressedWins) {
    QWidget root;
    Environment::setColorScheme(&root, ColorScheme::Light);
    Button small(QStringLiteral("Add"), QString(), SmallButtonStyle{}, &root);
    EXPECT_EQ(small.look().fill, Environment::color(&small, ColorName::SurfaceContent));
    hover(small, true);
    EXPECT_TRUE(test::waitUntil([&] { return small.hoverProgress() == 1.0; }));
    EXPECT_EQ(small.look().fill, Environment::color(&small, ColorName::SurfaceHover));
    small.setDown(true);
    EXPECT_EQ(small.look().fill, Environment::color(&small, ColorName::SurfacePressed));
    small.setDown(false);
    hover(small, false);
    EXPECT_TRUE(test::waitUntil([&] { return small.hoverProgress() == 0.0; }));

    // In the dark scheme small and secondary buttons rest on the pressed surface.
    Environment::setColorScheme(&root, ColorScheme::Dark);
    EXPECT_EQ(small.look().fill, Environment::color(&small, ColorName::SurfacePressed));
    Button secondary(QStringLiteral("Swap"), QString(), SecondaryButtonStyle{}, &root);
    EXPECT_EQ(secondary.look().fill, Environment::color(&secondary, ColorName::SurfacePressed));
    EXPECT_EQ(secondary.look().border, Environment::color(&secondary, ColorName::LineStrong));
}

TEST(Button, KeyHintsShowUnlessTheContainerHidesThem) {
    QWidget root;
    auto *container = new QWidget(&root);
    Button withHint(QStringLiteral("Translate"), QString(), PrimaryButtonStyle{false, QStringLiteral("Ctrl+\u21A9")},
                    container);
    Button plain(QStringLiteral("Translate"), QString(), PrimaryButtonStyle{}, container);
    const int shown = withHint.sizeHint().width();
    EXPECT_GT(shown, plain.sizeHint().width());
    Environment::setShowsKeyHints(container, false);
    EXPECT_EQ(withHint.sizeHint().width(), plain.sizeHint().width());
    Environment::setShowsKeyHints(container, true);
    EXPECT_EQ(withHint.sizeHint().width(), shown);
}

TEST(Button, FillStyleWrapsTheCallersLabelAndClicksThroughIt) {
    QWidget root;
    Button fill(QString(), QString(), FillButtonStyle{ColorName::SurfaceChip, 8, ColorName::LineStrong}, &root);
    auto *label = new QWidget;
    label->setFixedSize(120, 40);
    fill.setLabelWidget(label);
    EXPECT_EQ(fill.sizeHint(), QSize(120, 40));
    EXPECT_EQ(fill.look().fill, Environment::color(&fill, ColorName::SurfaceChip));
    ASSERT_TRUE(fill.look().border.has_value());
    fill.resize(fill.sizeHint());
    QSignalSpy clicks(&fill, &QAbstractButton::clicked);
    QTest::mouseClick(&fill, Qt::LeftButton, {}, QPoint(60, 20));
    EXPECT_EQ(clicks.size(), 1);
    Button bare(QString(), QString(), FillButtonStyle{ColorName::SurfaceChip, 8, std::nullopt}, &root);
    EXPECT_FALSE(bare.look().border.has_value());
}
