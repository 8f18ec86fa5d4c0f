#include "workspace/settingsattention.h"

#include "models/localmodels.h"
#include "speech/speechpermissions.h"

namespace velmora {

namespace {

bool needsAttention(const ModelStore &store) {
    switch (store.state().kind) {
    case ModelStore::State::Kind::Failed:
    case ModelStore::State::Kind::Unavailable:
    case ModelStore::State::Kind::Canceled: return true;
    case ModelStore::State::Kind::Checking:
    case ModelStore::State::Kind::Downloading:
    case ModelStore::State::Kind::Verifying:
    case ModelStore::State::Kind::Ready: return false;
    }
    return false;
}

} // namespace

SettingsAttention::SettingsAttention(LocalModels &models, SpeechPermissions &permissions, QObject *parent)
    : QObject(parent), m_models(models), m_permissions(permissions) {
    connect(&models, &LocalModels::changed, this, &SettingsAttention::changed);
    connect(&permissions, &SpeechPermissions::microphoneChanged, this, &SettingsAttention::changed);
    connect(&permissions, &SpeechPermissions::accessibilityChanged, this, &SettingsAttention::changed);
}

int SettingsAttention::count(SettingsCategory category) const {
    switch (category) {
    case SettingsCategory::Models: return int(needsAttention(m_models.speech())) + int(needsAttention(m_models.text()));
    case SettingsCategory::Permissions:
        return int(m_permissions.microphone() != SpeechPermissions::MicrophoneStatus::Authorized) +
               int(!m_permissions.accessibility());
    case SettingsCategory::General:
    case SettingsCategory::Dictation:
    case SettingsCategory::Shortcuts: return 0;
    }
    return 0;
}

int SettingsAttention::total() const {
    int sum = 0;
    for (SettingsCategory category : allSettingsCategories())
        sum += count(category);
    return sum;
}

} // namespace velmora
