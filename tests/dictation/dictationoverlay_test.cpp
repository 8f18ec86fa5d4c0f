// The overlay on a real coordinator and recorder over the platform's fakes, with a fake clock
// for its own timings: which pill shows, what is said, when it goes, and where it sits.

#include "dictationrunfixture.h"

#include "dictation/dictationoverlay.h"
#include "dictation/dictationoverlayview.h"
#include "dictation/dictationpanel.h"
#include "dictation/dictationpill.h"
#include "dictation/dictationprogresstext.h"
#include "dictation/dictationsettings.h"
#include "dictation/dictationwaveform.h"
#include "dictation/overlayclock.h"
#include "platform/floatingwindows.h"
#include "ui/environment.h"
#include "ui/uisettings.h"

#include <QApplication>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

using Kind = DictationOverlayContent::Kind;
using Screen = DictationOverlay::Screen;

class OverlayTest : public DictationRunTest {
protected:
    DictationOverlay &overlay() {
        if (!m_overlay) {
            DictationOverlay::Dependencies deps;
            deps.dictation = &dictation();
            deps.defaults = &defaults;
            deps.windows = &windows;
            deps.clock = &clock;
            deps.screens.all = [this] { return screens; };
            deps.screens.primary = [this]() -> std::optional<Screen> {
                if (screens.isEmpty())
                    return std::nullopt;
                return screens.first();
            };
            deps.screens.pointer = [this] { return pointer; };
            m_overlay = std::make_unique<DictationOverlay>(std::move(deps));
            QObject::connect(m_overlay.get(), &DictationOverlay::announced,
                             [this](const QString &text) { announced.append(text); });
            QObject::connect(coordinator.get(), &DictationCoordinator::activeChanged, m_overlay.get(),
                             [this](bool active) { m_overlay->update(active); });
        }
        return *m_overlay;
    }
    DictationPill *pill() {
        auto *panel = overlay().panel();
        return panel && panel->content() ? panel->content()->pill() : nullptr;
    }
    std::optional<DictationOverlayContent> content() {
        if (DictationPill *p = pill())
            return p->content();
        return std::nullopt;
    }

    void resetOverlay() {
        m_overlay.reset();
        announced.clear();
    }
    void TearDown() override {
        m_overlay.reset();
        DictationRunTest::TearDown();
    }

    FakeOverlayClock clock;
    FakeFloatingWindows windows;
    QList<Screen> screens{{QStringLiteral("one"), {0, 0, 1280, 800}, {0, 0, 1280, 770}}};
    QPoint pointer{100, 100};
    QStringList announced;

private:
    std::unique_ptr<DictationOverlay> m_overlay;
};

TEST_F(OverlayTest, AMessageIsShownSaidAndFadesAfterItsTime) {
    const QString message = DictationCoordinator::secureInputMessage();
    overlay().showMessage(message);
    ASSERT_TRUE(overlay().isVisible());
    EXPECT_EQ(content(), DictationOverlayContent::failure(message));
    EXPECT_EQ(announced, QStringList{message});
    // Screen readers read it from the panel's alert.
    EXPECT_EQ(overlay().panel()->accessibleDescription(), message);

    clock.advance(2499ms);
    EXPECT_TRUE(overlay().isVisible());
    EXPECT_DOUBLE_EQ(overlay().panel()->alpha(), 1.0);
    clock.advance(101ms);
    EXPECT_TRUE(overlay().isVisible());
    EXPECT_GT(overlay().panel()->alpha(), 0.0);
    EXPECT_LT(overlay().panel()->alpha(), 1.0);
    clock.advance(100ms);
    EXPECT_FALSE(overlay().isVisible());
    EXPECT_EQ(overlay().panel()->content(), nullptr);
    EXPECT_FALSE(overlay().isHiding());
    EXPECT_EQ(clock.pending(), 0);
}

TEST_F(OverlayTest, AMessageWhileAPillShowsIsDroppedAndSetsNoNewTimer) {
    overlay().showMessage(QStringLiteral("first"));
    clock.advance(1000ms);
    overlay().showMessage(QStringLiteral("second"));
    EXPECT_EQ(content(), DictationOverlayContent::failure(QStringLiteral("first")));
    EXPECT_EQ(announced, QStringList{QStringLiteral("first")});
    clock.advance(1700ms);
    EXPECT_FALSE(overlay().isVisible());
    // Gone, a later message shows again.
    overlay().showMessage(QStringLiteral("third"));
    EXPECT_EQ(content(), DictationOverlayContent::failure(QStringLiteral("third")));
}

