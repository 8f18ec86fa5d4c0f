#pragma once

#include "core/settingkey.h"

namespace velmora {

// The workspace's settings. The pinned tools, the collapsed sidebar groups and the two list
// flags are written by the program; the rest are launch-time overrides it only reads.

// The pinned tools' stored forms in order; absent means the default pins.
inline const SettingKey<QStringList> kPinnedTools{QStringLiteral("pinnedTools"), {}};
// The ids of the collapsed sidebar groups joined by ",", in the order they were collapsed.
inline const SettingKey<QString> kCollapsedSidebarGroups{QStringLiteral("collapsedSidebarGroups"), {}};
inline const SettingKey<bool> kNoteListHidden{QStringLiteral("noteListHidden"), false};
inline const SettingKey<bool> kHistoryListHidden{QStringLiteral("historyListHidden"), false};

// Launch overrides. "page" is honoured from the launch arguments only.
inline const SettingKey<QString> kPageOverride{QStringLiteral("page"), {}};
inline const SettingKey<QString> kHistoryEntryOverride{QStringLiteral("historyEntry"), {}};
inline const SettingKey<QString> kHistoryQueryOverride{QStringLiteral("historyQuery"), {}};
inline const SettingKey<QString> kHistoryToolsOverride{QStringLiteral("historyTools"), {}};
inline const SettingKey<QString> kSettingsCategoryOverride{QStringLiteral("settingsCategory"), {}};
inline const SettingKey<bool> kSidebarHiddenOverride{QStringLiteral("sidebarHidden"), false};
inline const SettingKey<QString> kSlideOverOverride{QStringLiteral("slideOver"), {}};

} // namespace velmora
