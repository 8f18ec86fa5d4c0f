#include "core/log.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "llm/streamedreply.h"
#include "llmtestsupport.h"

#include <QJsonArray>

namespace velmora {
void PrintTo(const StreamedReply::End &end, std::ostream *os) {
    *os << end.description().toStdString();
}
} // namespace velmora

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;
using End = StreamedReply::End;
using Result = StreamedReply::Result;

namespace {

LLMChatRequest ask(const QString &text) {
    LLMChatRequest r;
    r.messages = {{QStringLiteral("user"), text}};
    r.temperature = 0;
    r.maxTokens = 200;
    return r;
}

// A runtime stand-in that plays a fixed list of steps into every stream it hands out.
class ScriptedLLM : public TextGenerating {
public:
    struct Step {
        std::chrono::milliseconds after{0};
        std::optional<LLMStreamEvent> event;
        std::exception_ptr error;
        bool ready = false;
    };
    static Step ready(std::chrono::milliseconds after = 0ms) { return {after, {}, nullptr, true}; }
    static Step text(const char *t, std::chrono::milliseconds after = 0ms) {
        return {after, LLMStreamEvent::makeText(QString::fromUtf8(t)), nullptr, false};
    }
    static Step finished(const char *reason, std::optional<qint64> prompt = 5, std::optional<qint64> completion = 7) {
        return {0ms, LLMStreamEvent::makeFinished({QString(), QString::fromUtf8(reason), prompt, completion}), nullptr,
                false};
    }
    static Step fail(LLMServerError e, std::chrono::milliseconds after = 0ms) {
        return {after, {}, std::make_exception_ptr(e), false};
    }

    std::vector<Step> steps;
    int streams = 0;

    void hold() override {}
    void release() override {}
    QCoro::Task<LLMChatReply> complete(LLMChatRequest, CancellationToken) override {
        throw LLMServerError::unavailable();
    }
    LLMEventStream stream(LLMChatRequest) override {
        ++streams;
        auto [events, producer] = LLMEventStream::make();
        play(steps, producer);
        return std::move(events);
    }

private:
    static QCoro::Task<> play(std::vector<Step> steps, LLMEventStream::Producer producer) {
        for (const auto &step : steps) {
            try {
                co_await delay(step.after, producer.token());
            } catch (...) {
                co_return;
            }
            if (step.ready)
                producer.markReady();
            if (step.event)
                producer.yield(*step.event);
            if (step.error) {
                producer.fail(step.error);
                co_return;
            }
        }
        producer.finish();
    }
};

} // namespace

TEST(StreamedReplyRun, HowARunEnds) {
    struct Case {
        const char *name;
        std::vector<ScriptedLLM::Step> steps;
        QString text;
        End end;
        std::optional<qint64> completionTokens;
        QString outcome;
    };
    using S = ScriptedLLM;
    const std::vector<Case> cases = {
        {"stop",
         {S::ready(), S::text(" Hello"), S::text(" world\n"), S::finished("stop")},
         QStringLiteral("Hello world"),
         End::finished(),
         7,
         QStringLiteral("completed")},
        {"length",
         {S::ready(), S::text("Hi"), S::finished("length")},
         QStringLiteral("Hi"),
         End::truncated(),
         7,
         QStringLiteral("partial")},
        {"empty finish reason",
         {S::ready(), S::text("Hi"), S::finished("")},
         QStringLiteral("Hi"),
         End::truncated(),
         7,
         QStringLiteral("partial")},
        {"failure before text",
         {S::ready(), S::fail(LLMServerError::exited())},
         QString(),
         End::failed(QStringLiteral("Velmora.LLMServerError 2")),
         {},
         QStringLiteral("failed")},
        {"failure keeps the text",
         {S::ready(), S::text("Par"), S::fail(LLMServerError::http(500))},
         QStringLiteral("Par"),
         End::failed(QStringLiteral("Velmora.LLMServerError 0")),
         {},
         QStringLiteral("failed")},
        {"only white space",
         {S::ready(), S::text(" \n "), S::finished("stop")},
         QString(),
         End::finished(),
         7,
         QStringLiteral("failed")},
        {"finished a moment before the budget",
         {S::ready(), S::text("A"), S::finished("stop")},
         QStringLiteral("A"),
         End::finished(),
         7,
         QStringLiteral("completed")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLLM llm;
        llm.steps = c.steps;
        const Result r = run(StreamedReply::run(ask(QStringLiteral("x")), llm, 5s, {}));
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.end, c.end);
        EXPECT_EQ(r.completionTokens, c.completionTokens);
        EXPECT_EQ(r.outcome(), c.outcome);
        EXPECT_EQ(r.firstText.has_value(), c.steps.size() > 2 && c.steps[1].event.has_value());
        EXPECT_GE(r.duration, r.firstText.value_or(0ns));
    }
}

