#pragma once

#include "workspace/settingscategory.h"

#include <QObject>

namespace velmora {

class LocalModels;
class SpeechPermissions;

// What in Settings needs the user: failed, unavailable or canceled model stores, and missing
// microphone or Accessibility grants. The sidebar badges the sum on its Settings row and the
// Settings page each category's count. Main thread only.
class SettingsAttention : public QObject {
    Q_OBJECT
public:
    SettingsAttention(LocalModels &models, SpeechPermissions &permissions, QObject *parent = nullptr);

    // The count of one category: models and permissions can need attention, the others never.
    int count(SettingsCategory category) const;
    // The sum over every category, 0 to 4.
    int total() const;

signals:
    // One of the inputs changed; the counts may differ now.
    void changed();

private:
    LocalModels &m_models;
    SpeechPermissions &m_permissions;
};

} // namespace velmora
