#include "tools/translate/translatemodelreadiness.h"

namespace velmora {

namespace {

bool mayHaveFiles(ModelStore::State::Kind kind) {
    switch (kind) {
    case ModelStore::State::Kind::Checking:
    case ModelStore::State::Kind::Downloading:
    case ModelStore::State::Kind::Verifying:
    case ModelStore::State::Kind::Ready: return true;
    case ModelStore::State::Kind::Failed:
    case ModelStore::State::Kind::Unavailable:
    case ModelStore::State::Kind::Canceled: break;
    }
    return false;
}

} // namespace

TranslateModelReadiness::TranslateModelReadiness(Source source, std::optional<QString> previewState, QObject *parent)
    : QObject(parent), m_source(std::move(source)), m_previewState(std::move(previewState)) {}

TranslateModelReadiness::TranslateModelReadiness(ModelStore &store, std::optional<QString> previewState,
                                                 QObject *parent)
    : TranslateModelReadiness(Source{[&store] { return store.state(); }, [&store] { return store.readyFileURLs(); }},
                              std::move(previewState), parent) {
    connect(&store, &ModelStore::stateChanged, this, &TranslateModelReadiness::notifyChanged);
}

bool TranslateModelReadiness::isMissingPreview() const {
    return m_previewState == QStringLiteral("missing");
}

bool TranslateModelReadiness::showsBanner() const {
    return isMissingPreview() || !mayHaveFiles(m_source.state().kind);
}

bool TranslateModelReadiness::isReady() const {
    if (isMissingPreview() || !mayHaveFiles(m_source.state().kind))
        return false;
    const std::optional<QStringList> files = m_source.readyFiles();
    return files && !files->isEmpty();
}

} // namespace velmora