TEST_F(OverlayTest, ASuccessfulRunShowsItsStagesSaysPastedAndFadesAtOnce) {
    overlay();
    startRecording();
    ASSERT_TRUE(overlay().isVisible());
    EXPECT_EQ(content(), DictationOverlayContent::listening(true));
    EXPECT_TRUE(qobject_cast<DictationOverlayView *>(overlay().panel()->content()));
    speakAndStop();
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(coordinator->failure(), std::nullopt);
    // The pill keeps the last live status through delivery and after the run.
    ASSERT_TRUE(content().has_value());
    EXPECT_EQ(content()->kind, Kind::Status);
    EXPECT_EQ(content()->text, QStringLiteral("Cleaning up\u2026"));
    EXPECT_TRUE(announced.contains(QStringLiteral("Recording")));
    EXPECT_TRUE(announced.contains(QStringLiteral("Cleaning up\u2026")));
    EXPECT_FALSE(announced.contains(QStringLiteral("Pasting\u2026")));
    EXPECT_EQ(announced.last(), QStringLiteral("Pasted"));
    EXPECT_TRUE(overlay().isHiding());
    clock.advance(200ms);
    EXPECT_FALSE(overlay().isVisible());
    EXPECT_EQ(overlay().panel()->content(), nullptr);
}

TEST_F(OverlayTest, AFailedRunShowsItsTextOnceThenStaysForItsTime) {
    speak({{"text", ""}});
    overlay();
    dictate();
    ASSERT_EQ(coordinator->failure(), DictationCoordinator::Failure::NoSpeech);
    const QString text = QStringLiteral("No speech was heard.");
    EXPECT_EQ(content(), DictationOverlayContent::failure(text));
    EXPECT_EQ(announced.count(text), 1);
    EXPECT_FALSE(announced.contains(QStringLiteral("Ready")));
    clock.advance(2400ms);
    EXPECT_TRUE(overlay().isVisible());
    clock.advance(300ms);
    EXPECT_FALSE(overlay().isVisible());
}

TEST_F(OverlayTest, ANewRunDuringAFailuresWaitCancelsTheHideAndKeepsThePill) {
    speak({{"text", ""}});
    overlay();
    dictate();
    DictationPanelRoot *shown = overlay().panel()->content();
    clock.advance(1000ms);
    pointer = {1500, 100};
    screens.append({QStringLiteral("two"), {1280, 0, 1024, 768}, {1280, 0, 1024, 740}});
    startRecording();
    EXPECT_FALSE(overlay().isHiding());
    EXPECT_EQ(overlay().panel()->content(), shown);
    EXPECT_DOUBLE_EQ(overlay().panel()->alpha(), 1.0);
    EXPECT_EQ(overlay().screen()->name, QStringLiteral("two"));
    // The kept view follows the new run.
    EXPECT_EQ(content(), DictationOverlayContent::listening(true));
    clock.advance(5000ms);
    EXPECT_TRUE(overlay().isVisible());
}

TEST_F(OverlayTest, AMessagePillGivesWayToARunAtOnce) {
    overlay().showMessage(DictationCoordinator::busyMessage());
    startRecording();
    EXPECT_TRUE(qobject_cast<DictationOverlayView *>(overlay().panel()->content()));
    EXPECT_EQ(content(), DictationOverlayContent::listening(true));
    EXPECT_FALSE(overlay().isHiding());
    clock.advance(5000ms);
    EXPECT_TRUE(overlay().isVisible());
}

