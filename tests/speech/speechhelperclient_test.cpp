#include "speech/speechhelperclient.h"

#include "core/defaults.h"
#include "core/log.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>

using namespace velmora;
using namespace std::chrono_literals;
using Kind = SpeechHelperError::Kind;

namespace {

const QUuid kLoadId = QUuid::fromString(QStringLiteral("{11111111-2222-3333-4444-555555555555}"));
const QUuid kChunkId = QUuid::fromString(QStringLiteral("{aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee}"));
const QString kChunkIdText = QStringLiteral("AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE");

// Sets an environment variable for one test.
class EnvGuard {
public:
    EnvGuard(const char *name, const QByteArray &value) : m_name(name) { qputenv(name, value); }
    ~EnvGuard() { qunsetenv(m_name); }

private:
    const char *m_name;
};

QJsonObject reply(const QString &type) {
    return QJsonObject{{"v", 1}, {"type", type}, {"id", "$id"}};
}
QJsonObject act(const char *key, const QJsonValue &value) {
    return QJsonObject{{key, value}};
}

class SpeechHelperClientTest : public ::testing::Test {
protected:
    test::TempHome home;
    QString requestLog = home.path() + QStringLiteral("/requests.log");
    QString audio = home.path() + QStringLiteral("/audio.f32");
    int failures = 0;

    void SetUp() override {
        // Two words: "w20" at 0.1 s and "w45" at 0.5 s, in one second of audio.
        std::vector<float> samples(16000, 0.0f);
        std::fill(samples.begin() + 1600, samples.begin() + 3200, 0.020f);
        std::fill(samples.begin() + 8000, samples.begin() + 9600, -0.045f);
        test::writeFile(audio,
                        QByteArray(reinterpret_cast<const char *>(samples.data()), qsizetype(samples.size() * 4)));
    }

    // A model file holding the script; every request is logged.
    QString model(QJsonObject script = {}) {
        script.insert(QStringLiteral("requestLog"), requestLog);
        const QString path = home.path() + QStringLiteral("/model-%1.json").arg(++m_models);
        test::writeFile(path, QJsonDocument(script).toJson());
        return path;
    }

    std::unique_ptr<SpeechHelperClient> client(std::chrono::nanoseconds timeout = 20s) {
        auto c = std::make_unique<SpeechHelperClient>(test::helperPath(SpeechHelperClient::kExecutableName), timeout);
        QObject::connect(c.get(), &SpeechHelping::failed, [this] { ++failures; });
        return c;
    }

