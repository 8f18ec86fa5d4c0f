// A whole dictation into another X client: the key, the recording, the stand-ins, and the real
// paste through the X clipboard and XTest.

#include "dictationrunfixture.h"
#include "pastetarget.h"

#include "dictation/dictationdelivery.h"
#include "platform/accessibilitytrust.h"
#include "platform/clipboard.h"
#include "platform/keyboardstate.h"
#include "platform/keysender.h"

using namespace velmora;
using namespace velmora::test;

namespace velmora::test {
extern QString x11TestDisplay;
}

namespace {

class X11DictationRunTest : public DictationRunTest {
protected:
    void SetUp() override {
        if (x11TestDisplay.isEmpty())
            GTEST_SKIP() << "Xvfb is not installed";
        DictationRunTest::SetUp();
        ASSERT_TRUE(target.take(QStringLiteral("ready")));
        board = std::make_unique<QtClipboard>();
        DictationDelivery::Dependencies deps;
        deps.board = board.get();
        deps.keyboard = &keyboard;
        deps.trust = &trust;
        deps.keys = &keys;
        realDelivery = std::make_unique<DictationDelivery>(deps);
        delivery = realDelivery.get();
    }

    PasteTarget target;
    std::unique_ptr<QtClipboard> board;
    X11KeyboardState keyboard{x11TestDisplay};
    X11AccessibilityTrust trust{x11TestDisplay};
    X11KeySender keys{x11TestDisplay};
    std::unique_ptr<DictationDelivery> realDelivery;
};

TEST_F(X11DictationRunTest, ADictationIsPastedIntoTheFocusedProgram) {
    target.send(QStringLiteral("own UTF8_STRING=") + QString::fromLatin1(QByteArray("kept").toHex()));
    ASSERT_TRUE(target.take(QStringLiteral("owned")));
    dictate();
    EXPECT_EQ(target.take(QStringLiteral("pasted")),
              QStringLiteral("pasted ") + QString::fromLatin1(QByteArray("Hello there. ").toHex()));
    EXPECT_EQ(coordinator->failure(), std::nullopt);
    EXPECT_EQ(onlyRun().measurements<DictationMeasurements>()->delivery, DictationMeasurements::Delivery::Pasted);
    EXPECT_EQ(target.read(QStringLiteral("UTF8_STRING")), QByteArrayLiteral("kept"));
    EXPECT_TRUE(dictationLog().value(0).startsWith(QStringLiteral("Paste read ")));
    EXPECT_TRUE(dictationLog().value(1).endsWith(QStringLiteral("delivery pasted")));
}

} // namespace
