// The time a dictation takes from the second key press (stop) to the paste chord, with the
// stand-in speech helper and the stand-in writing model answering at once, the delivery on fake
// platform layers (the focused program reads the paste at once) and a real Library. Beside each
// run, in the same process, the reference: the same transcription asked of the helper directly
// plus the same cleanup request asked of the model directly. What Velmora adds is the run's time
// minus its reference; the delivery has no fixed wait before the chord when no modifier is held.
//
//   bench_dictation_run [runs]     (default 50)

#include "dictation/dictationcoordinator.h"
#include "dictation/dictationdelivery.h"
#include "dictation/dictationsounds.h"
#include "dictation/systemaudiomute.h"
#include "dictation/transcriptcleanup.h"

#include "core/defaults.h"
#include "library/library.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "llm/standinserver.h"
#include "platform/accessibilitytrust.h"
#include "platform/audiooutputcontrol.h"
#include "platform/clipboard.h"
#include "platform/keyboardstate.h"
#include "platform/keysender.h"
#include "platform/soundplayer.h"
#include "speech/fakespeechcapturesource.h"
#include "speech/recordersetup.h"
#include "speech/recordingaudioarchive.h"
#include "speech/recordinghistory.h"
#include "speech/speechcapture.h"
#include "speech/speechhelperclient.h"
#include "speech/speechrecorder.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
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

template <typename T>
T finish(QCoro::Task<T> task) {
    std::optional<T> result;
    auto driver = [](QCoro::Task<T> t, std::optional<T> *out) -> QCoro::Task<> { out->emplace(co_await std::move(t)); };
    auto running = driver(std::move(task), &result);
    waitFor([&] { return result.has_value(); });
    return std::move(*result);
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Summary {
    double median = 0, worst = 0;
};
Summary summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty())
        return {};
    return {values[values.size() / 2], values.back()};
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    QString helpers = qEnvironmentVariable("VELMORA_HELPERS_DIR");
    if (helpers.isEmpty())
        helpers = QStringLiteral(VELMORA_HELPERS_DIR);

    QTemporaryDir home;
    const QString speechModel = home.filePath(QStringLiteral("speech.model"));
    writeFile(speechModel, QJsonDocument(QJsonObject{{"text", "hello there"}}).toJson());
    const test::StandIn writer(QJsonObject{{"reply", "Hello there."}}, test::StandIn::Recording::Off);

    auto library = Library::open(home.filePath(QStringLiteral("Library")));
    auto history = std::make_shared<RecordingHistory<DictationMeasurements>>(QStringLiteral("dictation"), library,
                                                                             &RecordingAudioArchive::convert);
    FakeSpeechCaptureSource source;
    const QByteArray signal = test::speakInBursts(source);
    SpeechCapture capture(home.filePath(QStringLiteral("capture")), source);
    SpeechHelperClient helper(helpers + QLatin1Char('/') + QLatin1String(SpeechHelperClient::kExecutableName));
    // Cues of no length and an output without a sound server: the run's own time only.
    FakeSoundPlayer player;
    player.duration = 0;
    DictationSounds sounds(player);
    FakeAudioOutputControl output;
    Defaults defaults{QString()};
    SystemAudioMute muter(output, defaults);
    SpeechRecorder recorder(test::recorderDependencies(capture, helper, sounds, muter,
                                                       [&](bool) { return std::optional<QString>(speechModel); }));

    LLMServerTimings serverTimings;
    serverTimings.loadTimeout = std::chrono::seconds(30);
    LLMServer server(helpers + QLatin1Char('/') + QLatin1String(LLMServer::kExecutableName), serverTimings);
    const std::unique_ptr<LLMRuntime> owned = test::standInRuntime(server, writer, [] { return true; });
    LLMRuntime &runtime = *owned;

    FakeClipboard board;
    board.setForeign({{QStringLiteral("text/plain"), "earlier"}});
    FakeKeyboardState keyboard;
    FakeAccessibilityTrust trust;
    trust.trusted = true;
    FakeKeySender keys;
    std::optional<Clock::time_point> chordAt;
    keys.onPress = [&] {
        chordAt = Clock::now();
        board.paste();
    };
    DictationDelivery::Dependencies deliveryDeps;
    deliveryDeps.board = &board;
    deliveryDeps.keyboard = &keyboard;
    deliveryDeps.trust = &trust;
    deliveryDeps.keys = &keys;
    DictationDelivery delivery(deliveryDeps);

    DictationCoordinator::Dependencies deps;
    deps.recorder = &recorder;
    deps.delivery = &delivery;
    deps.llm = &runtime;
    deps.cleanupReady = [] { return true; };
    deps.cleanupContext = [] { return CleanupContext{}; };
    DictationCoordinator dictation(std::move(deps));
    dictation.attach(history, library->status());
    bool active = false;
    QObject::connect(&dictation, &DictationCoordinator::activeChanged, [&](bool value) { active = value; });

    // The reference's sample file: the same signal the capture records.
    const QString samples = home.filePath(QStringLiteral("reference.f32"));
    {
        QByteArray bytes;
        while (bytes.size() < 16000 * 4)
            bytes += signal;
        writeFile(samples, bytes.left(16000 * 4));
    }
    const LLMChatRequest request = TranscriptCleanup::request(QStringLiteral("hello there"), {});

    std::vector<double> totals, references, added;
    for (int i = 0; i <= runs; ++i) {
        dictation.toggle();
        if (!waitFor([&] { return dictation.state() == DictationCoordinator::State::Recording; }) ||
            !source.deliver(16000) || !waitFor([&] { return !recorder.isModelLoading(); })) {
            std::fprintf(stderr, "the recording did not start\n");
            return 1;
        }
        chordAt.reset();
        const auto pressed = Clock::now();
        dictation.toggle();
        if (!waitFor([&] { return chordAt.has_value(); }) ||
            !waitFor([&] { return !active && !recorder.isCleaningUp(); })) {
            std::fprintf(stderr, "run %d sent no paste chord\n", i);
            return 1;
        }
        const double total = ms(*chordAt - pressed);

        const auto referenceStart = Clock::now();
        finish(helper.transcribe(samples, 0, 16000, QStringLiteral("en"), QUuid::createUuid()));
        finish(runtime.complete(request));
        const double reference = ms(Clock::now() - referenceStart);
        if (i == 0)
            continue; // the first run loads both models
        totals.push_back(total);
        references.push_back(reference);
        added.push_back(total - reference);
    }

    const Summary t = summarise(totals), r = summarise(references), a = summarise(added);
    std::printf("dictation run, second key press to paste chord, %d runs (first run with model loads left out)\n",
                runs);
    std::printf("  run:        median %7.2f ms   worst %7.2f ms\n", t.median, t.worst);
    std::printf("  reference:  median %7.2f ms   worst %7.2f ms   (helper transcription + model completion, direct)\n",
                r.median, r.worst);
    std::printf("  added:      median %7.2f ms   worst %7.2f ms   (run minus its reference; aim < 30 ms)\n", a.median,
                a.worst);

    finish([](SpeechRecorder *r, DictationCoordinator *d) -> QCoro::Task<bool> {
        co_await r->prepareToQuit(d);
        co_return true;
    }(&recorder, &dictation));
    finish([](LLMRuntime *r) -> QCoro::Task<bool> {
        co_await r->prepareToQuit();
        co_return true;
    }(&runtime));
    return 0;
}
