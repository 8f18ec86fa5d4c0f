#pragma once

#include "core/settingkey.h"

namespace velmora {

// The user's chosen text size in its stored form; absent (empty) means the standard size.
inline const SettingKey<QString> kTextSize{QStringLiteral("textSize"), QString()};
// Never written by the application: a launch-time override that wins over "textSize" when valid.
inline const SettingKey<QString> kTextSizeOverride{QStringLiteral("textSizeOverride"), QString()};
// Skips animations that insert, remove or move content; hover and press feedback still animate.
inline const SettingKey<bool> kReduceMotion{QStringLiteral("reduceMotion"), false};

} // namespace velmora
