// The dictation keys over the platform's fakes: what is installed in each state, what each key
// asks for, and how taps the system switched off come back.

#include "dictation/dictationhotkeys.h"

#include "core/defaults.h"
#include "dictation/dictationsettings.h"
#include "dictation/speechshortcuts.h"
#include "platform/accessibilitytrust.h"
#include "platform/globalshortcutregistry.h"
#include "platform/keychord.h"
#include "platform/keyeventtap.h"
#include "platform/secureinput.h"
#include "support/testsupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;
using TapKind = KeyEventTaps::Kind;

namespace {

const KeyChord kCtrlAltD{0x02, KeyChord::kCommand | KeyChord::kOption};
const KeyChord kCtrlAltX{0x07, KeyChord::kCommand | KeyChord::kOption};

class DictationHotkeysTest : public ::testing::Test {
protected:
    void SetUp() override { trust.trusted = true; }

    DictationHotkeys &make(std::chrono::nanoseconds escapeLinger = 10s, std::chrono::nanoseconds retry = 10s) {
        DictationHotkeys::Dependencies deps{&shortcuts, &registry, &taps, &secureInput, &trust};
        deps.escapeLinger = escapeLinger;
        deps.tapRetryDelay = retry;
        hotkeys = std::make_unique<DictationHotkeys>(deps);
        toggles = std::make_unique<QSignalSpy>(hotkeys.get(), &DictationHotkeys::toggleRequested);
        cancels = std::make_unique<QSignalSpy>(hotkeys.get(), &DictationHotkeys::cancelRequested);
        blocks = std::make_unique<QSignalSpy>(hotkeys.get(), &DictationHotkeys::blocked);
        return *hotkeys;
    }
    void useChords() {
        shortcuts.storeChord(kCtrlAltD, kToggleChord);
        shortcuts.setToggleChord(kCtrlAltD);
        shortcuts.setToggleUsesGlobe(false);
        shortcuts.storeChord(kCtrlAltX, kCancelChord);
        shortcuts.setCancelChord(kCtrlAltX);
        shortcuts.setCancelUsesEscape(false);
    }
    void sendDisabled(TapKind kind, bool byUser) {
        KeyTapEvent event;
        event.type = byUser ? KeyTapEvent::Type::DisabledByUserInput : KeyTapEvent::Type::DisabledByTimeout;
        taps.send(kind, event);
    }

