// The key taps and the secure-input check on a private X server, with keys typed through XTest
// by another client that holds the keyboard focus.

#include "platform/keychord.h"
#include "platform/keyeventtap.h"
#include "platform/secureinput.h"
#include "platform/virtualkeys.h"
#include "support/testsupport.h"

#include <mutex>
#include <vector>

#include "x11clienttest.h"

using namespace velmora;
using namespace velmora::test;
using Type = KeyTapEvent::Type;

namespace {

// Keeps what the tap's thread hands it.
class Recorder : public KeyTapHandler {
public:
    bool handleKeyTapEvent(const KeyTapEvent &event) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
        return false;
    }
    std::vector<KeyTapEvent> events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    bool waitForCount(std::size_t count) {
        return waitUntil([&] { return events().size() >= count; });
    }

private:
    mutable std::mutex m_mutex;
    std::vector<KeyTapEvent> m_events;
};

class KeyTapX11Test : public X11ClientTest {
protected:
    void SetUp() override {
        X11ClientTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        taps = std::make_unique<X11KeyEventTaps>(server.display());
        rightCtrl = client->keyCode(XK_Control_R);
        escape = client->keyCode(XK_Escape);
        shift = client->keyCode(XK_Shift_L);
    }

    std::unique_ptr<X11KeyEventTaps> taps;
    unsigned rightCtrl = 0, escape = 0, shift = 0;
};

TEST_F(KeyTapX11Test, TheModifiersTapSeesRightCtrlAsFnAndCountsTheKeysBetween) {
    Recorder recorder;
    auto tap = taps->create(KeyEventTaps::Kind::Modifiers, recorder);
    ASSERT_TRUE(tap);
    EXPECT_EQ(rightCtrl, *VirtualKeys::x11KeyCode(VirtualKeys::kFunction));

    client->tap(rightCtrl);
    client->press(rightCtrl);
    client->tap(client->keyCode(XK_a));
    client->press(shift);
    client->release(shift);
    client->release(rightCtrl);
    ASSERT_TRUE(recorder.waitForCount(6));

    const std::vector<KeyTapEvent> events = recorder.events();
    ASSERT_EQ(events.size(), 6u);
    for (const KeyTapEvent &e : events)
        EXPECT_EQ(e.type, Type::FlagsChanged);
    EXPECT_EQ(events[0].flags, KeyChord::kFunctionFlag);
    EXPECT_EQ(events[0].keyCode, VirtualKeys::kFunction);
    EXPECT_EQ(events[1].flags, 0u);
    EXPECT_EQ(events[1].keyDowns, events[0].keyDowns);
    EXPECT_EQ(events[2].flags, KeyChord::kFunctionFlag);
    // "a" went down between the press and the next change.
    EXPECT_EQ(events[3].keyDowns, events[2].keyDowns + 1);
    EXPECT_EQ(events[3].flags, KeyChord::kFunctionFlag | KeyChord::kShiftFlag);
    EXPECT_EQ(events[4].flags, KeyChord::kFunctionFlag);
    EXPECT_EQ(events[5].flags, 0u);
    // Nothing was taken from the focused program.
    marker();
    EXPECT_TRUE(client->keysReceived().contains(QStringLiteral("a")));
}

TEST_F(KeyTapX11Test, TheModifiersTapStillSeesKeysWhileAnotherProgramHoldsTheKeyboard) {
    Recorder recorder;
    auto tap = taps->create(KeyEventTaps::Kind::Modifiers, recorder);
    ASSERT_TRUE(tap);
    X11SecureInput secure(server.display());
    EXPECT_FALSE(secure.isEnabled());

    X11TestClient prompt(server.display());
    ASSERT_TRUE(prompt.grabKeyboard());
    EXPECT_TRUE(secure.isEnabled());
    client->tap(rightCtrl);
    ASSERT_TRUE(recorder.waitForCount(2));
    prompt.ungrabKeyboard();
    EXPECT_FALSE(secure.isEnabled());
}

