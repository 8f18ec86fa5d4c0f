#include "core/log.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "llm/streamedreply.h"
#include "standinserver.h"

#include <QJsonArray>
#include <QTimer>

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
    // Streams whose script has not stopped playing yet.
    std::shared_ptr<int> playing = std::make_shared<int>(0);

    void hold() override {}
    void release() override {}
    QCoro::Task<LLMChatReply> complete(LLMChatRequest, CancellationToken) override {
        throw LLMServerError::unavailable();
    }
    LLMEventStream stream(LLMChatRequest) override {
        ++streams;
        auto [events, producer] = LLMEventStream::make();
        play(steps, producer, playing);
        return std::move(events);
    }

private:
    static QCoro::Task<> play(std::vector<Step> steps, LLMEventStream::Producer producer,
                              std::shared_ptr<int> playing) {
        ++*playing;
        struct Done {
            std::shared_ptr<int> playing;
            ~Done() { --*playing; }
        } done{playing};
        for (const auto &step : steps) {
            // Steps without a pause go out in the same turn, as a server's buffered lines do.
            if (step.after > 0ms) {
                try {
                    co_await delay(step.after, producer.token());
                } catch (...) {
                    co_return;
                }
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
        SCOPED_TRACE(finishedFirst ? "finished first" : "still streaming");
        ScriptedLLM llm;
        llm.steps = {ScriptedLLM::ready(), ScriptedLLM::text("Part")};
        if (finishedFirst)
            llm.steps.push_back(ScriptedLLM::finished("stop"));
        // Far later than the cancellation, which ends the run; the budget is later still.
        llm.steps.push_back(ScriptedLLM::text(" more", 20s));
        CancellationSource caller;
        // The caller gives up once the text has arrived, in a later turn than the run took in
        // whatever came with it.
        const auto cancelLater = [&](const QString &) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [&] { caller.cancel(); }, Qt::QueuedConnection);
        };
        const Result r = run(StreamedReply::run(ask(QStringLiteral("x")), llm, 40s, cancelLater, caller.token()));
        EXPECT_EQ(r.end, finishedFirst ? End::finished() : End::stopped());
        EXPECT_EQ(r.text, QStringLiteral("Part"));
        EXPECT_EQ(llm.streams, 1);
        // The run's end stopped the script as well.
        EXPECT_TRUE(waitUntil([&] { return *llm.playing == 0; }));
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
using StreamedReplyEndToEnd = RuntimeTest;

TEST_F(StreamedReplyEndToEnd, AColdStartDoesNotEatTheBudget) {
    // The load takes longer than the whole budget; the budget is still ample for the reply
    // itself on a busy machine.
    make({{"readyDelayMs", 5000}, {"reply", "Short answer."}});
    const Result r = run(StreamedReply::run(ask(QStringLiteral("x")), *runtime, 4000ms, {}));
    EXPECT_EQ(r.end, End::finished());
    EXPECT_EQ(r.text, QStringLiteral("Short answer."));
    EXPECT_EQ(r.promptTokens, 1);
    EXPECT_EQ(r.completionTokens, 2);
    ASSERT_TRUE(r.firstText);
    EXPECT_GE(*r.firstText, 5000ms);
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
