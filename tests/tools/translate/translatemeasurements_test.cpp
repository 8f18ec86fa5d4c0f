#include "tools/translate/translatemeasurements.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(TranslateMeasurements, StoredFormHasSortedKeysAndLeavesAbsentFieldsOut) {
    TranslateMeasurements m;
    m.sourceLanguage = QStringLiteral("ja");
    m.targetLanguage = QStringLiteral("en");
    m.detected = true;
    m.tone = TranslateTone::Business;
    m.sourceCharacters = 12;
    m.resultCharacters = 30;
    m.resultWords = 6;
    m.countVersion = 1;
    m.translateMs = 1999;
    m.textModel = QStringLiteral("writer.gguf");
    const QString stored = m.encoded();
    EXPECT_EQ(stored, QStringLiteral(R"({"countVersion":1,"detected":true,"resultCharacters":30,"resultWords":6,)"
                                     R"("sourceCharacters":12,"sourceLanguage":"ja","targetLanguage":"en",)"
                                     R"("textModel":"writer.gguf","tone":"business","translateMs":1999})"));
    EXPECT_FALSE(stored.contains("null"));
    EXPECT_EQ(TranslateMeasurements::decode(stored), m);

    m.promptTokens = 40;
    m.completionTokens = 9;
    m.firstTextMs = 120;
    EXPECT_TRUE(m.encoded().startsWith(R"({"completionTokens":9,"countVersion":1,"detected":true,"firstTextMs":120,)"
                                       R"("promptTokens":40,)"));
    EXPECT_EQ(TranslateMeasurements::decode(m.encoded()), m);
}

TEST(TranslateMeasurements, DecodesAnySubsetAndRejectsWrongTypes) {
    EXPECT_EQ(TranslateMeasurements::decode("{}"), TranslateMeasurements{});
    const auto withNull = TranslateMeasurements::decode(R"({"tone":null,"translateMs":null,"detected":false})");
    ASSERT_TRUE(withNull);
    EXPECT_EQ(withNull->tone, std::nullopt);
    EXPECT_EQ(withNull->detected, false);

    for (const char *bad : {R"({"tone":"formal"})", R"({"translateMs":"12"})", R"({"resultWords":1.5})",
                            R"({"detected":"yes"})", R"({"textModel":3})", "[]", "not json"})
        EXPECT_EQ(TranslateMeasurements::decode(QString::fromLatin1(bad)), std::nullopt) << bad;
}