TEST_F(KeyTapX11Test, TheEscapeTapTakesABareEscapeFromTheFocusedProgram) {
    Recorder recorder;
    auto tap = taps->create(KeyEventTaps::Kind::Escape, recorder);
    ASSERT_TRUE(tap);

    client->tap(escape);
    ASSERT_TRUE(recorder.waitForCount(2));
    marker();
    EXPECT_FALSE(client->keysReceived().contains(QStringLiteral("Escape")));
    std::vector<KeyTapEvent> events = recorder.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, Type::KeyDown);
    EXPECT_EQ(events[0].keyCode, VirtualKeys::kEscape);
    EXPECT_EQ(events[0].flags, 0u);
    EXPECT_FALSE(events[0].autorepeat);
    EXPECT_EQ(events[1].type, Type::KeyUp);

    // With Num Lock on too.
    client->tap(client->keyCode(XK_Num_Lock));
    client->tap(escape);
    ASSERT_TRUE(recorder.waitForCount(4));
    client->tap(client->keyCode(XK_Num_Lock));

    // Shift+Escape is not the tap's; it reaches the program.
    client->chord({shift}, escape);
    marker(QStringLiteral("n"));
    EXPECT_TRUE(client->keysReceived().contains(QStringLiteral("Escape")));
    EXPECT_EQ(recorder.events().size(), 4u);

    // Once the tap is gone, Escape reaches the program again.
    tap.reset();
    const qsizetype before = client->keysReceived().count(QStringLiteral("Escape"));
    client->tap(escape);
    marker(QStringLiteral("o"));
    EXPECT_EQ(client->keysReceived().count(QStringLiteral("Escape")), before + 1);
}

TEST_F(KeyTapX11Test, EscapeReachesAProgramThatHoldsTheKeyboard) {
    Recorder recorder;
    auto tap = taps->create(KeyEventTaps::Kind::Escape, recorder);
    ASSERT_TRUE(tap);
    X11TestClient prompt(server.display());
    prompt.takeFocus();
    ASSERT_TRUE(prompt.grabKeyboard());
    prompt.tap(escape);
    prompt.tap(prompt.keyCode(XK_m));
    ASSERT_TRUE(prompt.waitForKey(QStringLiteral("m")));
    EXPECT_TRUE(prompt.keysReceived().contains(QStringLiteral("Escape")));
    EXPECT_TRUE(recorder.events().empty());
}

TEST_F(KeyTapX11Test, AnEscapeTapIsRefusedWhileAnotherProgramHoldsEscape) {
    ASSERT_TRUE(client->grabKey(escape, 0));
    Recorder recorder;
    EXPECT_FALSE(taps->create(KeyEventTaps::Kind::Escape, recorder));
    client->ungrabKey(escape, 0);
    EXPECT_TRUE(taps->create(KeyEventTaps::Kind::Escape, recorder));
}

TEST_F(KeyTapX11Test, RightCtrlHasAnActionOnlyWhenTheLayoutMakesItAnotherKey) {
    EXPECT_EQ(taps->fnKeyHasAction(), false);
    client->remap(rightCtrl, XK_Multi_key);
    EXPECT_EQ(taps->fnKeyHasAction(), true);
}

TEST(KeyTapX11Gone, ATapStopsWhenTheDisplayGoesAway) {
    if (!XvfbServer::isInstalled())
        GTEST_SKIP() << "Xvfb is not installed";
    auto server = std::make_unique<XvfbServer>();
    X11KeyEventTaps taps(server->display());
    Recorder recorder;
    auto tap = taps.create(KeyEventTaps::Kind::Modifiers, recorder);
    ASSERT_TRUE(tap);
    server.reset();
    ASSERT_TRUE(recorder.waitForCount(1));
    EXPECT_EQ(recorder.events().back().type, Type::DisabledByTimeout);
}

TEST(KeyTapX11, WithoutADisplayThereAreNoTaps) {
    X11KeyEventTaps taps(QStringLiteral(":4242"));
    Recorder recorder;
    EXPECT_FALSE(taps.create(KeyEventTaps::Kind::Modifiers, recorder));
    EXPECT_FALSE(taps.create(KeyEventTaps::Kind::Escape, recorder));
    EXPECT_EQ(taps.fnKeyHasAction(), std::nullopt);
    X11SecureInput secure(QStringLiteral(":4242"));
    EXPECT_FALSE(secure.isEnabled());
}

} // namespace
