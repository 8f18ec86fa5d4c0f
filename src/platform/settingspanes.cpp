#include "platform/settingspanes.h"

#include <QProcess>
#include <QStandardPaths>

namespace velmora {

QList<QStringList> DesktopSettingsPanes::candidates(const QString &anchor) {
    if (anchor == QLatin1String("Privacy_Microphone"))
        return {{QStringLiteral("gnome-control-center"), QStringLiteral("sound")},
                {QStringLiteral("systemsettings"), QStringLiteral("kcm_pulseaudio")},
                {QStringLiteral("pavucontrol"), QStringLiteral("--tab=4")}};
    if (anchor == QLatin1String("Privacy_Accessibility"))
        return {{QStringLiteral("gnome-control-center"), QStringLiteral("universal-access")},
                {QStringLiteral("systemsettings"), QStringLiteral("kcm_access")}};
    if (anchor == QLatin1String("Keyboard"))
        return {{QStringLiteral("gnome-control-center"), QStringLiteral("keyboard")},
                {QStringLiteral("systemsettings"), QStringLiteral("kcm_keyboard")},
                {QStringLiteral("xfce4-keyboard-settings")}};
    return {};
}

bool DesktopSettingsPanes::openKeyboardSettings() {
    return openPrivacyPane(QStringLiteral("Keyboard"));
}

bool DesktopSettingsPanes::openPrivacyPane(const QString &anchor) {
    for (const QStringList &command : candidates(anchor)) {
        const QString program = QStandardPaths::findExecutable(command.first());
        if (program.isEmpty())
            continue;
        if (QProcess::startDetached(program, command.mid(1)))
            return true;
    }
    return false;
}

} // namespace velmora
