#include "speech/speechhelperprotocol.h"
#include "speech/speechhelping.h"

#include "core/log.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(SpeechHelperProtocol, LoadRequestIsCompactWithEscapedSlashes) {
    const auto line = SpeechHelperRequest::load(QStringLiteral("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0"),
                                                QStringLiteral("/models/speech model.bin"))
                          .encode();
    EXPECT_EQ(line, QByteArray(R"({"v":1,"type":"load","id":"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0",)"
                               R"("path":"\/models\/speech model.bin"})"));
}

TEST(SpeechHelperProtocol, TranscribeRequestCarriesAllMembersInOrder) {
    const auto line =
        SpeechHelperRequest::transcribe(QStringLiteral("ID"), QStringLiteral("/tmp/a.f32"), 0, 480000, "ja").encode();
    EXPECT_EQ(line, QByteArray(R"({"v":1,"type":"transcribe","id":"ID","path":"\/tmp\/a.f32",)"
                               R"("offset":0,"samples":480000,"language":"ja"})"));
}

TEST(SpeechHelperProtocol, StringsAreEscaped) {
    struct Case {
        QString text;
        QByteArray json;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("a\"b\\c"), R"("a\"b\\c")"},
        {QStringLiteral("line\nfeed\ttab\r"), R"("line\nfeed\ttab\r")"},
        {QString(QChar(0x01)) + QChar(0x1f), R"("\u0001\u001f")"},
        {QStringLiteral("日本/語"),
         QByteArray("\"") + QStringLiteral("日本").toUtf8() + "\\/" + QStringLiteral("語").toUtf8() + "\""},
    };
    for (const Case &c : cases) {
        QByteArray out;
        appendJsonString(out, c.text);
        EXPECT_EQ(out, c.json) << c.text.toStdString();
    }
}

TEST(SpeechHelperProtocol, DecodesRepliesAndRefusesMalformedOnes) {
    struct Case {
        const char *line;
        bool valid;
    };
    const std::vector<Case> cases = {
        {R"({"v":1,"type":"ready"})", true},
        {R"({"type":"ready","v":1,"id":null,"extra":[1,2]})", true},
        {R"({"v":2,"type":"ready"})", true}, // decodes; the version is judged by the reader
        {R"({"v":1,"type":"result","id":"X","status":0,"complete":true,"text":"hi"})", true},
        {"", false},
        {"not json", false},
        {R"([{"v":1,"type":"ready"}])", false},
        {R"({"type":"ready"})", false},
        {R"({"v":1})", false},
        {R"({"v":"1","type":"ready"})", false},
        {R"({"v":1.5,"type":"ready"})", false},
        {R"({"v":null,"type":"ready"})", false},
        {R"({"v":1,"type":7})", false},
        {R"({"v":1,"type":"ready","id":5})", false},
        {R"({"v":1,"type":"loaded","id":"X","backend":false})", false},
        {R"({"v":1,"type":"result","id":"X","status":"0"})", false},
        {R"({"v":1,"type":"result","id":"X","text":3})", false},
        {R"({"v":1,"type":"result","id":"X","complete":1})", false},
        {R"({"v":1,"type":"ready"} {"v":1,"type":"ready"})", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SpeechHelperResponse::decode(QByteArrayView(c.line)).has_value(), c.valid) << c.line;
}

TEST(SpeechHelperProtocol, DecodedMembersKeepTheirValues) {
    const auto r = SpeechHelperResponse::decode(
        R"({"v":1,"type":"error","id":"A-b","backend":null,"status":-9007199254740993,"complete":false})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->v, 1);
    EXPECT_EQ(r->type, "error");
    EXPECT_EQ(r->id, QStringLiteral("A-b"));
    EXPECT_FALSE(r->backend);
    EXPECT_EQ(r->status, qint64(-9007199254740993LL)); // beyond a double's exact range
    EXPECT_EQ(r->complete, false);
    EXPECT_FALSE(r->text);
}

TEST(SpeechHelperProtocol, ErrorsShowTheirDomainAndCase) {
    EXPECT_EQ(Log::errorCode(SpeechHelperError(SpeechHelperError::Kind::Engine, 7)), "Velmora.SpeechHelperError 0");
    EXPECT_EQ(Log::errorCode(SpeechHelperError(SpeechHelperError::Kind::TimedOut)), "Velmora.SpeechHelperError 5");
    EXPECT_EQ(SpeechHelperError(SpeechHelperError::Kind::Engine, 7).engineStatus(), 7);
    EXPECT_EQ(SpeechHelperError::toString(SpeechHelperError::Kind::ProtocolViolation), "protocolViolation");
}
