#include "llm/chatwire.h"
#include "llm/llmservererror.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace velmora;

namespace {

LLMChatRequest userRequest(const QString &text) {
    LLMChatRequest r;
    r.messages = {{QStringLiteral("user"), text}};
    return r;
}

bool failsWith(const std::function<void()> &f, LLMServerError::Kind kind) {
    try {
        f();
    } catch (const LLMServerError &e) {
        return e.kind() == kind;
    } catch (...) {
        return false;
    }
    return false;
}

} // namespace

TEST(ChatRequestEncoding, KeysInFixedOrderAndOnlyWhenSet) {
    struct Case {
        const char *name;
        LLMChatRequest request;
        QByteArray body;
    };
    LLMChatRequest full = userRequest(QStringLiteral("Hi"));
    full.messages.append({QStringLiteral("assistant"), QStringLiteral("Yo")});
    full.temperature = 0;
    full.maxTokens = 1000;
    full.stop = QStringList{QStringLiteral("\n\n"), QStringLiteral("END")};
    full.stream = true;
    LLMChatRequest emptyStop = userRequest(QStringLiteral("x"));
    emptyStop.stop = QStringList{};
    emptyStop.temperature = 0.7;
    LLMChatRequest escapes = userRequest(QStringLiteral("a\"b\\c\td\u0001 é 日本 😀 /"));
    const std::vector<Case> cases = {
        {"minimal plain", userRequest(QStringLiteral("Hello")),
         R"({"messages":[{"role":"user","content":"Hello"}],"stream":false})"},
        {"every field, streamed", full,
         R"({"messages":[{"role":"user","content":"Hi"},{"role":"assistant","content":"Yo"}],"temperature":0,)"
         R"("max_tokens":1000,"stop":["\n\n","END"],"stream":true,"stream_options":{"include_usage":true}})"},
        {"empty stop list is kept", emptyStop,
         R"({"messages":[{"role":"user","content":"x"}],"temperature":0.7,"stop":[],"stream":false})"},
        {"escapes", escapes,
         QByteArray(R"({"messages":[{"role":"user","content":"a\"b\\c\td\u0001 )") +
             QStringLiteral("é 日本 😀 /").toUtf8() + R"("}],"stream":false})"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.request.encode(), c.body) << c.name;
}

TEST(ChatRequestEncoding, NonFiniteTemperatureIsAnEncodingFailure) {
    LLMChatRequest r = userRequest(QStringLiteral("x"));
    r.temperature = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(r.encode(), Error);
}

