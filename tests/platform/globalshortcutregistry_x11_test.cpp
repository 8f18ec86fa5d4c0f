// The shortcut registry on a private X server, with the keys typed through XTest by another
// client that holds the keyboard focus.

#include "platform/globalshortcutregistry.h"
#include "support/testsupport.h"

#include <QSignalSpy>

#include "x11clienttest.h"

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;
using Status = GlobalShortcutRegistry::Status;

namespace {

const QString kName = QStringLiteral("dictation.toggle");
constexpr int kD = 0x02;
const KeyChord kCtrlShiftD{kD, KeyChord::kCommand | KeyChord::kShift};

class RegistryX11Test : public X11ClientTest {
protected:
    void SetUp() override {
        X11ClientTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        registry = std::make_unique<X11GlobalShortcutRegistry>(server.display());
        released = std::make_unique<QSignalSpy>(registry.get(), &GlobalShortcutRegistry::released);
        ctrl = client->keyCode(XK_Control_L);
        shift = client->keyCode(XK_Shift_L);
        d = client->keyCode(XK_d);
    }

    void activate(const KeyChord &chord) {
        registry->setChord(kName, chord);
        registry->enable({kName});
        ASSERT_TRUE(waitUntil([&] { return registry->status(kName) == Status::Active; }));
    }
    // The chord goes through the server and whatever the registry would do with it is done.
    void typeCtrlShiftD() {
        client->chord({ctrl, shift}, d);
        marker();
        QCoreApplication::processEvents();
    }

