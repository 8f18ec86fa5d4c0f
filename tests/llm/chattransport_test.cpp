#include "core/log.h"
#include "llm/llmserver.h"
#include "standinserver.h"

#include <QJsonArray>
#include <QTimer>

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
        server = std::make_unique<LLMServer>(helperProgram(), timings);
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
        {"connection dropped in the middle of a line",
         {{"tokens", tokens}, {"dropMidLineAfter", 2}},
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
    // Never started, then started and loading: the stand-in runs and would record a request.
    standIn = std::make_unique<StandIn>(QJsonObject{{"readyDelayMs", -1}});
    server = std::make_unique<LLMServer>(helperProgram(), fastTimings());
    for (const bool launched : {false, true}) {
        SCOPED_TRACE(launched ? "loading" : "never started");
        std::optional<QCoro::Task<>> starting;
        if (launched) {
            starting.emplace(server->start(standIn->model(), standIn->draft()));
            ASSERT_TRUE(waitUntil([&] { return server->processId() != 0 && standIn->launches().size() == 1; }));
        }
        const auto plain = serverError(failureOf(server->complete(ask(QStringLiteral("x")))));
        ASSERT_TRUE(plain);
        EXPECT_EQ(plain->kind(), LLMServerError::Kind::Unavailable);
        const auto streamed = serverError(run(collect(server->stream(ask(QStringLiteral("x"))))).error);
        ASSERT_TRUE(streamed);
        EXPECT_EQ(streamed->kind(), LLMServerError::Kind::Unavailable);
        if (launched) {
            pid = server->processId();
            run(server->terminate());
            EXPECT_TRUE(isCancellation(failureOf(std::move(*starting))));
        }
    }
    EXPECT_TRUE(standIn->requests().isEmpty());
}

TEST_F(TransportTest, APlainReplyCutShortIsAServerThatWentAway) {
    // Qt sometimes finishes such a reply without an error (more often for a longer body and on
    // a busy machine), so a few rounds of a long reply show both ways.
    startWith({{"reply", QStringLiteral("word ").repeated(40000)}, {"plainDropAfter", 100000}});
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const auto error = serverError(failureOf(server->complete(ask(QStringLiteral("x")))));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), LLMServerError::Kind::Exited);
    }
}

TEST_F(TransportTest, AnEndlessLineFailsAsAProtocolViolation) {
    startWith({{"endlessLine", true}});
    std::optional<Collected> got;
    auto reading = [](LLMEventStream stream, std::optional<Collected> *out) -> QCoro::Task<> {
        out->emplace(co_await collect(std::move(stream)));
    }(server->stream(ask(QStringLiteral("x"))), &got);
    // Without a bound the line would grow for as long as the server sends.
    ASSERT_TRUE(waitUntil([&] { return got.has_value(); }, 60s));
    EXPECT_TRUE(got->texts.isEmpty());
    const auto error = serverError(got->error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), LLMServerError::Kind::ProtocolViolation);
    // The reply was dropped, so the server stops sending.
    ASSERT_TRUE(waitUntil([&] { return standIn->abortedStreams() == 1; }));
    EXPECT_TRUE(server->isReady());
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
    // Twenty seconds of pieces: a busy machine may keep the test from cancelling for a while,
    // but never until the stand-in has sent them all.
    QJsonArray many;
    for (int i = 0; i < 2000; ++i)
        many.append(QStringLiteral("w%1 ").arg(i));
    startWith({{"tokens", many}, {"tokenDelayMs", 10}});
    auto stream = server->stream(ask(QStringLiteral("x")));
    const auto first = run(stream.next());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text, QStringLiteral("w0 "));
    // More pieces arrive while the consumer looks away; none of them is delivered.
    ASSERT_TRUE(waitUntil([&] { return standIn->piecesSent() >= 5; }));
    stream.cancel();
    EXPECT_TRUE(isCancellation(failureOf(stream.next())));
    // The stand-in sees its connection go before it has sent the whole reply.
    ASSERT_TRUE(waitUntil([&] { return standIn->abortedStreams() == 1; }));
    EXPECT_LT(standIn->piecesSent(), many.size());
    // The connection was dropped, not the server: the next request is served, and it is the
    // only one sent after the stream's.
    QString whole;
    for (const auto &piece : many)
        whole += piece.toString();
    EXPECT_EQ(run(server->complete(ask(QStringLiteral("again")))).content, whole);
    EXPECT_EQ(standIn->requests().size(), 2);
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
