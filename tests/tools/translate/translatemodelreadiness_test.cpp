#include "tools/translate/translatemodelreadiness.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(TranslateModelReadinessTest, TheBannerShowsOnlyForAnAbsentModelAndRunsNeedItsFiles) {
    using Kind = ModelStore::State::Kind;
    const struct {
        ModelStore::State state;
        bool banner;
        bool filesAsked;
    } cases[] = {
        {Kind::Checking, false, true},
        {Kind::Downloading, false, true},
        {Kind::Verifying, false, true},
        {Kind::Ready, false, true},
        {ModelStore::State::failed(ModelFailure::Network), true, false},
        {ModelStore::State::failed(ModelFailure::Space), true, false},
        {Kind::Unavailable, true, false},
        {Kind::Canceled, true, false},
    };
    for (const auto &c : cases) {
        for (bool files : {false, true}) {
            SCOPED_TRACE(c.state.toString().toStdString() + (files ? " with files" : " without files"));
            int asked = 0;
            TranslateModelReadiness model(TranslateModelReadiness::Source{[&] { return c.state; },
                                                                          [&]() -> std::optional<QStringList> {
                                                                              ++asked;
                                                                              if (!files)
                                                                                  return std::nullopt;
                                                                              return QStringList{"/m/writer.gguf"};
                                                                          }},
                                          std::nullopt);
            EXPECT_EQ(model.showsBanner(), c.banner);
            EXPECT_EQ(model.isReady(), c.filesAsked && files);
            EXPECT_EQ(asked > 0, c.filesAsked);
        }
    }
}

TEST(TranslateModelReadinessTest, ThePreviewOfAMissingModelShowsTheBannerOverAReadyOne) {
    const auto ready = [] { return ModelStore::State(ModelStore::State::Kind::Ready); };
    const auto files = []() -> std::optional<QStringList> { return QStringList{"/m/writer.gguf"}; };
    const struct {
        std::optional<QString> preview;
        bool banner;
    } cases[] = {{std::nullopt, false}, {QStringLiteral("missing"), true}, {QStringLiteral("typing"), false}};
    for (const auto &c : cases) {
        TranslateModelReadiness model({ready, files}, c.preview);
        EXPECT_EQ(model.showsBanner(), c.banner);
        EXPECT_EQ(model.isReady(), !c.banner);
    }
}
