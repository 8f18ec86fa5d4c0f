// Single-chunk recordings through the recorder (fake capture source, stand-in speech helper, a
// real Library) while busy threads load every core, counting how many kept their transcript:
//   exit       the helper answers the chunk and exits at once, as a stopped or crashed one does
//   same turn  the same, but the helper is gone before the program reads its answer, so the
//              answer and the exit arrive together
//   late exit  the helper answers, lingers 0 to 95 ms and exits, so its exit is often noticed
//              while the next recording starts
//   reference  the helper answers and stays
// Each run's time is from stop() to the run being handed back; the reference shows what the
// helper's restart for every recording costs.
//
//   bench_speech_recorder [recordings] [busy threads]     (defaults 100, one per core)

#include "core/enumname.h"
#include "library/library.h"
#include "speech/fakespeechcapturesource.h"
#include "speech/recordersetup.h"
#include "speech/recordingaudioarchive.h"
#include "speech/recordinghistory.h"
#include "speech/speechcapture.h"
#include "speech/speechhelperclient.h"
#include "speech/speechrecorder.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <vector>

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

bool waitFor(const std::function<bool()> &done, std::chrono::seconds timeout = std::chrono::seconds(60)) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

struct Measurements {
    static constexpr qint64 version = 1;
    std::optional<double> audioSeconds;
    std::optional<qint64> chunks;
    QJsonObject toJson() const {
        QJsonObject o;
        if (audioSeconds)
            o.insert(QStringLiteral("audioSeconds"), *audioSeconds);
        if (chunks)
            o.insert(QStringLiteral("chunks"), *chunks);
        return o;
    }
};
using History = RecordingHistory<Measurements>;

class NoSounds : public DictationSoundPlaying {
public:
    QCoro::Task<> playStart(CancellationToken) override { co_return; }
    double play(bool) override { return 0; }
    void stop() override {}
};

class NoMuting : public SystemAudioMuting {
public:
    void muteOutput() override {}
    void restoreOutput() override {}
};

QCoro::Task<> saveRun(History *history, QUuid id, ActivityEvent::Outcome outcome, std::optional<QString> text,
                      qint64 chunks) {
    try {
        Measurements m;
        m.chunks = chunks;
        QCoro::Task<> saving = history->save(id, outcome, text, m);
        co_await std::move(saving);
    } catch (...) {
    }
}

// Saves what it is handed, as Dictation does, and notes how each run ended.
class Owner : public SpeechRecorderOwner {
public:
    struct Run {
        std::optional<QString> text;
        QString failure;
        bool ended = false;
    };

    Owner(SpeechRecorder &recorder, History &history) : m_recorder(recorder), m_history(history) {}

    void operationWillBegin() override {}
    void operationDidFail(SpeechRecorder::Failure failure) override { runs.back().failure = enumName(failure); }
    QCoro::Task<> transcriptDidArrive(SpeechRecorder::Transcript transcript, QUuid id) override {
        runs.back().text = transcript.text;
        return finish(id, transcript.complete ? ActivityEvent::Outcome::Completed : ActivityEvent::Outcome::Partial,
                      transcript.text, transcript.chunks);
    }
    void operationWillCancel() override {}
    QCoro::Task<> operationDidEnd(QUuid id, ActivityEvent::Outcome outcome) override {
        return finish(id, outcome, std::nullopt, 0);
    }
    void historySaveDidFail() override {}
    void ownershipDidEnd() override {
        runs.back().ended = true;
        if (onEnded)
            onEnded();
    }

    std::vector<Run> runs;
    std::function<void()> onEnded;

private:
    QCoro::Task<> finish(QUuid id, ActivityEvent::Outcome outcome, std::optional<QString> text, qint64 chunks) {
        if (!m_recorder.takeHistory(id))
            return []() -> QCoro::Task<> { co_return; }();
        History *history = &m_history;
        return m_recorder.finishOperation([=] { return saveRun(history, id, outcome, text, chunks); });
    }

    SpeechRecorder &m_recorder;
    History &m_history;
};

struct Figures {
    int kept = 0;
    std::map<QString, int> lost; // how the others ended
    std::vector<double> ms;
};

enum class Mode { Exit, SameTurn, LateExit, Reference };

QJsonObject script(Mode mode, int run) {
    QJsonObject o{{"text", "kept words"}};
    QJsonArray actions{QJsonObject{{"result", true}}};
    if (mode == Mode::LateExit)
        actions.append(QJsonObject{{"sleepMs", 5 * (run % 20)}});
    actions.append(QJsonObject{{"exit", 0}});
    if (mode != Mode::Reference)
        o.insert(QStringLiteral("transcribeDefault"), actions);
    return o;
}

