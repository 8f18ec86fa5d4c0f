// The dictation pill on screen: the process's CPU while the live waveform animates (default 60 s;
// the first argument sets the seconds), beside the same time with a still status pill and with
// nothing shown; then the time from a new level sample to the first frame that draws it.
// Run under Xvfb (QT_QPA_PLATFORM=xcb) to include the X11 drawing.

#include "core/defaults.h"
#include "dictation/dictationoverlay.h"
#include "dictation/dictationpanel.h"
#include "dictation/dictationpill.h"
#include "dictation/dictationsettings.h"
#include "dictation/dictationwaveform.h"
#include "dictation/levelhistory.h"
#include "dictation/overlayclock.h"
#include "platform/floatingwindows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace velmora;

namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Load {
    double cpuPercent;
    int frames;
};

// The CPU share of one core while the event loop runs for the time, and the waveform frames drawn.
Load measure(int ms, DictationWaveform *waveform) {
    int frames = 0;
    QMetaObject::Connection counting;
    if (waveform)
        counting = QObject::connect(waveform, &DictationWaveform::framed, [&frames] { ++frames; });
    const double before = cpuSeconds();
    runFor(ms);
    const double used = cpuSeconds() - before;
    QObject::disconnect(counting);
    return {used / (ms / 1000.0) * 100.0, frames};
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    const int ms = seconds * 1000;
    SystemOverlayClock clock;
    X11FloatingWindows windows;

    std::printf("overlay CPU over %d s (share of one core)\n", seconds);
    const Load idle = measure(ms, nullptr);
    std::printf("  nothing shown (reference)      %6.2f %%\n", idle.cpuPercent);

    const auto show = [&](const char *preview) {
        Defaults defaults{QString()};
        defaults.setString(kDictationOverlayPreview.name, QLatin1String(preview));
        DictationOverlay::Dependencies deps;
        deps.defaults = &defaults;
        deps.windows = &windows;
        deps.clock = &clock;
        auto overlay = std::make_unique<DictationOverlay>(deps);
        overlay->showPreviewIfRequested();
        runFor(500);
        return overlay;
    };
    {
        auto overlay = show("transcribing");
        const Load still = measure(ms, nullptr);
        std::printf("  status line, dots pulsing     %6.2f %%\n", still.cpuPercent);
    }
    {
        auto overlay = show("listening");
        DictationWaveform *waveform = overlay->panel()->content()->pill()->waveform();
        const Load live = measure(ms, waveform);
        std::printf("  live waveform                 %6.2f %%  (%d frames, %.1f per second)   aim < 2 %%\n",
                    live.cpuPercent, live.frames, live.frames / static_cast<double>(seconds));
    }

    // Level sample to frame: a level changes at a random moment; the time until the first frame
    // whose target shows it.
    double level = 0.0;
    QElapsedTimer clockSinceSample;
    bool waiting = false;
    std::vector<double> latencies;
    DictationWaveform waveform([&level] { return level; }, true, clock);
    QObject::connect(&waveform, &DictationWaveform::framed, [&](double target) {
        if (waiting && target == LevelHistory::target(level)) {
            latencies.push_back(static_cast<double>(clockSinceSample.nsecsElapsed()) / 1e6);
            waiting = false;
        }
    });
    waveform.show();
    runFor(300);
    for (int i = 0; i < 300; ++i) {
        runFor(20 + static_cast<int>(QRandomGenerator::global()->bounded(40)));
        level = (i % 2 == 0) ? 0.8 : 0.3;
        clockSinceSample.start();
        waiting = true;
        while (waiting)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    std::printf(
        "level sample to frame over %zu samples: mean %.2f ms, median %.2f ms, p99 %.2f ms, max %.2f ms"
        "   (reference: one frame period is 16.67 ms at 60 per second)\n",
        latencies.size(),
        [&] {
            double sum = 0;
            for (double l : latencies)
                sum += l;
            return sum / static_cast<double>(latencies.size());
        }(),
        percentile(latencies, 0.5), percentile(latencies, 0.99), percentile(latencies, 1.0));
    return 0;
}
