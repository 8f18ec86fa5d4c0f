#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// Opens the desktop's settings where a privacy grant is given, named by the pane anchors
// "Privacy_Microphone" and "Privacy_Accessibility".
class SettingsPanes {
public:
    virtual ~SettingsPanes() = default;
    // Whether a settings program was started for the anchor.
    virtual bool openPrivacyPane(const QString &anchor) = 0;
    // The desktop's keyboard settings (shortcuts, what the keys do).
    virtual bool openKeyboardSettings() = 0;
};

// Starts the first settings program found on PATH that shows the matching page: the sound
// input page for the microphone, the accessibility page for Accessibility.
class DesktopSettingsPanes : public SettingsPanes {
public:
    bool openPrivacyPane(const QString &anchor) override;
    bool openKeyboardSettings() override;
    // The command lines tried for an anchor, in order; empty for an unknown anchor. The anchor
    // "Keyboard" names the keyboard settings.
    static QList<QStringList> candidates(const QString &anchor);
};

class FakeSettingsPanes : public SettingsPanes {
public:
    bool openPrivacyPane(const QString &anchor) override {
        opened.append(anchor);
        return true;
    }
    bool openKeyboardSettings() override {
        opened.append(QStringLiteral("Keyboard"));
        return true;
    }
    QStringList opened;
};

} // namespace velmora
