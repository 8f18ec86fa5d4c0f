#include "libraryfixture.h"

#include "core/uuid.h"
#include "library/texttaskhistory.h"

#include <QJsonArray>

#include <cmath>
#include <limits>

using namespace velmora;
using velmora::test::LibraryTest;

namespace {

TextTaskHistory::Run makeRun(const QString &input, const QString &output,
                             ActivityEvent::Outcome outcome = ActivityEvent::Outcome::Completed) {
    TextTaskHistory::Run run;
    run.input = input;
    run.inputLanguage = QStringLiteral("en");
    run.output = output;
    run.outputLanguage = QStringLiteral("ja");
    run.outcome = outcome;
    run.measurements = QJsonObject{{"measurementsVersion", 1}, {"inputCharacters", input.size()}};
    return run;
}

struct TaskRows {
    std::optional<LibraryTask> task;
    QList<LibraryArtifact> artifacts;
    QList<ActivityEvent> events;
};

TaskRows rowsOf(Library &library, const QUuid &id) {
    return test::run(library.read([id](SQLite::Database &db) {
        return TaskRows{LibraryTask::fetch(db, id), LibraryArtifact::fetchAll(db, id), ActivityEvent::fetchAll(db, id)};
    }));
}

// Sets TZ for the scope of one test.
class TimeZoneScope {
public:
    explicit TimeZoneScope(const char *zone) : m_old(qgetenv("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~TimeZoneScope() {
        if (m_old.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", m_old);
        tzset();
    }

private:
    QByteArray m_old;
};

} // namespace

TEST_F(LibraryTest, NewRunIsOneTaskWithInputOutputAndEvent) {
    auto library = openReady();
    TextTaskHistory history(library, "translate");
    const QUuid id = test::run(history.record(makeRun("Good morning", "おはよう"), std::nullopt));

    const TaskRows rows = rowsOf(*library, id);
    ASSERT_TRUE(rows.task);
    EXPECT_EQ(rows.task->tool, "translate");
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Completed);
    ASSERT_EQ(rows.artifacts.size(), 2);
    const auto input = *std::find_if(rows.artifacts.begin(), rows.artifacts.end(),
                                     [](const auto &a) { return a.role == LibraryArtifact::Role::Input; });
    const auto output = *std::find_if(rows.artifacts.begin(), rows.artifacts.end(),
                                      [](const auto &a) { return a.role == LibraryArtifact::Role::Output; });
    EXPECT_EQ(input.text, "Good morning");
    EXPECT_EQ(input.language, "en");
    EXPECT_FALSE(input.attemptId);
    EXPECT_EQ(output.text, "おはよう");
    EXPECT_EQ(output.attemptId, id);
    ASSERT_EQ(rows.events.size(), 1);
    const ActivityEvent &event = rows.events[0];
    EXPECT_EQ(event.attemptId, id);
    EXPECT_EQ(event.tool, "translate");
    EXPECT_EQ(event.version, 1);
    EXPECT_EQ(event.outcome, ActivityEvent::Outcome::Completed);
    EXPECT_EQ(event.measurements, "{\"inputCharacters\":12,\"measurementsVersion\":1}");
    // One instant for the whole write.
    EXPECT_EQ(rows.task->updatedAt, event.occurredAt);
    EXPECT_EQ(output.createdAt, event.occurredAt);
}

TEST_F(LibraryTest, RunOnAnExistingTaskBecomesAFurtherAttempt) {
    auto library = openReady();
    TextTaskHistory history(library, "summarize");
    const QUuid id = test::run(history.record(makeRun("first input", "first output"), std::nullopt));
    const TaskRows before = rowsOf(*library, id);
    QThread::msleep(5);
    const QUuid again =
        test::run(history.record(makeRun("other input", "second output", ActivityEvent::Outcome::Partial), id));
    EXPECT_EQ(again, id);

    const TaskRows rows = rowsOf(*library, id);
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Partial);
    EXPECT_EQ(rows.task->createdAt, before.task->createdAt);
    ASSERT_EQ(rows.events.size(), 2);
    EXPECT_NE(rows.events[0].attemptId, rows.events[1].attemptId);
    EXPECT_EQ(rows.task->updatedAt, rows.events[1].occurredAt);
    QStringList texts;
    for (const auto &a : rows.artifacts)
        texts.append(LibraryArtifact::toString(a.role) + ":" + *a.text);
    EXPECT_EQ(texts, (QStringList{"input:first input", "output:second output"}));
    EXPECT_EQ(rows.artifacts[1].attemptId, rows.events[1].attemptId);
}

