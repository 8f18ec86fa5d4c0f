#pragma once

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/error.h"
#include "core/log.h"
#include "core/promise.h"
#include "llm/chatwire.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace velmora {

class TextGenerating;

// Runs one streamed chat request for a writing tool under a time budget.
struct StreamedReply {
    struct End {
        enum class Kind { Failed, Finished, Truncated, Stopped, TimedOut };
        Kind kind = Kind::Stopped;
        QString message; // Failed: the error's code text

        static End failed(QString message) { return {Kind::Failed, std::move(message)}; }
        static End finished() { return {Kind::Finished, {}}; }
        static End truncated() { return {Kind::Truncated, {}}; }
        static End stopped() { return {Kind::Stopped, {}}; }
        static End timedOut() { return {Kind::TimedOut, {}}; }

        // finished, truncated, stopped, timedOut, or failed("<code text>").
        QString description() const;

        friend bool operator==(const End &, const End &) = default;
    };

    struct Result {
        QString text; // trimmed at both ends
        End end;
        std::optional<qint64> promptTokens;
        std::optional<qint64> completionTokens;
        std::optional<std::chrono::nanoseconds> firstText; // from the run's start
        std::chrono::nanoseconds duration{0};

        // completed, partial or failed.
        QString outcome() const;
        // The run's summary line (and, for a failure, an error line) in the tool's log.
        void log(const QString &tool, const Logger &logger) const;

        friend bool operator==(const Result &, const Result &) = default;
    };

    using Progress = std::function<void(const QString &text)>;

    // 15 s plus one second for every 20 of the request's max tokens.
    static std::chrono::nanoseconds budgetFor(const LLMChatRequest &request);

    // Never fails. The budget starts once the server has taken the request (a cold model's
    // load does not eat into it); firstText and duration count from the call. Cancelling
    // caller ends the run as it stands (stopped unless it had already ended).
    static QCoro::Task<Result> run(LLMChatRequest request, TextGenerating &llm, std::chrono::nanoseconds budget,
                                   Progress progress, CancellationToken caller = {});
};

} // namespace velmora
