#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace velmora {

// The panes of the Settings page. The navigation keeps the one shown; the stored form is the
// case name ("general", "models"…).
enum class SettingsCategory { General, Dictation, Shortcuts, Models, Permissions };

const QList<SettingsCategory> &allSettingsCategories();
QString toString(SettingsCategory category);
std::optional<SettingsCategory> settingsCategoryFromString(const QString &raw);

} // namespace velmora
