#include "llm/chatwire.h"

#include "core/error.h"
#include "core/jsonfield.h"
#include "llm/llmservererror.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>
#include <type_traits>

namespace velmora {

namespace {

// --- writing --------------------------------------------------------------------------------

// Escapes quotes, backslashes and control characters; everything else goes out as UTF-8, so
// surrogate pairs are converted together.
void appendJsonString(QByteArray &out, const QString &text) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > runStart)
            out += QStringView(text).mid(runStart, end - runStart).toUtf8();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u >= 0x20 && u != u'"' && u != u'\\')
            continue;
        flush(i);
        runStart = i + 1;
        switch (u) {
        case u'"': out += "\\\""; break;
        case u'\\': out += "\\\\"; break;
        case u'\b': out += "\\b"; break;
        case u'\f': out += "\\f"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        default:
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 0xF];
        }
    }
    flush(text.size());
    out += '"';
}

void appendNumber(QByteArray &out, double value) {
    if (!std::isfinite(value))
        throw Error(QStringLiteral("Velmora.EncodingError"), 0, QStringLiteral("number not representable in JSON"));
    // Qt's JSON writer gives the shortest form that reads back the same (0, 0.7, 1e+300).
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    out += wrapped.mid(1, wrapped.size() - 2);
}

// --- reading --------------------------------------------------------------------------------

[[noreturn]] void shapeError(const char *what) {
    throw Error(QStringLiteral("Velmora.DecodingError"), 0, QString::fromLatin1(what));
}

bool present(const QJsonObject &object, QLatin1StringView key) {
    const auto it = object.constFind(key);
    return it != object.constEnd() && !it->isNull() && !it->isUndefined();
}

// The value of the expected JSON type under key; an absent key or a null gives none, a value of
// another type is a decoding failure.
template <typename T>
std::optional<T> field(const QJsonObject &object, QLatin1StringView key) {
    std::optional<T> value;
    if (jsonfield::read(object, key, value) == jsonfield::Read::WrongType)
        shapeError("a value of another type");
    return value;
}

QJsonObject elementObject(const QJsonValue &v) {
    if (!v.isObject())
        shapeError("expected an object");
    return v.toObject();
}

struct Usage {
    std::optional<qint64> promptTokens;
    std::optional<qint64> completionTokens;
};

std::optional<Usage> readUsage(const QJsonObject &object) {
    const auto usage = field<QJsonObject>(object, QLatin1StringView("usage"));
    if (!usage)
        return std::nullopt;
    return Usage{field<qint64>(*usage, QLatin1StringView("prompt_tokens")),
                 field<qint64>(*usage, QLatin1StringView("completion_tokens"))};
}

QJsonObject parseObject(QByteArrayView bytes) {
    QJsonParseError error{};
    // Parsed in place: the bytes outlive the call.
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromRawData(bytes.data(), bytes.size()), &error);
    if (error.error != QJsonParseError::NoError)
        shapeError("not JSON");
    if (!doc.isObject())
        shapeError("expected an object");
    return doc.object();
}

bool isLineBreak(char32_t c) {
    return c == U'\n' || c == U'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029;
}

QString trimmedPayload(QStringView text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start).isSpace() && !isLineBreak(text.at(start).unicode()))
        ++start;
    while (end > start && text.at(end - 1).isSpace() && !isLineBreak(text.at(end - 1).unicode()))
        --end;
    return text.mid(start, end - start).toString();
}

} // namespace

QByteArray LLMChatRequest::encode() const {
    QByteArray out;
    out.reserve(64);
    out += "{\"messages\":[";
    for (qsizetype i = 0; i < messages.size(); ++i) {
        if (i)
            out += ',';
        out += "{\"role\":";
        appendJsonString(out, messages[i].role);
        out += ",\"content\":";
        appendJsonString(out, messages[i].content);
        out += '}';
    }
    out += ']';
    if (temperature) {
        out += ",\"temperature\":";
        appendNumber(out, *temperature);
    }
    if (maxTokens) {
        out += ",\"max_tokens\":";
        out += QByteArray::number(*maxTokens);
    }
    if (stop) {
        out += ",\"stop\":[";
        for (qsizetype i = 0; i < stop->size(); ++i) {
            if (i)
                out += ',';
            appendJsonString(out, stop->at(i));
        }
        out += ']';
    }
    out += stream ? ",\"stream\":true" : ",\"stream\":false";
    if (stream)
        out += ",\"stream_options\":{\"include_usage\":true}";
    out += '}';
    return out;
}