    QStringList requests() const {
        return QString::fromUtf8(test::readFile(requestLog)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    template <typename T>
    static std::optional<SpeechHelperError> errorOf(QCoro::Task<T> &&task) {
        try {
            test::run(std::move(task));
        } catch (const SpeechHelperError &e) {
            return e;
        }
        return std::nullopt;
    }

    static bool cancelled(QCoro::Task<SpeechTranscription> &&task) {
        try {
            test::run(std::move(task));
        } catch (const CancelledError &) {
            return true;
        }
        return false;
    }

    void loadOrFail(SpeechHelperClient &c, const QString &modelPath) {
        test::run(c.load(modelPath, kLoadId));
        ASSERT_TRUE(c.isLoaded());
    }

private:
    int m_models = 0;
};

bool processGone(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

TEST_F(SpeechHelperClientTest, LoadsOnceAndTranscribesTheAudio) {
    LogCapture capture;
    auto c = client();
    EXPECT_EQ(c->processId(), 0);
    const QString path = model();
    loadOrFail(*c, path);
    EXPECT_GT(c->processId(), 0);
    EXPECT_FALSE(c->isBusy());

    const auto lines = capture.messages(QStringLiteral("speech"));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Speech model loaded in ")) && lines[0].endsWith(" ms"));

    // A second load writes nothing.
    test::run(c->load(path, kLoadId));
    ASSERT_EQ(requests().size(), 1);
    QString escaped = path;
    escaped.replace(QLatin1Char('/'), QStringLiteral("\\/"));
    EXPECT_EQ(requests()[0],
              QStringLiteral(R"({"v":1,"type":"load","id":"11111111-2222-3333-4444-555555555555","path":"%1"})")
                  .arg(escaped));

    const auto all = test::run(c->transcribe(audio, 0, 16000, QStringLiteral("en"), kChunkId));
    EXPECT_EQ(all, (SpeechTranscription{QStringLiteral("w20 w45"), true, 0}));
    const auto tail = test::run(c->transcribe(audio, 4000, 12000, QStringLiteral("en"), kChunkId));
    EXPECT_EQ(tail.text, QStringLiteral("w45"));
    EXPECT_EQ(requests().last(),
              QStringLiteral(R"({"v":1,"type":"transcribe","id":"%1","path":"%2","offset":4000,"samples":12000,)"
                             R"("language":"en"})")
                  .arg(kChunkIdText, QString(audio).replace(QLatin1Char('/'), QStringLiteral("\\/"))));
    EXPECT_TRUE(c->isLoaded());
    EXPECT_EQ(failures, 0);

    const qint64 pid = c->processId();
    test::run(c->terminate());
    EXPECT_EQ(c->processId(), 0);
    EXPECT_TRUE(processGone(pid));
    EXPECT_FALSE(c->isLoaded());
}

TEST_F(SpeechHelperClientTest, RefusesBadRangesBeforeWritingAnything) {
    auto c = client();
    EXPECT_EQ(errorOf(c->transcribe(audio, 0, 100, "en", kChunkId))->kind(), Kind::Unavailable); // no model
    loadOrFail(*c, model());
    LogCapture capture;
    const std::vector<std::pair<qint64, qint64>> bad = {{0, 0}, {0, 2147483648LL}, {-1, 100}, {0, -5}};
    for (const auto &[offset, samples] : bad) {
        const auto error = errorOf(c->transcribe(audio, offset, samples, "en", kChunkId));
        ASSERT_TRUE(error) << offset << " " << samples;
        EXPECT_EQ(error->kind(), Kind::Unavailable);
    }
    EXPECT_EQ(requests().size(), 1); // only the load
    EXPECT_TRUE(c->isLoaded());
    EXPECT_TRUE(capture.messages("speech").isEmpty());
    test::run(c->terminate());
}

TEST_F(SpeechHelperClientTest, FailedLoadsLeaveNoHelperBehind) {
    struct Case {
        const char *name;
        QByteArray startup; // start-up actions, empty for the ordinary "ready"
        QJsonObject script;
        Kind kind;
        qint64 engineStatus;
        bool failureCallback;
        QStringList extraLog; // lines logged before the load failure line
    };
    const QJsonObject loaded = reply("loaded");
    const std::vector<Case> cases = {
        {"error instead of ready", R"([{"reply":{"v":1,"type":"error","status":7}}])", {}, Kind::Engine, 7, false, {}},
        {"error to load", {}, {{"load", QJsonArray{act("reply", reply("error"))}}}, Kind::Engine, -1, false, {}},
        {"error to load with status",
         {},
         {{"load", QJsonArray{QJsonObject{
                       {"reply", QJsonObject{{"v", 1}, {"type", "error"}, {"id", "$id"}, {"status", 12}}}}}}},
         Kind::Engine,
         12,
         false,
         {}},
        {"wrong backend", {}, {{"backend", "CPU0"}}, Kind::ProtocolViolation, 0, false, {}},
        {"no backend", {}, {{"backend", QJsonValue::Null}}, Kind::ProtocolViolation, 0, false, {}},
        {"ready with an id",
         R"([{"reply":{"v":1,"type":"ready","id":"X"}}])",
         {},
         Kind::ProtocolViolation,
         0,
         true,
         {}},
        {"working before ready",
         R"([{"reply":{"v":1,"type":"working"}},{"reply":{"v":1,"type":"ready"}}])",
         {},
         Kind::ProtocolViolation,
         0,
         true,
         {}},
        {"wrong version", R"([{"reply":{"v":2,"type":"ready"}}])", {}, Kind::ProtocolViolation, 0, true, {}},
        {"not json", R"([{"raw":"hello\n"}])", {}, Kind::ProtocolViolation, 0, true, {}},
        {"empty line", R"([{"raw":"\n"}])", {}, Kind::ProtocolViolation, 0, true, {}},
        {"unknown type", {}, {{"load", QJsonArray{act("reply", reply("done"))}}}, Kind::ProtocolViolation, 0, true, {}},
        {"id of another request",
         {},
         {{"load",
           QJsonArray{act("reply", QJsonObject{{"v", 1}, {"type", "loaded"}, {"id", "OTHER"}, {"backend", "MTL0"}})}}},
         Kind::ProtocolViolation,
         0,
         true,
         {}},
        {"exit during load",
         {},
         {{"load", QJsonArray{act("exit", 3)}}},
         Kind::Exited,
         0,
         true,
         {QStringLiteral("Speech helper exited unexpectedly with status 3")}},
        {"exit before ready",
         R"([{"exit":9}])",
         {},
         Kind::Exited,
         0,
         true,
         {QStringLiteral("Speech helper exited unexpectedly with status 9")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        failures = 0;
        std::optional<EnvGuard> env;
        if (!c.startup.isEmpty())
            env.emplace("VELMORA_SPEECH_HELPER_STARTUP", c.startup);
        LogCapture capture;
        auto helper = client();
        const auto error = errorOf(helper->load(model(c.script), kLoadId));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), c.kind);
        if (c.kind == Kind::Engine) {
            EXPECT_EQ(error->engineStatus(), c.engineStatus);
        }
        EXPECT_EQ(failures, c.failureCallback ? 1 : 0);
        EXPECT_FALSE(helper->isLoaded());
        EXPECT_FALSE(helper->isBusy());
        EXPECT_EQ(helper->processId(), 0);
        QStringList expected = c.extraLog;
        expected << QStringLiteral("Speech model load failed: Velmora.SpeechHelperError %1").arg(int(c.kind));
        EXPECT_EQ(capture.messages("speech"), expected);
        for (const QString &line : expected)
            EXPECT_TRUE(capture.contains("speech", LogLevel::Error, line));
    }
}

TEST_F(SpeechHelperClientTest, AHelperThatCannotStartIsUnavailable) {
    LogCapture capture;
    SpeechHelperClient c(home.path() + QStringLiteral("/missing-helper"), 5s);
    QObject::connect(&c, &SpeechHelping::failed, [this] { ++failures; });
    const auto error = errorOf(c.load(model(), kLoadId));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::Unavailable);
    EXPECT_EQ(c.processId(), 0);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(capture.messages("speech"), QStringList{"Speech model load failed: Velmora.SpeechHelperError 1"});
}

TEST_F(SpeechHelperClientTest, ALoadRequestOverTheLimitIsNeverWritten) {
    auto c = client();
    const QString longPath = home.path() + QLatin1Char('/') + QString(70000, QLatin1Char('m'));
    const auto error = errorOf(c->load(longPath, kLoadId));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::ProtocolViolation);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(c->processId(), 0);
}

TEST_F(SpeechHelperClientTest, TranscriptionReplies) {
    struct Case {
        const char *name;
        QJsonArray actions;
        std::optional<SpeechTranscription> result; // none: a protocol violation
        bool failureCallback;
    };
    auto custom = [](QJsonObject members) {
        members.insert("v", 1);
        members.insert("id", "$id");
        return QJsonArray{act("reply", members)};
    };
    const std::vector<Case> cases = {
        {"result", {act("result", true)}, SpeechTranscription{"w20 w45", true, 0}, false},
        {"working first",
         {QJsonObject{{"working", 3}}, act("result", true)},
         SpeechTranscription{"w20 w45", true, 0},
         false},
        {"partial", {act("partial", 3)}, SpeechTranscription{"w20", false, 3}, false},
        {"result without text", custom({{"type", "result"}, {"status", 0}, {"complete", true}}),
         SpeechTranscription{"", true, 0}, false},
        {"extra members",
         custom({{"type", "result"}, {"status", 0}, {"complete", true}, {"text", "hi"}, {"confidence", 0.5}}),
         SpeechTranscription{"hi", true, 0}, false},
        {"error that claims completeness", custom({{"type", "error"}, {"status", 3}, {"complete", true}}), std::nullopt,
         false},
        {"error with status 0", custom({{"type", "error"}, {"status", 0}, {"complete", false}}), std::nullopt, false},
        {"result that is incomplete", custom({{"type", "result"}, {"status", 0}, {"complete", false}}), std::nullopt,
         false},
        {"result without complete", custom({{"type", "result"}, {"status", 0}}), std::nullopt, false},
        {"result without status", custom({{"type", "result"}, {"complete", true}}), std::nullopt, false},
        {"id in other letter case",
         {act("reply",
              QJsonObject{
                  {"v", 1}, {"type", "result"}, {"id", kChunkIdText.toLower()}, {"status", 0}, {"complete", true}})},
         std::nullopt,
         true},
        {"working without id", {act("reply", QJsonObject{{"v", 1}, {"type", "working"}})}, std::nullopt, true},
        {"loaded in place of a result", custom({{"type", "loaded"}, {"backend", "MTL0"}}), std::nullopt, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        failures = 0;
        LogCapture capture;
        auto helper = client();
        loadOrFail(*helper, model({{"transcribeDefault", c.actions}}));
        capture.clear();
        if (c.result) {
            EXPECT_EQ(test::run(helper->transcribe(audio, 0, 16000, "en", kChunkId)), *c.result);
            EXPECT_TRUE(helper->isLoaded());
            const QStringList expected =
                c.result->complete
                    ? QStringList{}
                    : QStringList{QStringLiteral("Transcription incomplete: engine status %1").arg(c.result->status)};
            EXPECT_EQ(capture.messages("speech"), expected);
            test::run(helper->terminate());
        } else {
            const auto error = errorOf(helper->transcribe(audio, 0, 16000, "en", kChunkId));
            ASSERT_TRUE(error);
            EXPECT_EQ(error->kind(), Kind::ProtocolViolation);
            EXPECT_EQ(helper->processId(), 0);
            EXPECT_FALSE(helper->isLoaded());
            EXPECT_TRUE(capture.contains("speech", LogLevel::Error,
                                         QStringLiteral("Transcription failed: Velmora.SpeechHelperError 2")));
        }
        EXPECT_EQ(failures, c.failureCallback ? 1 : 0);
    }
}

TEST_F(SpeechHelperClientTest, LinesAfterTheFinalReplyAreViolations) {
    const QByteArray result = R"({"v":1,"type":"result","id":"$ID","status":0,"complete":true,"text":"one"})";
    const std::vector<QJsonArray> scripts = {
        // Two final replies in one write.
        {act("raw", QString::fromUtf8(result + "\n" + result + "\n").replace("$ID", kChunkIdText))},
        // "working" after the final reply.
        {act("result", true), act("sleepMs", 100), act("reply", reply("working"))},
    };
    for (const auto &actions : scripts) {
        failures = 0;
        auto helper = client();
        loadOrFail(*helper, model({{"transcribeDefault", actions}}));
        const qint64 pid = helper->processId();
        const auto result = test::run(helper->transcribe(audio, 0, 16000, "en", kChunkId));
        EXPECT_TRUE(result.complete);
        // The caller has its result, but the helper is stopped for the stray line.
        EXPECT_TRUE(test::waitUntil([&] { return helper->processId() == 0; }));
        EXPECT_TRUE(processGone(pid));
        EXPECT_EQ(failures, 1);
    }
}

TEST_F(SpeechHelperClientTest, RepliesSplitOverSeveralWritesAreAssembled) {
    auto helper = client();
    loadOrFail(*helper,
               model({{"transcribeDefault",
                       QJsonArray{act("raw", QStringLiteral(R"({"v":1,"type":"wor)")), act("sleepMs", 50),
                                  act("raw", QStringLiteral("king\",\"id\":\"%1\"}\n{\"v\":1,").arg(kChunkIdText)),
                                  act("sleepMs", 50),
                                  act("raw", QStringLiteral("\"type\":\"result\",\"id\":\"%1\",\"status\":0,"
                                                            "\"complete\":true,\"text\":\"split\"}\n")
                                                 .arg(kChunkIdText))}}}));
    EXPECT_EQ(test::run(helper->transcribe(audio, 0, 16000, "en", kChunkId)), (SpeechTranscription{"split", true, 0}));
    EXPECT_EQ(failures, 0);
    test::run(helper->terminate());
}

TEST_F(SpeechHelperClientTest, ReplyLinesUpToTheLimitAreAccepted) {
    const QJsonObject result{{"v", 1}, {"type", "result"}, {"id", "$id"}, {"status", 0}, {"complete", true}};
    struct Case {
        QJsonArray actions;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {{QJsonObject{{"paddedReply", result}, {"length", 1048576}}}, true},
        {{QJsonObject{{"paddedReply", result}, {"length", 1048577}}}, false},
        // 1,048,577 bytes without a line feed are a violation before any line feed comes.
        {{act("fill", 1048577), act("sleepMs", 60000)}, false},
    };
    for (const Case &c : cases) {
        failures = 0;
        auto helper = client(30s);
        loadOrFail(*helper, model({{"transcribeDefault", c.actions}}));
        if (c.accepted) {
            EXPECT_TRUE(test::run(helper->transcribe(audio, 0, 16000, "en", kChunkId)).complete);
            test::run(helper->terminate());
        } else {
            const auto error = errorOf(helper->transcribe(audio, 0, 16000, "en", kChunkId));
            ASSERT_TRUE(error);
            EXPECT_EQ(error->kind(), Kind::ProtocolViolation);
            EXPECT_EQ(failures, 1);
            EXPECT_EQ(helper->processId(), 0);
        }
    }
}

TEST_F(SpeechHelperClientTest, AnUnterminatedLineAtTheLimitKeepsWaiting) {
    // The bytes of a reply of exactly the limit arrive, then its line feed after a pause.
    const QJsonObject result{{"v", 1}, {"type", "result"}, {"id", kChunkIdText}, {"status", 0}, {"complete", true}};
    QJsonObject padded = result;
    padded.insert("pad", QString());
    const qsizetype base = QJsonDocument(padded).toJson(QJsonDocument::Compact).size();
    padded.insert("pad", QString(1048576 - base, QLatin1Char('x')));
    const QString line = QString::fromUtf8(QJsonDocument(padded).toJson(QJsonDocument::Compact));
    ASSERT_EQ(line.size(), 1048576);
    auto helper = client();
    loadOrFail(*helper,
               model({{"transcribeDefault", QJsonArray{act("raw", line), act("sleepMs", 300), act("raw", "\n")}}}));
    EXPECT_TRUE(test::run(helper->transcribe(audio, 0, 16000, "en", kChunkId)).complete);
    EXPECT_EQ(failures, 0);
    test::run(helper->terminate());
}

TEST_F(SpeechHelperClientTest, DeadlinesStopSilentAndMerelyWorkingHelpers) {
    const std::vector<QJsonArray> scripts = {
        {act("sleepMs", 60000)},
        {QJsonObject{{"working", 1000}, {"everyMs", 20}}, act("result", true)},
        {act("working", 1000000000)}, // as fast as it can write: the client must stay responsive
    };
    for (const auto &actions : scripts) {
        failures = 0;
        LogCapture capture;
        auto helper = client();
        loadOrFail(*helper, model({{"transcribeDefault", actions}}));
        helper->setTimeout(400ms);
        const auto error = errorOf(helper->transcribe(audio, 0, 16000, "en", kChunkId));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), Kind::TimedOut);
        EXPECT_EQ(failures, 1);
        EXPECT_EQ(helper->processId(), 0);
        const QStringList expected = {"Speech helper timed out", "Transcription failed: Velmora.SpeechHelperError 5"};
        EXPECT_EQ(capture.messages("speech").mid(1), expected); // after the load line
    }
    // A helper that never becomes ready.
    EnvGuard env("VELMORA_SPEECH_HELPER_STARTUP", R"([{"sleepMs":60000}])");
    LogCapture capture;
    auto helper = client(300ms);
    EXPECT_EQ(errorOf(helper->load(model(), kLoadId))->kind(), Kind::TimedOut);
    EXPECT_EQ(capture.messages("speech"),
              (QStringList{"Speech helper timed out", "Speech model load failed: Velmora.SpeechHelperError 5"}));
}

TEST_F(SpeechHelperClientTest, AnEarlierDeadlineNeverFailsALaterRequest) {
    auto helper = client();
    loadOrFail(*helper, model({{"transcribeDefault", QJsonArray{act("sleepMs", 1200), act("result", true)}}}));
    helper->setTimeout(2000ms);
    // Together the two requests outlast one deadline; each alone does not.
    EXPECT_TRUE(test::run(helper->transcribe(audio, 0, 16000, "en", kChunkId)).complete);
    EXPECT_TRUE(test::run(helper->transcribe(audio, 0, 16000, "en", kChunkId)).complete);
    EXPECT_EQ(failures, 0);
    test::run(helper->terminate());
}

TEST_F(SpeechHelperClientTest, CrashesAreNoticed) {
    // While a request waits.
    {
        LogCapture capture;
        auto helper = client();
        loadOrFail(*helper, model({{"transcribeDefault", QJsonArray{act("working", 1), act("exit", 139)}}}));
        const auto error = errorOf(helper->transcribe(audio, 0, 16000, "en", kChunkId));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), Kind::Exited);
        EXPECT_EQ(failures, 1);
        EXPECT_EQ(capture.messages("speech").mid(1),
                  (QStringList{"Speech helper exited unexpectedly with status 139",
                               "Transcription failed: Velmora.SpeechHelperError 3"}));
    }
    // While idle and loaded: the result is delivered, then the exit is noticed once.
    {
        failures = 0;
        LogCapture capture;
        auto helper = client();
        loadOrFail(*helper, model({{"transcribeDefault", QJsonArray{act("result", true), act("exit", 4)}}}));
        EXPECT_TRUE(test::run(helper->transcribe(audio, 0, 16000, "en", kChunkId)).complete);
        // The exit is reported behind the answer, on a later turn than the one that handled it.
        EXPECT_TRUE(test::waitUntil([&] { return failures > 0; }));
        EXPECT_FALSE(helper->isLoaded());
        EXPECT_EQ(helper->processId(), 0);
        EXPECT_EQ(failures, 1);
        EXPECT_EQ(capture.messages("speech").mid(1), QStringList{"Speech helper exited unexpectedly with status 4"});
        // Nothing runs any more: a transcription is refused, a new load starts a new helper.
        EXPECT_EQ(errorOf(helper->transcribe(audio, 0, 16000, "en", kChunkId))->kind(), Kind::Unavailable);
        loadOrFail(*helper, model());
        test::run(helper->terminate());
    }
}

