// Converts one minute of 48 kHz stereo float input into a 16 kHz mono sample file with the
// capture's writer, in 10 ms device buffers, and converts the same samples with sox in the
// same run. Prints the CPU time of each and their ratio.
#include "speech/fakespeechcapturesource.h"
#include "speech/speechpcmwriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;

namespace {

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double seconds(const timeval &tv) {
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

// Runs sox and returns its user plus system CPU time, or a negative value when it failed.
double soxCpuSeconds(const QString &sox, const QString &input, const QString &output) {
    const QByteArray program = QFile::encodeName(sox);
    const QByteArray in = QFile::encodeName(input);
    const QByteArray out = QFile::encodeName(output);
    const pid_t pid = fork();
    if (pid == 0) {
        execl(program.constData(), "sox", "-q", "-t", "raw", "-r", "48000", "-e", "floating-point", "-b", "32", "-c",
              "2", "-L", in.constData(), "-t", "raw", "-r", "16000", "-e", "floating-point", "-b", "32", "-c", "1",
              "-L", out.constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const SpeechAudioFormat format{48000, 2, SpeechSampleFormat::Float32, true};
    const qint64 frames = 60LL * format.sampleRate;
    const QByteArray signal = FakeSpeechCaptureSource::tone(format, 440.0, 0.5, frames);
    const qint64 perBuffer = format.sampleRate / 100;
    const qint64 frameBytes = qint64(format.channelCount) * format.bytesPerSample();

    double best = 1e9;
    qint64 samples = 0;
    for (int round = 0; round < 3; ++round) {
        const double begin = threadCpuSeconds();
        SpeechPCMWriter writer(dir.filePath(QStringLiteral("ours.f32")));
        for (qint64 start = 0; start < frames; start += perBuffer) {
            const qint64 count = std::min(perBuffer, frames - start);
            writer.append({format, count, signal.mid(start * frameBytes, count * frameBytes)});
        }
        samples = writer.finish().samples;
        best = std::min(best, threadCpuSeconds() - begin);
    }
    std::printf("writer: %.1f ms CPU for 60 s of 48 kHz stereo -> %lld samples at 16 kHz mono\n", best * 1000,
                static_cast<long long>(samples));

    const QString sox = QStandardPaths::findExecutable(QStringLiteral("sox"));
    if (sox.isEmpty()) {
        std::printf("sox: not installed\n");
        return 0;
    }
    QFile input(dir.filePath(QStringLiteral("input.raw")));
    if (!input.open(QIODevice::WriteOnly) || input.write(signal) != signal.size())
        return 1;
    input.close();
    double soxBest = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double cpu = soxCpuSeconds(sox, input.fileName(), dir.filePath(QStringLiteral("sox.f32")));
        if (cpu < 0) {
            std::printf("sox: failed\n");
            return 1;
        }
        soxBest = std::min(soxBest, cpu);
    }
    std::printf("sox:    %.1f ms CPU (%lld samples)\n", soxBest * 1000,
                static_cast<long long>(QFile(dir.filePath(QStringLiteral("sox.f32"))).size() / 4));
    std::printf("ratio:  %.2fx sox\n", best / soxBest);
    return 0;
}
