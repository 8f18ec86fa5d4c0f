// Archives a long staged recording and prints time and peak memory, next to the ffmpeg
// command line encoding the same samples to ALAC. Each encoder runs in its own child process
// so each peak is its own.
//
//   bench_recording_archive [minutes...]     (default: 10 60)

#include "speech/recordingaudioarchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Figures {
    double seconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

// Runs work in a child process; the peak is the child's own maximum resident size.
Figures measure(const std::function<int()> &work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0)
        _exit(work());
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Figures f;
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.peakKiB = usage.ru_maxrss;
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return f;
}

// Speech-like material: a few tones with a slow envelope and a little noise.
bool writeStaged(const QString &path, long long samples) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::vector<float> block(16000);
    unsigned noise = 12345;
    for (long long at = 0; at < samples;) {
        const size_t n = size_t(std::min<long long>(samples - at, (long long)block.size()));
        for (size_t i = 0; i < n; ++i) {
            const double t = double(at + (long long)i) / 16000.0;
            noise = noise * 1664525u + 1013904223u;
            const double envelope = 0.5 + 0.5 * std::sin(t * 2.1);
            block[i] = float(envelope * (0.3 * std::sin(t * 2 * M_PI * 220) + 0.1 * std::sin(t * 2 * M_PI * 1330)) +
                             0.01 * (double(noise >> 8) / double(1 << 24) - 0.5));
        }
        if (file.write(reinterpret_cast<const char *>(block.data()), qint64(n * 4)) != qint64(n * 4))
            return false;
        at += (long long)n;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    std::vector<int> minutes;
    for (int i = 1; i < argc; ++i)
        minutes.push_back(std::atoi(argv[i]));
    if (minutes.empty())
        minutes = {10, 60};

    QTemporaryDir dir;
    std::printf("%-8s %-22s %10s %12s %14s\n", "minutes", "encoder", "seconds", "peak MiB", "output MiB");
    for (int m : minutes) {
        const long long samples = (long long)m * 60 * 16000;
        const QString staged = dir.path() + QStringLiteral("/staged-%1.f32").arg(m);
        if (!writeStaged(staged, samples)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(staged));
            return 1;
        }
        const QString ours = dir.path() + QStringLiteral("/ours-%1.m4a").arg(m);
        const QString theirs = dir.path() + QStringLiteral("/ffmpeg-%1.m4a").arg(m);

        const Figures a = measure([&] {
            try {
                return velmora::RecordingAudioArchive::convert(staged, ours) == samples ? 0 : 2;
            } catch (const std::exception &e) {
                std::fprintf(stderr, "convert failed: %s\n", e.what());
                return 1;
            }
        });
        const Figures b = measure([&] {
            const std::string in = QFile::encodeName(staged).toStdString();
            const std::string out = QFile::encodeName(theirs).toStdString();
            execlp("ffmpeg", "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "f32le", "-ar", "16000", "-ac",
                   "1", "-i", in.c_str(), "-c:a", "alac", "-sample_fmt", "s16p", out.c_str(), (char *)nullptr);
            return 127;
        });
        std::printf("%-8d %-22s %10.2f %12.1f %14.1f%s\n", m, "RecordingAudioArchive", a.seconds, a.peakKiB / 1024.0,
                    QFileInfo(ours).size() / 1048576.0, a.ok ? "" : "  FAILED");
        std::printf("%-8d %-22s %10.2f %12.1f %14.1f%s\n", m, "ffmpeg command line", b.seconds, b.peakKiB / 1024.0,
                    QFileInfo(theirs).size() / 1048576.0, b.ok ? "" : "  FAILED");
        if (b.seconds > 0)
            std::printf("%-8d time ratio %.2fx\n", m, a.seconds / b.seconds);
        QFile::remove(staged);
        QFile::remove(ours);
        QFile::remove(theirs);
    }
    return 0;
}
