#include "llm/streamedreply.h"

#include "llm/llmeventstream.h"
#include "llm/llmruntime.h"

#include "core/characters.h"

namespace velmora {

namespace {

using Clock = ContinuousClock;

class Run {
public:
    Run(Clock::time_point started, StreamedReply::Progress progress)
        : started(started), progress(std::move(progress)) {}

    Clock::time_point started;
    StreamedReply::Progress progress;
    StreamedReply::Result result;
    bool ended = false;
    QString raw;

    void handle(const LLMStreamEvent &event) {
        if (event.kind == LLMStreamEvent::Kind::Text) {
            raw += event.text;
            if (!result.firstText)
                result.firstText = Clock::now() - started;
            result.text = raw.trimmed();
            if (progress)
                progress(result.text);
            return;
        }
        result.end = event.reply.finishReason == QLatin1StringView("stop") ? StreamedReply::End::finished()
                                                                           : StreamedReply::End::truncated();
        result.promptTokens = event.reply.promptTokens;
        result.completionTokens = event.reply.completionTokens;
        ended = true;
    }
};

QCoro::Task<> consume(Run *run, LLMEventStream *stream, CancellationToken token, Promise<void> first) {
    try {
        while (auto event = co_await stream->next(token))
            run->handle(*event);
    } catch (...) {
        const auto error = std::current_exception();
        if (!isCancellation(error)) {
            run->result.end = StreamedReply::End::failed(Log::errorCode(error));
            run->ended = true;
        }
    }
    first.resolve();
}

QCoro::Task<> budgetTimer(LLMEventStream *stream, std::chrono::nanoseconds budget, CancellationToken token,
                          Promise<void> first) {
    try {
        co_await stream->whenReady(token);
        co_await sleepFor(budget, token);
    } catch (...) {
        co_return;
    }
    first.resolve();
}

qint64 wholeMs(std::chrono::nanoseconds d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

QString countText(const std::optional<qint64> &value) {
    return value ? QString::number(*value) : QStringLiteral("-");
}

} // namespace

QString StreamedReply::End::description() const {
    switch (kind) {
    case Kind::Finished: return QStringLiteral("finished");
    case Kind::Truncated: return QStringLiteral("truncated");
    case Kind::Stopped: return QStringLiteral("stopped");
    case Kind::TimedOut: return QStringLiteral("timedOut");
    case Kind::Failed: break;
    }
    QString escaped = message;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QStringLiteral("failed(\"%1\")").arg(escaped);
}

QString StreamedReply::Result::outcome() const {
    if (text.isEmpty())
        return QStringLiteral("failed");
    switch (end.kind) {
    case End::Kind::Finished: return QStringLiteral("completed");
    case End::Kind::Failed: return QStringLiteral("failed");
    default: return QStringLiteral("partial");
    }
}

void StreamedReply::Result::log(const QString &tool, const Logger &logger) const {
    logger.notice("%{public}s finished: %{public}s (%{public}s), %ld chars, tokens %{public}s/%{public}s, "
                  "first text %{public}s ms, total %{public}s ms",
                  {tool, outcome(), end.description(), countCharacters(text), countText(promptTokens),
                   countText(completionTokens), firstText ? QString::number(wholeMs(*firstText)) : QStringLiteral("-"),
                   QString::number(wholeMs(duration))});
    if (end.kind == End::Kind::Failed)
        logger.error("%{public}s failed: %{public}s", {tool, end.message});
}

std::chrono::nanoseconds StreamedReply::budgetFor(const LLMChatRequest &request) {
    const double seconds = 15.0 + (request.maxTokens ? double(*request.maxTokens) / 20.0 : 0.0);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds));
}

QCoro::Task<StreamedReply::Result> StreamedReply::run(LLMChatRequest request, TextGenerating &llm,
                                                      std::chrono::nanoseconds budget, Progress progress,
                                                      CancellationToken caller) {
    Run run(Clock::now(), std::move(progress));
    LLMEventStream stream = llm.stream(std::move(request));
    CancellationSource group(caller);
    Promise<void> first;
    auto consumer = consume(&run, &stream, group.token(), first);
    auto timer = budgetTimer(&stream, budget, group.token(), first);
    co_await first;
    group.cancel();
    co_await std::move(consumer);
    co_await std::move(timer);
    stream.cancel();
    if (!run.ended && !caller.isCancelled())
        run.result.end = End::timedOut();
    run.result.duration = Clock::now() - run.started;
    co_return run.result;
}

} // namespace velmora