TEST_F(OverlayTest, ThePanelNeverTakesFocusLetsClicksThroughAndFloatsEverywhere) {
    overlay().showMessage(QStringLiteral("flags"));
    DictationPanel *panel = overlay().panel();
    const Qt::WindowFlags flags = panel->windowFlags();
    for (Qt::WindowType flag : {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint,
                                Qt::WindowDoesNotAcceptFocus, Qt::WindowTransparentForInput})
        EXPECT_TRUE(flags.testFlag(flag)) << flag;
    EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(panel->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(panel->focusPolicy(), Qt::NoFocus);
    EXPECT_NE(QApplication::activeWindow(), panel);
    EXPECT_TRUE(windows.kept.contains(static_cast<quint64>(panel->winId())));
    EXPECT_EQ(panel->size(), QSize(480, 84));
    EXPECT_EQ(panel->accessibleName(), QStringLiteral("Dictation"));
    // Composited: nothing cut away, and the pill casts its shadow.
    EXPECT_TRUE(panel->mask().isEmpty());
    EXPECT_FALSE(panel->content()->pill()->isShadowless());
}

TEST_F(OverlayTest, WithoutACompositorThePanelIsCutToThePill) {
    windows.compositing = false;
    overlay().showMessage(QStringLiteral("cut"));
    DictationPanel *panel = overlay().panel();
    const QRect pill = panel->content()->pillRect();
    EXPECT_EQ(pill.height(), 36);
    EXPECT_EQ(pill.bottom() + 1, 84 - 24);
    EXPECT_EQ(pill.left() + pill.width() / 2, 240);
    EXPECT_EQ(panel->mask().boundingRect(), pill);
    EXPECT_FALSE(panel->mask().contains(QPoint(10, 10)));
    EXPECT_TRUE(panel->content()->pill()->isShadowless());
}

TEST_F(OverlayTest, ThePanelSitsAtTheBottomCentreOfTheScreenUnderThePointer) {
    struct Case {
        const char *name;
        QList<Screen> screens;
        QPoint pointer;
        QPoint origin;
        const char *screen;
    };
    const Screen one{QStringLiteral("one"), {0, 0, 1280, 800}, {0, 30, 1280, 770}};
    const Screen two{QStringLiteral("two"), {1280, 0, 1920, 1080}, {1280, 0, 1920, 1040}};
    const QList<Case> cases{
        {"one screen", {one}, {10, 10}, {400, 800 - 84}, "one"},
        {"pointer on the second", {one, two}, {2000, 500}, {1280 + 960 - 240, 1040 - 84}, "two"},
        {"pointer off every screen", {one, two}, {-50, -50}, {400, 800 - 84}, "one"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        screens = c.screens;
        pointer = c.pointer;
        overlay().showMessage(QStringLiteral("where"));
        EXPECT_EQ(overlay().panel()->pos(), c.origin);
        EXPECT_EQ(overlay().screen()->name, QLatin1String(c.screen));
        clock.advance(3000ms);
        ASSERT_FALSE(overlay().isVisible());
    }
}

TEST_F(OverlayTest, WithoutAnyScreenThePanelShowsWhereItIs) {
    screens.clear();
    overlay().showMessage(QStringLiteral("nowhere"));
    EXPECT_TRUE(overlay().isVisible());
    EXPECT_EQ(overlay().screen(), std::nullopt);
    EXPECT_EQ(overlay().panel()->pos(), QPoint(0, 0));
}

TEST_F(OverlayTest, AnUnpluggedScreenMovesThePillToTheMainScreen) {
    const Screen two{QStringLiteral("two"), {1280, 0, 1920, 1080}, {1280, 0, 1920, 1040}};
    screens.append(two);
    pointer = {2000, 500};
    overlay().showPreviewIfRequested();
    defaults.setString(kDictationOverlayPreview.name, QStringLiteral("preparing"));
    overlay().showPreviewIfRequested();
    ASSERT_EQ(overlay().screen()->name, QStringLiteral("two"));
    QSignalSpy placed(&overlay(), &DictationOverlay::placed);
    // A change of the desk keeps the chosen screen.
    overlay().screensChanged();
    ASSERT_TRUE(placed.wait(10000));
    EXPECT_EQ(overlay().panel()->pos(), QPoint(1280 + 960 - 240, 1040 - 84));
    screens.removeLast();
    overlay().screensChanged();
    ASSERT_TRUE(placed.wait(10000));
    EXPECT_EQ(overlay().screen()->name, QStringLiteral("one"));
    EXPECT_EQ(overlay().panel()->pos(), QPoint(400, 770 - 84));
}

TEST_F(OverlayTest, ThePreviewShowsTheNamedPillForGood) {
    struct Case {
        const char *value;
        std::optional<DictationOverlayContent> content;
    };
    const QList<Case> cases{
        {"preparing", DictationOverlayContent::listening(false)},
        {"listening", DictationOverlayContent::listening(true)},
        {"transcribing", DictationOverlayContent::status(QStringLiteral("Transcribing\u2026"))},
        {"failed", DictationOverlayContent::failure(QStringLiteral("No speech was heard."))},
        {"blocked", DictationOverlayContent::failure(DictationCoordinator::secureInputMessage())},
        {"Transcribing", std::nullopt},
        {"idle", std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        resetOverlay();
        defaults.setString(kDictationOverlayPreview.name, QLatin1String(c.value));
        overlay().showPreviewIfRequested();
        EXPECT_EQ(overlay().isVisible(), c.content.has_value());
        EXPECT_EQ(content(), c.content);
        clock.advance(10s);
        EXPECT_EQ(overlay().isVisible(), c.content.has_value());
        EXPECT_TRUE(announced.isEmpty());
    }
}

TEST_F(OverlayTest, ThePillFollowsReduceMotionAndKeepsTheStandardTextSize) {
    defaults.set(kReduceMotion, true);
    defaults.set(kTextSize, toString(TextSize::Largest));
    defaults.setString(kDictationOverlayPreview.name, QStringLiteral("transcribing"));
    overlay().showPreviewIfRequested();
    ASSERT_NE(pill()->line(), nullptr);
    EXPECT_FALSE(pill()->line()->isAnimated());
    EXPECT_EQ(Environment::textSize(pill()), TextSize::Standard);
    defaults.set(kReduceMotion, false);
    EXPECT_TRUE(pill()->line()->isAnimated());
}

TEST_F(OverlayTest, TheListeningPreviewAnimatesFromItsSyntheticLevel) {
    defaults.setString(kDictationOverlayPreview.name, QStringLiteral("listening"));
    overlay().showPreviewIfRequested();
    DictationWaveform *waveform = pill()->waveform();
    ASSERT_NE(waveform, nullptr);
    QList<double> targets;
    QObject::connect(waveform, &DictationWaveform::framed, [&](double target) { targets.append(target); });
    for (int frame = 0; frame < 60 && targets.size() < 30; ++frame) {
        clock.advance(17ms);
        QApplication::processEvents();
    }
    ASSERT_GE(targets.size(), 20);
    // The synthetic level lies between 0.3 and 0.85: targets move and never reach silence.
    EXPECT_GT(*std::max_element(targets.begin(), targets.end()), *std::min_element(targets.begin(), targets.end()));
    EXPECT_GT(*std::max_element(waveform->history().values().begin(), waveform->history().values().end()), 0.0);
}

} // namespace