TEST_F(LibraryTest, RunOnAGoneTaskStartsANewOne) {
    auto library = openReady();
    TextTaskHistory history(library, "proofread");
    const QUuid deleted = test::run(history.record(makeRun("a", "b"), std::nullopt));
    test::run(library->deleteContent(deleted));
    const TaskRows deletedBefore = rowsOf(*library, deleted);

    for (const QUuid &given : {deleted, QUuid::createUuid()}) {
        const QUuid id = test::run(history.record(makeRun("new input", "new output"), given));
        EXPECT_NE(id, given);
        const TaskRows rows = rowsOf(*library, id);
        ASSERT_TRUE(rows.task);
        EXPECT_EQ(rows.artifacts.size(), 2);
    }
    const TaskRows deletedAfter = rowsOf(*library, deleted);
    EXPECT_EQ(deletedAfter.task->contentDeletedAt, deletedBefore.task->contentDeletedAt);
    EXPECT_EQ(deletedAfter.events.size(), 1);
    EXPECT_TRUE(deletedAfter.artifacts.isEmpty());
}

TEST_F(LibraryTest, InterruptedRunFailsItsTaskAndKeepsEmptyOutput) {
    auto library = openReady();
    TextTaskHistory history(library, "translate");
    const QUuid id = test::run(history.record(makeRun("input", "", ActivityEvent::Outcome::Interrupted), {}));
    const TaskRows rows = rowsOf(*library, id);
    EXPECT_EQ(rows.task->status, LibraryTask::Status::Failed);
    EXPECT_EQ(rows.events[0].outcome, ActivityEvent::Outcome::Interrupted);
    EXPECT_EQ(query("SELECT typeof(text) || ':' || length(text) FROM artifact WHERE role = 'output'"),
              QStringList{"text:0"});
}

TEST_F(LibraryTest, EventKeepsTheTimeZoneOfTheMoment) {
    auto library = openReady();
    TextTaskHistory history(library, "translate");
    const std::vector<std::tuple<const char *, qint64>> zones{{"Asia/Tokyo", 32400}, {"America/Bogota", -18000}};
    for (const auto &[zone, offset] : zones) {
        TimeZoneScope scope(zone);
        const QUuid id = test::run(history.record(makeRun("x", "y"), std::nullopt));
        const TaskRows rows = rowsOf(*library, id);
        EXPECT_EQ(rows.events[0].timeZone, zone);
        EXPECT_EQ(rows.events[0].utcOffsetSeconds, offset);
    }
}

TEST(MeasurementsJson, IsCompactWithSortedKeys) {
    const QJsonObject nested{{"zeta", 1}, {"alpha", QJsonArray{1.5, "a/b", true}}};
    const QJsonObject measurements{{"wordCount", 12},
                                   {"countVersion", 1},
                                   {"nested", nested},
                                   {"latencySeconds", 0.25},
                                   {"quote", "say \"hi\"\n"}};
    EXPECT_EQ(measurementsJson(measurements),
              R"({"countVersion":1,"latencySeconds":0.25,"nested":{"alpha":[1.5,"a\/b",true],"zeta":1},)"
              R"("quote":"say \"hi\"\n","wordCount":12})");
}

