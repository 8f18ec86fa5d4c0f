#pragma once

// The Translate page's services around a session on the stand-in server: the workspace's
// navigation and hand-off with stand-ins for notes and prompts, and a writing model whose state
// the test sets.

#include "translatefixture.h"

#include "tools/translate/translatemodelreadiness.h"
#include "tools/translate/translateview.h"
#include "workspace/handofffakes.h"
#include "workspace/pinnedtools.h"

namespace velmora::test {

class TranslatePageTest : public TranslateTest, protected HandoffFakes {
protected:
    TranslatePageTest() : HandoffFakes(false) {}

    // The readiness the page sees; built at first use with the test's preview state.
    TranslateModelReadiness &model() {
        if (!m_model) {
            m_model = std::make_unique<TranslateModelReadiness>(
                TranslateModelReadiness::Source{[this] { return modelState; },
                                                [this]() -> std::optional<QStringList> {
                                                    ++filesAsked;
                                                    if (!modelFiles)
                                                        return std::nullopt;
                                                    return QStringList{writer.model()};
                                                }},
                previewState);
        }
        return *m_model;
    }
    // The page's services over this fixture, without a Recent section.
    TranslateView::Services services() {
        TranslateView::Services s;
        s.session = &session();
        s.model = &model();
        s.workspace.navigation = &navigation;
        s.workspace.pins = &pins;
        s.handoff = &handoff;
        return s;
    }

    void setModelState(ModelStore::State state, bool files) {
        modelState = state;
        modelFiles = files;
        model().notifyChanged();
    }

    void TearDown() override {
        m_model.reset();
        TranslateTest::TearDown();
    }

    PinnedTools pins{defaults};
    ModelStore::State modelState{ModelStore::State::Kind::Ready};
    bool modelFiles = true;
    int filesAsked = 0;

private:
    std::unique_ptr<TranslateModelReadiness> m_model;
};

} // namespace velmora::test
