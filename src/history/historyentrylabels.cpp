#include "history/historyentrylabels.h"

#include "workspace/workspacetool.h"

#include <QCoreApplication>

#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>

#include <memory>

namespace velmora::HistoryEntryLabels {

namespace {

UDate toUDate(const QDateTime &date) {
    return UDate(date.toMSecsSinceEpoch());
}

QString fromUnicode(const icu::UnicodeString &text) {
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

// The first instant of the day holding date, in the calendar's time zone; none on failure.
std::optional<UDate> startOfDay(icu::Calendar &calendar, UDate date) {
    UErrorCode status = U_ZERO_ERROR;
    calendar.setTime(date, status);
    calendar.set(UCAL_HOUR_OF_DAY, 0);
    calendar.set(UCAL_MINUTE, 0);
    calendar.set(UCAL_SECOND, 0);
    calendar.set(UCAL_MILLISECOND, 0);
    const UDate start = calendar.getTime(status);
    return U_SUCCESS(status) ? std::optional(start) : std::nullopt;
}

std::optional<int> dayDifference(icu::Calendar &calendar, UDate fromDay, UDate toDay) {
    UErrorCode status = U_ZERO_ERROR;
    calendar.setTime(fromDay, status);
    const int32_t days = calendar.fieldDifference(toDay, UCAL_DATE, status);
    return U_SUCCESS(status) ? std::optional(int(days)) : std::nullopt;
}

QString format(icu::DateFormat *formatter, const icu::Calendar &calendar, const QDateTime &date) {
    if (!formatter)
        return QLocale().toString(date.toLocalTime(), QLocale::ShortFormat);
    formatter->setCalendar(calendar);
    icu::UnicodeString text;
    formatter->format(toUDate(date), text);
    return fromUnicode(text);
}

QString formatSkeleton(const char *skeleton, const icu::Locale &locale, const icu::Calendar &calendar,
                       const QDateTime &date) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status))
        return format(nullptr, calendar, date);
    const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(skeleton), status);
    icu::SimpleDateFormat formatter(pattern, locale, status);
    return format(U_SUCCESS(status) ? &formatter : nullptr, calendar, date);
}

} // namespace

QString placeholderText(const HistoryEntry &entry) {
    const std::optional<WorkspaceTool> tool = workspaceToolFromString(entry.tool);
    if (tool == WorkspaceTool::Translate)
        return QCoreApplication::translate("Workspace", "Translation failed.",
                                           "History preview of a Translate entry without text");
    if (tool == WorkspaceTool::Summarize)
        return QCoreApplication::translate("Workspace", "Summary failed.",
                                           "History preview of a Summarize entry without text");
    const char *comment = "History preview of an entry without text";
    const bool kept = entry.audioPath.has_value();
    switch (entry.outcome.value_or(ActivityEvent::Outcome::Completed)) {
    case ActivityEvent::Outcome::Completed: return QCoreApplication::translate("Workspace", "No text.", comment);
    case ActivityEvent::Outcome::Partial:
    case ActivityEvent::Outcome::Failed:
        return kept ? QCoreApplication::translate("Workspace", "Transcription failed. The audio was kept.", comment)
                    : QCoreApplication::translate("Workspace", "Transcription failed.", comment);
    case ActivityEvent::Outcome::Interrupted:
        return kept ? QCoreApplication::translate("Workspace", "Recording interrupted. The audio was kept.", comment)
                    : QCoreApplication::translate("Workspace", "Recording interrupted.", comment);
    }
    return QCoreApplication::translate("Workspace", "No text.", comment);
}

QString shortTimeLabel(const QDateTime &createdAt, const QDateTime &now, const icu::Calendar &calendar,
                       const QLocale &formattingLocale) {
    const icu::Locale locale(formattingLocale.name().toUtf8().constData());
    std::unique_ptr<icu::Calendar> cal(calendar.clone());
    std::unique_ptr<icu::DateFormat> timeFormat(icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale));
    const QString time = format(timeFormat.get(), *cal, createdAt);

    const std::optional<UDate> day = startOfDay(*cal, toUDate(createdAt));
    const std::optional<UDate> today = startOfDay(*cal, toUDate(now));
    if (day && today && *day == *today)
        return time;

    UErrorCode status = U_ZERO_ERROR;
    cal->setTime(toUDate(now), status);
    cal->add(UCAL_DATE, -1, status);
    const UDate yesterdayMoment = cal->getTime(status);
    if (U_SUCCESS(status) && day) {
        const std::optional<UDate> yesterday = startOfDay(*cal, yesterdayMoment);
        if (yesterday && *yesterday == *day)
            return QCoreApplication::translate("Workspace", "Yesterday %1",
                                               "History time of an entry from yesterday; placeholder is the time")
                .arg(time);
    }

    const std::optional<int> days = day && today ? dayDifference(*cal, *day, *today) : std::nullopt;
    if (!days || *days <= 6)
        return formatSkeleton("EEEjmm", locale, *cal, createdAt);

    status = U_ZERO_ERROR;
    cal->setTime(toUDate(now), status);
    const int32_t nowEra = cal->get(UCAL_ERA, status);
    const int32_t nowYear = cal->get(UCAL_YEAR, status);
    cal->setTime(toUDate(createdAt), status);
    const bool sameYear =
        U_SUCCESS(status) && cal->get(UCAL_ERA, status) == nowEra && cal->get(UCAL_YEAR, status) == nowYear;
    return formatSkeleton(sameYear ? "MMMdjmm" : "yMMMdjmm", locale, *cal, createdAt);
}

} // namespace velmora::HistoryEntryLabels
