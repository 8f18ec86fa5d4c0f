// Start-up and quit of the program. Cold start to the window shown (the launch line, written on
// the first event-loop turn after the window is shown) and the memory of an idle program,
// against a minimal Qt Widgets program with one window started the same way in the same run;
// and the quit sequence with a loaded stand-in language model, from Quit to the server gone.
//   bench_app [runs]   (runs under Xvfb when it is installed, else offscreen)

#include "app/applifetime.h"
#include "app/appservices.h"
#include "core/defaults.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

using namespace velmora;

namespace {

struct Sample {
    double startMs = 0;
    double rssMiB = 0;
    double pssMiB = 0;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A kilobyte field of /proc/<pid>/<file>, in MiB.
double procField(qint64 pid, const char *file, const char *field) {
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// Runs the program in a fresh home until its launch line, then idles it and reads its memory.
Sample measure(const QString &program, const QProcessEnvironment &base) {
    QTemporaryDir home;
    QProcessEnvironment env = base;
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    QDir().mkpath(home.path() + QStringLiteral("/run"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path() + QStringLiteral("/run"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    QByteArray out;
    while (!out.contains("Launched") && process.waitForReadyRead(30000))
        out += process.readAll();
    Sample s;
    s.startMs = double(clock.nsecsElapsed()) / 1e6;
    // Idle: the Library has opened, nothing else runs.
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 2000)
        process.waitForReadyRead(100);
    s.rssMiB = procField(process.processId(), "status", "VmRSS:");
    s.pssMiB = procField(process.processId(), "smaps_rollup", "Pss:");
    ::kill(pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(20000))
        process.kill();
    return s;
}

QProcess *startXvfb(QString &display) {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        return nullptr;
    auto *p = new QProcess;
    p->start(xvfb,
             {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
              QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1600x1000x24")});
    QByteArray out;
    while (!out.contains('\n') && p->waitForReadyRead(10000))
        out += p->readAllStandardOutput();
    display = QStringLiteral(":") + QString::fromLatin1(out.trimmed());
    return p;
}

// The quit sequence with the stand-in language model loaded: from the request to the
// confirmation, the server process gone.
double quitWithLoadedModel(const QString &helpers) {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    Defaults defaults{QString()};
    AppServices::Options options;
    options.libraryRoot = home.path() + QStringLiteral("/data/com.velmora.app");
    options.llmServerPath = helpers + QStringLiteral("/llm-helper");
    options.speechHelperPath = helpers + QStringLiteral("/velmora-speech-helper");
    options.preferredLanguages = [] { return QStringList{QStringLiteral("en")}; };
    AppServices services(defaults, AppPlatform::fakes(), options);
    const QString model = home.path() + QStringLiteral("/model.gguf");
    QFile(model).open(QIODevice::WriteOnly);
    bool loaded = false;
    auto load = [&]() -> QCoro::Task<> {
        co_await services.llm().server().start(model, model);
        loaded = true;
    };
    auto loading = load();
    while (!loaded)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    AppLifetime lifetime(services.lifetime(), defaults);
    bool confirmed = false;
    QObject::connect(&lifetime, &AppLifetime::quitConfirmed, [&] { confirmed = true; });
    QElapsedTimer clock;
    clock.start();
    lifetime.requestQuit();
    while (!confirmed)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString dir = QCoreApplication::applicationDirPath();
    const QString helpers = QStringLiteral(VELMORA_HELPERS_DIR);
    const QString velmora = helpers + QStringLiteral("/velmora");
    const QString reference = dir + QStringLiteral("/bench_minimal_window");

    QString display;
    std::unique_ptr<QProcess> xvfb(startXvfb(display));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (xvfb) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), display);
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    std::printf("platform: %s, %d runs each, alternating, medians\n", xvfb ? "Xvfb (xcb)" : "offscreen", runs);

    std::vector<double> vStart, vRss, vPss, rStart, rRss, rPss;
    // A first run of each warms the file cache, as a second launch by a user would find it.
    measure(reference, env);
    measure(velmora, env);
    for (int i = 0; i < runs; ++i) {
        const Sample r = measure(reference, env);
        const Sample v = measure(velmora, env);
        rStart.push_back(r.startMs);
        rRss.push_back(r.rssMiB);
        rPss.push_back(r.pssMiB);
        vStart.push_back(v.startMs);
        vRss.push_back(v.rssMiB);
        vPss.push_back(v.pssMiB);
    }
    std::printf("%-28s %12s %12s %8s\n", "", "Velmora", "reference", "ratio");
    std::printf("%-28s %9.1f ms %9.1f ms %7.2fx  (aim: within 2x)\n", "start to window shown", median(vStart),
                median(rStart), median(vStart) / median(rStart));
    std::printf("%-28s %8.1f MiB %8.1f MiB %7.2fx  (aim: within 3x)\n", "idle memory (RSS)", median(vRss), median(rRss),
                median(vRss) / median(rRss));
    std::printf("%-28s %8.1f MiB %8.1f MiB %7.2fx\n", "idle memory (PSS)", median(vPss), median(rPss),
                median(vPss) / median(rPss));

    std::vector<double> quits;
    for (int i = 0; i < runs; ++i)
        quits.push_back(quitWithLoadedModel(helpers));
    std::printf("%-28s %9.1f ms  (loaded stand-in language model, in process)\n", "quit to server gone", median(quits));
    if (xvfb) {
        xvfb->terminate();
        xvfb->waitForFinished(5000);
    }
    return 0;
}
