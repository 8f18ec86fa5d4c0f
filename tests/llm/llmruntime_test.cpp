#include "core/log.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "standinserver.h"

#include <QJsonArray>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

LLMChatRequest ask(const QString &text) {
    LLMChatRequest r;
    r.messages = {{QStringLiteral("user"), text}};
    r.temperature = 0;
    return r;
}

struct Failure {
    std::exception_ptr error;
};

// Reads the stream to its end; the failure it ended with, if any.
QCoro::Task<Failure> drainStream(LLMEventStream stream, QStringList *texts) {
    try {
        while (auto event = co_await stream.next()) {
            if (event->kind == LLMStreamEvent::Kind::Text)
                texts->append(event->text);
        }
    } catch (...) {
        co_return Failure{std::current_exception()};
    }
    co_return Failure{};
}

std::exception_ptr drain(LLMEventStream stream, QStringList *texts) {
    return run(drainStream(std::move(stream), texts)).error;
}

using LLMRuntimeTest = RuntimeTest;

} // namespace

TEST_F(LLMRuntimeTest, HoldLoadsAndTheLastReleaseUnloadsAfterTheIdleInterval) {
    make();
    unloadSeconds = 0.2;
    runtime->hold();
    EXPECT_TRUE(runtime->isLoading());
    ASSERT_TRUE(waitUntil([&] { return server->isReady(); }));
    EXPECT_FALSE(runtime->isLoading());
    runtime->hold();
    runtime->release();
    EXPECT_FALSE(runtime->hasPlannedUnload()) << "still held once";
    runtime->release();
    EXPECT_TRUE(runtime->hasPlannedUnload());
    ASSERT_TRUE(waitUntil([&] { return !server->isReady() && server->processId() == 0; }));
    EXPECT_TRUE(allGone());
    EXPECT_TRUE(log.contains(QStringLiteral("llm"), LogLevel::Default, QStringLiteral("LLM unloaded after idle")));
    EXPECT_EQ(runtime->holds(), 0);
}

TEST_F(LLMRuntimeTest, AHoldCancelsAPlannedUnloadAndExtraReleasesStayAtZero) {
    make();
    unloadSeconds = 0.2;
    runtime->hold();
    ASSERT_TRUE(waitUntil([&] { return server->isReady(); }));
    runtime->release();
    EXPECT_TRUE(runtime->hasPlannedUnload());
    runtime->release();
    EXPECT_EQ(runtime->holds(), 0);
    EXPECT_TRUE(runtime->hasPlannedUnload()) << "a release without a hold still plans it";
    runtime->hold(); // before the delay runs out
    EXPECT_FALSE(runtime->hasPlannedUnload());
    EXPECT_TRUE(server->isReady());
    // The next release plans it afresh, and that one runs.
    runtime->release();
    ASSERT_TRUE(waitUntil([&] { return !server->isReady(); }));
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM unloaded after idle")), 1);
    EXPECT_EQ(pids.size(), 1);
}

TEST_F(LLMRuntimeTest, PlainAndStreamedRequestsRestoreTheCounters) {
    make({{"reply", "Clean text."}});
    const LLMChatReply reply = run(runtime->complete(ask(QStringLiteral("dirty text"))));
    EXPECT_EQ(reply.content, QStringLiteral("Clean text."));
    EXPECT_EQ(runtime->requests(), 0);
    EXPECT_EQ(runtime->holds(), 0);

    QStringList texts;
    EXPECT_FALSE((drain(runtime->stream(ask(QStringLiteral("x"))), &texts)));
    EXPECT_EQ(texts.join(QString()), QStringLiteral("Clean text."));
    EXPECT_EQ(runtime->requests(), 0);
    EXPECT_EQ(runtime->holds(), 0);
    EXPECT_EQ(pids.size(), 1) << "one load serves both";
    // Never unloads by itself with the interval set to never.
    EXPECT_TRUE(server->isReady());
}

TEST_F(LLMRuntimeTest, NoModelFilesMeansUnavailableWithoutALoad) {
    make();
    filesReady = false;
    runtime->hold();
    EXPECT_FALSE(runtime->isLoading());
    runtime->release();
    const auto plain = serverError(failureOf(runtime->complete(ask(QStringLiteral("x")))));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->kind(), LLMServerError::Kind::Unavailable);
    QStringList texts;
    const auto streamed = serverError((drain(runtime->stream(ask(QStringLiteral("x"))), &texts)));
    ASSERT_TRUE(streamed);
    EXPECT_EQ(streamed->kind(), LLMServerError::Kind::Unavailable);
    EXPECT_EQ(runtime->requests(), 0);
    EXPECT_EQ(runtime->holds(), 0);
    EXPECT_TRUE(standIn->launches().isEmpty());
    EXPECT_TRUE(log.messages(QStringLiteral("llm")).isEmpty());
}

TEST_F(LLMRuntimeTest, ALoadTimeoutIsLoggedOnceAndFailsTheWaitingRequest) {
    LLMServerTimings timings = fastTimings();
    timings.loadTimeout = 1000ms;
    make({{"readyDelayMs", -1}}, timings);
    const auto error = serverError(failureOf(runtime->complete(ask(QStringLiteral("x")))));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), LLMServerError::Kind::Timeout);
    ASSERT_TRUE(waitUntil([&] { return !runtime->isLoading(); }));
    EXPECT_EQ(log.messages(QStringLiteral("llm")),
              QStringList{QStringLiteral("LLM load failed: Velmora.LLMServerError 3")});
    EXPECT_EQ(runtime->requests(), 0);
    EXPECT_EQ(server->processId(), 0);
}

