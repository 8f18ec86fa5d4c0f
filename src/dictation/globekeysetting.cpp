#include "dictation/globekeysetting.h"

#include "platform/keyeventtap.h"
#include "platform/settingspanes.h"

namespace velmora {

GlobeKeySetting::GlobeKeySetting(KeyEventTaps &taps, SettingsPanes &panes, QStringList launchArguments)
    : m_taps(taps), m_panes(panes), m_arguments(std::move(launchArguments)) {}

bool GlobeKeySetting::globeKeyHasAction() const {
    if (m_arguments.contains(QStringLiteral("-globeKeyHasAction")))
        return true;
    return m_taps.fnKeyHasAction().value_or(true);
}

void GlobeKeySetting::openKeyboardSettings() const {
    m_panes.openKeyboardSettings();
}

} // namespace velmora