TEST_F(SpeechHelperClientTest, ConcurrentOperationsAreBusy) {
    auto helper = client();
    loadOrFail(*helper, model({{"transcribeDefault", QJsonArray{act("sleepMs", 300), act("result", true)}}}));
    auto first = helper->transcribe(audio, 0, 16000, "en", kChunkId);
    EXPECT_TRUE(helper->isBusy());
    // A load meanwhile is refused and leaves the helper alone.
    EXPECT_EQ(errorOf(helper->load(model(), kLoadId))->kind(), Kind::Busy);
    EXPECT_TRUE(test::run(std::move(first)).complete);
    EXPECT_TRUE(helper->isLoaded());

    // A second transcription is refused the same way: the helper and the first request go on.
    LogCapture capture;
    const qint64 pid = helper->processId();
    auto going = helper->transcribe(audio, 0, 16000, "en", kChunkId);
    EXPECT_EQ(errorOf(helper->transcribe(audio, 0, 16000, "en", kChunkId))->kind(), Kind::Busy);
    EXPECT_EQ(test::run(std::move(going)), (SpeechTranscription{QStringLiteral("w20 w45"), true, 0}));
    EXPECT_EQ(helper->processId(), pid);
    EXPECT_TRUE(helper->isLoaded());
    EXPECT_TRUE(capture.messages("speech").isEmpty());
    EXPECT_EQ(failures, 0);
    test::run(helper->terminate());
}

