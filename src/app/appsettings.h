#pragma once

#include "core/settingkey.h"

namespace velmora {

// The interface language: "system", "en" or "ja".
inline const SettingKey<QString> kAppLanguage{QStringLiteral("appLanguage"), QStringLiteral("system")};
// Whether the tray menu is shown; stored false also makes closing the window quit.
inline const SettingKey<bool> kShowInMenuBar{QStringLiteral("showInMenuBar"), true};
// Launch setting: which model files to fetch. "standIn" picks the stand-in models served by
// the stand-in model hub; anything else the real ones.
inline const SettingKey<QString> kModelManifests{QStringLiteral("modelManifests"), QString()};
// Launch setting: a sound file played in real time as the only microphone.
inline const SettingKey<QString> kMicrophoneFile{QStringLiteral("microphoneFile"), QString()};
// Launch setting: milliseconds the Library waits for a lock another program holds (0: the usual
// wait). Tests that hold the lock lengthen it, so a loaded machine cannot end the wait early.
inline const SettingKey<qint64> kLibraryBusyWaitMs{QStringLiteral("libraryBusyWaitMs"), 0};

} // namespace velmora
