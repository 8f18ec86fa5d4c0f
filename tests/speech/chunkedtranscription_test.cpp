#include "speech/chunkedtranscription.h"
#include "speech/speechhelperclient.h"

#include "support/testsupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <deque>
#include <variant>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

const QUuid kRunId = QUuid::fromString(QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}"));

// Records every request; answers from a queue (by default a complete "c<N>"), optionally holding
// each answer until released.
class FakeHelper : public SpeechHelping {
public:
    struct Call {
        QString file;
        qint64 offset;
        qint64 samples;
        QString language;
        QUuid id;
    };
    std::vector<Call> calls;
    std::deque<std::variant<SpeechTranscription, std::exception_ptr>> answers;
    bool holding = false;
    std::deque<Promise<void>> held;

    bool isLoaded() const override { return true; }
    bool isBusy() const override { return false; }
    QCoro::Task<> load(QString, QUuid) override { co_return; }
    QCoro::Task<> terminate() override { co_return; }

    QCoro::Task<SpeechTranscription> transcribe(QString file, qint64 offset, qint64 samples, QString language,
                                                QUuid id) override {
        calls.push_back({file, offset, samples, language, id});
        const auto number = calls.size();
        if (holding) {
            Promise<void> gate;
            held.push_back(gate);
            co_await gate;
        }
        if (answers.empty())
            co_return SpeechTranscription{QStringLiteral("c%1").arg(number), true, 0};
        auto answer = answers.front();
        answers.pop_front();
        if (auto *error = std::get_if<std::exception_ptr>(&answer))
            std::rethrow_exception(*error);
        co_return std::get<SpeechTranscription>(answer);
    }

    void releaseOne() {
        ASSERT_FALSE(held.empty());
        auto gate = held.front();
        held.pop_front();
        gate.resolve();
    }

    std::vector<std::pair<qint64, qint64>> ranges() const {
        std::vector<std::pair<qint64, qint64>> out;
        for (const Call &c : calls)
            out.emplace_back(c.offset, c.samples);
        return out;
    }
};

QCoro::Task<> readyNow() {
    co_return;
}
QCoro::Task<> loadFailed() {
    throw SpeechHelperError(SpeechHelperError::Kind::Engine, 2);
    co_return;
}

void appendSamples(const QString &path, const std::vector<float> &samples) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(reinterpret_cast<const char *>(samples.data()), qsizetype(samples.size() * sizeof(float)));
}

class ChunkedTranscriptionTest : public ::testing::Test {
protected:
    test::TempHome home;
    QString file = home.path() + QStringLiteral("/recording.f32");
    FakeHelper helper;

    void writeSilence(qint64 samples) { appendSamples(file, std::vector<float>(size_t(samples), 0.0f)); }

    std::shared_ptr<ChunkedTranscription> make(const QString &language = QStringLiteral("en"),
                                               std::function<QCoro::Task<>()> ready = readyNow) {
        return ChunkedTranscription::create(helper, file, language, kRunId, ChunkPolicy::standard(), ready);
    }
};

using Ranges = std::vector<std::pair<qint64, qint64>>;

} // namespace

TEST_F(ChunkedTranscriptionTest, ShortRecordingsAreTranscribedAtTheStop) {
    struct Case {
        qint64 samples;
        Ranges requests;
    };
    const std::vector<Case> cases = {
        {500000, {{0, 500000}}},
        {560000, {{0, 560000}}},
        {700000, {{0, 350400}, {350400, 349600}}}, // planned at quiet points
    };
    for (const Case &c : cases) {
        QFile::remove(file);
        helper.calls.clear();
        writeSilence(c.samples);
        auto run = make();
        for (qint64 at = 0; at <= c.samples; at += 800)
            run->progress(at);
        EXPECT_FALSE(run->isWorkerRunning());
        EXPECT_TRUE(helper.calls.empty());
        const auto result = test::run(run->finish(c.samples));
        EXPECT_EQ(helper.ranges(), c.requests) << c.samples;
        EXPECT_TRUE(result.complete);
        EXPECT_EQ(run->chunkCount(), qsizetype(c.requests.size()));
        for (const auto &call : helper.calls) {
            EXPECT_EQ(call.file, file);
            EXPECT_EQ(call.language, "en");
            EXPECT_EQ(call.id, kRunId);
        }
    }
}

