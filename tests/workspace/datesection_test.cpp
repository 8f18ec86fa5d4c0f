#include "workspace/datesection.h"

#include <QTimeZone>

#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// A Gregorian calendar in a fixed zone, so the tests do not depend on the machine.
std::unique_ptr<icu::Calendar> calendarIn(const char *zone) {
    UErrorCode status = U_ZERO_ERROR;
    auto calendar =
        std::make_unique<icu::GregorianCalendar>(icu::TimeZone::createTimeZone(zone), icu::Locale("en_US"), status);
    EXPECT_TRUE(U_SUCCESS(status));
    return calendar;
}

QDateTime at(const char *zone, int y, int m, int d, int h = 12, int min = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, min), QTimeZone(zone));
}

HistoryEntry entry(const QDateTime &created) {
    HistoryEntry e;
    e.id = QUuid::createUuid();
    e.tool = "translate";
    e.createdAt = created;
    return e;
}

} // namespace

TEST(DateSectionTest, CalendarDaysDecideTheSection) {
    const char *zone = "Europe/Berlin";
    auto calendar = calendarIn(zone);
    const QDateTime now = at(zone, 2025, 3, 20, 0, 5);
    struct Case {
        QDateTime date;
        DateSection section;
    };
    const Case cases[] = {
        {at(zone, 2025, 3, 19, 23, 59), DateSection::yesterday()},
        {at(zone, 2025, 3, 20, 0, 1), DateSection::today()},
        {at(zone, 2025, 3, 21, 9), DateSection::today()}, // later than today
        {at(zone, 2025, 3, 18), DateSection::previous7Days()},
        {at(zone, 2025, 3, 13), DateSection::previous7Days()},
        {at(zone, 2025, 3, 12), DateSection::month(at(zone, 2025, 3, 1, 0))},
        {at(zone, 2025, 2, 3), DateSection::month(at(zone, 2025, 2, 1, 0))},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DateSection::of(c.date, now, *calendar), c.section) << c.date.toString().toStdString();
}

TEST(DateSectionTest, ADaylightSavingDayStillCountsAsOneDay) {
    const char *zone = "America/New_York";
    auto calendar = calendarIn(zone);
    // 9 March 2025 has 23 hours there, 2 November 25.
    EXPECT_EQ(DateSection::of(at(zone, 2025, 3, 9, 1), at(zone, 2025, 3, 10, 0, 30), *calendar),
              DateSection::yesterday());
    EXPECT_EQ(DateSection::of(at(zone, 2025, 11, 2, 23, 30), at(zone, 2025, 11, 3, 23, 50), *calendar),
              DateSection::yesterday());
    EXPECT_EQ(DateSection::of(at(zone, 2025, 3, 2, 0, 30), at(zone, 2025, 3, 10, 23), *calendar),
              DateSection::month(at(zone, 2025, 3, 1, 0)));
}

TEST(DateSectionTest, GroupingKeepsTheInputOrderAndComparesOnlyTheLastRun) {
    const char *zone = "Asia/Tokyo";
    auto calendar = calendarIn(zone);
    const QDateTime now = at(zone, 2025, 3, 20);
    EXPECT_TRUE(DateSection::group(QList<HistoryEntry>{}, now, *calendar).isEmpty());

    const auto unordered =
        DateSection::group(QList<HistoryEntry>{entry(now), entry(now.addDays(-3)), entry(now)}, now, *calendar);
    ASSERT_EQ(unordered.size(), 3);
    EXPECT_EQ(unordered[2].section, DateSection::today());

    const QList<HistoryEntry> entries = {entry(at(zone, 2025, 2, 28)), entry(at(zone, 2025, 2, 3)),
                                         entry(at(zone, 2024, 12, 24))};
    const auto groups = DateSection::group(entries, now, *calendar);
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups[0].items.size(), 2);
    EXPECT_EQ(groups[0].items[1].id, entries[1].id);

    // Notes go by their last change.
    LibraryNote note;
    note.id = QUuid::createUuid();
    note.createdAt = now.addYears(-1);
    note.updatedAt = now;
    const auto notes = DateSection::group(QList<LibraryNote>{note}, now, *calendar);
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0].section, DateSection::today());
}

TEST(DateSectionTest, MonthHeadingsInTheInterfaceLanguage) {
    const char *zone = "Europe/Berlin";
    auto calendar = calendarIn(zone);
    const QDateTime now = at(zone, 2025, 3, 20);
    const QDateTime february = at(zone, 2025, 2, 1, 0);
    const QDateTime december = at(zone, 2024, 12, 1, 0);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale japaneseInGermany(QLocale::Japanese, QLocale::Germany);
    EXPECT_EQ(DateSection::monthTitle(february, now, *calendar, english), "February");
    EXPECT_EQ(DateSection::monthTitle(december, now, *calendar, english), "December 2024");
    EXPECT_EQ(DateSection::monthTitle(february, now, *calendar, japaneseInGermany), QString::fromUtf8("2月"));
    EXPECT_EQ(DateSection::monthTitle(december, now, *calendar, japaneseInGermany), QString::fromUtf8("2024年12月"));
    EXPECT_EQ(DateSection::historyTitle(DateSection::previous7Days(), now, *calendar, english), "Previous 7 Days");
    EXPECT_EQ(DateSection::historyTitle(DateSection::month(december), now, *calendar, english), "December 2024");
}
