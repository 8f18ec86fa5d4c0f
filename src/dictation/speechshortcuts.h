#pragma once

// The user's global keys for dictation: whether a bare fn tap (Right Ctrl on a PC keyboard) or
// a chord starts and stops it, whether Escape or a chord cancels it, and the two chords. Loaded
// at launch, every change written at once; changed() tells the hotkey service to apply them.
// Main thread only.

#include "core/settingkey.h"
#include "platform/keychord.h"

#include <QObject>
#include <QString>

#include <optional>

namespace velmora {

class Defaults;

class SpeechShortcuts : public QObject {
    Q_OBJECT
public:
    // Reads the stored keys: a flag that is not a stored Bool reads true; a chord that does not
    // decode or is not usable reads as none (and stays stored); of two equal chords the cancel
    // chord reads as none.
    explicit SpeechShortcuts(Defaults &defaults, QObject *parent = nullptr);

    bool toggleUsesGlobe() const { return m_toggleUsesGlobe; }
    bool cancelUsesEscape() const { return m_cancelUsesEscape; }
    const std::optional<KeyChord> &toggleChord() const { return m_toggleChord; }
    const std::optional<KeyChord> &cancelChord() const { return m_cancelChord; }
    bool isEditing() const { return m_isEditing; }

    // Store the flag, then changed().
    void setToggleUsesGlobe(bool on);
    void setCancelUsesEscape(bool on);
    // Only the value shown; storeChord() keeps it.
    void setToggleChord(std::optional<KeyChord> chord);
    void setCancelChord(std::optional<KeyChord> chord);
    // Writes the chord under the key ("speech.toggleChord" or "speech.cancelChord"), or removes
    // the key for none, then changed().
    void storeChord(const std::optional<KeyChord> &chord, const SettingKey<QByteArray> &key);
    // Back to the fn key and Escape, without chords.
    void resetToDefaults();
    // Set while Settings records a shortcut; every assignment runs changed().
    void setEditing(bool editing);

signals:
    // After every write and every assignment of the editing flag.
    void changed();
    void toggleUsesGlobeChanged();
    void cancelUsesEscapeChanged();
    void toggleChordChanged();
    void cancelChordChanged();
    void isEditingChanged();

private:
    Defaults &m_defaults;
    bool m_toggleUsesGlobe = true;
    bool m_cancelUsesEscape = true;
    std::optional<KeyChord> m_toggleChord;
    std::optional<KeyChord> m_cancelChord;
    bool m_isEditing = false;
};

} // namespace velmora