TEST_F(LLMRuntimeTest, FailuresAfterReadinessAreLoggedAndPassedOn) {
    struct Case {
        QJsonObject script;
        LLMServerError error;
        bool serverExits;
    };
    const std::vector<Case> cases = {
        {{{"httpStatus", 500}}, LLMServerError::http(500), false},
        {{{"apiKey", "wrong"}}, LLMServerError::http(401), false},
        {{{"tokens", QJsonArray{"a", "b"}}, {"exitAfter", 1}}, LLMServerError::exited(), true},
        {{{"tokens", QJsonArray{"a", "b"}}, {"injectAfter", 1}}, LLMServerError::protocolViolation(), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Log::errorCode(c.error).toStdString());
        make(c.script);
        log.clear();
        QStringList texts;
        const auto error = serverError((drain(runtime->stream(ask(QStringLiteral("x"))), &texts)));
        ASSERT_TRUE(error);
        EXPECT_EQ(*error, c.error);
        EXPECT_TRUE(log.contains(QStringLiteral("llm"), LogLevel::Error,
                                 QStringLiteral("LLM request failed: ") + Log::errorCode(c.error)));
        if (c.serverExits) {
            ASSERT_TRUE(waitUntil([&] { return allGone(); }));
            EXPECT_TRUE(log.contains(QStringLiteral("llm"), LogLevel::Error,
                                     QStringLiteral("LLM helper exited unexpectedly with status 7")));
        }
        EXPECT_EQ(runtime->requests(), 0);
        EXPECT_EQ(runtime->holds(), 0);
        TearDown();
        runtime.reset();
        server.reset();
        pids.clear();
    }
}

TEST_F(LLMRuntimeTest, AConsumerThatStopsEarlyIsNotAFailure) {
    QJsonArray many;
    for (int i = 0; i < 100; ++i)
        many.append(QStringLiteral("t "));
    make({{"tokens", many}, {"tokenDelayMs", 10}});
    {
        auto stream = runtime->stream(ask(QStringLiteral("x")));
        ASSERT_TRUE(run(stream.next()));
    } // dropped
    ASSERT_TRUE(waitUntil([&] { return runtime->requests() == 0; }));
    EXPECT_EQ(runtime->holds(), 0);
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM request failed")), 0);
    EXPECT_TRUE(server->isReady());
}

TEST_F(LLMRuntimeTest, UnloadNowOnlyWhenIdleAndReady) {
    QJsonArray many;
    for (int i = 0; i < 50; ++i)
        many.append(QStringLiteral("t "));
    make({{"tokens", many}, {"tokenDelayMs", 10}, {"readyDelayMs", 200}});
    runtime->hold();
    EXPECT_FALSE(run(runtime->unloadNow())) << "while loading";
    ASSERT_TRUE(waitUntil([&] { return server->isReady() && !runtime->isLoading(); }));
    {
        auto stream = runtime->stream(ask(QStringLiteral("x")));
        ASSERT_TRUE(run(stream.next()));
        EXPECT_FALSE(run(runtime->unloadNow())) << "during a request";
    }
    ASSERT_TRUE(waitUntil([&] { return runtime->requests() == 0; }));
    // Held but idle: unloaded, and the next request loads it again.
    EXPECT_TRUE(run(runtime->unloadNow()));
    EXPECT_FALSE(server->isReady());
    EXPECT_TRUE(allGone());
    EXPECT_EQ(run(runtime->complete(ask(QStringLiteral("x")))).content.size(), 100);
    EXPECT_EQ(pids.size(), 2);
    runtime->release();
}

TEST_F(LLMRuntimeTest, AnIdleUnloadThatOvertakesTheLoadStopsItQuietly) {
    make({{"readyDelayMs", 5000}});
    unloadSeconds = 0.1;
    runtime->hold();
    ASSERT_TRUE(waitUntil([&] { return server->processId() != 0; }));
    const qint64 pid = server->processId();
    runtime->release(); // plans the unload while the model is still loading
    ASSERT_TRUE(waitUntil([&] { return !runtime->isLoading(); }));
    EXPECT_TRUE(waitUntil([&] { return processGone(pid); }));
    EXPECT_TRUE(log.contains(QStringLiteral("llm"), LogLevel::Default, QStringLiteral("LLM unloaded after idle")));
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM load failed")), 0);
    EXPECT_FALSE(server->isReady());
}

TEST_F(LLMRuntimeTest, QuitStopsTheServerAndNothingLoadsAfterwards) {
    make();
    unloadSeconds = 0.1;
    runtime->hold();
    ASSERT_TRUE(waitUntil([&] { return server->isReady(); }));
    run(runtime->prepareToQuit());
    EXPECT_TRUE(runtime->isQuitting());
    EXPECT_TRUE(allGone());
    runtime->release();
    runtime->hold();
    EXPECT_FALSE(runtime->isLoading());
    runtime->release();
    EXPECT_FALSE(run(runtime->unloadNow()));
    const auto error = serverError(failureOf(runtime->complete(ask(QStringLiteral("x")))));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), LLMServerError::Kind::Unavailable);
    EXPECT_EQ(standIn->launches().size(), 1);
    EXPECT_EQ(countLlmLines(log, QStringLiteral("LLM unloaded after idle")), 0);
}

TEST_F(LLMRuntimeTest, ARequestAfterTheServerDiedLoadsItAgain) {
    make({{"reply", "ok"}});
    EXPECT_EQ(run(runtime->complete(ask(QStringLiteral("x")))).content, QStringLiteral("ok"));
    ::kill(pid_t(pids.at(0)), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !server->isReady(); }));
    EXPECT_EQ(run(runtime->complete(ask(QStringLiteral("x")))).content, QStringLiteral("ok"));
    EXPECT_EQ(pids.size(), 2);
}
