#include "ui/copybutton.h"

#include "support/testsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace velmora;

TEST(CopyButton, DisabledWithoutTextAndAnEmptyTextIsStillCopied) {
    CopyButton titled(true), icon(false);
    EXPECT_FALSE(titled.isEnabled());
    EXPECT_FALSE(icon.isEnabled());
    EXPECT_EQ(icon.look().opacity, 0.35);
    icon.setCopyText(QString());
    EXPECT_TRUE(icon.isEnabled());
    EXPECT_EQ(icon.look().opacity, 1.0);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    icon.click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());
    EXPECT_TRUE(icon.isCopied());
}

TEST(CopyButton, TheClipboardHoldsExactlyThePlainText) {
    auto *old = new QMimeData;
    old->setHtml(QStringLiteral("<b>old</b>"));
    old->setData(QStringLiteral("application/x-old"), "x");
    QGuiApplication::clipboard()->setMimeData(old);
    CopyButton button(true);
    button.setCopyText(QStringLiteral("Result text"));
    button.click();
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->text(), "Result text");
    EXPECT_FALSE(data->hasHtml());
    EXPECT_FALSE(data->hasFormat(QStringLiteral("application/x-old")));
}

TEST(CopyButton, CopiedLastsOneSecondFromTheFirstPress) {
    CopyButton button(true);
    button.setCopyText(QStringLiteral("x"));
    EXPECT_EQ(button.text(), "Copy");
    EXPECT_EQ(button.symbol(), "doc.on.doc");
    QElapsedTimer clock;
    clock.start();
    button.click();
    EXPECT_TRUE(button.isCopied());
    EXPECT_EQ(button.text(), "Copied");
    EXPECT_EQ(button.symbol(), "checkmark");
    // Tip and accessible name stay "Copy" while it says "Copied".
    EXPECT_EQ(button.toolTip(), "Copy");
    EXPECT_EQ(button.accessibleName(), "Copy");

    // A second press copies again but does not prolong the period. Time passes without running
    // the event loop, so the period cannot end before the second press however loaded the
    // machine is.
    auto *timer = button.findChild<QTimer *>(QStringLiteral("copiedReset"));
    ASSERT_NE(timer, nullptr);
    QElapsedTimer pause;
    pause.start();
    while (timer->remainingTime() >= 950)
        ASSERT_LT(pause.elapsed(), 5000);
    ASSERT_TRUE(button.isCopied());
    const int before = timer->remainingTime();
    QGuiApplication::clipboard()->setText(QStringLiteral("other"));
    button.click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "x");
    EXPECT_LE(timer->remainingTime(), before);

    ASSERT_TRUE(test::waitUntil([&] { return !button.isCopied(); }, std::chrono::seconds(10)));
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_EQ(button.text(), "Copy");
    EXPECT_EQ(button.symbol(), "doc.on.doc");
}

TEST(CopyButton, HidingEndsTheCopiedLook) {
    QWidget window;
    auto *button = new CopyButton(false, &window);
    button->setCopyText(QStringLiteral("x"));
    window.show();
    button->click();
    EXPECT_TRUE(button->isCopied());
    window.hide();
    EXPECT_FALSE(button->isCopied());
}

TEST(CopyButton, TextsFollowTheInAppLanguage) {
    CopyButton button(true);
    button.setCopyText(QStringLiteral("x"));
    QTranslator japanese;
    ASSERT_TRUE(japanese.load(QStringLiteral(":/translations/ui_ja.qm")));
    QCoreApplication::installTranslator(&japanese);
    EXPECT_TRUE(test::waitUntil([&] { return button.text() != "Copy"; }));
    button.click();
    const QString copied = button.text();
    QCoreApplication::removeTranslator(&japanese);
    EXPECT_NE(copied, "Copied");
    EXPECT_FALSE(copied.isEmpty());
}
