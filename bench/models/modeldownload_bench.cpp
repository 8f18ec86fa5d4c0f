// Prints how long verifying and downloading a 1 GiB model file take, next to the same work
// done by `openssl dgst -sha256` and by `curl` followed by `openssl dgst`, in the same run.
//
//   models_bench [size in MiB, default 1024]
//
// The files go to a fresh folder in /tmp and are deleted at the end.

#include "models/modeldownload.h"
#include "models/modelmanifest.h"
#include "rangeserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void writeRandomFile(const QString &path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    std::mt19937_64 random(42);
    std::vector<quint64> block(1 << 17); // 1 MiB
    for (qint64 left = size; left > 0;) {
        for (auto &w : block)
            w = random();
        const qint64 n = std::min<qint64>(left, qint64(block.size() * 8));
        file.write(reinterpret_cast<const char *>(block.data()), n);
        left -= n;
    }
}

// Runs a command line and returns its wall time; aborts when it fails.
double timeCommand(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto start = Clock::now();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        qFatal("%s failed", qPrintable(program));
    return secondsSince(start);
}

template <typename T>
void runTask(QCoro::Task<T> task) {
    QEventLoop loop;
    bool done = false;
    std::exception_ptr error;
    auto driver = [](QCoro::Task<T> t, QEventLoop *loop, bool *done, std::exception_ptr *error) -> QCoro::Task<> {
        try {
            co_await std::move(t);
        } catch (...) {
            *error = std::current_exception();
        }
        *done = true;
        loop->quit();
    };
    auto running = driver(std::move(task), &loop, &done, &error);
    if (!done)
        loop.exec();
    if (error)
        std::rethrow_exception(error);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 1024;
    const qint64 size = mib << 20;

    QTemporaryDir dir(QStringLiteral("/tmp/velmora-models-bench-XXXXXX"));
    if (!dir.isValid())
        qFatal("no temporary folder");
    const QString source = dir.filePath(QStringLiteral("model.bin"));
    std::printf("Preparing a %lld MiB file in %s\n", mib, qPrintable(dir.path()));
    writeRandomFile(source, size);
    const QString sha = sha256OfFile(source); // also brings the file into the page cache

    // --- verification -------------------------------------------------------------------
    const ModelManifest manifest{QUrl(), QStringLiteral("model.bin"), size, sha};
    std::vector<double> ours, openssl;
    for (int round = 0; round < 3; ++round) {
        auto start = Clock::now();
        manifest.verify(source);
        ours.push_back(secondsSince(start));
        openssl.push_back(
            timeCommand(QStringLiteral("openssl"), {QStringLiteral("dgst"), QStringLiteral("-sha256"), source}));
    }
    const double verifyOurs = median(ours), verifyOpenssl = median(openssl);
    std::printf("verify (median of 3):   Velmora %.3f s (%.0f MiB/s)   openssl dgst %.3f s   ratio %.2fx\n", verifyOurs,
                double(mib) / verifyOurs, verifyOpenssl, verifyOurs / verifyOpenssl);

    // --- download -----------------------------------------------------------------------
    test::RangeServer server(source);
    ModelDownload download;
    download.manifest = manifest;
    download.manifest.url = server.url();
    download.folder = dir.filePath(QStringLiteral("Models/Bench"));
    download.availableSpace = [](const QString &) { return std::optional<qint64>(); };
    auto start = Clock::now();
    double partsDone = 0;
    download.verifying = [&] { partsDone = secondsSince(start); };
    runTask(download.run());
    const double downloadOurs = secondsSince(start);
    std::printf("  parts on disk after %.3f s; join, fsync and verify %.3f s\n", partsDone, downloadOurs - partsDone);
    QFile::remove(download.finalPath());

    const QString copy = dir.filePath(QStringLiteral("curl.bin"));
    start = Clock::now();
    timeCommand(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), copy, server.url().toString()});
    timeCommand(QStringLiteral("openssl"), {QStringLiteral("dgst"), QStringLiteral("-sha256"), copy});
    const double downloadCurl = secondsSince(start);
    std::printf("download (64 MiB parts, join, fsync, verify): Velmora %.3f s   curl + openssl dgst %.3f s   "
                "ratio %.2fx\n",
                downloadOurs, downloadCurl, downloadOurs / downloadCurl);
    dir.remove();
    return 0;
}
