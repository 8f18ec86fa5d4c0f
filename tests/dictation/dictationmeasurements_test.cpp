#include "dictation/dictationmeasurements.h"

#include "support/testsupport.h"

#include <QJsonDocument>

using namespace velmora;
using M = DictationMeasurements;

namespace {

M fullRun() {
    M m;
    m.audioSeconds = 12.5;
    m.chunks = 1;
    m.characters = 42;
    m.words = 8;
    m.countVersion = 1;
    m.cleanup = M::Cleanup::Applied;
    m.promptTokens = 310;
    m.completionTokens = 12;
    m.delivery = M::Delivery::Pasted;
    m.micInterrupted = false;
    m.transcribeMs = 820;
    m.cleanupMs = 1460;
    m.speechModel = QStringLiteral("speech.gguf");
    m.textModel = QStringLiteral("writer.gguf");
    return m;
}

TEST(DictationMeasurementsTest, EncodesWithSortedKeysAndNoNulls) {
    EXPECT_EQ(
        fullRun().encoded(),
        QStringLiteral(R"({"audioSeconds":12.5,"characters":42,"chunks":1,"cleanup":"applied","cleanupMs":1460,)"
                       R"("completionTokens":12,"countVersion":1,"delivery":"pasted","micInterrupted":false,)"
                       R"("promptTokens":310,"speechModel":"speech.gguf","textModel":"writer.gguf","transcribeMs":820,)"
                       R"("words":8})"));

    // A run that ended early stores only what it reached.
    M early;
    early.speechModel = QStringLiteral("speech.gguf");
    early.delivery = M::Delivery::None;
    early.micInterrupted = true;
    EXPECT_EQ(early.encoded(),
              QStringLiteral(R"({"delivery":"none","micInterrupted":true,"speechModel":"speech.gguf"})"));
    EXPECT_EQ(M().encoded(), QStringLiteral("{}"));
}

TEST(DictationMeasurementsTest, DecodingGivesBackAnEqualValue) {
    for (const M &m : {fullRun(), M()})
        EXPECT_EQ(M::decode(m.encoded()), m);
    // Missing keys and nulls are absent; unknown keys are ignored.
    M expected;
    expected.chunks = 2;
    EXPECT_EQ(M::decode(QStringLiteral(R"({"chunks":2,"words":null,"futureField":[1,2]})")), expected);
    // Whole numbers stay exact past the 53 bits a double holds, as in every other stored record.
    const std::optional<M> large = M::decode(QStringLiteral(R"({"promptTokens":9007199254740993})"));
    ASSERT_TRUE(large.has_value());
    EXPECT_EQ(large->promptTokens, qint64(9007199254740993));
}

struct BadJson {
    const char *name;
    const char *json;
};
void PrintTo(const BadJson &c, std::ostream *os) {
    *os << c.name;
}

class DictationMeasurementsRejectTest : public ::testing::TestWithParam<BadJson> {};

TEST_P(DictationMeasurementsRejectTest, AValueOfTheWrongKindFailsTheWholeRecord) {
    EXPECT_EQ(M::decode(QString::fromUtf8(GetParam().json)), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Records, DictationMeasurementsRejectTest,
                         ::testing::Values(BadJson{"UnknownDelivery", R"({"chunks":1,"delivery":"typed"})"},
                                           BadJson{"UnknownCleanup", R"({"cleanup":"Applied"})"},
                                           BadJson{"TextForANumber", R"({"words":"8"})"},
                                           BadJson{"FractionForAnInteger", R"({"chunks":1.5})"},
                                           BadJson{"NumberForABool", R"({"micInterrupted":1})"},
                                           BadJson{"NumberForAString", R"({"speechModel":3})"},
                                           BadJson{"NotAnObject", R"([1])"}, BadJson{"NotJson", R"({"chunks":)"}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
