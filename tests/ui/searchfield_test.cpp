#include "ui/searchfield.h"

#include "support/testsupport.h"
#include "ui/environment.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

struct SearchFieldTest : ::testing::Test {
    SearchFieldTest() {
        window.resize(400, 100);
        field = new SearchField(QStringLiteral("Search"), nullptr, &window);
        field->resize(300, field->sizeHint().height());
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QWidget window;
    SearchField *field;
};

} // namespace

TEST_F(SearchFieldTest, BoxGrowsWithTheTextSize) {
    const std::array<int, 4> heights{28, 32, 36, 40};
    for (TextSize size : allTextSizes()) {
        Environment::setTextSize(&window, size);
        EXPECT_EQ(field->boxHeight(), heights[position(size)]);
        EXPECT_EQ(field->sizeHint().height(), heights[position(size)] + 2 * SearchField::kRingBand);
        EXPECT_EQ(field->lineEdit()->font().pixelSize(), bodyPointSize(size));
    }
}

TEST_F(SearchFieldTest, AClickOnTheMagnifierOrPaddingFocusesTheField) {
    field->setFocused(false);
    ASSERT_FALSE(field->isFocused());
    QSignalSpy focus(field, &SearchField::focusedChanged);
    const QRect box = field->boxRect();
    QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(box.left() + 4, box.center().y()));
    EXPECT_TRUE(field->lineEdit()->hasFocus());
    EXPECT_TRUE(field->isFocused());
    ASSERT_EQ(focus.size(), 1);
    field->setFocused(false);
    EXPECT_FALSE(field->isFocused());
    // From outside: the caller's focus state puts the insertion point in the field.
    field->setFocused(true);
    EXPECT_TRUE(field->lineEdit()->hasFocus());
    QTest::keyClicks(field->lineEdit(), QStringLiteral("notes"));
    EXPECT_EQ(field->text(), "notes");
}

TEST_F(SearchFieldTest, ReturnAndEscapeReachTheCaller) {
    QSignalSpy submitted(field, &SearchField::submitted);
    QSignalSpy exit(field, &SearchField::exitRequested);
    QSignalSpy text(field, &SearchField::textChanged);
    field->setFocused(true);
    QTest::keyClicks(field->lineEdit(), QStringLiteral("ab"));
    QTest::keyClick(field->lineEdit(), Qt::Key_Return);
    QTest::keyClick(field->lineEdit(), Qt::Key_Escape);
    EXPECT_EQ(text.size(), 2);
    EXPECT_EQ(submitted.size(), 1);
    EXPECT_EQ(exit.size(), 1);
}

TEST_F(SearchFieldTest, FillFollowsTheAppearanceAndTheRingTheFocus) {
    auto pixel = [&](QPoint at) { return field->grab().toImage().pixelColor(at); };
    const QRect box = field->boxRect();
    const QPoint inside(box.right() - 6, box.top() + 3);
    Environment::setColorScheme(&window, ColorScheme::Light);
    EXPECT_EQ(pixel(inside), NamedColors::color(ColorName::SurfaceContent, ColorScheme::Light));
    Environment::setColorScheme(&window, ColorScheme::Dark);
    EXPECT_EQ(pixel(inside), NamedColors::color(ColorName::SurfaceSunken, ColorScheme::Dark));
    // The ring's band outside the box is drawn only while the field is focused.
    field->setFocused(false);
    const QPoint band(box.center().x(), 1);
    const QColor unfocused = pixel(band);
    field->setFocused(true);
    EXPECT_NE(pixel(band), unfocused);
    field->setFocused(false);
    EXPECT_EQ(pixel(band), unfocused);
}

namespace {

// The rows and columns of a widget's pixels that differ from the colour at its top-left corner.
QRect inkIn(QWidget *widget) {
    const QImage image = widget->grab().toImage();
    const QRgb background = image.pixel(0, 0);
    QRect ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background)
                ink |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

} // namespace

// The same words typed or shown as the placeholder stand on one baseline at the same place,
// whether the text's font or a fallback (Japanese) draws them.
TEST_F(SearchFieldTest, TypedTextStandsWhereThePlaceholderStood) {
    field->setFocused(false);
    ASSERT_TRUE(test::waitUntil([&] { return !field->lineEdit()->hasFocus(); }));
    for (const QString &words :
         {QStringLiteral("Search"), QString::fromUtf8("検索"), QString::fromUtf8("メモを検索")}) {
        for (TextSize size : allTextSizes()) {
            Environment::setTextSize(&window, size);
            field->setText(QString());
            field->setPlaceholder(words);
            const QRect placeholder = inkIn(field->lineEdit());
            field->setText(words);
            const QRect typed = inkIn(field->lineEdit());
            ASSERT_FALSE(typed.isEmpty());
            EXPECT_EQ(placeholder, typed) << words.toStdString() << " at " << toString(size).toStdString();
        }
    }
}