TEST(StreamedReplyRun, ProgressSeesTrimmedTextWhileInnerWhiteSpaceIsKept) {
    ScriptedLLM llm;
    llm.steps = {ScriptedLLM::ready(), ScriptedLLM::text("  Hello"), ScriptedLLM::text(" "),
                 ScriptedLLM::text("world "), ScriptedLLM::finished("stop")};
    QStringList seen;
    const Result r =
        run(StreamedReply::run(ask(QStringLiteral("x")), llm, 5s, [&](const QString &t) { seen.append(t); }));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("Hello"), QStringLiteral("Hello"), QStringLiteral("Hello world")}));
    EXPECT_EQ(r.text, QStringLiteral("Hello world"));
}

TEST(StreamedReplyRun, TheBudgetEndsASlowReplyWithItsTextSoFar) {
    ScriptedLLM llm;
    llm.steps = {ScriptedLLM::ready(), ScriptedLLM::text("First"), ScriptedLLM::text(" second", 2000ms),
                 ScriptedLLM::finished("stop")};
    const Result r = run(StreamedReply::run(ask(QStringLiteral("x")), llm, 200ms, {}));
    EXPECT_EQ(r.end, End::timedOut());
    EXPECT_EQ(r.text, QStringLiteral("First"));
    EXPECT_EQ(r.outcome(), QStringLiteral("partial"));
    EXPECT_FALSE(r.completionTokens);
}

TEST(StreamedReplyRun, TheBudgetStartsWhenTheServerTakesTheRequest) {
    // A cold model: readiness comes after longer than the whole budget.
    ScriptedLLM llm;
    llm.steps = {ScriptedLLM::ready(600ms), ScriptedLLM::text("Done", 50ms), ScriptedLLM::finished("stop")};
    const Result r = run(StreamedReply::run(ask(QStringLiteral("x")), llm, 300ms, {}));
    EXPECT_EQ(r.end, End::finished());
    EXPECT_EQ(r.text, QStringLiteral("Done"));
    // The measured times still count from the run's start, load included.
    ASSERT_TRUE(r.firstText);
    EXPECT_GE(*r.firstText, 600ms);
    EXPECT_GE(r.duration, *r.firstText);
}

TEST(StreamedReplyRun, CancellingTheCallerStopsTheRunUnlessItHadEnded) {
    for (const bool finishedFirst : {false, true}) {
        ScriptedLLM llm;
        llm.steps = {ScriptedLLM::ready(), ScriptedLLM::text("Part")};
        if (finishedFirst)
            llm.steps.push_back(ScriptedLLM::finished("stop"));
        llm.steps.push_back(ScriptedLLM::text(" more", 3000ms));
        CancellationSource caller;
        QTimer::singleShot(150ms, [&] { caller.cancel(); });
        const Result r = run(StreamedReply::run(ask(QStringLiteral("x")), llm, 5s, {}, caller.token()));
        EXPECT_EQ(r.end, finishedFirst ? End::finished() : End::stopped()) << finishedFirst;
        EXPECT_EQ(r.text, QStringLiteral("Part"));
    }
}

TEST(StreamedReplyLog, SummaryAndErrorLines) {
    struct Case {
        Result result;
        QStringList lines;
    };
    Result done{QStringLiteral("e\u0301t\u00e9 👨‍👩‍👧"), End::finished(), 12, 34, 456789us, 1999999us};
    Result cut{QStringLiteral("abc"), End::timedOut(), {}, {}, {}, 65000ms};
    Result failed{QString(), End::failed(QStringLiteral("Velmora.LLMServerError 2")), {}, {}, {}, 12ms};
    Result odd{QStringLiteral("x"), End::failed(QStringLiteral("a \"b\" \\c")), {}, {}, 1ms, 2ms};
    const std::vector<Case> cases = {
        {done,
         {QStringLiteral("Translate finished: completed (finished), 5 chars, tokens 12/34, first text 456 ms, total "
                         "1999 ms")}},
        {cut,
         {QStringLiteral("Translate finished: partial (timedOut), 3 chars, tokens -/-, first text - ms, total "
                         "65000 ms")}},
        {failed,
         {QStringLiteral("Translate finished: failed (failed(\"Velmora.LLMServerError 2\")), 0 chars, tokens -/-, "
                         "first text - ms, total 12 ms"),
          QStringLiteral("Translate failed: Velmora.LLMServerError 2")}},
        {odd,
         {QStringLiteral("Translate finished: failed (failed(\"a \\\"b\\\" \\\\c\")), 1 chars, tokens -/-, first "
                         "text 1 ms, total 2 ms"),
          QStringLiteral("Translate failed: a \"b\" \\c")}},
    };
    for (const auto &c : cases) {
        LogCapture capture;
        c.result.log(QStringLiteral("Translate"), Log::translate());
        EXPECT_EQ(capture.messages(QStringLiteral("translate")), c.lines);
        if (c.lines.size() == 2) {
            EXPECT_TRUE(capture.contains(QStringLiteral("translate"), LogLevel::Default, c.lines[0]));
            EXPECT_TRUE(capture.contains(QStringLiteral("translate"), LogLevel::Error, c.lines[1]));
        }
    }
}

