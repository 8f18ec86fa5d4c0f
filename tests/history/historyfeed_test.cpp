#include "history/historyfeed.h"

#include "core/log.h"
#include "history/historyentrylabels.h"
#include "library/libraryfixture.h"
#include "library/seededrun.h"

#include <QSignalSpy>

#include <unicode/timezone.h>

using namespace velmora;
using velmora::test::LibraryTest;

namespace {

QDateTime at(int minute) {
    return QDateTime(QDate(2026, 5, 1), QTime(10, 0), Qt::UTC).addSecs(minute * 60);
}

// A run written straight into the Library at a chosen minute.
struct Seed {
    QString tool;
    int minute = 0;
    std::optional<QString> output = QStringLiteral("output");
    LibraryTask::Status status = LibraryTask::Status::Completed;
    bool deleted = false;
    std::optional<QString> audio = std::nullopt;
};

QUuid seed(Library &library, const Seed &s) {
    return test::seedRun(library, {.tool = s.tool,
                                   .at = at(s.minute),
                                   .output = s.output,
                                   .status = s.status,
                                   .deletedAt = s.deleted ? std::optional(at(s.minute)) : std::nullopt,
                                   .audio = s.audio});
}

QList<QUuid> idsOf(const QList<HistoryEntry> &entries) {
    QList<QUuid> ids;
    for (const HistoryEntry &e : entries)
        ids.append(e.id);
    return ids;
}

class HistoryFeedTest : public LibraryTest {
protected:
    HistoryFeed feed;
    QSignalSpy changes{&feed, &RecentHistorySource::revisionChanged};
};

} // namespace

TEST_F(HistoryFeedTest, BeforeTheLibraryEveryReadIsEmptyAndDeletingDoesNothing) {
    EXPECT_EQ(feed.revision(), 0);
    EXPECT_TRUE(test::run(feed.entries(std::nullopt, std::nullopt, 12)).isEmpty());
    EXPECT_TRUE(test::run(feed.recentTools(3)).isEmpty());
    EXPECT_TRUE(test::run(feed.usedTools()).isEmpty());
    EXPECT_FALSE(test::run(feed.detail(QUuid::createUuid())));
    LogCapture log;
    test::run(feed.deleteEntry(QUuid::createUuid()));
    EXPECT_EQ(feed.revision(), 0);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_TRUE(log.messages("library").isEmpty());
    EXPECT_FALSE(feed.audioUrl(QStringLiteral("Assets/x/a.m4a")));
}

TEST_F(HistoryFeedTest, AnUnavailableLibraryReadsEmptyAndAFailedDeleteIsLoggedAndStillCounts) {
    test::writeFile(dbPath(), QByteArray(8192, 'x'));
    auto library = Library::open(root);
    ASSERT_FALSE(library->status().isReady());
    feed.setLibrary(library);
    EXPECT_EQ(feed.revision(), 1);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_TRUE(test::run(feed.entries(std::nullopt, std::nullopt, std::nullopt)).isEmpty());
    EXPECT_TRUE(test::run(feed.usedTools()).isEmpty());
    EXPECT_TRUE(test::run(feed.recentTools(3)).isEmpty());

    LogCapture log;
    test::run(feed.deleteEntry(QUuid::createUuid()));
    EXPECT_EQ(feed.revision(), 2);
    const QStringList lines = log.messages("library");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith("History delete failed: ")) << lines.first().toStdString();
    EXPECT_TRUE(log.contains("library", LogLevel::Error, lines.first()));
}

TEST_F(HistoryFeedTest, TheRevisionMovesOnlyOnChangeAndOnEveryHandOverAndWrite) {
    auto library = openReady();
    feed.setLibrary(library);
    feed.setLibrary(library); // the same Library again still counts
    EXPECT_EQ(feed.revision(), 2);
    feed.setRevision(2);
    EXPECT_EQ(changes.count(), 2);
    feed.historyWritten();
    EXPECT_EQ(feed.revision(), 3);
    EXPECT_EQ(changes.count(), 3);
}

