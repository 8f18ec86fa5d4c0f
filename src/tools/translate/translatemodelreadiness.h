#pragma once

#include "models/modelstore.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace velmora {

// The writing model as the Translate page sees it: whether the banner asks for it and whether a
// run may start. The preview state "missing" acts out an absent model. Main thread only.
class TranslateModelReadiness : public QObject {
    Q_OBJECT
public:
    struct Source {
        std::function<ModelStore::State()> state;
        // Asked only while the state may have files: the store's ready file paths, or none.
        std::function<std::optional<QStringList>()> readyFiles;
    };

    TranslateModelReadiness(Source source, std::optional<QString> previewState, QObject *parent = nullptr);
    // Follows the store's state.
    TranslateModelReadiness(ModelStore &store, std::optional<QString> previewState, QObject *parent = nullptr);

    // Absent and nothing fetching or checking it.
    bool showsBanner() const;
    // Not acting out "missing", a state that can have files, and the files are there.
    bool isReady() const;

public slots:
    // The store's state moved.
    void notifyChanged() { emit changed(); }

signals:
    void changed();

private:
    bool isMissingPreview() const;

    Source m_source;
    std::optional<QString> m_previewState;
};

} // namespace velmora
