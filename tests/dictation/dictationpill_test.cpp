// The pill's parts on their own: the level history's cadence, the status dots, the waveform and
// the capsule's content changes.

#include "dictation/dictationpill.h"
#include "dictation/dictationprogresstext.h"
#include "dictation/dictationwaveform.h"
#include "dictation/levelhistory.h"
#include "dictation/overlayclock.h"
#include "ui/environment.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

TEST(LevelHistory, LevelsMapToBarHeights) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, double> cases[] = {{0.0, 0.0},   {0.25, 0.0}, {0.525, 0.5}, {0.8, 1.0}, {1.0, 1.0},
                                               {1e300, 1.0}, {-5.0, 0.0}, {nan, 0.0},   {inf, 1.0}, {-inf, 0.0}};
    for (const auto &[level, target] : cases)
        EXPECT_NEAR(LevelHistory::target(level), target, 1e-12) << level;
}

TEST(LevelHistory, SamplesEveryPeriodAndRestartsAfterAStall) {
    LevelHistory history;
    EXPECT_EQ(history.values(), (std::array<double, LevelHistory::kCount>{}));
    const double start = 1000.0;
    int samples = 0;
    double last = history.lastStep();
    // A steady 60 frames per second for half a second.
    for (int frame = 0; frame < 30; ++frame) {
        history.step(start + frame / 60.0, 1.0);
        if (history.lastStep() != last)
            ++samples;
        last = history.lastStep();
    }
    EXPECT_EQ(samples, 7);
    EXPECT_EQ(history.values()[LevelHistory::kCount - 7], 1.0);
    EXPECT_EQ(history.values()[LevelHistory::kCount - 8], 0.0);

    // A one-second stall adds one sample and restarts the cadence from that frame.
    const double after = start + 29 / 60.0 + 1.0;
    const double progress = history.step(after, 0.5);
    EXPECT_EQ(history.lastStep(), after);
    EXPECT_EQ(progress, 0.0);
    EXPECT_EQ(history.values().back(), 0.5);
    EXPECT_EQ(history.values()[LevelHistory::kCount - 2], 1.0);
    EXPECT_NEAR(history.step(after + 0.04, 0.0), 0.5, 1e-9);
    EXPECT_EQ(history.values().back(), 0.5);
}

TEST(DictationProgressText, DotsPulseOneAfterAnother) {
    struct Case {
        double t;
        int k;
        double opacity;
    };
    const Case cases[] = {{0.0, 0, 0.3},  {0.24, 0, 1.0}, {0.48, 0, 0.3}, {0.9, 0, 0.3},
                          {1.44, 0, 1.0}, {0.44, 1, 1.0}, {0.64, 2, 1.0}, {-0.96, 0, 1.0}};
    for (const Case &c : cases)
        EXPECT_NEAR(DictationProgressText::dotOpacity(c.t, c.k), c.opacity, 1e-9) << c.t << " " << c.k;
    for (double t = -3; t < 3; t += 0.137)
        EXPECT_NEAR(DictationProgressText::dotOpacity(t + 0.2, 1), DictationProgressText::dotOpacity(t, 0), 1e-9);
}

TEST(DictationProgressText, OnlyAnEllipsisLineAnimatesAndNotUnderReduceMotion) {
    FakeOverlayClock clock;
    QWidget root;
    DictationProgressText line(QStringLiteral("Cleaning up\u2026"), ColorName::TextSecondary, clock, &root);
    EXPECT_TRUE(line.isAnimated());
    EXPECT_EQ(line.accessibleName(), QStringLiteral("Cleaning up\u2026"));
    line.setText(QStringLiteral("Recording"));
    EXPECT_FALSE(line.isAnimated());
    line.setText(QStringLiteral("Transcribing\u2026"));
    Environment::setReduceMotion(&root, true);
    EXPECT_FALSE(line.isAnimated());
    Environment::setReduceMotion(&root, false);
    line.setAnimates(false);
    EXPECT_FALSE(line.isAnimated());

    // Animated and shown, it redraws on the clock; stopped, it sets no timer.
    line.setAnimates(true);
    root.show();
    EXPECT_EQ(clock.pending(), 1);
    line.setText(QStringLiteral("Recording"));
    EXPECT_EQ(clock.pending(), 0);
}

TEST(DictationWaveform, ReadsTheLevelOnlyWhileLiveAndSlidesUnlessMotionIsReduced) {
    FakeOverlayClock clock;
    QWidget root;
    int reads = 0;
    auto *waveform = new DictationWaveform(
        [&] {
            ++reads;
            return 0.8;
        },
        false, clock, &root);
    EXPECT_EQ(waveform->size(), QSize(160, 20));
    root.show();
    waveform->grab();
    EXPECT_EQ(reads, 0);
    EXPECT_EQ(clock.pending(), 0);
    EXPECT_EQ(waveform->history().values().back(), 0.0);

    waveform->setLive(true);
    EXPECT_EQ(clock.pending(), 1);
    clock.advance(80ms);
    waveform->grab();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(waveform->history().values().back(), 1.0);
    clock.advance(40ms);
    waveform->grab();
    EXPECT_GT(waveform->offset(), 0.0);
    EXPECT_LE(waveform->offset(), 5.0);

    Environment::setReduceMotion(&root, true);
    clock.advance(20ms);
    waveform->grab();
    EXPECT_EQ(waveform->offset(), 0.0);
}

TEST(DictationPill, KeepsItsWaveformWhileListeningAndWidensForLongLines) {
    FakeOverlayClock clock;
    QWidget root;
    auto *pill = new DictationPill(
        DictationOverlayContent::listening(false), [] { return 0.0; }, clock, &root);
    root.show();
    EXPECT_EQ(pill->sizeHint(), QSize(160, 36));
    DictationWaveform *waveform = pill->waveform();
    ASSERT_NE(waveform, nullptr);
    pill->setContent(DictationOverlayContent::listening(true));
    EXPECT_EQ(pill->waveform(), waveform);
    EXPECT_TRUE(waveform->isLive());

    pill->setContent(DictationOverlayContent::status(QString()));
    EXPECT_EQ(pill->waveform(), nullptr);
    ASSERT_NE(pill->line(), nullptr);
    // An empty line leaves a bare capsule of the minimum size.
    EXPECT_EQ(pill->sizeHint(), QSize(160, 36));

    const QString longText(QStringLiteral("Couldn't paste. The text is on the Dictation page. And more words here."));
    pill->setContent(DictationOverlayContent::failure(longText));
    EXPECT_FALSE(pill->line()->isAnimated());
    EXPECT_GT(pill->sizeHint().width(), 300);
    EXPECT_EQ(pill->sizeHint().width(), pill->line()->sizeHint().width() + 40);
    EXPECT_EQ(pill->sizeHint().height(), 36);

    pill->setContent(DictationOverlayContent::listening(true));
    EXPECT_NE(pill->waveform(), nullptr);
    EXPECT_EQ(pill->waveform()->history().values().back(), 0.0);
}

} // namespace