Figures record(Mode mode, int recordings, const QString &helperPath, const QString &home,
               const std::shared_ptr<Library> &library) {
    const QString model = home + QStringLiteral("/speech-%1.model").arg(int(mode));
    writeFile(model, QJsonDocument(script(mode, 0)).toJson());

    History history(QStringLiteral("dictation"), library, &RecordingAudioArchive::convert);
    FakeSpeechCaptureSource source;
    test::speakInBursts(source);
    SpeechCapture capture(home + QStringLiteral("/capture"), source);
    SpeechHelperClient helper(helperPath);
    NoSounds sounds;
    NoMuting muter;
    SpeechRecorder recorder(test::recorderDependencies(capture, helper, sounds, muter,
                                                       [&](bool) { return std::optional<QString>(model); }));
    Owner owner(recorder, history);

    Figures figures;
    auto begin = [&] {
        // The helper reads its script when it starts, which is at this run's load.
        writeFile(model, QJsonDocument(script(mode, int(owner.runs.size()))).toJson());
        owner.runs.emplace_back();
        return recorder.begin(&owner, std::nullopt, false, &history);
    };
    // The next recording starts the moment the last is handed back, as a quick user's key
    // press may: whatever the last run's helper still reports arrives during the next run.
    std::optional<SpeechRecorder::BeginResult> begun;
    owner.onEnded = [&] {
        if (int(owner.runs.size()) < recordings)
            begun = begin();
    };
    auto idle = [&] { return recorder.state() == SpeechRecorder::State::Idle && !recorder.isCleaningUp(); };
    while (int(owner.runs.size()) < recordings || begun) {
        const SpeechRecorder::BeginResult result = begun ? *std::exchange(begun, std::nullopt) : begin();
        const size_t index = owner.runs.size() - 1;
        auto ended = [&] { return owner.runs[index].ended; };
        if (result != SpeechRecorder::BeginResult::Started) {
            ++figures.lost[QStringLiteral("not started")];
            waitFor(idle);
            continue;
        }
        if (!waitFor([&] { return recorder.state() == SpeechRecorder::State::Recording || ended(); }) || ended()) {
            ++figures.lost[QStringLiteral("before recording: ") + owner.runs[index].failure];
            if (!begun)
                waitFor(idle);
            continue;
        }
        source.deliver(24000);
        waitFor([&] { return !recorder.isModelLoading() || ended(); });
        const auto stopped = Clock::now();
        recorder.stop();
        if (mode == Mode::SameTurn && waitFor([&] { return helper.isBusy() || ended(); }) && !ended()) {
            siginfo_t info{};
            ::waitid(P_PID, id_t(helper.processId()), &info, WEXITED | WNOWAIT);
        }
        const bool handedBack = waitFor(ended);
        figures.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - stopped).count());
        const Owner::Run &run = owner.runs[index];
        if (handedBack && run.text == QStringLiteral("kept words"))
            ++figures.kept;
        else
            ++figures.lost[!handedBack ? QStringLiteral("hung")
                           : run.text  ? QStringLiteral("wrong text")
                                       : QStringLiteral("failed: ") + run.failure];
        if (!begun)
            waitFor(idle);
    }
    owner.onEnded = nullptr;
    QCoro::Task<> quitting = recorder.prepareToQuit(&owner);
    bool quit = false;
    QCoro::connect(std::move(quitting), &recorder, [&] { quit = true; });
    waitFor([&] { return quit; });
    return figures;
}

void print(const char *name, const Figures &f, int recordings) {
    std::vector<double> ms = f.ms;
    std::sort(ms.begin(), ms.end());
    const double median = ms.empty() ? 0 : ms[ms.size() / 2];
    const double p95 = ms.empty() ? 0 : ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    const double worst = ms.empty() ? 0 : ms.back();
    std::printf("%-10s kept %3d of %3d   stop to hand-back: median %7.1f ms, 95th %7.1f ms, worst %7.1f ms", name,
                f.kept, recordings, median, p95, worst);
    for (const auto &[why, count] : f.lost)
        std::printf("   [%d %s]", count, qPrintable(why));
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("com.velmora.*=false"));
    const int recordings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const int busy =
        argc > 2 ? std::max(0, std::atoi(argv[2])) : int(std::max(1u, std::thread::hardware_concurrency()));
    QString helpers = qEnvironmentVariable("VELMORA_HELPERS_DIR");
    if (helpers.isEmpty())
        helpers = QStringLiteral(VELMORA_HELPERS_DIR);
    const QString helperPath = helpers + QLatin1Char('/') + QLatin1String(SpeechHelperClient::kExecutableName);

    QTemporaryDir home;
    auto library = Library::open(home.filePath(QStringLiteral("Library")));

    std::atomic<bool> stopLoad{false};
    std::vector<std::thread> load;
    for (int i = 0; i < busy; ++i)
        load.emplace_back([&] {
            volatile unsigned long long spin = 0;
            while (!stopLoad.load(std::memory_order_relaxed))
                spin = spin + 1;
        });
    std::printf("%d single-chunk recordings each, %d busy threads\n", recordings, busy);
    print("exit", record(Mode::Exit, recordings, helperPath, home.path(), library), recordings);
    print("same turn", record(Mode::SameTurn, recordings, helperPath, home.path(), library), recordings);
    print("late exit", record(Mode::LateExit, recordings, helperPath, home.path(), library), recordings);
    print("reference", record(Mode::Reference, recordings, helperPath, home.path(), library), recordings);
    stopLoad = true;
    for (auto &thread : load)
        thread.join();
    return 0;
}
