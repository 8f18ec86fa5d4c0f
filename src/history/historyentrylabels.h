#pragma once

#include "library/history.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <unicode/calendar.h>

namespace velmora {

// The texts a History row or card shows for an entry beside its own text.
namespace HistoryEntryLabels {

// What stands in for an entry without text, in the interface language: Translate and Summarize
// name their failure whatever the outcome; other tools tell by the outcome and whether a
// recording was kept.
QString placeholderText(const HistoryEntry &entry);

// When the entry was made, as a card shows it seen at now: the time alone today, "Yesterday"
// with the time, the weekday within six days, then the month and day, with the year only for
// another year. Days are those of the calendar and its time zone; the fields are ordered by the
// formatting locale.
QString shortTimeLabel(const QDateTime &createdAt, const QDateTime &now, const icu::Calendar &calendar,
                       const QLocale &formattingLocale);

} // namespace HistoryEntryLabels
} // namespace velmora
