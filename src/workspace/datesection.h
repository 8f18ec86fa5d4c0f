#pragma once

#include "library/history.h"
#include "library/records.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>

#include <unicode/calendar.h>

#include <memory>

namespace velmora {

// The date headings of the note and History lists: Today, Yesterday, Previous 7 Days, then one
// heading per calendar month. Days are calendar days of the given calendar and its time zone.
template <typename Item>
struct DateSectionGroup;

class DateSection {
public:
    enum class Kind { Today, Yesterday, Previous7Days, Month };

    static DateSection today() { return DateSection(Kind::Today); }
    static DateSection yesterday() { return DateSection(Kind::Yesterday); }
    static DateSection previous7Days() { return DateSection(Kind::Previous7Days); }
    // The month that begins at monthStart.
    static DateSection month(const QDateTime &monthStart) { return DateSection(Kind::Month, monthStart); }

    Kind kind() const { return m_kind; }
    // The first instant of the month of a Month section.
    const QDateTime &monthStart() const { return m_month; }

    bool operator==(const DateSection &other) const {
        return m_kind == other.m_kind && (m_kind != Kind::Month || m_month == other.m_month);
    }

    // The section of a date seen at now.
    static DateSection of(const QDateTime &date, const QDateTime &now, const icu::Calendar &calendar);

    // Cuts an ordered list into runs under their sections; only the last run is compared, so
    // the order of the input decides the headings. Notes by their last change, History entries
    // by when they were recorded.
    static QList<DateSectionGroup<LibraryNote>> group(const QList<LibraryNote> &notes, const QDateTime &now,
                                                      const icu::Calendar &calendar);
    static QList<DateSectionGroup<HistoryEntry>> group(const QList<HistoryEntry> &entries, const QDateTime &now,
                                                       const icu::Calendar &calendar);

    // The user's calendar in the system time zone, made anew by each list build.
    static std::unique_ptr<icu::Calendar> currentCalendar();

    // A month heading: the month's wide name alone in the year of now, else with its year, in the
    // locale's own order (formattingLocale: the region's conventions in the interface language).
    static QString monthTitle(const QDateTime &monthStart, const QDateTime &now, const icu::Calendar &calendar,
                              const QLocale &formattingLocale);
    // The heading the History list shows for a section ("Workspace" texts).
    static QString historyTitle(const DateSection &section, const QDateTime &now, const icu::Calendar &calendar,
                                const QLocale &formattingLocale);

private:
    explicit DateSection(Kind kind, QDateTime month = {}) : m_kind(kind), m_month(std::move(month)) {}

    template <typename Item, typename DateOf>
    static QList<DateSectionGroup<Item>> groupBy(const QList<Item> &items, const QDateTime &now,
                                                 const icu::Calendar &calendar, DateOf dateOf);

    Kind m_kind;
    QDateTime m_month;
};

size_t qHash(const DateSection &section, size_t seed = 0);

// A run of list items under one heading.
template <typename Item>
struct DateSectionGroup {
    DateSection section;
    QList<Item> items;
};

} // namespace velmora
