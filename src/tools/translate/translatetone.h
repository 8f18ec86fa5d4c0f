#pragma once

// The tones a translation is written in. The raw values ("natural", "business", "casual") are
// the stored form.

#include <QList>
#include <QString>

#include <optional>

namespace velmora {

enum class TranslateTone { Natural, Business, Casual };

// Natural, business, casual: the order of the tone pills.
QList<TranslateTone> allTranslateTones();

QString toString(TranslateTone tone);
// None for any other string.
std::optional<TranslateTone> translateToneFromString(const QString &raw);

// The tone pill's label ("Natural"), in the in-app language.
QString pillTitle(TranslateTone tone);
// The tone as a History entry names it ("Natural tone"), in the in-app language.
QString noteTitle(TranslateTone tone);

} // namespace velmora