TEST(ChatReplyDecoding, ReadsFirstChoiceAndUsage) {
    struct Case {
        const char *name;
        QByteArray body;
        LLMChatReply reply;
    };
    const std::vector<Case> cases = {
        {"full",
         R"({"choices":[{"message":{"content":" Hi "},"finish_reason":"stop"},{"message":{"content":"no"}}],)"
         R"("usage":{"prompt_tokens":3,"completion_tokens":2},"id":"x"})",
         {QStringLiteral(" Hi "), QStringLiteral("stop"), 3, 2}},
        {"no finish reason, no usage",
         R"({"choices":[{"message":{"content":"a"}}]})",
         {QStringLiteral("a"), {}, {}, {}}},
        {"null finish reason",
         R"({"choices":[{"message":{"content":"a"},"finish_reason":null}]})",
         {QStringLiteral("a"), {}, {}, {}}},
        {"empty content is a reply",
         R"({"choices":[{"message":{"content":""},"finish_reason":"length"}]})",
         {QString(), QStringLiteral("length"), {}, {}}},
        {"partial usage",
         R"({"choices":[{"message":{"content":"a"}}],"usage":{"completion_tokens":9}})",
         {QStringLiteral("a"), {}, {}, 9}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LLMChatReply::fromData(c.body), c.reply) << c.name;
}

TEST(ChatReplyDecoding, MissingChoiceOrContentIsAProtocolViolation) {
    for (const QByteArray &body : {QByteArray(R"({"choices":[]})"), QByteArray(R"({"choices":[{"message":{}}]})"),
                                   QByteArray(R"({"choices":[{"message":{"content":null}}]})")}) {
        EXPECT_TRUE(failsWith([&] { LLMChatReply::fromData(body); }, LLMServerError::Kind::ProtocolViolation))
            << body.constData();
    }
}

TEST(ChatReplyDecoding, BodiesOfAnotherShapeFailWithTheDecodingError) {
    for (const QByteArray &body :
         {QByteArray("not json"), QByteArray(R"({"id":1})"), QByteArray(R"({"choices":[{"finish_reason":"stop"}]})"),
          QByteArray(R"({"choices":[{"message":{"content":5}}]})"),
          QByteArray(R"({"choices":[{"message":{"content":"a"}}],"usage":{"prompt_tokens":"3"}})"),
          QByteArray(R"({"choices":[{"message":{"content":"a"}}],"usage":{"prompt_tokens":1.5}})"),
          QByteArray(R"([1])")}) {
        try {
            LLMChatReply::fromData(body);
            ADD_FAILURE() << "accepted " << body.constData();
        } catch (const LLMServerError &) {
            ADD_FAILURE() << "protocol violation for " << body.constData();
        } catch (const Error &e) {
            EXPECT_EQ(e.domain(), QStringLiteral("Velmora.DecodingError")) << body.constData();
        }
    }
}

namespace {

struct DecoderCase {
    const char *name;
    std::vector<QByteArray> lines;
    QStringList pieces; // texts returned, in order
    QString content;
    std::optional<QString> finishReason;
    std::optional<qint64> promptTokens;
    std::optional<qint64> completionTokens;
    bool done = false;
    int failsAtLine = -1; // index of the line that throws protocolViolation
};

QByteArray text(const char *t) {
    return QByteArray(R"(data: {"choices":[{"delta":{"content":")") + t + R"("},"finish_reason":null}]})";
}

} // namespace

TEST(StreamDecoder, LineGrammar) {
    const std::vector<DecoderCase> cases = {
        {"text, finish with usage, marker",
         {text("Hel"), text("lo"), R"(data: {"choices":[{"delta":{},"finish_reason":"stop"}]})",
          R"(data: {"choices":[],"usage":{"prompt_tokens":12,"completion_tokens":34}})", "data: [DONE]"},
         {QStringLiteral("Hel"), QStringLiteral("lo")},
         QStringLiteral("Hello"),
         QStringLiteral("stop"),
         12,
         34,
         true},
        {"marker without space, with tabs and spaces", {"data:[DONE]"}, {}, {}, {}, {}, {}, true},
        {"marker padded", {"data: \t [DONE] \t"}, {}, {}, {}, {}, {}, true},
        {"marker padded with Unicode white space",
         {QStringLiteral("data:\u00a0[DONE]\u2003").toUtf8()},
         {},
         {},
         {},
         {},
         {},
         true},
        {"chunk padded with Unicode white space",
         {QStringLiteral("data:\u3000{\"choices\":[{\"delta\":{\"content\":\"x\"}}]}\u00a0").toUtf8()},
         {QStringLiteral("x")},
         QStringLiteral("x"),
         {},
         {},
         {},
         false},
        {"marker in other case is JSON and fails", {"data: [done]"}, {}, {}, {}, {}, {}, false, 0},
        {"ignored lines",
         {"", ": comment", "event: message", " data: [DONE]", "DATA: x", "id: 3"},
         {},
         {},
         {},
         {},
         {},
         false},
        {"empty object fails", {"data: {}"}, {}, {}, {}, {}, {}, false, 0},
        {"empty choices yields nothing", {R"(data: {"choices":[]})"}, {}, {}, {}, {}, {}, false},
        {"empty delta, no delta, null finish reason change nothing",
         {R"(data: {"choices":[{"delta":{"content":""}}]})", R"(data: {"choices":[{}]})",
          R"(data: {"choices":[{"delta":{},"finish_reason":null}]})"},
         {},
         {},
         {},
         {},
         {},
         false},
        {"only the first choice counts",
         {R"(data: {"choices":[{"delta":{"content":"a"}},{"delta":{"content":"b"},"finish_reason":"stop"}]})"},
         {QStringLiteral("a")},
         QStringLiteral("a"),
         {},
         {},
         {},
         false},
        {"later usage replaces only what it carries",
         {R"(data: {"choices":[],"usage":{"prompt_tokens":12,"completion_tokens":34}})",
          R"(data: {"usage":{"completion_tokens":40}})"},
         {},
         {},
         {},
         12,
         40,
         false},
        {"later finish reason wins, null never clears",
         {R"(data: {"choices":[{"finish_reason":"length"}]})", R"(data: {"choices":[{"finish_reason":"stop"}]})",
          R"(data: {"choices":[{"finish_reason":null}]})"},
         {},
         {},
         QStringLiteral("stop"),
         {},
         {},
         false},
        {"text after the finish reason still counts",
         {R"(data: {"choices":[{"delta":{"content":"a"},"finish_reason":"length"}]})", text("b")},
         {QStringLiteral("a"), QStringLiteral("b")},
         QStringLiteral("ab"),
         QStringLiteral("length"),
         {},
         {},
         false},
        {"error line fails even after text",
         {text("a"), "error: {\"message\":\"boom\"}"},
         {QStringLiteral("a")},
         QStringLiteral("a"),
         {},
         {},
         {},
         false,
         1},
        {"undecodable payload",
         {text("a"), "data: {oops"},
         {QStringLiteral("a")},
         QStringLiteral("a"),
         {},
         {},
         {},
         false,
         1},
        {"wrong type", {R"(data: {"choices":[{"delta":{"content":7}}]})"}, {}, {}, {}, {}, {}, false, 0},
        {"choices not an array", {R"(data: {"choices":{}})"}, {}, {}, {}, {}, {}, false, 0},
        {"unicode text",
         {R"(data: {"choices":[{"delta":{"content":"日本\u00e9"}}]})"},
         {QStringLiteral("日本é")},
         QStringLiteral("日本é"),
         {},
         {},
         {},
         false},
    };
    for (const auto &c : cases) {
        LLMStreamDecoder decoder;
        QStringList pieces;
        int failedAt = -1;
        for (int i = 0; i < int(c.lines.size()); ++i) {
            try {
                if (auto piece = decoder.feed(c.lines[i]))
                    pieces.append(*piece);
            } catch (const LLMServerError &e) {
                EXPECT_EQ(e.kind(), LLMServerError::Kind::ProtocolViolation) << c.name;
                failedAt = i;
                break;
            }
        }
        EXPECT_EQ(failedAt, c.failsAtLine) << c.name;
        EXPECT_EQ(pieces, c.pieces) << c.name;
        EXPECT_EQ(decoder.content, c.content) << c.name;
        EXPECT_EQ(decoder.finishReason, c.finishReason) << c.name;
        EXPECT_EQ(decoder.promptTokens, c.promptTokens) << c.name;
        EXPECT_EQ(decoder.completionTokens, c.completionTokens) << c.name;
        EXPECT_EQ(decoder.isDone, c.done) << c.name;
    }
}

TEST(StreamDecoder, AFailedLineLeavesTheDecoderAsItWas) {
    LLMStreamDecoder decoder;
    decoder.feed(
        R"(data: {"choices":[{"delta":{"content":"a"},"finish_reason":"length"}],"usage":{"prompt_tokens":1}})");
    // Usage and text decode fine, but the second choice has the wrong shape.
    EXPECT_THROW(decoder.feed(R"(data: {"choices":[{"delta":{"content":"b"},"finish_reason":"stop"},5],)"
                              R"("usage":{"prompt_tokens":9}})"),
                 LLMServerError);
    EXPECT_EQ(decoder.content, QStringLiteral("a"));
    EXPECT_EQ(decoder.finishReason, QStringLiteral("length"));
    EXPECT_EQ(decoder.promptTokens, 1);
}
