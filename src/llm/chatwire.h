#pragma once

// The values exchanged with the language-model server's chat-completions endpoint: the request
// body (written in a fixed key order), the plain reply, and the decoder of a streamed reply.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

struct LLMMessage {
    QString role;
    QString content;

    friend bool operator==(const LLMMessage &, const LLMMessage &) = default;
};

struct LLMChatRequest {
    QList<LLMMessage> messages;
    std::optional<double> temperature;
    std::optional<qint64> maxTokens;
    std::optional<QStringList> stop;
    bool stream = false;

    // The compact JSON body, keys in the order the server expects: messages, temperature,
    // max_tokens, stop, stream, then stream_options when streaming. Qt's JSON writer sorts keys,
    // so the body is written by hand. Throws Error for a value JSON cannot carry (NaN, infinity).
    QByteArray encode() const;

    friend bool operator==(const LLMChatRequest &, const LLMChatRequest &) = default;
};

struct LLMChatReply {
    QString content;
    QString finishReason;
    std::optional<qint64> promptTokens;
    std::optional<qint64> completionTokens;

    // Decodes a plain (non-streamed) reply body; throws LLMServerError::protocolViolation when
    // the first choice or its content is missing, and a "Velmora.DecodingError" Error when the body is not a
    // reply at all.
    static LLMChatReply fromData(const QByteArray &data);

    friend bool operator==(const LLMChatReply &, const LLMChatReply &) = default;
};

struct LLMStreamEvent {
    enum class Kind { Text, Finished };
    Kind kind = Kind::Text;
    QString text;       // Text: a non-empty piece of new reply text
    LLMChatReply reply; // Finished: the whole reply

    static LLMStreamEvent makeText(QString piece) { return {Kind::Text, std::move(piece), {}}; }
    static LLMStreamEvent makeFinished(LLMChatReply reply) { return {Kind::Finished, {}, std::move(reply)}; }

    friend bool operator==(const LLMStreamEvent &, const LLMStreamEvent &) = default;
};

// The state of one streamed reply, fed one body line at a time.
struct LLMStreamDecoder {
    QString content;
    std::optional<QString> finishReason;
    std::optional<qint64> promptTokens;
    std::optional<qint64> completionTokens;
    bool isDone = false;

    // Takes one line without its terminator; returns the new text it carries, if any. Throws
    // LLMServerError::protocolViolation, leaving the decoder as it was before the line.
    std::optional<QString> feed(QByteArrayView line);

    // The reply a finished stream hands on; only meaningful once finishReason is set.
    LLMChatReply reply() const { return {content, finishReason.value_or(QString()), promptTokens, completionTokens}; }
};

} // namespace velmora
