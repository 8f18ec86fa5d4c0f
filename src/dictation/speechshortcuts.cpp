#include "dictation/speechshortcuts.h"

#include "core/defaults.h"
#include "dictation/dictationsettings.h"

namespace velmora {

namespace {

std::optional<KeyChord> readChord(const Defaults &defaults, const SettingKey<QByteArray> &key) {
    if (!defaults.isStored(key))
        return std::nullopt;
    std::optional<KeyChord> chord = KeyChord::fromJson(defaults.get(key));
    if (!chord || !chord->isUsable())
        return std::nullopt;
    return chord;
}

} // namespace

SpeechShortcuts::SpeechShortcuts(Defaults &defaults, QObject *parent) : QObject(parent), m_defaults(defaults) {
    m_toggleUsesGlobe = defaults.storedOrDefault(kToggleUsesGlobe);
    m_cancelUsesEscape = defaults.storedOrDefault(kCancelUsesEscape);
    m_toggleChord = readChord(defaults, kToggleChord);
    m_cancelChord = readChord(defaults, kCancelChord);
    if (m_toggleChord && m_cancelChord && *m_toggleChord == *m_cancelChord)
        m_cancelChord.reset();
}

void SpeechShortcuts::setToggleUsesGlobe(bool on) {
    if (m_defaults.update(kToggleUsesGlobe, m_toggleUsesGlobe, on))
        emit toggleUsesGlobeChanged();
    emit changed();
}

void SpeechShortcuts::setCancelUsesEscape(bool on) {
    if (m_defaults.update(kCancelUsesEscape, m_cancelUsesEscape, on))
        emit cancelUsesEscapeChanged();
    emit changed();
}

void SpeechShortcuts::setToggleChord(std::optional<KeyChord> chord) {
    if (m_toggleChord == chord)
        return;
    m_toggleChord = chord;
    emit toggleChordChanged();
}

void SpeechShortcuts::setCancelChord(std::optional<KeyChord> chord) {
    if (m_cancelChord == chord)
        return;
    m_cancelChord = chord;
    emit cancelChordChanged();
}

void SpeechShortcuts::storeChord(const std::optional<KeyChord> &chord, const SettingKey<QByteArray> &key) {
    if (chord)
        m_defaults.set(key, chord->toJson());
    else
        m_defaults.reset(key);
    emit changed();
}

void SpeechShortcuts::resetToDefaults() {
    setToggleChord(std::nullopt);
    storeChord(std::nullopt, kToggleChord);
    setCancelChord(std::nullopt);
    storeChord(std::nullopt, kCancelChord);
    setToggleUsesGlobe(true);
    setCancelUsesEscape(true);
}

void SpeechShortcuts::setEditing(bool editing) {
    const bool changedValue = m_isEditing != editing;
    m_isEditing = editing;
    if (changedValue)
        emit isEditingChanged();
    emit changed();
}

} // namespace velmora