    Defaults defaults{QString()};
    SpeechShortcuts shortcuts{defaults};
    FakeGlobalShortcutRegistry registry;
    FakeKeyEventTaps taps;
    FakeSecureInput secureInput;
    FakeAccessibilityTrust trust;
    std::unique_ptr<DictationHotkeys> hotkeys;
    std::unique_ptr<QSignalSpy> toggles, cancels, blocks;
};

TEST_F(DictationHotkeysTest, NothingWorksBeforeAccessibilityAndTheFnTapWorksAtOnceAfter) {
    DictationHotkeys &keys = make();
    EXPECT_FALSE(taps.isRunning(TapKind::Modifiers));
    EXPECT_FALSE(registry.isEnabled(DictationHotkeys::toggleName));
    EXPECT_TRUE(keys.nativeTapAvailable());

    keys.setAccessibilityGranted(true);
    EXPECT_TRUE(taps.isRunning(TapKind::Modifiers));
    EXPECT_FALSE(taps.isRunning(TapKind::Escape));
    EXPECT_TRUE(registry.isEnabled(DictationHotkeys::toggleName));
    EXPECT_FALSE(registry.chord(DictationHotkeys::toggleName)) << "the fn key is used: no chord";
    taps.tapFn();
    ASSERT_TRUE(waitUntil([&] { return toggles->count() == 1; }));

    // Secure keyboard entry turns the same tap into "blocked".
    secureInput.enabled = true;
    taps.tapFn();
    ASSERT_TRUE(waitUntil([&] { return blocks->count() == 1; }));
    EXPECT_EQ(toggles->count(), 1);

    keys.setAccessibilityGranted(false);
    EXPECT_FALSE(taps.isRunning(TapKind::Modifiers));
    EXPECT_FALSE(registry.isEnabled(DictationHotkeys::toggleName));
}

TEST_F(DictationHotkeysTest, ChordsToggleAndCancelOnlyWhenTheyMay) {
    useChords();
    DictationHotkeys &keys = make();
    keys.setAccessibilityGranted(true);
    EXPECT_FALSE(taps.isRunning(TapKind::Modifiers)) << "a chord in place of the fn key";
    EXPECT_EQ(registry.chord(DictationHotkeys::toggleName), kCtrlAltD);

    EXPECT_TRUE(registry.press(DictationHotkeys::toggleName));
    EXPECT_EQ(toggles->count(), 1);
    // The cancel chord works only during a run.
    EXPECT_FALSE(registry.press(DictationHotkeys::cancelName));
    keys.setOperationActive(true);
    EXPECT_FALSE(taps.isRunning(TapKind::Escape)) << "a chord in place of Escape";
    EXPECT_TRUE(registry.press(DictationHotkeys::cancelName));
    EXPECT_EQ(cancels->count(), 1);

    secureInput.enabled = true;
    EXPECT_TRUE(registry.press(DictationHotkeys::toggleName));
    EXPECT_EQ(blocks->count(), 1);
    EXPECT_EQ(toggles->count(), 1);
    secureInput.enabled = false;

    // While Settings records a shortcut, nothing is delivered.
    shortcuts.setEditing(true);
    EXPECT_FALSE(registry.press(DictationHotkeys::toggleName));
    EXPECT_FALSE(registry.press(DictationHotkeys::cancelName));
    shortcuts.setEditing(false);
    EXPECT_TRUE(registry.press(DictationHotkeys::toggleName));
    EXPECT_EQ(toggles->count(), 2);

    // Back to the fn key: the old chord stops working at once.
    shortcuts.setToggleUsesGlobe(true);
    EXPECT_FALSE(registry.chord(DictationHotkeys::toggleName));
    EXPECT_FALSE(registry.press(DictationHotkeys::toggleName));
    EXPECT_TRUE(taps.isRunning(TapKind::Modifiers));
}

TEST_F(DictationHotkeysTest, EscapeIsTakenDuringARunAndForAMomentAfter) {
    DictationHotkeys &keys = make(10s);
    keys.setAccessibilityGranted(true);
    EXPECT_FALSE(taps.pressEscape()) << "no Escape tap outside a run";

    keys.setOperationActive(true);
    EXPECT_EQ(taps.pressEscape(), true);
    ASSERT_TRUE(waitUntil([&] { return cancels->count() == 1; }));

    // The run ends: the tap stays for its linger, swallowing Escape without a cancel.
    keys.setOperationActive(false);
    EXPECT_EQ(taps.pressEscape(), true);
    QCoreApplication::sendPostedEvents(&keys);
    EXPECT_EQ(cancels->count(), 1) << "an Escape swallowed after the run asks for nothing";
    // A new run within the linger keeps the same tap.
    keys.setOperationActive(true);
    EXPECT_EQ(taps.created(TapKind::Escape), 1);
    // Setting the same value again still applies the state.
    const int changes = registry.changes;
    keys.setOperationActive(true);
    EXPECT_GT(registry.changes, changes);
}

TEST_F(DictationHotkeysTest, TheEscapeTapGoesAfterItsLinger) {
    DictationHotkeys &keys = make(50ms);
    keys.setAccessibilityGranted(true);
    keys.setOperationActive(true);
    ASSERT_TRUE(taps.isRunning(TapKind::Escape));
    keys.setOperationActive(false);
    ASSERT_TRUE(waitUntil([&] { return !taps.isRunning(TapKind::Escape); }));
    EXPECT_FALSE(keys.hasEscapeTap());
    // While Settings records a shortcut the fn tap goes at once.
    shortcuts.setEditing(true);
    EXPECT_FALSE(taps.isRunning(TapKind::Modifiers));
}

TEST_F(DictationHotkeysTest, ATapSwitchedOffForATimeOutIsMadeAgain) {
    DictationHotkeys &keys = make(10s, 50ms);
    keys.setAccessibilityGranted(true);
    keys.setOperationActive(true);
    sendDisabled(TapKind::Modifiers, false);
    ASSERT_TRUE(waitUntil([&] { return !keys.hasGlobeTap() && !keys.hasEscapeTap(); }));
    EXPECT_FALSE(taps.isRunning(TapKind::Escape)) << "both taps go";
    ASSERT_TRUE(waitUntil([&] { return keys.hasGlobeTap() && keys.hasEscapeTap(); }));
    EXPECT_EQ(taps.created(TapKind::Modifiers), 2);
    EXPECT_TRUE(keys.nativeTapAvailable());
    taps.tapFn();
    ASSERT_TRUE(waitUntil([&] { return toggles->count() == 1; }));
}

TEST_F(DictationHotkeysTest, ATapSwitchedOffByUserInputSuspendsTapsAndSaysSoAtOnce) {
    useChords();
    shortcuts.setToggleUsesGlobe(true);
    DictationHotkeys &keys = make(10s, 50ms);
    keys.setAccessibilityGranted(true);
    QSignalSpy available(&keys, &DictationHotkeys::nativeTapAvailableChanged);
    sendDisabled(TapKind::Modifiers, true);
    ASSERT_TRUE(waitUntil([&] { return keys.tapSuspended(); }));
    // The fn key stopped working now, so Settings must not wait for another refresh to say so.
    EXPECT_FALSE(keys.nativeTapAvailable());
    EXPECT_EQ(available.count(), 1);
    EXPECT_FALSE(taps.isRunning(TapKind::Modifiers));

    // The poll does not make it again; the cancel chord still works during a run.
    keys.setAccessibilityGranted(true);
    keys.setOperationActive(true);
    EXPECT_FALSE(taps.isRunning(TapKind::Modifiers));
    EXPECT_TRUE(registry.press(DictationHotkeys::cancelName));

    keys.retryTaps();
    EXPECT_FALSE(keys.tapSuspended());
    EXPECT_TRUE(taps.isRunning(TapKind::Modifiers));
    EXPECT_TRUE(keys.nativeTapAvailable());
}

TEST_F(DictationHotkeysTest, ATapSwitchedOffAfterAccessibilityWasRevokedTurnsEverythingOff) {
    DictationHotkeys &keys = make();
    keys.setAccessibilityGranted(true);
    trust.trusted = false;
    sendDisabled(TapKind::Modifiers, true);
    ASSERT_TRUE(waitUntil([&] { return !keys.accessibilityGranted(); }));
    EXPECT_FALSE(keys.tapSuspended());
    EXPECT_FALSE(taps.isRunning(TapKind::Modifiers));
    EXPECT_FALSE(registry.isEnabled(DictationHotkeys::toggleName));
    // Retry does nothing without trust; the monitor's next report brings it all back.
    keys.retryTaps();
    EXPECT_FALSE(taps.isRunning(TapKind::Modifiers));
    trust.trusted = true;
    keys.setAccessibilityGranted(true);
    EXPECT_TRUE(taps.isRunning(TapKind::Modifiers));
}

TEST_F(DictationHotkeysTest, ARefusedTapIsShownAndTriedAgainAtEachPoll) {
    taps.refused = {TapKind::Modifiers};
    DictationHotkeys &keys = make();
    keys.setAccessibilityGranted(true);
    EXPECT_FALSE(keys.nativeTapAvailable());
    EXPECT_TRUE(registry.isEnabled(DictationHotkeys::toggleName));
    keys.setAccessibilityGranted(true);
    EXPECT_FALSE(keys.nativeTapAvailable());
    taps.refused.clear();
    keys.setAccessibilityGranted(true);
    EXPECT_TRUE(keys.nativeTapAvailable());
    EXPECT_TRUE(taps.isRunning(TapKind::Modifiers));
}

TEST_F(DictationHotkeysTest, AReportFromARemovedTapIsIgnored) {
    DictationHotkeys &keys = make();
    keys.setAccessibilityGranted(true);
    // The report is posted, then the tap goes before the event loop delivers it.
    taps.tapFn();
    shortcuts.setToggleUsesGlobe(false);
    QCoreApplication::sendPostedEvents(&keys);
    EXPECT_EQ(toggles->count(), 0);
}

} // namespace