// A helper that answers and exits at once (as one does when it is stopped or crashes right
// after answering): the answer reaches its caller before the exit is reported. The test lets
// the helper be gone before the client reads anything, so both arrive together.
TEST_F(SpeechHelperClientTest, AnAnswerReadBeforeTheExitReachesItsCallerFirst) {
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        auto helper = client();
        loadOrFail(*helper, model({{"transcribeDefault", QJsonArray{act("result", true), act("exit", 0)}}}));
        std::optional<SpeechTranscription> answer;
        std::vector<bool> answeredAtFailure;
        QObject::connect(helper.get(), &SpeechHelping::failed,
                         [&] { answeredAtFailure.push_back(answer.has_value()); });
        auto asking = [](SpeechHelperClient *c, QString path,
                         std::optional<SpeechTranscription> *out) -> QCoro::Task<> {
            *out = co_await c->transcribe(path, 0, 16000, QStringLiteral("en"), kChunkId);
        };
        const pid_t pid = pid_t(helper->processId());
        auto task = asking(helper.get(), audio, &answer);
        siginfo_t info{};
        ASSERT_EQ(::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT), 0); // gone, not yet reaped
        ASSERT_TRUE(test::waitUntil([&] { return !answeredAtFailure.empty(); }));
        EXPECT_EQ(answeredAtFailure, std::vector<bool>{true});
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->text, QStringLiteral("w20 w45"));
    }
}