TEST_F(HistoryFeedTest, EntriesAreTheFinishedRunsOfTheToolsNewestFirstUpToTheLimit) {
    auto library = openReady();
    const QUuid oldTranslation = seed(*library, {"translate", 1});
    const QUuid dictation = seed(*library, {"dictation", 2});
    const QUuid newTranslation = seed(*library, {"translate", 5});
    seed(*library, {"translate", 6, std::nullopt, LibraryTask::Status::Active});
    seed(*library, {"translate", 7, QStringLiteral("gone"), LibraryTask::Status::Completed, true});
    const QUuid proofread = seed(*library, {"proofread", 3});
    feed.setLibrary(library);

    using Tools = std::optional<QSet<WorkspaceTool>>;
    const struct {
        const char *name;
        Tools tools;
        std::optional<int> limit;
        QList<QUuid> expected;
    } cases[] = {
        {"every tool", std::nullopt, std::nullopt, {newTranslation, proofread, dictation, oldTranslation}},
        {"one tool", QSet{WorkspaceTool::Translate}, 12, {newTranslation, oldTranslation}},
        {"two tools", QSet{WorkspaceTool::Dictation, WorkspaceTool::Proofread}, std::nullopt, {proofread, dictation}},
        {"limited", std::nullopt, 2, {newTranslation, proofread}},
        {"an empty set matches nothing", QSet<WorkspaceTool>{}, std::nullopt, {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(idsOf(test::run(feed.entries(c.tools, std::nullopt, c.limit))), c.expected) << c.name;

    EXPECT_EQ(idsOf(test::run(feed.entries(std::nullopt, QStringLiteral("   "), std::nullopt))).size(), 4);
    const QList<HistoryEntry> first = test::run(feed.entries(QSet{WorkspaceTool::Dictation}, std::nullopt, 1));
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(first.first().text, "output");
    EXPECT_EQ(first.first().createdAt, at(2));
}

TEST_F(HistoryFeedTest, ToolListsKeepOnlyToolsOfTheCatalogue) {
    auto library = openReady();
    seed(*library, {"summarize", 1});
    seed(*library, {"dictation", 2});
    seed(*library, {"someFutureTool", 3});
    seed(*library, {"translate", 4});
    seed(*library, {"proofread", 5, std::nullopt, LibraryTask::Status::Active});
    feed.setLibrary(library);
    // Newest first; the unknown name takes one of the three places.
    EXPECT_EQ(test::run(feed.recentTools(3)), (QList{WorkspaceTool::Translate, WorkspaceTool::Dictation}));
    // Catalogue order, whatever the order of the runs.
    EXPECT_EQ(test::run(feed.usedTools()),
              (QList{WorkspaceTool::Dictation, WorkspaceTool::Translate, WorkspaceTool::Summarize}));
}

TEST_F(HistoryFeedTest, DetailAndDeletion) {
    auto library = openReady();
    const QUuid kept = seed(*library, {"translate", 1});
    const QUuid active = seed(*library, {"translate", 2, std::nullopt, LibraryTask::Status::Active});
    feed.setLibrary(library);
    const std::optional<HistoryEntryDetail> detail = test::run(feed.detail(kept));
    ASSERT_TRUE(detail);
    EXPECT_EQ(detail->tool, "translate");
    EXPECT_FALSE(test::run(feed.detail(active)));
    EXPECT_FALSE(test::run(feed.detail(QUuid::createUuid())));

    LogCapture log;
    test::run(feed.deleteEntry(kept));
    EXPECT_EQ(feed.revision(), 2);
    EXPECT_TRUE(log.messages("library").isEmpty());
    EXPECT_FALSE(test::run(feed.detail(kept)));
    EXPECT_TRUE(test::run(feed.entries(std::nullopt, std::nullopt, std::nullopt)).isEmpty());
}

TEST_F(HistoryFeedTest, AKeptRecordingHasAUrlOnlyWhileItsFileIsThere) {
    auto library = openReady();
    feed.setLibrary(library);
    const QString path = QStringLiteral("Assets/run/recording.m4a");
    test::writeFile(root + "/" + path, "audio");
    EXPECT_EQ(feed.audioUrl(path), QUrl::fromLocalFile(root + "/" + path));
    QFile::remove(root + "/" + path);
    EXPECT_FALSE(feed.audioUrl(path));
}

TEST(HistoryEntryLabels, PlaceholderFollowsTheToolTheOutcomeAndTheKeptRecording) {
    using Outcome = ActivityEvent::Outcome;
    const struct {
        QString tool;
        std::optional<Outcome> outcome;
        bool audio;
        QString expected;
    } cases[] = {
        {"translate", Outcome::Completed, false, "Translation failed."},
        {"translate", std::nullopt, true, "Translation failed."},
        {"summarize", Outcome::Failed, false, "Summary failed."},
        {"dictation", std::nullopt, false, "No text."},
        {"dictation", Outcome::Completed, true, "No text."},
        {"dictation", Outcome::Partial, true, "Transcription failed. The audio was kept."},
        {"voiceCompose", Outcome::Failed, false, "Transcription failed."},
        {"dictation", Outcome::Interrupted, false, "Recording interrupted."},
        {"someFutureTool", Outcome::Interrupted, true, "Recording interrupted. The audio was kept."},
    };
    for (const auto &c : cases) {
        HistoryEntry entry;
        entry.tool = c.tool;
        entry.outcome = c.outcome;
        if (c.audio)
            entry.audioPath = QStringLiteral("Assets/a.m4a");
        EXPECT_EQ(HistoryEntryLabels::placeholderText(entry), c.expected) << c.tool.toStdString();
    }
}

TEST(HistoryEntryLabels, ShortTimeLabelNarrowsWithAge) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(
        icu::Calendar::createInstance(icu::TimeZone::getGMT()->clone(), icu::Locale("en_US"), status));
    ASSERT_TRUE(U_SUCCESS(status));
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QDateTime now(QDate(2026, 5, 14), QTime(0, 10), Qt::UTC); // a Thursday
    const auto label = [&](const QDateTime &created) {
        return HistoryEntryLabels::shortTimeLabel(created, now, *calendar, english);
    };
    const QString today = label(QDateTime(QDate(2026, 5, 14), QTime(0, 5), Qt::UTC));
    EXPECT_TRUE(today.contains("12:05")) << today.toStdString();
    EXPECT_FALSE(today.contains("Thu") || today.contains("May")) << today.toStdString();

    const QString yesterday = label(QDateTime(QDate(2026, 5, 13), QTime(23, 50), Qt::UTC));
    EXPECT_TRUE(yesterday.startsWith("Yesterday 11:50")) << yesterday.toStdString();

    const QString sixDays = label(QDateTime(QDate(2026, 5, 8), QTime(9, 30), Qt::UTC));
    EXPECT_TRUE(sixDays.startsWith("Fri") && sixDays.contains("9:30")) << sixDays.toStdString();
    EXPECT_FALSE(sixDays.contains("May")) << sixDays.toStdString();

    const QString sevenDays = label(QDateTime(QDate(2026, 5, 7), QTime(9, 30), Qt::UTC));
    EXPECT_TRUE(sevenDays.contains("May 7") && sevenDays.contains("9:30")) << sevenDays.toStdString();
    EXPECT_FALSE(sevenDays.contains("2026") || sevenDays.contains("Thu")) << sevenDays.toStdString();

    const QString lastYear = label(QDateTime(QDate(2025, 12, 30), QTime(9, 30), Qt::UTC));
    EXPECT_TRUE(lastYear.contains("Dec 30") && lastYear.contains("2025")) << lastYear.toStdString();
}
