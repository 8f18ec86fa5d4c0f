// Streams 5,000 tokens into the result view one at a time, as a reply arrives, and reports the
// total time, the slowest single update and how the cost of an update changes as the text grows;
// beside it, the same stream shown by setting the whole text of a plain text edit each time.
#include "ui/resulttextview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>
#include <vector>

using namespace velmora;

namespace {

constexpr int kTokens = 5000;

// A reply of short paragraphs and list items, split into word-sized tokens.
QStringList tokens() {
    const QStringList words = QStringLiteral("the launch moves to the second week of March after the final review "
                                             "and marketing prepares the announcement while design delivers screens")
                                  .split(QLatin1Char(' '));
    QStringList result;
    int line = 0;
    for (int i = 0; result.size() < kTokens; ++i) {
        QString token = words[i % words.size()];
        if (i % 24 == 23) {
            token += (++line % 3 == 0) ? QStringLiteral("\n\n") : QStringLiteral("\n- ");
        } else {
            token += QLatin1Char(' ');
        }
        result << token;
    }
    return result;
}

struct Figures {
    double totalMs = 0;
    double worstMs = 0;
    double firstMeanMs = 0; // mean of the first 500 updates
    double lastMeanMs = 0;  // mean of the last 500 updates
    double p99Ms = 0;
    int over1Ms = 0; // updates that took longer than 1 ms
};

Figures run(const std::function<void(const QString &, bool)> &show, const QStringList &stream) {
    std::vector<double> times;
    times.reserve(size_t(stream.size()));
    QString text;
    QElapsedTimer total;
    total.start();
    for (const QString &token : stream) {
        text += token;
        QElapsedTimer one;
        one.start();
        show(text, true);
        // Let the view lay out and paint, as the event loop would between two arriving tokens.
        QApplication::processEvents();
        times.push_back(double(one.nsecsElapsed()) / 1e6);
    }
    show(text, false);
    QApplication::processEvents();
    Figures f;
    f.totalMs = double(total.nsecsElapsed()) / 1e6;
    f.worstMs = *std::max_element(times.begin(), times.end());
    f.firstMeanMs = std::accumulate(times.begin(), times.begin() + 500, 0.0) / 500;
    f.lastMeanMs = std::accumulate(times.end() - 500, times.end(), 0.0) / 500;
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    f.p99Ms = sorted[size_t(double(sorted.size()) * 0.99)];
    f.over1Ms = int(std::count_if(times.begin(), times.end(), [](double t) { return t > 1.0; }));
    if (qEnvironmentVariableIsSet("VELMORA_BENCH_TRACE")) {
        for (size_t i = 0; i < times.size(); ++i) {
            if (times[i] > 1.0)
                std::printf("slow update %zu: %.3f ms after \"%s\"\n", i, times[i],
                            qPrintable(stream[qsizetype(i)].trimmed()));
        }
    }
    return f;
}

void print(const char *name, const Figures &f) {
    std::printf("%-34s %10.1f %10.3f %10.3f %12.3f %12.3f %10d\n", name, f.totalMs, f.worstMs, f.p99Ms, f.firstMeanMs,
                f.lastMeanMs, f.over1Ms);
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const QStringList stream = tokens();

    ResultTextView view;
    view.resize(720, 480);
    view.show();
    const Figures streamed = run([&](const QString &text, bool streaming) { view.setResult(text, streaming); }, stream);

    // "--view-only" skips the reference run (for profiling the view alone).
    const bool viewOnly = app.arguments().contains(QStringLiteral("--view-only"));
    QTextEdit plain;
    plain.resize(720, 480);
    plain.show();
    const Figures whole =
        viewOnly ? Figures{}
                 : run(
                       [&](const QString &text, bool streaming) {
                           plain.setPlainText(streaming ? text + QChar(ResultTextView::kStreamingCursor) : text);
                       },
                       stream);

    std::printf("%d tokens, %lld characters, view 720x480\n", kTokens,
                static_cast<long long>(std::accumulate(stream.begin(), stream.end(), qsizetype(0),
                                                       [](qsizetype n, const QString &t) { return n + t.size(); })));
    std::printf("%-34s %10s %10s %10s %12s %12s %10s\n", "", "total ms", "worst ms", "p99 ms", "first 500 ms",
                "last 500 ms", "> 1 ms");
    print("result view, appended", streamed);
    print("plain text edit, whole text set", whole);
    return view.toPlainText().isEmpty() ? 1 : 0;
}