TEST_F(SpeechHelperClientTest, TerminateStopsOnceForEveryCaller) {
    auto helper = client();
    test::run(helper->terminate()); // no helper: returns at once
    LogCapture capture;
    loadOrFail(*helper, model({{"transcribeDefault", QJsonArray{act("sleepMs", 60000)}}}));
    const qint64 pid = helper->processId();
    auto pending = helper->transcribe(audio, 0, 16000, "en", kChunkId);
    auto one = helper->terminate();
    auto two = helper->terminate();
    EXPECT_FALSE(helper->isLoaded());
    EXPECT_TRUE(cancelled(std::move(pending)));
    test::run(std::move(one));
    test::run(std::move(two));
    EXPECT_EQ(helper->processId(), 0);
    EXPECT_TRUE(processGone(pid));
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(capture.messages("speech").size(), 1); // only the load line
}

TEST_F(SpeechHelperClientTest, StoppingWhileLoadingCancelsTheLoad) {
    LogCapture capture;
    auto helper = client();
    auto loading = helper->load(model({{"load", QJsonArray{act("sleepMs", 60000)}}}), kLoadId);
    ASSERT_TRUE(test::waitUntil([&] { return requests().size() == 1; })); // the load was written
    const qint64 pid = helper->processId();
    test::run(helper->terminate());
    bool cancelledLoad = false;
    try {
        test::run(std::move(loading));
    } catch (const CancelledError &) {
        cancelledLoad = true;
    }
    EXPECT_TRUE(cancelledLoad);
    EXPECT_TRUE(processGone(pid));
    EXPECT_FALSE(helper->isLoaded());
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(capture.messages("speech").isEmpty());
}

