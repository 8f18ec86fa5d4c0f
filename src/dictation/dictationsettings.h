#pragma once

// The settings Dictation keeps in the defaults store.

#include "core/settingkey.h"

namespace velmora {

// The speaker's field of work (a DictationField's stored form), the name of an "other" field,
// the free description of their work, and their vocabulary, newest first.
inline const SettingKey<QString> kDictationField{QStringLiteral("dictationField"), QStringLiteral("unspecified")};
inline const SettingKey<QString> kDictationFieldName{QStringLiteral("dictationFieldName"), QString()};
inline const SettingKey<QString> kDictationAbout{QStringLiteral("dictationAbout"), QString()};
inline const SettingKey<QStringList> kDictationVocabulary{QStringLiteral("dictationVocabulary"), QStringList()};

// The dictation keys: a bare fn tap (Right Ctrl) or a chord starts and stops, Escape or a chord
// cancels; a chord is stored as KeyChord's JSON form in a data value.
inline const SettingKey<bool> kToggleUsesGlobe{QStringLiteral("speech.toggleUsesGlobe"), true};
inline const SettingKey<bool> kCancelUsesEscape{QStringLiteral("speech.cancelUsesEscape"), true};
inline const SettingKey<QByteArray> kToggleChord{QStringLiteral("speech.toggleChord"), QByteArray()};
inline const SettingKey<QByteArray> kCancelChord{QStringLiteral("speech.cancelChord"), QByteArray()};

// The sound output a recording muted and has not given back yet, kept so that an output muted
// when Velmora was killed is unmuted at the next launch.
inline const SettingKey<QString> kMutedOutputDevice{QStringLiteral("mutedOutputDevice"), QString()};

// Shows one pill of the overlay for good ("preparing", "listening", "transcribing", "failed",
// "blocked"), for screenshots and design work; set as a launch argument.
inline const SettingKey<QString> kDictationOverlayPreview{QStringLiteral("dictationOverlayPreview"), QString()};

} // namespace velmora
