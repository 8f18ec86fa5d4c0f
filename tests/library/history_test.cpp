#include "libraryfixture.h"
#include "seededrun.h"

#include "core/log.h"
#include "core/uuid.h"
#include "library/texttaskhistory.h"

using namespace velmora;
using velmora::test::LibraryTest;

namespace {

// A task written directly, with its texts and an optional recording, at a chosen time.
struct Seed {
    QString tool;
    QString input;
    std::optional<QString> output;
    int minute = 0;
    LibraryTask::Status status = LibraryTask::Status::Completed;
    std::optional<QString> audio = std::nullopt;
};

QDateTime at(int minute) {
    return QDateTime(QDate(2026, 5, 1), QTime(10, 0), Qt::UTC).addSecs(minute * 60);
}

QUuid seed(Library &library, const Seed &s) {
    // A run with an output stopped part way.
    return test::seedRun(library,
                         {.tool = s.tool,
                          .at = at(s.minute),
                          .input = s.input,
                          .output = s.output,
                          .status = s.status,
                          .audio = s.audio,
                          .outcome = s.output ? std::optional(ActivityEvent::Outcome::Partial) : std::nullopt});
}

QStringList toolsOf(const QList<HistoryEntry> &entries) {
    QStringList out;
    for (const auto &e : entries)
        out.append(e.tool);
    return out;
}

} // namespace

TEST(LibrarySearchTerms, SplitsAtWhiteSpaceAndDropsCaseRepeats) {
    const std::vector<std::pair<std::optional<QString>, std::optional<QStringList>>> cases{
        {std::nullopt, std::nullopt},
        {QString(), std::nullopt},
        {QStringLiteral(" \t \n "), std::nullopt},
        {QStringLiteral("\u3000\u3000"), std::nullopt},
        {QStringLiteral("Apple apple APPLE"), QStringList{"Apple"}},
        {QStringLiteral("東京\u3000会議  notes"), QStringList{"東京", "会議", "notes"}},
        {QStringLiteral("a\u2028b\u00A0c"), QStringList{"a", "b", "c"}},
        {QStringLiteral("Straße STRASSE"), QStringList{"Straße", "STRASSE"}},
        {QString(QChar(0)), std::nullopt},
        {QStringLiteral("budget") + QChar(0) + QStringLiteral("review"), QStringList{"budget", "review"}},
    };
    for (const auto &[query, terms] : cases)
        EXPECT_EQ(Library::searchTerms(query), terms) << query.value_or("<none>").toStdString();
}