TEST_F(SpeechHelperClientTest, ReadyWithANullIdIsAccepted) {
    EnvGuard env("VELMORA_SPEECH_HELPER_STARTUP", R"([{"reply":{"v":1,"type":"ready","id":null}}])");
    auto helper = client();
    loadOrFail(*helper, model());
    test::run(helper->terminate());
}

TEST_F(SpeechHelperClientTest, AWriteToAHelperThatStoppedReadingFails) {
    LogCapture capture;
    auto helper = client();
    // The helper closes its input and lingers, so the next request meets a closed pipe.
    loadOrFail(
        *helper,
        model({{"load",
                QJsonArray{act("closeInput", true),
                           act("reply", QJsonObject{{"v", 1}, {"type", "loaded"}, {"id", "$id"}, {"backend", "MTL0"}}),
                           act("sleepMs", 60000)}}}));
    capture.clear();
    // Even where SIGPIPE is not ignored, the failed write must not end this process.
    const auto previous = std::signal(SIGPIPE, SIG_DFL);
    const auto error = errorOf(helper->transcribe(audio, 0, 16000, "en", kChunkId));
    std::signal(SIGPIPE, previous);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::Exited);
    EXPECT_EQ(helper->processId(), 0);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(capture.messages("speech"), QStringList{"Transcription failed: Velmora.SpeechHelperError 3"});
}

