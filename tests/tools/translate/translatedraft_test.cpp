#include "tools/translate/translatedraft.h"

#include "library/libraryerror.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

QJsonObject object(const char *json) {
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

} // namespace

TEST(TranslateDraft, EncodesFiveKeysAndTheTaskOnlyWhenThereIsOne) {
    TranslateDraft draft;
    draft.source = QStringLiteral("こんにちは");
    draft.result = QStringLiteral("Hello");
    QJsonObject json = draft.toJson();
    EXPECT_EQ(json.keys(), (QStringList{"result", "source", "sourceMode", "target", "tone"}));
    EXPECT_EQ(json.value("sourceMode").toString(), "auto");
    EXPECT_EQ(json.value("target").toString(), "en");
    EXPECT_EQ(json.value("tone").toString(), "natural");
    EXPECT_EQ(TranslateDraft::fromJson(json), draft);

    draft.taskId = QUuid::fromString(QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}"));
    draft.sourceMode = QStringLiteral("ja");
    draft.target = TranslateLanguage::English;
    draft.tone = TranslateTone::Casual;
    json = draft.toJson();
    EXPECT_EQ(json.size(), 6);
    EXPECT_EQ(json.value("taskId").toString(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
    EXPECT_EQ(TranslateDraft::fromJson(json), draft);
}

TEST(TranslateDraft, SourceModeNamesAChoiceOrAutomaticDetection) {
    struct Case {
        const char *mode;
        std::optional<TranslateLanguage> chosen;
    } cases[] = {{"auto", std::nullopt},
                 {"ja", TranslateLanguage::Japanese},
                 {"en", TranslateLanguage::English},
                 {"fr", std::nullopt},
                 {"", std::nullopt}};
    for (const Case &c : cases) {
        TranslateDraft draft;
        draft.sourceMode = QString::fromLatin1(c.mode);
        // Unknown modes still decode: they read as automatic detection.
        EXPECT_EQ(TranslateDraft::fromJson(draft.toJson()).chosenSource(), c.chosen) << c.mode;
    }
    EXPECT_EQ(TranslateDraft::sourceModeFor(std::nullopt), "auto");
    EXPECT_EQ(TranslateDraft::sourceModeFor(TranslateLanguage::English), "en");
}

TEST(TranslateDraft, AbsentOrNullTaskIsNoTask) {
    for (const char *json : {R"({"source":"a","sourceMode":"auto","target":"ja","tone":"business","result":""})",
                             R"({"source":"a","sourceMode":"auto","target":"ja","tone":"business","result":"",
                                 "taskId":null})"}) {
        const TranslateDraft draft = TranslateDraft::fromJson(object(json));
        EXPECT_EQ(draft.taskId, std::nullopt) << json;
        EXPECT_EQ(draft.target, TranslateLanguage::Japanese);
        EXPECT_EQ(draft.tone, TranslateTone::Business);
    }
}

TEST(TranslateDraft, DamagedDraftsDoNotDecodeAtAll) {
    const char *damaged[] = {
        R"({"sourceMode":"auto","target":"en","tone":"natural","result":""})",
        R"({"source":"a","target":"en","tone":"natural","result":""})",
        R"({"source":"a","sourceMode":"auto","tone":"natural","result":""})",
        R"({"source":"a","sourceMode":"auto","target":"en","result":""})",
        R"({"source":"a","sourceMode":"auto","target":"en","tone":"natural"})",
        R"({"source":1,"sourceMode":"auto","target":"en","tone":"natural","result":""})",
        R"({"source":"a","sourceMode":null,"target":"en","tone":"natural","result":""})",
        R"({"source":"a","sourceMode":"auto","target":"fr","tone":"natural","result":""})",
        R"({"source":"a","sourceMode":"auto","target":"en","tone":"formal","result":""})",
        R"({"source":"a","sourceMode":"auto","target":"en","tone":"natural","result":"","taskId":"nope"})",
        R"({"source":"a","sourceMode":"auto","target":"en","tone":"natural","result":"","taskId":7})",
    };
    for (const char *json : damaged)
        EXPECT_THROW(TranslateDraft::fromJson(object(json)), LibraryDecodingError) << json;
}