TEST_F(ChunkedTranscriptionTest, TheWorkerStartsAtFiftySecondsOfUntranscribedAudio) {
    writeSilence(800000);
    auto run = make();
    run->progress(799999);
    EXPECT_FALSE(run->isWorkerRunning());
    EXPECT_TRUE(helper.calls.empty());
    run->progress(800000);
    EXPECT_TRUE(test::waitUntil([&] { return !run->isWorkerRunning(); }));
    EXPECT_EQ(helper.ranges(), (Ranges{{0, 480000}}));
    EXPECT_EQ(run->committed(), 480000);
    // A smaller count never lowers what is known to be written.
    run->progress(10);
    EXPECT_EQ(run->written(), 800000);
    // Nothing left beyond what is already committed when the stop comes there.
    const auto result = test::run(run->finish(480000));
    EXPECT_EQ(helper.calls.size(), 1u);
    EXPECT_EQ(result, (ChunkedTranscription::Result{"c1", true}));
}

TEST_F(ChunkedTranscriptionTest, TheStopWaitsForTheWorkerWhichGoesOnWhileFiftySecondsRemain) {
    writeSilence(2000000);
    helper.holding = true;
    auto run = make();
    run->progress(1700000);
    ASSERT_TRUE(test::waitUntil([&] { return helper.held.size() == 1; }));
    bool finished = false;
    ChunkedTranscription::Result result;
    auto finishing = [](std::shared_ptr<ChunkedTranscription> run, ChunkedTranscription::Result *out,
                        bool *finished) -> QCoro::Task<> {
        *out = co_await run->finish(2000000);
        *finished = true;
    }(run, &result, &finished);
    // One request at a time, strictly in order.
    for (int released = 1; released <= 4; ++released) {
        ASSERT_TRUE(test::waitUntil([&] { return helper.held.size() == 1; })) << released;
        EXPECT_EQ(helper.calls.size(), size_t(released));
        helper.releaseOne();
    }
    ASSERT_TRUE(test::waitUntil([&] { return finished; }));
    EXPECT_EQ(helper.ranges(), (Ranges{{0, 480000}, {480000, 480000}, {960000, 480000}, {1440000, 560000}}));
    EXPECT_EQ(result, (ChunkedTranscription::Result{"c1 c2 c3 c4", true}));
}

TEST_F(ChunkedTranscriptionTest, AnIncompleteChunkEndsTheTranscription) {
    writeSilence(1500000);
    helper.answers = {SpeechTranscription{"first", true, 0}, SpeechTranscription{" half ", false, 3}};
    auto run = make();
    const auto result = test::run(run->finish(1500000));
    EXPECT_EQ(helper.calls.size(), 2u); // the plan has three or more chunks
    EXPECT_EQ(result, (ChunkedTranscription::Result{"first half", false}));
    EXPECT_EQ(run->texts(), (QStringList{"first", " half "}));
    EXPECT_TRUE(run->isFailed());
    EXPECT_FALSE(run->isHelperFailed()) << "an incomplete answer is still an answer";
}

