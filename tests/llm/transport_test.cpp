#include "core/log.h"
#include "llm/llmserver.h"
#include "llmtestsupport.h"

#include <QJsonArray>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

LLMChatRequest ask(const QString &text, bool stream = false) {
    LLMChatRequest r;
    r.messages = {{QStringLiteral("user"), text}};
    r.temperature = 0;
    r.maxTokens = 100;
    r.stream = stream;
    return r;
}

struct Collected {
    QStringList texts;
    std::optional<LLMChatReply> finished;
    int eventsAfterFinished = 0;
    std::exception_ptr error;
};

QCoro::Task<Collected> collect(LLMEventStream stream) {
    Collected c;
    try {
        while (auto event = co_await stream.next()) {
            if (c.finished)
                ++c.eventsAfterFinished;
            if (event->kind == LLMStreamEvent::Kind::Text)
                c.texts.append(event->text);
            else
                c.finished = event->reply;
        }
    } catch (...) {
        c.error = std::current_exception();
    }
    co_return c;
}

class TransportTest : public ::testing::Test {
protected:
    TempHome home;
    LogCapture log;
    std::unique_ptr<StandIn> standIn;
    std::unique_ptr<LLMServer> server;
    qint64 pid = 0;

    void startWith(QJsonObject script, LLMServerTimings timings = fastTimings()) {
        standIn = std::make_unique<StandIn>(std::move(script));
        server = std::make_unique<LLMServer>(helperProgram(), 10s, timings);
        run(server->start(standIn->model(), standIn->draft()));
        ASSERT_TRUE(server->isReady());
        pid = server->processId();
    }

    void TearDown() override {
        if (server) {
            run(server->terminate());
            EXPECT_TRUE(pid == 0 || processGone(pid));
        }
    }
};

} // namespace

TEST_F(TransportTest, PlainRequestCarriesTheBodyInKeyOrderAndReturnsTheReply) {
    startWith({{"reply", "Bonjour le monde"}});
    const LLMChatRequest request = ask(QStringLiteral("Translate: hello world"));
    const LLMChatReply reply = run(server->complete(request));
    EXPECT_EQ(reply.content, QStringLiteral("Bonjour le monde"));
    EXPECT_EQ(reply.finishReason, QStringLiteral("stop"));
    EXPECT_EQ(reply.promptTokens, 3);
    EXPECT_EQ(reply.completionTokens, 3);
    ASSERT_EQ(standIn->requests().size(), 1);
    EXPECT_EQ(standIn->requests().at(0), request.encode());
}

TEST_F(TransportTest, StreamYieldsTextThenOneFinishedReply) {
    startWith({{"tokens", QJsonArray{"Hel", "lo", " there"}}, {"finishReason", "length"}});
    const Collected c = run(collect(server->stream(ask(QStringLiteral("one two")))));
    EXPECT_FALSE(c.error);
    EXPECT_EQ(c.texts, (QStringList{QStringLiteral("Hel"), QStringLiteral("lo"), QStringLiteral(" there")}));
    ASSERT_TRUE(c.finished);
    EXPECT_EQ(*c.finished, (LLMChatReply{QStringLiteral("Hello there"), QStringLiteral("length"), 2, 3}));
    EXPECT_EQ(c.eventsAfterFinished, 0);
    // The streamed form forces stream on and asks for usage.
    ASSERT_EQ(standIn->requests().size(), 1);
    EXPECT_EQ(standIn->requests().at(0), ask(QStringLiteral("one two"), true).encode());
}

TEST_F(TransportTest, StreamEndings) {
    struct Case {
        const char *name;
        QJsonObject script;
        QStringList texts;
        bool finished;
        std::optional<LLMServerError::Kind> error;
    };
    const QJsonArray tokens{"a", "b", "c"};
    const std::vector<Case> cases = {
        {"finish reason without the end marker", {{"tokens", tokens}, {"omitDone", true}}, {"a", "b", "c"}, true, {}},
        {"body cut before any finish reason",
         {{"tokens", tokens}, {"cutAfter", 2}},
         {"a", "b"},
         false,
         LLMServerError::Kind::Exited},
        {"end marker without finish reason",
         {{"tokens", tokens}, {"finishReason", ""}},
         {"a", "b", "c"},
         false,
         LLMServerError::Kind::ProtocolViolation},
        {"malformed line",
         {{"tokens", tokens}, {"injectAfter", 1}},
         {"a"},
         false,
         LLMServerError::Kind::ProtocolViolation},
        {"error line",
         {{"tokens", tokens}, {"injectAfter", 2}, {"injectLine", "error: {\"message\":\"boom\"}"}},
         {"a", "b"},
         false,
         LLMServerError::Kind::ProtocolViolation},
        {"status 500", {{"httpStatus", 500}}, {}, false, LLMServerError::Kind::Http},
        {"wrong key gets 401", {{"apiKey", "not-the-key"}}, {}, false, LLMServerError::Kind::Http},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        startWith(c.script);
        const Collected got = run(collect(server->stream(ask(QStringLiteral("x y")))));
        EXPECT_EQ(got.texts, c.texts);
        EXPECT_EQ(got.finished.has_value(), c.finished);
        const auto error = serverError(got.error);
        EXPECT_EQ(error.has_value(), c.error.has_value());
        if (error && c.error) {
            EXPECT_EQ(error->kind(), *c.error);
        }
        // The server stays usable after a broken reply.
        EXPECT_TRUE(server->isReady());
        TearDown();
        server.reset();
    }
}