    std::unique_ptr<X11GlobalShortcutRegistry> registry;
    std::unique_ptr<QSignalSpy> released;
    unsigned ctrl = 0, shift = 0, d = 0;
};

TEST_F(RegistryX11Test, AChordIsDeliveredOnceWhenItsKeyComesUp) {
    activate(kCtrlShiftD);
    client->press(ctrl);
    client->press(shift);
    client->press(d);
    // Held down: nothing yet, and the focused program does not get the D either.
    EXPECT_FALSE(released->wait(300));
    // The modifiers may come up first; the chord fires with its key.
    client->release(shift);
    client->release(ctrl);
    EXPECT_FALSE(released->wait(300));
    client->release(d);
    ASSERT_TRUE(released->wait(10000));
    EXPECT_EQ(released->takeFirst().at(0).toString(), kName);
    EXPECT_FALSE(client->keysReceived().contains(QStringLiteral("d")));

    typeCtrlShiftD();
    ASSERT_TRUE(waitUntil([&] { return released->count() == 1; }));
}

TEST_F(RegistryX11Test, NumLockAndCapsLockDoNotGetInTheWay) {
    activate(kCtrlShiftD);
    for (KeySym lock : {XK_Num_Lock, XK_Caps_Lock}) {
        client->tap(client->keyCode(lock));
        typeCtrlShiftD();
        ASSERT_TRUE(waitUntil([&] { return released->count() == 1; })) << XKeysymToString(lock);
        released->clear();
    }
    EXPECT_TRUE(client->numLockOn());
    // Both locks off again.
    client->tap(client->keyCode(XK_Num_Lock));
    client->tap(client->keyCode(XK_Caps_Lock));
    EXPECT_FALSE(client->numLockOn());
    typeCtrlShiftD();
    ASSERT_TRUE(waitUntil([&] { return released->count() == 1; }));
}

TEST_F(RegistryX11Test, ADisabledChordGoesToTheFocusedProgram) {
    activate(kCtrlShiftD);
    registry->disable({kName});
    ASSERT_TRUE(waitUntil([&] { return registry->status(kName) == Status::Off; }));
    typeCtrlShiftD();
    EXPECT_TRUE(client->keysReceived().contains(QStringLiteral("d")));
    EXPECT_EQ(released->count(), 0);

    // Disabled and enabled again in one turn: the grab stays as it was and works.
    registry->enable({kName});
    ASSERT_TRUE(waitUntil([&] { return registry->status(kName) == Status::Active; }));
    registry->disable({kName});
    registry->setChord(kName, kCtrlShiftD);
    registry->enable({kName});
    typeCtrlShiftD();
    ASSERT_TRUE(waitUntil([&] { return released->count() == 1; }));
}

TEST_F(RegistryX11Test, AChordAnotherProgramHoldsIsReportedAndTriedAgainLater) {
    ASSERT_TRUE(client->grabKey(d, ControlMask | ShiftMask));
    QSignalSpy statuses(registry.get(), &GlobalShortcutRegistry::statusChanged);
    registry->setChord(kName, kCtrlShiftD);
    registry->enable({kName});
    ASSERT_TRUE(waitUntil([&] { return registry->status(kName) == Status::Taken; }));
    typeCtrlShiftD();
    EXPECT_EQ(released->count(), 0);

    // The other program lets it go; the next change of the registry takes it.
    client->ungrabKey(d, ControlMask | ShiftMask);
    registry->enable({kName});
    ASSERT_TRUE(waitUntil([&] { return registry->status(kName) == Status::Active; }));
    typeCtrlShiftD();
    ASSERT_TRUE(waitUntil([&] { return released->count() == 1; }));
    EXPECT_EQ(statuses.count(), 2);
}

TEST_F(RegistryX11Test, ChordsThatCannotWorkHereAreRefused) {
    struct Case {
        const char *name;
        KeyChord chord;
    };
    const Case cases[] = {
        {"the paste chord", {0x09, KeyChord::kCommand}},
        {"Shift alone would take a capital letter from every program", {kD, KeyChord::kShift}},
        {"fn is no modifier here", {kD, KeyChord::kCommand | KeyChord::kFunction}},
        {"a key PC keyboards lack", {0x0200, KeyChord::kCommand}},
    };
    for (const Case &c : cases) {
        registry->setChord(kName, c.chord);
        registry->enable({kName});
        EXPECT_TRUE(waitUntil([&] { return registry->status(kName) == Status::Unsupported; })) << c.name;
        registry->disable({kName});
        ASSERT_TRUE(waitUntil([&] { return registry->status(kName) == Status::Off; }));
    }
    // Ctrl+V still pastes in the focused program.
    client->chord({ctrl}, client->keyCode(XK_v));
    EXPECT_TRUE(client->waitForKey(QStringLiteral("v")));
}

TEST_F(RegistryX11Test, TheKeyIsShownAsTheCurrentLayoutTypesIt) {
    EXPECT_EQ(registry->displayText(kCtrlShiftD), QStringLiteral("Ctrl+Shift+D"));
    client->remap(d, XK_odiaeresis);
    EXPECT_EQ(registry->displayText(kCtrlShiftD), QStringLiteral("Ctrl+Shift+\u00D6"));
    // A layout of another script shows the key as a US layout would.
    client->remap(d, XK_Cyrillic_ve);
    EXPECT_EQ(registry->displayText(kCtrlShiftD), QStringLiteral("Ctrl+Shift+D"));
}

TEST(RegistryWithoutDisplay, EveryChordIsUnsupportedAndNothingBreaks) {
    X11GlobalShortcutRegistry registry(QStringLiteral(":4242"));
    EXPECT_FALSE(registry.isConnected());
    registry.setChord(kName, kCtrlShiftD);
    registry.enable({kName});
    ASSERT_TRUE(waitUntil([&] { return registry.status(kName) == Status::Unsupported; }));
    EXPECT_EQ(registry.displayText(kCtrlShiftD), QStringLiteral("Ctrl+Shift+D"));
    registry.disable({kName});
    ASSERT_TRUE(waitUntil([&] { return registry.status(kName) == Status::Off; }));
}

TEST(RegistryX11ServerGone, ItsChordsBecomeUnsupported) {
    if (!XvfbServer::isInstalled())
        GTEST_SKIP() << "Xvfb is not installed";
    auto server = std::make_unique<XvfbServer>();
    X11GlobalShortcutRegistry registry(server->display());
    registry.setChord(kName, kCtrlShiftD);
    registry.enable({kName});
    ASSERT_TRUE(waitUntil([&] { return registry.status(kName) == Status::Active; }));
    server.reset();
    ASSERT_TRUE(waitUntil([&] { return registry.status(kName) == Status::Unsupported; }));
    EXPECT_FALSE(registry.isConnected());
}

} // namespace
