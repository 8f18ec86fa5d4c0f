#include "translatepagefixture.h"

#include "tools/translate/translatebutton.h"

#include <QShortcut>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kJapanese = QStringLiteral("今日は晴れています。");

} // namespace

TEST_F(TranslatePageTest, TheButtonNeedsATranslatableTextAndAReadyModel) {
    TranslateButton button(session(), model());
    EXPECT_EQ(button.text(), "Translate");
    EXPECT_FALSE(button.isEnabled());
    session().setText(kJapanese);
    EXPECT_TRUE(button.isEnabled());
    EXPECT_EQ(std::get<PrimaryButtonStyle>(button.buttonStyle()), (PrimaryButtonStyle{false, "Ctrl+\u21A9"}));

    // Over the limit.
    session().setText(QString(5001, u'あ'));
    EXPECT_FALSE(button.isEnabled());
    session().setText(QString(5000, u'あ'));
    EXPECT_TRUE(button.isEnabled());

    // A model still downloading has no files yet; one that failed is not even asked for them.
    setModelState(ModelStore::State::Kind::Downloading, false);
    EXPECT_FALSE(button.isEnabled());
    EXPECT_EQ(button.text(), "Translate");
    setModelState(ModelStore::State::failed(ModelFailure::Checksum), true);
    const int asked = filesAsked;
    button.refresh();
    EXPECT_FALSE(button.isEnabled());
    EXPECT_EQ(filesAsked, asked);
    setModelState(ModelStore::State::Kind::Ready, true);
    EXPECT_TRUE(button.isEnabled());
}

TEST_F(TranslatePageTest, WhileRunningTheButtonStopsTheRunByClickOrByCtrlReturn) {
    write({{"tokens", QJsonArray{"one ", "two ", "three ", "four ", "five"}}, {"tokenDelayMs", 1000}});
    QWidget window;
    auto *button = new TranslateButton(session(), model(), &window);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    session().setText(kJapanese);

    QTest::keyClick(&window, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(session().isRunning());
    EXPECT_EQ(button->text(), "Stop");
    EXPECT_EQ(button->symbol(), "stop.fill");
    EXPECT_FALSE(session().canTranslate());
    EXPECT_TRUE(button->isEnabled());
    QTest::keyClick(&window, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(waitForEnd());
    EXPECT_NE(session().result(), "one two three four five");
    EXPECT_EQ(button->text(), "Translate");

    session().start();
    ASSERT_TRUE(session().isRunning());
    button->click();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(button->text(), "Translate");
}

TEST_F(TranslatePageTest, CtrlReturnDoesNothingWhileTheButtonIsDisabled) {
    QWidget window;
    auto *button = new TranslateButton(session(), model(), &window);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (const auto &[text, ready] : {std::pair{QString(5001, u'あ'), true}, std::pair{kJapanese, false}}) {
        session().setText(text);
        setModelState(ready ? ModelStore::State::Kind::Ready : ModelStore::State::Kind::Downloading, ready);
        EXPECT_FALSE(button->isEnabled());
        QTest::keyClick(&window, Qt::Key_Return, Qt::ControlModifier);
        EXPECT_FALSE(session().isRunning());
    }
    EXPECT_TRUE(requests().isEmpty());
}
