// Delivery into another X client on a private X server: the clipboard is X11's CLIPBOARD through
// QClipboard, the chord goes through XTest to the window with the keyboard focus.

#include "dictation/dictationdelivery.h"

#include "core/log.h"
#include "platform/accessibilitytrust.h"
#include "platform/clipboard.h"
#include "platform/keyboardstate.h"
#include "platform/keysender.h"
#include "support/testsupport.h"

#include "pastetarget.h"

#include <QClipboard>
#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace velmora::test {
extern QString x11TestDisplay;
}

namespace {

class X11DeliveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (x11TestDisplay.isEmpty())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(target.take(QStringLiteral("ready")));
    }

    DictationDelivery &delivery() {
        if (!m_delivery) {
            DictationDelivery::Dependencies deps;
            deps.board = &board;
            deps.keyboard = &keyboard;
            deps.trust = &trust;
            deps.keys = &keys;
            deps.timing = timing;
            m_delivery = std::make_unique<DictationDelivery>(deps);
        }
        return *m_delivery;
    }

    bool deliver(const QString &text) {
        return run(delivery().deliver(text, [] { return true; }, {}));
    }

    // The target owns the clipboard with these targets; returns once Velmora has seen the change.
    void targetOwns(const QList<QPair<QString, QByteArray>> &entries, bool silent = false) {
        const qint64 before = board.changeCount();
        QString command = silent ? QStringLiteral("own-silent") : QStringLiteral("own");
        for (const auto &[type, bytes] : entries)
            command += QLatin1Char(' ') + type + QLatin1Char('=') + QString::fromLatin1(bytes.toHex());
        target.send(command);
        ASSERT_TRUE(target.take(QStringLiteral("owned")));
        ASSERT_TRUE(waitUntil([&] { return board.changeCount() != before; }));
    }

    PasteTarget target;
    QtClipboard board;
    X11KeyboardState keyboard{x11TestDisplay};
    X11AccessibilityTrust trust{x11TestDisplay};
    X11KeySender keys{x11TestDisplay};
    DictationDelivery::Timing timing;
    LogCapture log;

private:
    std::unique_ptr<DictationDelivery> m_delivery;
};

TEST_F(X11DeliveryTest, TheTextArrivesWithItsSpaceAndTheEarlierClipboardComesBackByteForByte) {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    for (int i = 0; i < 4096; ++i)
        png += char(i * 31 % 256);
    const QList<QPair<QString, QByteArray>> earlier{
        {QStringLiteral("UTF8_STRING"), QStringLiteral("Grüße, 世界").toUtf8()},
        {QStringLiteral("text/html"), QByteArrayLiteral("<p>Gr&uuml;&szlig;e</p>")},
        {QStringLiteral("image/png"), png},
        {QStringLiteral("application/x-velmora-test"), QByteArray("\x00\x01\x02\xff\x00", 5)}};
    targetOwns(earlier);

    EXPECT_TRUE(deliver(QStringLiteral("Hello world")));
    const std::optional<QString> pasted = target.take(QStringLiteral("pasted"), 1s);
    ASSERT_TRUE(pasted);
    EXPECT_EQ(*pasted, QStringLiteral("pasted ") + QString::fromLatin1(QByteArray("Hello world ").toHex()));
    const QStringList lines = log.messages(QStringLiteral("dictation"));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Paste read "))) << lines[0].toStdString();

    // Velmora now serves the earlier contents, exactly.
    EXPECT_TRUE(QGuiApplication::clipboard()->ownsClipboard());
    for (const auto &[type, bytes] : earlier)
        EXPECT_EQ(target.read(type), bytes) << type.toStdString();
    // Nothing of the paste is left, not even its markers.
    target.send(QStringLiteral("targets"));
    const std::optional<QString> targets = target.take(QStringLiteral("targets"));
    ASSERT_TRUE(targets);
    EXPECT_FALSE(targets->contains(QStringLiteral("org.nspasteboard"))) << targets->toStdString();
    EXPECT_FALSE(targets->contains(QStringLiteral("x-kde-passwordManagerHint")));
}