TEST_F(SpeechHelperClientTest, AHelperThatIgnoresTerminationIsKilled) {
    auto helper = client();
    helper->setKillGrace(200ms);
    // The helper ignores SIGTERM and never reads the end of its input.
    loadOrFail(
        *helper,
        model({{"load",
                QJsonArray{act("ignoreTerm", true),
                           act("reply", QJsonObject{{"v", 1}, {"type", "loaded"}, {"id", "$id"}, {"backend", "MTL0"}}),
                           act("sleepMs", 60000)}}}));
    const qint64 pid = helper->processId();
    test::run(helper->terminate());
    EXPECT_TRUE(processGone(pid));
    EXPECT_EQ(failures, 0);
}

TEST_F(SpeechHelperClientTest, TheHelperProgramIsConfigurable) {
    qputenv("VELMORA_HELPERS_DIR", "/opt/velmora/helpers");
    EXPECT_EQ(SpeechHelperClient::defaultExecutablePath(), "/opt/velmora/helpers/velmora-speech-helper");
    Defaults defaults(QString{});
    EXPECT_EQ(SpeechHelperClient::configuredExecutablePath(defaults), "/opt/velmora/helpers/velmora-speech-helper");
    defaults.setString("speechHelperPath", "/usr/local/bin/engine");
    EXPECT_EQ(SpeechHelperClient::configuredExecutablePath(defaults), "/usr/local/bin/engine");
    defaults.setArguments({"velmora", "-speechHelperPath", "/srv/other-engine"});
    EXPECT_EQ(SpeechHelperClient::configuredExecutablePath(defaults), "/srv/other-engine");
    qputenv("VELMORA_HELPERS_DIR", VELMORA_HELPERS_DIR);
}

