#include "workspace/settingscategory.h"

namespace velmora {

namespace {
constexpr const char *kNames[] = {"general", "dictation", "shortcuts", "models", "permissions"};
}

const QList<SettingsCategory> &allSettingsCategories() {
    static const QList<SettingsCategory> all = {SettingsCategory::General, SettingsCategory::Dictation,
                                                SettingsCategory::Shortcuts, SettingsCategory::Models,
                                                SettingsCategory::Permissions};
    return all;
}

QString toString(SettingsCategory category) {
    return QString::fromLatin1(kNames[int(category)]);
}

std::optional<SettingsCategory> settingsCategoryFromString(const QString &raw) {
    for (SettingsCategory category : allSettingsCategories()) {
        if (raw == QLatin1String(kNames[int(category)]))
            return category;
    }
    return std::nullopt;
}

} // namespace velmora
