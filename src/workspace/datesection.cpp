#include "workspace/datesection.h"

#include <QCoreApplication>
#include <QHashFunctions>
#include <QTimeZone>

#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace velmora {

namespace {

UDate toUDate(const QDateTime &date) {
    return UDate(date.toMSecsSinceEpoch());
}

QDateTime fromUDate(UDate date) {
    return QDateTime::fromMSecsSinceEpoch(qint64(date), Qt::UTC);
}

enum class Period { Day, Month };

// The first instant of the day or month holding date, in the calendar's time zone.
UDate startOf(Period period, icu::Calendar &calendar, UDate date) {
    UErrorCode status = U_ZERO_ERROR;
    calendar.setTime(date, status);
    if (period == Period::Month)
        calendar.set(UCAL_DATE, 1);
    calendar.set(UCAL_HOUR_OF_DAY, 0);
    calendar.set(UCAL_MINUTE, 0);
    calendar.set(UCAL_SECOND, 0);
    calendar.set(UCAL_MILLISECOND, 0);
    const UDate start = calendar.getTime(status);
    return U_SUCCESS(status) ? start : date;
}

UDate startOfDay(icu::Calendar &calendar, UDate date) {
    return startOf(Period::Day, calendar, date);
}

// Calendar days from one day start to another; negative for a later day.
int daysBetween(icu::Calendar &calendar, UDate fromDay, UDate toDay) {
    UErrorCode status = U_ZERO_ERROR;
    calendar.setTime(fromDay, status);
    const int32_t days = calendar.fieldDifference(toDay, UCAL_DATE, status);
    return U_SUCCESS(status) ? int(days) : 0;
}

QString fromUnicode(const icu::UnicodeString &text) {
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

} // namespace

DateSection DateSection::of(const QDateTime &date, const QDateTime &now, const icu::Calendar &calendar) {
    std::unique_ptr<icu::Calendar> cal(calendar.clone());
    const UDate today = startOfDay(*cal, toUDate(now));
    const UDate day = startOfDay(*cal, toUDate(date));
    const int days = daysBetween(*cal, day, today);
    if (days < 1)
        return DateSection::today();
    if (days == 1)
        return DateSection::yesterday();
    if (days <= 7)
        return DateSection::previous7Days();
    return DateSection::month(fromUDate(startOf(Period::Month, *cal, day)));
}

template <typename Item, typename DateOf>
QList<DateSectionGroup<Item>> DateSection::groupBy(const QList<Item> &items, const QDateTime &now,
                                                   const icu::Calendar &calendar, DateOf dateOf) {
    QList<DateSectionGroup<Item>> groups;
    for (const Item &item : items) {
        const DateSection section = of(dateOf(item), now, calendar);
        if (!groups.isEmpty() && groups.last().section == section)
            groups.last().items.append(item);
        else
            groups.append(DateSectionGroup<Item>{section, {item}});
    }
    return groups;
}

QList<DateSectionGroup<LibraryNote>> DateSection::group(const QList<LibraryNote> &notes, const QDateTime &now,
                                                        const icu::Calendar &calendar) {
    return groupBy(notes, now, calendar, [](const LibraryNote &note) { return note.updatedAt; });
}

QList<DateSectionGroup<HistoryEntry>> DateSection::group(const QList<HistoryEntry> &entries, const QDateTime &now,
                                                         const icu::Calendar &calendar) {
    return groupBy(entries, now, calendar, [](const HistoryEntry &entry) { return entry.createdAt; });
}

std::unique_ptr<icu::Calendar> DateSection::currentCalendar() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(status));
    if (U_FAILURE(status) || !calendar) {
        status = U_ZERO_ERROR;
        calendar.reset(icu::Calendar::createInstance(icu::Locale::getRoot(), status));
    }
    return calendar;
}

QString DateSection::monthTitle(const QDateTime &monthStart, const QDateTime &now, const icu::Calendar &calendar,
                                const QLocale &formattingLocale) {
    std::unique_ptr<icu::Calendar> cal(calendar.clone());
    UErrorCode status = U_ZERO_ERROR;
    cal->setTime(toUDate(now), status);
    const int32_t nowEra = cal->get(UCAL_ERA, status);
    const int32_t nowYear = cal->get(UCAL_YEAR, status);
    cal->setTime(toUDate(monthStart), status);
    const bool sameYear = cal->get(UCAL_ERA, status) == nowEra && cal->get(UCAL_YEAR, status) == nowYear;

    const icu::Locale locale(formattingLocale.name().toUtf8().constData());
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status))
        return monthStart.toString(QStringLiteral("MMMM yyyy"));
    const icu::UnicodeString pattern =
        generator->getBestPattern(icu::UnicodeString(sameYear ? "MMMM" : "yMMMM"), status);
    icu::SimpleDateFormat format(pattern, locale, status);
    if (U_FAILURE(status))
        return monthStart.toString(QStringLiteral("MMMM yyyy"));
    format.setCalendar(*cal);
    icu::UnicodeString text;
    format.format(toUDate(monthStart), text);
    return fromUnicode(text);
}

QString DateSection::historyTitle(const DateSection &section, const QDateTime &now, const icu::Calendar &calendar,
                                  const QLocale &formattingLocale) {
    switch (section.kind()) {
    case Kind::Today: return QCoreApplication::translate("Workspace", "Today", "History date section");
    case Kind::Yesterday: return QCoreApplication::translate("Workspace", "Yesterday", "History date section");
    case Kind::Previous7Days:
        return QCoreApplication::translate("Workspace", "Previous 7 Days", "History date section");
    case Kind::Month: return monthTitle(section.monthStart(), now, calendar, formattingLocale);
    }
    return {};
}

size_t qHash(const DateSection &section, size_t seed) {
    if (section.kind() == DateSection::Kind::Month)
        return qHashMulti(seed, int(section.kind()), section.monthStart().toMSecsSinceEpoch());
    return qHashMulti(seed, int(section.kind()));
}

} // namespace velmora