// A client dropped while an operation waits on its helper (the recorder's owner going away
// mid-run): the operation ends with CancelledError and touches nothing of the client after.
TEST_F(SpeechHelperClientTest, DroppingTheClientEndsWhatWaitsOnIt) {
    enum class Op { Load, Transcribe };
    struct Case {
        const char *name;
        QByteArray startup; // the helper's actions before it says it is ready
        QJsonObject script;
        Op op;
        int requestsBefore; // requests written once the operation waits
    };
    const std::vector<Case> cases = {
        {"waiting to be ready", R"([{"sleepMs":60000}])", {}, Op::Load, 0},
        {"waiting for the load", {}, {{"load", QJsonArray{act("sleepMs", 60000)}}}, Op::Load, 1},
        {"waiting for a result", {}, {{"transcribeDefault", QJsonArray{act("sleepMs", 60000)}}}, Op::Transcribe, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<EnvGuard> env;
        if (!c.startup.isEmpty())
            env.emplace("VELMORA_SPEECH_HELPER_STARTUP", c.startup);
        QFile::remove(requestLog);
        auto helper = client();
        const QString path = model(c.script);
        QCoro::Task<> waiting = [](SpeechHelperClient *h, QString path, Op op, QString audio) -> QCoro::Task<> {
            if (op == Op::Transcribe) {
                co_await h->load(path, kLoadId);
                co_await h->transcribe(audio, 0, 16000, "en", kChunkId);
            } else {
                co_await h->load(path, kLoadId);
            }
        }(helper.get(), path, c.op, audio);
        if (c.requestsBefore > 0)
            ASSERT_TRUE(test::waitUntil([&] { return requests().size() == c.requestsBefore; }));
        else
            ASSERT_TRUE(test::waitUntil([&] { return helper->processId() > 0; }));
        const qint64 pid = helper->processId();
        helper.reset();
        bool cancelledOperation = false;
        try {
            test::run(std::move(waiting));
        } catch (const CancelledError &) {
            cancelledOperation = true;
        }
        EXPECT_TRUE(cancelledOperation);
        EXPECT_TRUE(test::waitUntil([&] { return processGone(pid); }));
    }
}