TEST(StreamedReplyBudget, FifteenSecondsPlusOnePerTwentyTokens) {
    LLMChatRequest r;
    EXPECT_EQ(StreamedReply::budgetFor(r), 15s);
    r.maxTokens = 1000;
    EXPECT_EQ(StreamedReply::budgetFor(r), 65s);
    r.maxTokens = 333;
    EXPECT_EQ(StreamedReply::budgetFor(r), 31650ms);
}

// End to end through the runtime and the real stand-in server.
class StreamedReplyEndToEnd : public ::testing::Test {
protected:
    TempHome home;
    LogCapture log;
    std::unique_ptr<StandIn> standIn;
    std::unique_ptr<LLMServer> server;
    std::unique_ptr<LLMRuntime> runtime;
    QList<qint64> pids;

    void make(QJsonObject script) {
        standIn = std::make_unique<StandIn>(std::move(script));
        server = std::make_unique<LLMServer>(helperProgram(), 10s, fastTimings());
        QObject::connect(server.get(), &LLMServer::readyChanged, [this](bool ready) {
            if (ready)
                pids.append(server->processId());
        });
        runtime = std::make_unique<LLMRuntime>(
            *server, [this] { return std::optional<QStringList>(standIn->files()); },
            [] { return std::optional<double>(); });
    }

    void TearDown() override {
        run(runtime->prepareToQuit());
        for (qint64 pid : pids)
            EXPECT_TRUE(processGone(pid));
    }
};

TEST_F(StreamedReplyEndToEnd, AColdStartDoesNotEatTheBudget) {
    make({{"readyDelayMs", 700}, {"reply", "Short answer."}});
    const Result r = run(StreamedReply::run(ask(QStringLiteral("x")), *runtime, 300ms, {}));
    EXPECT_EQ(r.end, End::finished());
    EXPECT_EQ(r.text, QStringLiteral("Short answer."));
    EXPECT_EQ(r.promptTokens, 1);
    EXPECT_EQ(r.completionTokens, 2);
    ASSERT_TRUE(r.firstText);
    EXPECT_GE(*r.firstText, 700ms);
}

TEST_F(StreamedReplyEndToEnd, AServerThatNeverAnswersTimesOut) {
    make({{"stallMs", 5000}});
    const Result r = run(StreamedReply::run(ask(QStringLiteral("x")), *runtime, 300ms, {}));
    EXPECT_EQ(r.end, End::timedOut());
    EXPECT_TRUE(r.text.isEmpty());
    EXPECT_EQ(r.outcome(), QStringLiteral("failed"));
    ASSERT_TRUE(waitUntil([&] { return runtime->requests() == 0 && runtime->holds() == 0; }));
    EXPECT_EQ(log.messages(QStringLiteral("llm")).filter(QStringLiteral("failed")), QStringList{});
}

TEST_F(StreamedReplyEndToEnd, AServerThatDiesMidReplyFails) {
    make({{"tokens", QJsonArray{"One ", "two ", "three"}}, {"exitAfter", 2}});
    const Result r = run(StreamedReply::run(ask(QStringLiteral("x")), *runtime, 5s, {}));
    EXPECT_EQ(r.end, End::failed(QStringLiteral("Velmora.LLMServerError 2")));
    EXPECT_EQ(r.text, QStringLiteral("One two"));
    EXPECT_EQ(r.outcome(), QStringLiteral("failed"));
    ASSERT_TRUE(waitUntil([&] { return !server->isReady(); }));
    ASSERT_EQ(pids.size(), 1);
    EXPECT_TRUE(waitUntil([&] { return processGone(pids[0]); }));
}
