#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace velmora {

class Defaults;

// How long an idle model stays loaded; stored as its number of seconds.
enum class SpeechUnloadInterval { FiveMinutes = 300, ThirtyMinutes = 1800, Never = -1 };

// Exactly 300, 1800 and -1 are intervals.
std::optional<SpeechUnloadInterval> speechUnloadIntervalFromRaw(qint64 raw);
qint64 toRaw(SpeechUnloadInterval interval);
// The idle delay before unloading: 300 s, 1800 s, or none for Never.
std::optional<double> unloadSeconds(SpeechUnloadInterval interval);

// What one recording uses of the preferences, taken when it starts.
struct SpeechPreferenceSnapshot {
    QString languageCode;
    std::optional<QString> selectedDeviceID;
    bool operator==(const SpeechPreferenceSnapshot &) const = default;
};

// The user's speech settings, kept in the defaults store. Every set writes its key (also when
// unchanged); change signals fire only when the value changed. Main thread only.
class SpeechPreferences : public QObject {
    Q_OBJECT
public:
    static const QStringList &supportedLanguages();

    // Reads every key (the language falls back to the app language, then the first preferred
    // language, then "en") and writes the chosen language back.
    SpeechPreferences(Defaults &defaults, const QStringList &preferredLanguages, QObject *parent = nullptr);

    const QString &languageCode() const { return m_languageCode; }
    const std::optional<QString> &selectedDeviceID() const { return m_selectedDeviceID; }
    SpeechUnloadInterval unloadInterval() const { return m_unloadInterval; }
    bool soundsEnabled() const { return m_soundsEnabled; }
    bool muteOutputEnabled() const { return m_muteOutputEnabled; }
    bool cleanupEnabled() const { return m_cleanupEnabled; }

    // A code outside supportedLanguages() is stored as "en".
    void setLanguageCode(const QString &code);
    // None removes the key.
    void setSelectedDeviceID(const std::optional<QString> &id);
    // Calls onUnloadChange after the write, on every set.
    void setUnloadInterval(SpeechUnloadInterval interval);
    void setSoundsEnabled(bool on);
    void setMuteOutputEnabled(bool on);
    void setCleanupEnabled(bool on);

    SpeechPreferenceSnapshot snapshot() const { return {m_languageCode, m_selectedDeviceID}; }

    // Set by the composition root: re-arms the idle unloads after the interval changed.
    std::function<void()> onUnloadChange;

signals:
    void languageCodeChanged();
    void selectedDeviceIDChanged();
    void unloadIntervalChanged();
    void soundsEnabledChanged();
    void muteOutputEnabledChanged();
    void cleanupEnabledChanged();

private:
    QString m_languageCode;
    std::optional<QString> m_selectedDeviceID;
    SpeechUnloadInterval m_unloadInterval = SpeechUnloadInterval::FiveMinutes;
    bool m_soundsEnabled = true;
    bool m_muteOutputEnabled = true;
    bool m_cleanupEnabled = true;
    Defaults &m_defaults;
};

} // namespace velmora