LLMChatReply LLMChatReply::fromData(const QByteArray &data) {
    const QJsonObject root = parseObject(data);
    if (!present(root, QLatin1StringView("choices")))
        shapeError("missing choices");
    const QJsonArray choices = *field<QJsonArray>(root, QLatin1StringView("choices"));
    // Every choice must have the reply's shape, though only the first is read.
    std::optional<QJsonObject> firstMessage;
    std::optional<QString> finishReason;
    for (qsizetype i = 0; i < choices.size(); ++i) {
        const QJsonObject choice = elementObject(choices.at(i));
        if (!present(choice, QLatin1StringView("message")))
            shapeError("missing message");
        const QJsonObject message = *field<QJsonObject>(choice, QLatin1StringView("message"));
        const auto content = field<QString>(message, QLatin1StringView("content"));
        const auto reason = field<QString>(choice, QLatin1StringView("finish_reason"));
        if (i == 0) {
            firstMessage = message;
            finishReason = reason;
        }
    }
    const auto usage = readUsage(root);
    if (!firstMessage)
        throw LLMServerError::protocolViolation();
    const auto content = field<QString>(*firstMessage, QLatin1StringView("content"));
    if (!content)
        throw LLMServerError::protocolViolation();
    LLMChatReply reply;
    reply.content = *content;
    reply.finishReason = finishReason.value_or(QString());
    if (usage) {
        reply.promptTokens = usage->promptTokens;
        reply.completionTokens = usage->completionTokens;
    }
    return reply;
}

std::optional<QString> LLMStreamDecoder::feed(QByteArrayView line) {
    if (line.startsWith("error:"))
        throw LLMServerError::protocolViolation();
    if (!line.startsWith("data:"))
        return std::nullopt;
    // Trim spaces and tabs on the bytes; only when a non-ASCII character is left at either end
    // can Unicode white space remain there, and only then is the text decoded to trim it.
    QByteArrayView rest = line.sliced(5);
    while (!rest.isEmpty() && (rest.front() == ' ' || rest.front() == '\t'))
        rest = rest.sliced(1);
    while (!rest.isEmpty() && (rest.back() == ' ' || rest.back() == '\t'))
        rest.chop(1);
    QByteArray trimmed;
    if (!rest.isEmpty() && (uchar(rest.front()) >= 0x80 || uchar(rest.back()) >= 0x80)) {
        trimmed = trimmedPayload(QString::fromUtf8(rest)).toUtf8();
        rest = trimmed;
    }
    if (rest == QByteArrayView("[DONE]")) {
        isDone = true;
        return std::nullopt;
    }

    std::optional<Usage> usage;
    std::optional<QJsonArray> choices;
    QJsonObject firstChoice;
    std::optional<QString> reason;
    std::optional<QString> piece;
    try {
        const QJsonObject chunk = parseObject(rest);
        choices = field<QJsonArray>(chunk, QLatin1StringView("choices"));
        usage = readUsage(chunk);
        if (!choices && !usage)
            throw LLMServerError::protocolViolation();
        if (choices) {
            for (qsizetype i = 0; i < choices->size(); ++i) {
                const QJsonObject choice = elementObject(choices->at(i));
                const auto delta = field<QJsonObject>(choice, QLatin1StringView("delta"));
                const auto text = delta ? field<QString>(*delta, QLatin1StringView("content")) : std::nullopt;
                const auto finish = field<QString>(choice, QLatin1StringView("finish_reason"));
                if (i == 0) {
                    reason = finish;
                    if (text && !text->isEmpty())
                        piece = text;
                }
            }
        }
    } catch (const LLMServerError &) {
        throw;
    } catch (const std::exception &) {
        throw LLMServerError::protocolViolation();
    }

    // Commit only once the whole line decoded.
    if (usage) {
        if (usage->promptTokens)
            promptTokens = usage->promptTokens;
        if (usage->completionTokens)
            completionTokens = usage->completionTokens;
    }
    if (reason)
        finishReason = reason;
    if (piece)
        content += *piece;
    return piece;
}

} // namespace velmora
