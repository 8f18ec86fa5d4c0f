#include "speech/speechpreferences.h"

#include "core/defaults.h"

#include <QRegularExpression>

namespace velmora {

namespace {
const QString kLanguageKey = QStringLiteral("speechLanguage");
const QString kDeviceKey = QStringLiteral("speechDevice");
const QString kUnloadKey = QStringLiteral("speechUnloadInterval");
const QString kSoundsKey = QStringLiteral("speechSoundsEnabled");
const QString kMuteKey = QStringLiteral("speechMuteOutputEnabled");
const QString kCleanupKey = QStringLiteral("speechCleanupEnabled");
const QString kAppLanguageKey = QStringLiteral("appLanguage");

// Only a stored string counts; a key of another type is as good as missing.
std::optional<QString> storedString(const Defaults &defaults, const QString &key) {
    if (defaults.storedType(key) != Defaults::Type::String)
        return std::nullopt;
    return defaults.string(key);
}

bool storedBool(const Defaults &defaults, const QString &key) {
    if (defaults.storedType(key) != Defaults::Type::Bool)
        return true;
    return defaults.boolValue(key, true);
}

SpeechUnloadInterval loadedInterval(const Defaults &defaults) {
    if (defaults.storedType(kUnloadKey) != Defaults::Type::Integer)
        return SpeechUnloadInterval::FiveMinutes;
    // Earlier choices (one minute, fifteen minutes, immediately) map onto the two kept ones.
    switch (defaults.integer(kUnloadKey)) {
    case 900:
    case 1800: return SpeechUnloadInterval::ThirtyMinutes;
    case -1: return SpeechUnloadInterval::Never;
    default: return SpeechUnloadInterval::FiveMinutes;
    }
}

QString initialLanguage(const Defaults &defaults, const QStringList &preferredLanguages) {
    const QStringList &supported = SpeechPreferences::supportedLanguages();
    if (auto stored = storedString(defaults, kLanguageKey); stored && supported.contains(*stored))
        return *stored;
    if (auto app = storedString(defaults, kAppLanguageKey);
        app && (*app == QLatin1String("en") || *app == QLatin1String("ja")))
        return *app;
    if (!preferredLanguages.isEmpty()) {
        const QString first = preferredLanguages.first();
        const QString code = first.section(QRegularExpression(QStringLiteral("[-_]")), 0, 0).toLower();
        if (supported.contains(code))
            return code;
    }
    return QStringLiteral("en");
}
} // namespace

std::optional<SpeechUnloadInterval> speechUnloadIntervalFromRaw(qint64 raw) {
    switch (raw) {
    case 300: return SpeechUnloadInterval::FiveMinutes;
    case 1800: return SpeechUnloadInterval::ThirtyMinutes;
    case -1: return SpeechUnloadInterval::Never;
    default: return std::nullopt;
    }
}

qint64 toRaw(SpeechUnloadInterval interval) {
    return qint64(interval);
}

std::optional<double> unloadSeconds(SpeechUnloadInterval interval) {
    if (interval == SpeechUnloadInterval::Never)
        return std::nullopt;
    return double(toRaw(interval));
}

const QStringList &SpeechPreferences::supportedLanguages() {
    static const QStringList codes = {
        QStringLiteral("en"), QStringLiteral("fr"), QStringLiteral("de"), QStringLiteral("es"), QStringLiteral("it"),
        QStringLiteral("pt"), QStringLiteral("nl"), QStringLiteral("pl"), QStringLiteral("el"), QStringLiteral("ar"),
        QStringLiteral("ja"), QStringLiteral("zh"), QStringLiteral("vi"), QStringLiteral("ko")};
    return codes;
}

SpeechPreferences::SpeechPreferences(Defaults &defaults, const QStringList &preferredLanguages, QObject *parent)
    : QObject(parent), m_defaults(defaults) {
    m_languageCode = initialLanguage(defaults, preferredLanguages);
    m_selectedDeviceID = storedString(defaults, kDeviceKey);
    m_unloadInterval = loadedInterval(defaults);
    m_soundsEnabled = storedBool(defaults, kSoundsKey);
    m_muteOutputEnabled = storedBool(defaults, kMuteKey);
    m_cleanupEnabled = storedBool(defaults, kCleanupKey);
    m_defaults.setString(kLanguageKey, m_languageCode);
}

void SpeechPreferences::setLanguageCode(const QString &code) {
    const QString value = supportedLanguages().contains(code) ? code : QStringLiteral("en");
    const bool changed = value != m_languageCode;
    m_languageCode = value;
    m_defaults.setString(kLanguageKey, value);
    if (changed)
        emit languageCodeChanged();
}

void SpeechPreferences::setSelectedDeviceID(const std::optional<QString> &id) {
    const bool changed = id != m_selectedDeviceID;
    m_selectedDeviceID = id;
    if (id)
        m_defaults.setString(kDeviceKey, *id);
    else
        m_defaults.remove(kDeviceKey);
    if (changed)
        emit selectedDeviceIDChanged();
}

void SpeechPreferences::setUnloadInterval(SpeechUnloadInterval interval) {
    const bool changed = interval != m_unloadInterval;
    m_unloadInterval = interval;
    m_defaults.setInteger(kUnloadKey, toRaw(interval));
    if (changed)
        emit unloadIntervalChanged();
    if (onUnloadChange)
        onUnloadChange();
}

void SpeechPreferences::setSoundsEnabled(bool on) {
    const bool changed = on != m_soundsEnabled;
    m_soundsEnabled = on;
    m_defaults.setBool(kSoundsKey, on);
    if (changed)
        emit soundsEnabledChanged();
}

void SpeechPreferences::setMuteOutputEnabled(bool on) {
    const bool changed = on != m_muteOutputEnabled;
    m_muteOutputEnabled = on;
    m_defaults.setBool(kMuteKey, on);
    if (changed)
        emit muteOutputEnabledChanged();
}

void SpeechPreferences::setCleanupEnabled(bool on) {
    const bool changed = on != m_cleanupEnabled;
    m_cleanupEnabled = on;
    m_defaults.setBool(kCleanupKey, on);
    if (changed)
        emit cleanupEnabledChanged();
}

} // namespace velmora