TEST_F(ChunkedTranscriptionTest, FailuresKeepTheTextsGatheredSoFar) {
    struct Case {
        const char *name;
        std::function<QCoro::Task<>()> ready;
        std::deque<std::variant<SpeechTranscription, std::exception_ptr>> answers;
        qint64 fileSamples;
        size_t calls;
        ChunkedTranscription::Result result;
        bool helperFailed; // the helper, not the audio, ended it
    };
    const auto fails = std::make_exception_ptr(SpeechHelperError(SpeechHelperError::Kind::TimedOut));
    const std::vector<Case> cases = {
        {"model load failed", loadFailed, {}, 1100000, 0, {"", false}, true},
        {"helper failed on the second chunk",
         readyNow,
         {SpeechTranscription{"one", true, 0}, fails},
         1100000,
         2,
         {"one", false},
         true},
        {"short file at the stop", readyNow, {}, 900000, 0, {"", false}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(file);
        helper.calls.clear();
        helper.answers = c.answers;
        writeSilence(c.fileSamples);
        auto run = make("en", c.ready);
        EXPECT_EQ(test::run(run->finish(1100000)), c.result);
        EXPECT_EQ(helper.calls.size(), c.calls);
        EXPECT_TRUE(run->isFailed());
        EXPECT_EQ(run->isHelperFailed(), c.helperFailed);
    }
}

TEST_F(ChunkedTranscriptionTest, AFailedStreamingReadStopsEverything) {
    writeSilence(100000); // the capture reports more than the file holds
    auto run = make();
    run->progress(800000);
    EXPECT_TRUE(test::waitUntil([&] { return !run->isWorkerRunning(); }));
    EXPECT_TRUE(run->isFailed());
    writeSilence(1000000);
    run->progress(1100000);
    EXPECT_FALSE(run->isWorkerRunning());
    EXPECT_EQ(test::run(run->finish(1100000)), (ChunkedTranscription::Result{"", false}));
    EXPECT_TRUE(helper.calls.empty());
}

TEST_F(ChunkedTranscriptionTest, CancellingKeepsTheAnswerInFlightAndRequestsNoMore) {
    writeSilence(2000000);
    helper.holding = true;
    auto run = make();
    run->progress(2000000);
    ASSERT_TRUE(test::waitUntil([&] { return helper.held.size() == 1; }));
    run->cancel();
    std::weak_ptr<ChunkedTranscription> weak = run;
    run.reset(); // the worker keeps it alive until its request is answered
    ASSERT_FALSE(weak.expired());
    helper.releaseOne();
    ASSERT_TRUE(test::waitUntil([&] { return weak.expired(); }));
    EXPECT_EQ(helper.calls.size(), 1u);
}

TEST_F(ChunkedTranscriptionTest, TextsAreJoinedPerLanguage) {
    const QStringList texts = {" Hello", "", "world ", "\n\t"};
    struct Case {
        const char *language;
        const char *joined;
    };
    for (const Case &c : std::vector<Case>{{"en", "Hello world"},
                                           {"de", "Hello world"},
                                           {"ja", "Helloworld"},
                                           {"zh", "Helloworld"},
                                           {"JA", "Hello world"},
                                           {"zh-Hans", "Hello world"}})
        EXPECT_EQ(ChunkedTranscription::joinTexts(texts, c.language), c.joined) << c.language;

    writeSilence(100000);
    helper.answers = {SpeechTranscription{"   ", true, 0}};
    auto run = make();
    EXPECT_FALSE(run->hasText());
    const auto result = test::run(run->finish(100000));
    EXPECT_TRUE(run->hasText()); // spaces count, although joining drops them
    EXPECT_EQ(result, (ChunkedTranscription::Result{"", true}));
}

TEST_F(ChunkedTranscriptionTest, ReadsExactlyTheAskedSamples) {
    appendSamples(file, {0.5f, -0.25f, 1.0f, 2.0f});
    EXPECT_EQ(ChunkedTranscription::readSamples(file, 1, 2), (std::vector<float>{-0.25f, 1.0f}));
    EXPECT_FALSE(ChunkedTranscription::readSamples(file, 3, 2)); // short
    EXPECT_FALSE(ChunkedTranscription::readSamples(file, 4, 1)); // nothing there
    EXPECT_FALSE(ChunkedTranscription::readSamples(file, -1, 1));
    EXPECT_FALSE(ChunkedTranscription::readSamples(home.path() + "/missing.f32", 0, 1));
}

// The real helper transcribes a recording whose file grows while it is read: the words of every
// burst come back once, in order, whatever the cuts.
TEST(ChunkedTranscriptionWithHelper, AGrowingRecordingGivesTheJoinedText) {
    test::TempHome home;
    const QString file = home.path() + QStringLiteral("/growing.f32");
    const QString modelPath = home.path() + QStringLiteral("/model.json");
    test::writeFile(modelPath, QJsonDocument(QJsonObject{{"requestLog", home.path() + "/requests.log"}}).toJson());

    // 150 s: a 0.4 s burst every 2 s, each with its own level.
    constexpr qint64 total = 150 * 16000;
    std::vector<float> audio(total, 0.0f);
    QStringList words;
    for (int k = 0; k < 75; ++k) {
        const qint64 start = k * 32000 + 8000;
        const float level = float(100 + k * 10) / 1000.0f;
        for (qint64 i = start; i < start + 6400; ++i)
            audio[size_t(i)] = (i % 2 ? level : -level);
        words << QStringLiteral("w%1").arg(100 + k * 10);
    }

    SpeechHelperClient client(test::helperPath(SpeechHelperClient::kExecutableName));
    test::run(client.load(modelPath, kRunId));
    auto run = ChunkedTranscription::create(client, file, "en", kRunId, ChunkPolicy::standard(), readyNow);

    // Append 5 s at a time, reporting progress after each piece, as the capture does; halfway,
    // wait until the helper has answered a chunk, so the rest is written while chunks are read.
    qint64 written = 0;
    qint64 streamed = 0;
    while (written < total) {
        const qint64 piece = std::min<qint64>(80000, total - written);
        appendSamples(file, std::vector<float>(audio.begin() + written, audio.begin() + written + piece));
        written += piece;
        run->progress(written);
        test::spin(2ms);
        if (written == total / 2) {
            ASSERT_TRUE(test::waitUntil([&] { return run->committed() > 0; }));
            streamed = run->committed();
        }
    }
    EXPECT_GE(streamed, ChunkPolicy::standard().softMinSamples);

    const auto result = test::run(run->finish(total));
    EXPECT_EQ(result.text, words.join(' '));
    EXPECT_TRUE(result.complete);
    EXPECT_GT(run->chunkCount(), 4);
    const auto requests = test::readFile(home.path() + "/requests.log").split('\n');
    EXPECT_EQ(requests.size() - 2, run->chunkCount()); // the load line and a trailing empty part
    test::run(client.terminate());
}
