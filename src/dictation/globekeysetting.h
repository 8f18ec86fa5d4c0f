#pragma once

// Whether the fn key (Right Ctrl on a PC keyboard) also does something of its own on this
// desktop, so that a tap both dictates and does that; and the way to the keyboard settings
// where the user changes it.

#include <QStringList>

namespace velmora {

class KeyEventTaps;
class SettingsPanes;

class GlobeKeySetting {
public:
    GlobeKeySetting(KeyEventTaps &taps, SettingsPanes &panes, QStringList launchArguments);

    // True with the exact launch argument "-globeKeyHasAction"; otherwise what the keyboard
    // layout makes of the key, and true when that cannot be told.
    bool globeKeyHasAction() const;
    // Opens the desktop's keyboard settings; nothing happens when none can be found.
    void openKeyboardSettings() const;

private:
    KeyEventTaps &m_taps;
    SettingsPanes &m_panes;
    QStringList m_arguments;
};

} // namespace velmora