TEST_F(TransportTest, HttpStatusesForBothForms) {
    for (const auto &[script, status] : std::vector<std::pair<QJsonObject, int>>{
             {{{"httpStatus", 500}}, 500}, {{{"httpStatus", 503}}, 503}, {{{"apiKey", "other"}}, 401}}) {
        startWith(script);
        const auto plain = serverError(failureOf(server->complete(ask(QStringLiteral("x")))));
        ASSERT_TRUE(plain);
        EXPECT_EQ(*plain, LLMServerError::http(status));
        const auto streamed = serverError(run(collect(server->stream(ask(QStringLiteral("x"))))).error);
        ASSERT_TRUE(streamed);
        EXPECT_EQ(*streamed, LLMServerError::http(status));
        TearDown();
        server.reset();
    }
}

TEST_F(TransportTest, PlainBodiesThatAreNoReplyAreProtocolViolations) {
    for (const char *body : {"{\"choices\":[]}", "not json", "{\"choices\":[{\"message\":{}}]}"}) {
        startWith({{"plainBody", body}});
        const auto error = serverError(failureOf(server->complete(ask(QStringLiteral("x")))));
        ASSERT_TRUE(error) << body;
        EXPECT_EQ(error->kind(), LLMServerError::Kind::ProtocolViolation) << body;
        TearDown();
        server.reset();
    }
}

TEST_F(TransportTest, RequestsToAServerThatIsNotReadyAreUnavailableAndSendNothing) {
    StandIn idle;
    LLMServer notStarted(helperProgram(), 10s, fastTimings());
    const auto plain = serverError(failureOf(notStarted.complete(ask(QStringLiteral("x")))));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->kind(), LLMServerError::Kind::Unavailable);
    const auto streamed = serverError(run(collect(notStarted.stream(ask(QStringLiteral("x"))))).error);
    ASSERT_TRUE(streamed);
    EXPECT_EQ(streamed->kind(), LLMServerError::Kind::Unavailable);
    EXPECT_TRUE(idle.requests().isEmpty());
}

TEST_F(TransportTest, ServerExitMidStreamEndsWithExited) {
    startWith({{"tokens", QJsonArray{"a", "b", "c"}}, {"exitAfter", 2}, {"tokenDelayMs", 20}});
    const Collected c = run(collect(server->stream(ask(QStringLiteral("x")))));
    EXPECT_EQ(c.texts, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    const auto error = serverError(c.error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), LLMServerError::Kind::Exited);
    ASSERT_TRUE(waitUntil([&] { return !server->isReady(); }));
    EXPECT_TRUE(processGone(pid));
    EXPECT_TRUE(log.contains(QStringLiteral("llm"), LogLevel::Error,
                             QStringLiteral("LLM helper exited unexpectedly with status 7")));
}

TEST_F(TransportTest, StoppingTheIterationCancelsTheRequestAndDeliversNothingMore) {
    QJsonArray many;
    for (int i = 0; i < 200; ++i)
        many.append(QStringLiteral("w%1 ").arg(i));
    startWith({{"tokens", many}, {"tokenDelayMs", 10}});
    auto stream = server->stream(ask(QStringLiteral("x")));
    const auto first = run(stream.next());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text, QStringLiteral("w0 "));
    stream.cancel();
    EXPECT_TRUE(isCancellation(failureOf(stream.next())));
    spin(100ms);
    EXPECT_EQ(standIn->requests().size(), 1);
    // The connection was dropped, not the server: the next request is served.
    QString whole;
    for (const auto &piece : many)
        whole += piece.toString();
    EXPECT_EQ(run(server->complete(ask(QStringLiteral("again")))).content, whole);
}

TEST_F(TransportTest, CancelledAndUnansweredPlainRequests) {
    LLMServerTimings timings = fastTimings();
    timings.requestTimeout = 300ms;
    startWith({{"stallMs", 3000}}, timings);
    // Never answered within the request's timeout: the server is taken as gone.
    const auto late = serverError(failureOf(server->complete(ask(QStringLiteral("x")))));
    ASSERT_TRUE(late);
    EXPECT_EQ(late->kind(), LLMServerError::Kind::Exited);
    // The caller gives up first: a cancellation, not a failure.
    CancellationSource source;
    QTimer::singleShot(50ms, [&] { source.cancel(); });
    EXPECT_TRUE(isCancellation(failureOf(server->complete(ask(QStringLiteral("x")), source.token()))));
}