TEST(MeasurementsJson, LeavesOutNumbersThatAreNotFinite) {
    const QJsonObject measurements{{"ok", 2},
                                   {"nan", std::nan("")},
                                   {"inf", std::numeric_limits<double>::infinity()},
                                   {"list", QJsonArray{1, -std::numeric_limits<double>::infinity()}}};
    EXPECT_EQ(measurementsJson(measurements), R"({"list":[1,null],"ok":2})");
}

TEST_F(LibraryTest, RunWithANonFiniteMeasurementIsStillKept) {
    auto library = openReady();
    TextTaskHistory history(library, "translate");
    TextTaskHistory::Run run = makeRun("keep me", "and me");
    run.measurements.insert("tokensPerSecond", std::nan(""));
    const QUuid id = test::run(history.record(run, std::nullopt));
    const TaskRows rows = rowsOf(*library, id);
    EXPECT_EQ(rows.artifacts.size(), 2);
    EXPECT_EQ(rows.events[0].measurements, "{\"inputCharacters\":7,\"measurementsVersion\":1}");
}

TEST_F(LibraryTest, FailedRecordingLeavesTheEarlierStateWhole) {
    auto library = openReady();
    TextTaskHistory history(library, "translate");
    const QUuid id = test::run(history.record(makeRun("in", "first out"), std::nullopt));
    const TaskRows before = rowsOf(*library, id);
    // The last row of a recording fails to insert.
    test::run(library->write([](SQLite::Database &db) {
        db.exec("CREATE TEMP TRIGGER refuse BEFORE INSERT ON activityEvent BEGIN SELECT RAISE(ABORT, 'full'); END");
    }));
    EXPECT_THROW(test::run(history.record(makeRun("in", "second out", ActivityEvent::Outcome::Failed), id)),
                 DatabaseError);
    EXPECT_THROW(test::run(history.record(makeRun("new", "new"), std::nullopt)), DatabaseError);

    const TaskRows after = rowsOf(*library, id);
    EXPECT_EQ(after.task->status, before.task->status);
    EXPECT_EQ(after.task->updatedAt, before.task->updatedAt);
    ASSERT_EQ(after.artifacts.size(), 2);
    EXPECT_EQ(after.artifacts[1].text, "first out");
    EXPECT_EQ(query("SELECT COUNT(*) FROM task"), QStringList{"1"});
}

TEST_F(LibraryTest, TextHistoryUpdatesOutputsOfAnyTool) {
    auto library = openReady();
    const QUuid id = test::run(TextTaskHistory(library, "translate").record(makeRun("a", "b"), std::nullopt));
    EXPECT_TRUE(test::run(TextTaskHistory(library, "summarize").updateOutput(id, "edited")));
    EXPECT_EQ(query("SELECT text FROM artifact WHERE role = 'output'"), QStringList{"edited"});
    EXPECT_EQ(query("SELECT tool FROM task"), QStringList{"translate"});
}

TEST_F(LibraryTest, FailedHistoryWritesAreLoggedWithActionAndToolAndPassedOn) {
    auto library = openReady();
    TextTaskHistory history(library, "translate");
    LogCapture log;
    const QUuid id = test::run(
        TextTaskHistory::logFailures(QStringLiteral("save"), history.tool(), history.record(makeRun("a", "b"), {})));
    EXPECT_TRUE(test::run(TextTaskHistory::logFailures(QStringLiteral("edit"), history.tool(),
                                                       history.updateOutput(id, QStringLiteral("c")))));
    EXPECT_TRUE(log.messages("library").isEmpty());

    test::run(library->write([](SQLite::Database &db) {
        db.exec("CREATE TEMP TRIGGER refuse BEFORE UPDATE ON artifact BEGIN SELECT RAISE(ABORT, 'no'); END");
    }));
    EXPECT_THROW(test::run(TextTaskHistory::logFailures(QStringLiteral("edit"), history.tool(),
                                                        history.updateOutput(id, QStringLiteral("d")))),
                 DatabaseError);
    EXPECT_EQ(log.messages("library"), QStringList{QStringLiteral("History edit failed (translate): "
                                                                  "Velmora.DatabaseError 1811")});
}
