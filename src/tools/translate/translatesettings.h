#pragma once

#include "core/settingkey.h"

namespace velmora {

// Fills the Translate page with a fixed sample state ("typing", "missing", "running", "done",
// "edited", "failed", "over"); any value, known or not, keeps the page away from its stored
// draft and from History. Read once per launch; absent means no preview.
inline const SettingKey<QString> kTranslatePreviewState{QStringLiteral("translatePreviewState"), {}};

} // namespace velmora
