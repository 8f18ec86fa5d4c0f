// Plans and transcribes a 60-minute recording (57.6 M samples) with the stand-in helper and
// prints: the main-thread time spent planning each streamed chunk, and the whole run's time
// next to the time the stand-in itself spent.
//
//   bench_speech_helper [minutes]

#include "speech/chunkedtranscription.h"
#include "speech/speechhelperclient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <random>
#include <sys/resource.h>

using namespace velmora;

namespace {

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double wallMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double childrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval &tv) { return double(tv.tv_sec) * 1e3 + double(tv.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Speech-like audio: bursts of noise of varying loudness with short, quiet gaps.
bool writeRecording(const QString &path, qint64 total) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_int_distribution<int> burst(3200, 24000), gap(1600, 12800);
    std::uniform_real_distribution<float> level(0.05f, 0.5f);
    std::vector<float> block;
    block.reserve(1 << 20);
    qint64 written = 0;
    while (written < total) {
        // Loud throughout (never near zero), so the stand-in hears one word per burst.
        const float amplitude = level(rng);
        for (int i = burst(rng); i > 0; --i) {
            const float x = unit(rng);
            block.push_back(amplitude * (x < 0 ? -0.6f + 0.4f * x : 0.6f + 0.4f * x));
        }
        for (int i = gap(rng); i > 0; --i)
            block.push_back(0.002f * unit(rng));
        if (qint64(block.size()) >= (1 << 20) || written + qint64(block.size()) >= total) {
            const qint64 n = std::min<qint64>(qint64(block.size()), total - written);
            file.write(reinterpret_cast<const char *>(block.data()), n * 4);
            written += n;
            block.clear();
        }
    }
    return true;
}

template <typename T>
T runTask(QCoro::Task<T> &&task) {
    QEventLoop loop;
    std::optional<T> result;
    std::exception_ptr error;
    auto driver = [](QCoro::Task<T> t, QEventLoop *loop, std::optional<T> *result,
                     std::exception_ptr *error) -> QCoro::Task<> {
        try {
            result->emplace(co_await std::move(t));
        } catch (...) {
            *error = std::current_exception();
        }
        loop->quit();
    };
    auto running = driver(std::move(task), &loop, &result, &error);
    if (!result && !error)
        loop.exec();
    if (error)
        std::rethrow_exception(error);
    return std::move(*result);
}

QCoro::Task<bool> loadModel(SpeechHelperClient &client, QString model) {
    co_await client.load(model, QUuid::createUuid());
    co_return true;
}

QCoro::Task<bool> stop(SpeechHelperClient &client) {
    co_await client.terminate();
    co_return true;
}

QCoro::Task<> ready() {
    co_return;
}

namespace test {
void writeModel(const QString &path, double factor) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray("{\"realTimeFactor\":") + QByteArray::number(factor) + "}");
}
} // namespace test

bool runWhole(const QString &recording, const QString &model, qint64 total, double factor) {
    QString helper = qEnvironmentVariable("VELMORA_HELPERS_DIR");
    if (helper.isEmpty())
        helper = QStringLiteral(VELMORA_HELPERS_DIR);
    SpeechHelperClient client(helper + QLatin1Char('/') + QLatin1String(SpeechHelperClient::kExecutableName));
    const double childrenBefore = childrenCpuMs();
    const double wall0 = wallMs();
    const double cpu0 = threadCpuMs();
    runTask(loadModel(client, model));
    auto run = ChunkedTranscription::create(client, recording, QStringLiteral("en"), QUuid::createUuid(),
                                            ChunkPolicy::standard(), ready);
    // The capture reports every 800 samples.
    for (qint64 at = 800; at <= total; at += 800) {
        run->progress(at);
        if (at % 160000 == 0)
            QCoreApplication::processEvents();
    }
    const auto result = runTask(run->finish(total));
    const double wall = wallMs() - wall0;
    const double mainCpu = threadCpuMs() - cpu0;
    runTask(stop(client));
    // The stand-in's own time: its processor time plus the engine work it simulates.
    const double helperMs = childrenCpuMs() - childrenBefore + double(total) / 16.0 * factor;
    std::printf("run (engine factor %.3f): %lld chunks, %s, %lld characters; wall %.1f ms, main thread %.1f ms, "
                "stand-in %.1f ms\n",
                factor, (long long)run->chunkCount(), result.complete ? "complete" : "INCOMPLETE",
                (long long)result.text.size(), wall, mainCpu, helperMs);
    std::printf("  client overhead: %.1f ms beyond the stand-in = %.2f%% of the run (aim < 5%%); main thread busy "
                "%.2f%% of the run\n",
                wall - helperMs, 100.0 * (wall - helperMs) / wall, 100.0 * mainCpu / wall);
    return result.complete;
}

} // namespace

int main(int argc, char **argv) {
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    const qint64 total = qint64(minutes) * 60 * 16000;
    QTemporaryDir dir;
    const QString recording = dir.path() + QStringLiteral("/recording.f32");
    const QString model = dir.path() + QStringLiteral("/model.json");
    std::printf("recording: %d min, %lld samples\n", minutes, (long long)total);
    if (!writeRecording(recording, total)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(recording));
        return 1;
    }
    const ChunkPolicy policy = ChunkPolicy::standard();

    // 1. Planning as the streaming worker does it: read a 50 s window, cut it, move on.
    std::vector<double> planMs, readMs;
    qint64 committed = 0;
    while (total - committed >= ChunkedTranscription::kStreamingWindowSamples) {
        const double t0 = threadCpuMs();
        const auto window =
            ChunkedTranscription::readSamples(recording, committed, ChunkedTranscription::kStreamingWindowSamples);
        const double t1 = threadCpuMs();
        const auto cut = ChunkPlanner::firstCut(*window, {}, policy);
        const double t2 = threadCpuMs();
        readMs.push_back(t1 - t0);
        planMs.push_back(t2 - t1);
        committed += cut->upper;
    }
    const double restStart = threadCpuMs();
    const auto rest = ChunkedTranscription::readSamples(recording, committed, total - committed);
    const auto restPlan = ChunkPlanner::plan(*rest, {}, policy);
    const double restMs = threadCpuMs() - restStart;
    std::sort(planMs.begin(), planMs.end());
    double planSum = 0, readSum = 0;
    for (double v : planMs)
        planSum += v;
    for (double v : readMs)
        readSum += v;
    std::printf("planning: %zu streamed chunks; first cut per chunk mean %.3f ms, median %.3f ms, max %.3f ms "
                "(aim < 2 ms); window read mean %.3f ms; rest (%lld samples, %zu chunks) read+planned in %.3f ms\n",
                planMs.size(), planSum / double(planMs.size()), planMs[planMs.size() / 2], planMs.back(),
                readSum / double(readMs.size()), (long long)(total - committed), restPlan.size(), restMs);

    // 2. The whole run through the client and the stand-in: once with a stand-in that answers
    // at once, once with one that takes 1/200 of the audio's duration, as a fast engine would.
    bool complete = true;
    for (const double factor : {0.0, 0.005}) {
        test::writeModel(model, factor);
        complete = runWhole(recording, model, total, factor) && complete;
    }
    return complete ? 0 : 1;
}