TEST_F(X11DeliveryTest, ThePromiseCarriesTheMarkersWhileItIsOnTheClipboard) {
    timing.unread = 1s;
    target.send(QStringLiteral("ignore-paste on"));
    ASSERT_TRUE(target.take(QStringLiteral("ok")));
    bool done = false;
    auto delivering = [](DictationDelivery *d, bool *done) -> QCoro::Task<> {
        co_await d->deliver(QStringLiteral("secretive"), [] { return true; }, {});
        *done = true;
    }(&delivery(), &done);
    ASSERT_TRUE(waitUntil([&] { return QGuiApplication::clipboard()->ownsClipboard(); }));
    target.send(QStringLiteral("targets"));
    const std::optional<QString> targets = target.take(QStringLiteral("targets"));
    ASSERT_TRUE(targets);
    for (const char *marker : {"org.nspasteboard.TransientType", "org.nspasteboard.ConcealedType",
                               "org.nspasteboard.AutoGeneratedType", "x-kde-passwordManagerHint", "UTF8_STRING"})
        EXPECT_TRUE(targets->contains(QLatin1String(marker))) << marker;
    EXPECT_EQ(target.read(QStringLiteral("x-kde-passwordManagerHint")), QByteArrayLiteral("secret"));
    EXPECT_EQ(target.read(QStringLiteral("org.nspasteboard.ConcealedType")), QByteArray());
    ASSERT_TRUE(waitUntil([&] { return done; }, 20s));
}

TEST_F(X11DeliveryTest, TextThatIsNeverPastedStaysOnTheClipboard) {
    timing.unread = 700ms;
    targetOwns({{QStringLiteral("UTF8_STRING"), "earlier"}});
    target.send(QStringLiteral("ignore-paste on"));
    ASSERT_TRUE(target.take(QStringLiteral("ok")));
    EXPECT_FALSE(deliver(QStringLiteral("not lost")));
    EXPECT_EQ(log.messages(QStringLiteral("dictation")), QStringList{QStringLiteral("Paste not read before timeout")});
    EXPECT_EQ(target.read(QStringLiteral("UTF8_STRING")), QByteArrayLiteral("not lost"));
    target.send(QStringLiteral("targets"));
    EXPECT_FALSE(target.take(QStringLiteral("targets"))->contains(QStringLiteral("ConcealedType")));
}

TEST_F(X11DeliveryTest, AConcealedClipboardIsLeftEmpty) {
    targetOwns({{QStringLiteral("UTF8_STRING"), "hunter2"}, {QStringLiteral("x-kde-passwordManagerHint"), "secret"}});
    EXPECT_TRUE(deliver(QStringLiteral("hello")));
    ASSERT_TRUE(target.take(QStringLiteral("pasted")));
    target.send(QStringLiteral("read UTF8_STRING"));
    EXPECT_TRUE(target.take(QStringLiteral("none UTF8_STRING")));
}

TEST_F(X11DeliveryTest, AnOwnerThatNeverAnswersStopsTheDeliveryBeforeAnythingIsWritten) {
    targetOwns({{QStringLiteral("UTF8_STRING"), "unreachable"}}, true);
    EXPECT_FALSE(deliver(QStringLiteral("hello")));
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());
    // The target still owns the clipboard and was sent no chord.
    target.send(QStringLiteral("ignore-paste off"));
    ASSERT_TRUE(target.take(QStringLiteral("ok")));
    EXPECT_FALSE(target.seen.join(QLatin1Char('|')).contains(QStringLiteral("pasted")));
    EXPECT_FALSE(target.seen.contains(QStringLiteral("lost")));
}

// ---------------------------------------------------------------------------------------------

class X11KeyboardStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (x11TestDisplay.isEmpty())
            GTEST_SKIP() << "Xvfb is not installed";
        m_display = XOpenDisplay(x11TestDisplay.toLocal8Bit().constData());
        ASSERT_TRUE(m_display);
    }
    void TearDown() override {
        if (m_display)
            XCloseDisplay(m_display);
    }
    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, sym), down, CurrentTime);
        XSync(m_display, False);
    }
    Display *m_display = nullptr;
};

TEST_F(X11KeyboardStateTest, HeldModifiersCountButLockKeysDoNot) {
    X11KeyboardState state(x11TestDisplay);
    EXPECT_TRUE(state.modifiersReleased());
    for (KeySym sym : {XK_Shift_L, XK_Control_R, XK_Alt_L, XK_Super_L}) {
        key(sym, true);
        EXPECT_FALSE(state.modifiersReleased()) << XKeysymToString(sym);
        key(sym, false);
        EXPECT_TRUE(state.modifiersReleased()) << XKeysymToString(sym);
    }
    // Num Lock held down, and Num Lock switched on, are no held modifier.
    key(XK_Num_Lock, true);
    EXPECT_TRUE(state.modifiersReleased());
    key(XK_Num_Lock, false);
    EXPECT_TRUE(state.modifiersReleased());
    key(XK_Num_Lock, true);
    key(XK_Num_Lock, false);
}

TEST(X11WithoutDisplayTest, NoDisplayMeansNoChordAndNothingHeld) {
    X11KeySender keys(QStringLiteral(":4093"));
    EXPECT_EQ(keys.preparePasteChord(), std::nullopt);
    X11KeyboardState state(QStringLiteral(":4093"));
    EXPECT_TRUE(state.modifiersReleased());
}

} // namespace
