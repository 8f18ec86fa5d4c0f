#pragma once

// Turns a raw transcript into clean written text with the local writing model: one plain chat
// request with a single user message, accepted only when the reply ended normally and is not
// blank, raced against a budget that grows with the transcript.

#include "core/cancellationtoken.h"
#include "core/racebudget.h"
#include "dictation/cleanupcontext.h"
#include "llm/chatwire.h"

#include <QString>

#include <chrono>
#include <optional>

namespace velmora {

class TextGenerating;

class TranscriptCleanup {
public:
    struct Result {
        QString text; // trimmed
        std::optional<qint64> promptTokens;
        std::optional<qint64> completionTokens;
        bool operator==(const Result &) const = default;
    };

    // The request: the transcript block, the instruction, the speaker's context and the rules;
    // temperature 0; at most the transcript's characters + 64 tokens; not streamed.
    static LLMChatRequest request(const QString &transcript, const CleanupContext &context);
    // The speaker and vocabulary blocks with their guidance, or empty without any context.
    static QString contextBlock(const CleanupContext &context);
    // The fixed rules that end every prompt.
    static QString rulesText();
    // 15 s + (characters + 64) / 20 s.
    static std::chrono::milliseconds budget(const QString &transcript);

    // The completion of the request raced against the timeout; none when the budget ran out,
    // the request failed or was cancelled, or the reply was not accepted.
    static QCoro::Task<std::optional<Result>> run(LLMChatRequest request, TextGenerating &llm,
                                                  std::chrono::milliseconds timeout, CancellationToken token = {});
    // Accepts a reply that finished with "stop" and whose content is not blank.
    static std::optional<Result> result(const LLMChatReply &reply);
};

} // namespace velmora