TEST(LibrarySearchTerms, HitQueryUsesTheIndexForLongTermsAndLikeForShortOnes) {
    const Library::HitQuery q = Library::searchHitQuery({"ab", "say \"hi\"", "50%", "東京", "a_\\", "ＡＢＣ"});
    // The long terms as one query of phrases, asked of every shard of the index.
    const QString phrases = R"("say ""hi""" "50%" "a_\" "ＡＢＣ")";
    QStringList arms, arguments;
    for (int k = 0; k < LibraryMigrations::kSearchShards; ++k) {
        arms.append(QString("SELECT rowid AS id, text FROM searchShard%1 WHERE searchShard%1 MATCH ?").arg(k));
        arguments.append(phrases);
    }
    EXPECT_EQ(q.sql, "SELECT s.taskId, s.noteId, searchText.text,\n"
                     "  row_number() OVER (PARTITION BY s.taskId ORDER BY a.role = 'output' DESC, a.createdAt DESC) "
                     "AS rank\n"
                     "FROM (" +
                         arms.join(" UNION ALL ") +
                         ") AS searchText JOIN searchSource s ON s.id = searchText.id\n"
                         "LEFT JOIN artifact a ON a.id = s.sourceId\n"
                         "WHERE searchText.text LIKE ? ESCAPE '\\' AND searchText.text LIKE ? ESCAPE '\\'");
    EXPECT_EQ(q.arguments, arguments + QStringList({"%ab%", "%東京%"}));
    // A 4-byte scalar counts once: two of them make a short term.
    const Library::HitQuery emoji = Library::searchHitQuery({"😀😀", "x_"});
    EXPECT_EQ(emoji.arguments, (QStringList{"%😀😀%", "%x\\_%"}));
    EXPECT_EQ(emoji.sql.count(" MATCH "), 0);
}

TEST_F(LibraryTest, HistoryListShowsFinishedRunsNewestFirst) {
    auto library = openReady();
    seed(*library, {"translate", "old input", "old output", 1});
    const QUuid recording =
        seed(*library, {"dictation", "spoken", "typed", 2, LibraryTask::Status::Completed, "Assets/X/a.m4a"});
    seed(*library, {"dictation", "in progress", std::nullopt, 3, LibraryTask::Status::Active, "Staging/r.f32"});
    const QUuid deleted = seed(*library, {"summarize", "gone", "gone too", 4});
    test::run(library->deleteContent(deleted));
    const QUuid noAttempt = seed(*library, {"proofread", "only input", std::nullopt, 5});

    const auto entries = test::run(library->historyEntries(Library::Tasks, std::nullopt, "", std::nullopt));
    EXPECT_EQ(toolsOf(entries), (QStringList{"proofread", "dictation", "translate"}));
    EXPECT_EQ(entries[0].id, noAttempt);
    EXPECT_FALSE(entries[0].outcome);
    EXPECT_FALSE(entries[0].text);
    EXPECT_EQ(entries[1].id, recording);
    EXPECT_EQ(entries[1].text, "typed");
    EXPECT_EQ(entries[1].outcome, ActivityEvent::Outcome::Partial);
    EXPECT_EQ(entries[1].audioPath, "Assets/X/a.m4a");
    EXPECT_FALSE(entries[1].matchText);
    EXPECT_FALSE(entries[2].audioPath);

    EXPECT_EQ(
        toolsOf(test::run(library->historyEntries(Library::Tasks, QSet<QString>{"translate", "dictation"}, "", 1))),
        QStringList{"dictation"});
    EXPECT_TRUE(test::run(library->historyEntries(Library::Tasks, QSet<QString>{}, "", std::nullopt)).isEmpty());

    auto [used, recent, detailOfDeleted, detailOfActive] = test::run(library->read([deleted](SQLite::Database &db) {
        QUuid active;
        SQLite::Statement s(db, "SELECT id FROM task WHERE status = 'active'");
        s.executeStep();
        active = column::uuid(s, "id");
        return std::make_tuple(HistoryEntry::fetchUsedTools(db), HistoryEntry::fetchRecentTools(db, 2),
                               HistoryEntryDetail::fetch(db, deleted), HistoryEntryDetail::fetch(db, active));
    }));
    EXPECT_EQ(used, (QSet<QString>{"translate", "dictation", "proofread"}));
    EXPECT_EQ(recent, (QStringList{"proofread", "dictation"}));
    EXPECT_FALSE(detailOfDeleted);
    EXPECT_FALSE(detailOfActive);
}

TEST_F(LibraryTest, SearchFindsRunsByTheirTexts) {
    auto library = openReady();
    const QUuid both = seed(*library, {"translate", "quarterly budget review", "budget review summary", 1});
    const QUuid split = seed(*library, {"translate", "alpha report", "omega result", 2});
    const QUuid japanese = seed(*library, {"summarize", "東京で会議があります", "会議は明日です", 3});
    const QUuid literal = seed(*library, {"proofread", "growth of 5% in a_b \\ path", "ok", 4});
    const QUuid quoted = seed(*library, {"proofread", "he said \"hello there\" twice", "done", 5});

    struct Case {
        QString query;
        QList<QUuid> ids;
    };
    const std::vector<Case> cases{
        {"BUDGET", {both}},
        {"budget summary", {both}},
        {"alpha omega", {}}, // one term in the input, the other in the output
        {"alpha report", {split}},
        {"会議", {japanese}},
        {"東京 明日", {}},
        {"%", {literal}},
        {"a_", {literal}},
        {"5%", {literal}},
        {"\\", {literal}},
        {"_", {literal}},
        {"\"hello there\"", {quoted}}, // quotes are matched as text
        {"\"hello", {quoted}},
        {"' OR 1=1 --", {}},
    };
    for (const auto &c : cases) {
        QList<QUuid> ids;
        for (const auto &e : test::run(library->historyEntries(Library::Tasks, std::nullopt, c.query, std::nullopt)))
            ids.append(e.id);
        EXPECT_EQ(ids, c.ids) << c.query.toStdString();
    }
    const auto hit = test::run(library->historyEntries(Library::Tasks, std::nullopt, "review", std::nullopt));
    ASSERT_EQ(hit.size(), 1);
    EXPECT_EQ(hit[0].matchText, "budget review summary");
    EXPECT_EQ(hit[0].text, "budget review summary");
}

TEST_F(LibraryTest, SearchLogsOnlyWhenThereAreTerms) {
    auto library = openReady();
    seed(*library, {"translate", "apples and pears", "fruit", 1});
    LogCapture capture;
    test::run(library->historyEntries(Library::Tasks, std::nullopt, "\u3000 \t", std::nullopt));
    EXPECT_TRUE(capture.messages("library").isEmpty());
    test::run(library->historyEntries(Library::Tasks, std::nullopt, "apples Apples pe", std::nullopt));
    const QStringList lines = capture.messages("library");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(QRegularExpression("^Search: 2 terms, 1 results, \\d+ ms$").match(lines[0]).hasMatch())
        << lines[0].toStdString();
}

TEST_F(LibraryTest, NotesJoinTheListWhenAsked) {
    auto library = openReady();
    seed(*library, {"translate", "task text", "task output", 1});
    const LibraryNote note{QUuid::createUuid(), "grocery list: task tape", at(0), at(9)};
    test::run(library->write([note](SQLite::Database &db) { note.upsert(db); }));
    const auto all =
        test::run(library->historyEntries(Library::Tasks | Library::Notes, std::nullopt, "", std::nullopt));
    EXPECT_EQ(toolsOf(all), (QStringList{"notes", "translate"}));
    EXPECT_EQ(all[0].createdAt, at(9));
    const auto found =
        test::run(library->historyEntries(Library::Tasks | Library::Notes, std::nullopt, "tape", std::nullopt));
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].matchText, "grocery list: task tape");
}

TEST_F(LibraryTest, DetailHoldsArtifactsAndTheNewestAttempt) {
    auto library = openReady();
    TextTaskHistory history(library, "translate");
    TextTaskHistory::Run run;
    run.input = "in";
    run.output = "out";
    run.measurements = QJsonObject{{"n", 1}};
    const QUuid id = test::run(history.record(run, std::nullopt));
    QThread::msleep(3);
    run.output = "out 2";
    run.outcome = ActivityEvent::Outcome::Failed;
    run.measurements = QJsonObject{{"n", 2}};
    test::run(history.record(run, id));
    const auto detail =
        test::run(library->read([id](SQLite::Database &db) { return HistoryEntryDetail::fetch(db, id); }));
    ASSERT_TRUE(detail);
    EXPECT_EQ(detail->tool, "translate");
    ASSERT_EQ(detail->artifacts.size(), 2);
    EXPECT_EQ(detail->artifacts[0].text, "in");
    EXPECT_EQ(detail->artifacts[1].text, "out 2");
    EXPECT_EQ(detail->outcome, ActivityEvent::Outcome::Failed);
    EXPECT_EQ(detail->measurements, "{\"n\":2}");
}

TEST_F(LibraryTest, NulInAQuerySeparatesTerms) {
    auto library = openReady();
    const QUuid both = seed(*library, {"translate", "quarterly budget review", "done", 1});
    const QUuid other = seed(*library, {"translate", "something else", "entirely", 2});
    struct Case {
        QString query;
        QList<QUuid> ids;
        bool searched;
    };
    const QChar nul(0);
    const std::vector<Case> cases{
        {QString(nul), {other, both}, false},
        {"budget" + QString(nul) + "review", {both}, true},
        {"zz" + QString(nul) + "budget", {}, true},
        {QString(nul) + "a", {both}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.query.toUtf8().toPercentEncoding().toStdString());
        LogCapture capture;
        QList<QUuid> ids;
        for (const auto &e : test::run(library->historyEntries(Library::Tasks, std::nullopt, c.query, std::nullopt))) {
            ids.append(e.id);
            EXPECT_EQ(e.matchText.has_value(), c.searched);
        }
        EXPECT_EQ(ids, c.ids);
        EXPECT_EQ(capture.messages("library").size(), c.searched ? 1 : 0);
    }
}

TEST_F(LibraryTest, ThousandsOfDistinctTermsStillAnswer) {
    auto library = openReady();
    // Every pair of 32 letters and digits, as short terms, and every triple of the first eight
    // as long ones; one text holds them all, the other lacks a single pair.
    const QString symbols = "abcdefghijklmnopqrstuvwxyz012345";
    QStringList terms, pieces;
    for (QChar a : symbols)
        for (QChar b : symbols)
            terms.append(QString(a) + b);
    for (QChar a : symbols.left(8))
        for (QChar b : symbols.left(8))
            for (QChar c : symbols.left(8))
                terms.append(QString(a) + b + c);
    const QString all = terms.join('|');
    QString missing = all;
    missing.replace("|zz|", "|");
    const QUuid full = seed(*library, {"translate", all, "x", 1});
    seed(*library, {"translate", missing, "y", 2});
    ASSERT_GT(terms.size(), 1500);
    const auto found = test::run(library->historyEntries(Library::Tasks, std::nullopt, terms.join(' '), std::nullopt));
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].id, full);
    // Escaped like the others: "%" and "_" among many short terms still match only themselves.
    QStringList literal{"%", "_"};
    for (QChar a : symbols.left(9))
        literal.append(QString(a) + a);
    EXPECT_TRUE(
        test::run(library->historyEntries(Library::Tasks, std::nullopt, literal.join(' '), std::nullopt)).isEmpty());
}

namespace {

// The list statement as it was before lists picked their page first: every row's fields, then
// the sort. It stays here as the measure of what the faster statements must return.
HistoryEntry::Statement referenceStatement(const std::optional<QStringList> &terms, int sources,
                                           const std::optional<QSet<QString>> &tools, std::optional<int> limit) {
    HistoryEntry::Statement out;
    QString sql;
    if (terms) {
        const Library::HitQuery hit = Library::searchHitQuery(*terms);
        sql += "WITH hit AS (" + hit.sql + ") ";
        out.arguments += hit.arguments;
    }
    QStringList parts;
    if (sources & Library::Tasks) {
        QString part =
            "SELECT t.id, t.tool, t.createdAt,\n"
            "  (SELECT a.text FROM artifact a WHERE a.taskId = t.id AND a.role = 'output' AND a.kind = 'text'\n"
            "   ORDER BY a.createdAt DESC LIMIT 1) AS text,\n"
            "  (SELECT e.outcome FROM activityEvent e WHERE e.taskId = t.id AND e.kind = 'attemptFinished'\n"
            "   ORDER BY e.occurredAt DESC LIMIT 1) AS outcome,\n"
            "  (SELECT a.filePath FROM artifact a WHERE a.taskId = t.id AND a.kind = 'audio'\n"
            "   ORDER BY a.createdAt DESC LIMIT 1) AS audioPath,";
        part += terms ? " h.text AS matchText FROM task t JOIN hit h ON h.taskId = t.id AND h.rank = 1"
                      : " NULL AS matchText FROM task t";
        part += " WHERE t.status != 'active' AND t.contentDeletedAt IS NULL";
        if (tools) {
            QStringList sorted(tools->begin(), tools->end());
            std::sort(sorted.begin(), sorted.end());
            part += " AND t.tool IN (" + QStringList(sorted.size(), "?").join(',') + ")";
            out.arguments += sorted;
        }
        parts.append(part);
    }
    if (sources & Library::Notes)
        parts.append(QString("SELECT n.id, 'notes' AS tool, n.updatedAt AS createdAt, n.text,\n"
                             "  NULL AS outcome, NULL AS audioPath, ") +
                     (terms ? "h.text" : "NULL") + " AS matchText\nFROM note n " +
                     (terms ? "JOIN hit h ON h.noteId = n.id" : ""));
    sql += parts.join(" UNION ALL ") + " ORDER BY createdAt DESC";
    if (limit)
        sql += " LIMIT " + QString::number(*limit);
    out.sql = sql;
    return out;
}

} // namespace

TEST_F(LibraryTest, ListsPickTheSameRowsInTheSameOrderAsTheFullStatement) {
    auto library = openReady();
    // Enough runs that a common term has more hits than a page needs looking at, some of them
    // in progress, deleted, edited, recorded or without an output; and notes between them.
    test::run(library->write([](SQLite::Database &db) {
        const QStringList tools{"translate", "dictation", "summarize"};
        for (int i = 0; i < 160; ++i) {
            const QUuid id = QUuid::createUuid();
            const QDateTime when = at(i);
            LibraryTask task{id, tools[i % 3], LibraryTask::Status::Completed, when, when, std::nullopt};
            if (i % 23 == 5)
                task.status = LibraryTask::Status::Active;
            if (i % 19 == 7)
                task.contentDeletedAt = when;
            task.insert(db);
            LibraryArtifact input;
            input.id = QUuid::createUuid();
            input.taskId = id;
            input.text = QString("input %1 %2 %3 %4")
                             .arg(i % 4 ? "common" : "plain", i % 2 ? "会議の件" : "", i % 7 ? "ab" : "",
                                  i % 50 == 3 ? "rare" : "");
            input.createdAt = when;
            input.insert(db);
            if (i % 11 == 0) {
                LibraryArtifact audio = input;
                audio.id = QUuid::createUuid();
                audio.kind = LibraryArtifact::Kind::Audio;
                audio.text.reset();
                audio.filePath = QString("Assets/%1/a.m4a").arg(i);
                audio.insert(db);
            }
            if (i % 13 == 0)
                continue; // no output, no attempt
            LibraryArtifact output = input;
            output.id = QUuid::createUuid();
            output.role = LibraryArtifact::Role::Output;
            output.attemptId = id;
            output.text =
                QString("output %1 %2 %3").arg(i % 3 ? "common" : "other", i % 5 ? "xy" : "", i % 6 ? "AB" : "");
            output.createdAt = when.addMSecs(1);
            output.insert(db);
            attemptFinishedEvent(id, id, task.tool, 1, ActivityEvent::Outcome(i % 4), "{}", output.createdAt)
                .insert(db);
        }
        for (int i = 0; i < 8; ++i)
            LibraryNote{QUuid::createUuid(), QString("note %1 common ab").arg(i), at(i * 19), at(i * 19).addSecs(30)}
                .upsert(db);
    }));

    const QStringList queries{"", "common", "rare", "common rare", "会議", "ab", "ab common", "COMMON xy", "nothing"};
    const std::vector<std::optional<int>> limits{std::nullopt, 1, 5};
    const std::vector<std::optional<QSet<QString>>> toolSets{std::nullopt, QSet<QString>{"translate", "summarize"}};
    QSet<QString> runsFirst;
    int fromHits = 0;
    for (const QString &query : queries)
        for (const auto &limit : limits)
            for (const auto &tools : toolSets)
                for (int sources : {int(Library::Tasks), Library::Tasks | Library::Notes}) {
                    SCOPED_TRACE(QString("%1, limit %2, %3 tools, sources %4")
                                     .arg(query, limit ? QString::number(*limit) : "none")
                                     .arg(tools ? tools->size() : -1)
                                     .arg(sources)
                                     .toStdString());
                    const auto terms = Library::searchTerms(query);
                    auto [entries, expected, ran] = test::run(library->read([&](SQLite::Database &db) {
                        QList<HistoryEntry::Statement> ran;
                        const QList<HistoryEntry> entries =
                            HistoryEntry::fetchAll(db, terms, sources, tools, limit, &ran);
                        const HistoryEntry::Statement reference = referenceStatement(terms, sources, tools, limit);
                        SQLite::Statement s(db, reference.sql.toStdString());
                        for (int i = 0; i < reference.arguments.size(); ++i)
                            bind::text(s, i + 1, reference.arguments[i]);
                        QList<HistoryEntry> expected;
                        while (s.executeStep())
                            expected.append(HistoryEntry::fromRow(s));
                        return std::make_tuple(entries, expected, ran);
                    }));
                    EXPECT_EQ(entries, expected);
                    if (ran.last().sql.contains("WHERE matchText IS NOT NULL"))
                        runsFirst.insert(query);
                    fromHits += ran.last().sql.contains("hit AS (");
                }
    // Both ways of finding a searched page were taken; runs were walked with long and short terms.
    EXPECT_TRUE(runsFirst.contains(QSet<QString>{"common", "ab", "ab common"}));
    EXPECT_GT(fromHits, 0);
}

TEST_F(LibraryTest, SupersededSearchEndsCancelledAndUnlogged) {
    auto library = openReady();
    seed(*library, {"translate", "apples and pears", "fruit", 1});
    CancellationSource superseded;
    superseded.cancel();
    LogCapture capture;
    EXPECT_THROW(test::run(library->historyEntries(Library::Tasks, std::nullopt, "apples", 20, superseded.token())),
                 CancelledError);
    EXPECT_TRUE(capture.messages("library").isEmpty());
    CancellationSource current;
    EXPECT_EQ(test::run(library->historyEntries(Library::Tasks, std::nullopt, "apples", 20, current.token())).size(),
              1);
}
