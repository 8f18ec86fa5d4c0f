#include "libraryfixture.h"

#include "library/historywritequeue.h"
#include "library/texttaskhistory.h"

using namespace velmora;
using namespace std::chrono_literals;
using velmora::test::LibraryTest;

namespace {

using Events = std::shared_ptr<QStringList>;

// An operation that records when it starts and ends, and ends only when its gate opens.
QCoro::Task<bool> gated(Events events, QString name, Promise<void> gate, bool fail, bool value) {
    events->append("start " + name);
    co_await gate;
    events->append("end " + name);
    if (fail)
        throw std::runtime_error("write failed");
    co_return value;
}

Promise<void> opened() {
    Promise<void> p;
    p.resolve();
    return p;
}

// A queue whose output updates are recorded, answering `updateResult`.
struct QueueFixture {
    Events events = std::make_shared<QStringList>();
    int changed = 0;
    bool updateResult = true;
    std::unique_ptr<HistoryWriteQueue> queue;

    explicit QueueFixture(std::chrono::milliseconds delay = 150ms) {
        queue = std::make_unique<HistoryWriteQueue>(
            [this](QUuid id, QString text) {
                return gated(events, "update " + id.toString(QUuid::WithoutBraces).left(4) + " " + text, opened(),
                             false, updateResult);
            },
            delay);
        QObject::connect(queue.get(), &HistoryWriteQueue::changed,
                         [this] { events->append("changed " + QString::number(++changed)); });
    }
};

const QUuid kRunA = QUuid::fromString(QStringLiteral("aaaaaaaa-0000-0000-0000-000000000000"));
const QUuid kRunB = QUuid::fromString(QStringLiteral("bbbbbbbb-0000-0000-0000-000000000000"));

} // namespace

TEST(HistoryWriteQueue, WritesRunOneAtATimeAndFailuresDoNotStopThem) {
    QueueFixture f;
    QList<bool> observed;
    QObject::connect(f.queue.get(), &HistoryWriteQueue::saveFailedChanged, [&](bool v) { observed.append(v); });
    Promise<void> first, second;
    auto a = f.queue->enqueue([&] { return gated(f.events, "a", first, true, true); });
    auto b = f.queue->record([&] {
        return [](Events e, Promise<void> g) -> QCoro::Task<QUuid> {
            co_await gated(e, "b", g, false, true);
            co_return kRunB;
        }(f.events, second);
    });
    EXPECT_EQ(*f.events, QStringList{"start a"});
    second.resolve();
    test::spin(20ms);
    EXPECT_EQ(*f.events, QStringList{"start a"}) << "b must wait for a";
    first.resolve();

    EXPECT_EQ(test::run([](SharedTask<std::optional<bool>> t) -> QCoro::Task<std::optional<bool>> {
                  co_return co_await t;
              }(a)),
              std::nullopt);
    EXPECT_EQ(test::run([](SharedTask<std::optional<QUuid>> t) -> QCoro::Task<std::optional<QUuid>> {
                  co_return co_await t;
              }(b)),
              kRunB);
    EXPECT_EQ(*f.events, (QStringList{"start a", "end a", "start b", "end b", "changed 1"}));
    EXPECT_EQ(observed, (QList<bool>{true, false}));
    EXPECT_FALSE(f.queue->saveFailed());
}

TEST(HistoryWriteQueue, EditsOfOneRunAreWrittenOnceAfterTheLastEdit) {
    QueueFixture f(1000ms);
    f.queue->scheduleEdit(kRunA, "first");
    test::spin(600ms);
    f.queue->scheduleEdit(kRunA, "second");
    test::spin(600ms); // past the first edit's delay, well inside the second's
    EXPECT_TRUE(f.events->isEmpty());
    ASSERT_TRUE(test::waitUntil([&] { return f.changed == 1; }));
    test::spin(200ms);
    EXPECT_EQ(*f.events, (QStringList{"start update aaaa second", "end update aaaa second", "changed 1"}));
}

TEST(HistoryWriteQueue, EditOfAnotherRunSendsThePendingEditAtOnce) {
    QueueFixture f(10s);
    f.queue->scheduleEdit(kRunA, "a text");
    f.queue->scheduleEdit(kRunB, "b text");
    ASSERT_FALSE(f.events->isEmpty());
    EXPECT_EQ(f.events->first(), "start update aaaa a text");
    EXPECT_FALSE(f.events->join('|').contains("bbbb")) << "b waits for its own delay";
    test::run(f.queue->flushAndWait());
    EXPECT_EQ(*f.events, (QStringList{"start update aaaa a text", "end update aaaa a text", "changed 1",
                                      "start update bbbb b text", "end update bbbb b text", "changed 2"}));
}

TEST(HistoryWriteQueue, FlushWithNothingPendingWritesNothing) {
    QueueFixture f;
    f.queue->flush();
    test::run(f.queue->flushAndWait()); // a queue that never wrote returns at once
    test::spin(200ms);
    EXPECT_TRUE(f.events->isEmpty());
    EXPECT_EQ(f.changed, 0);
}

TEST(HistoryWriteQueue, UpdateOfAGoneRunReportsItMissingAfterTheWrite) {
    QueueFixture f;
    f.updateResult = false;
    QObject::connect(f.queue.get(), &HistoryWriteQueue::missing,
                     [&](QUuid id) { f.events->append(id == kRunA ? "missing A" : "missing ?"); });
    f.queue->scheduleEdit(kRunA, "x");
    ASSERT_TRUE(test::waitUntil([&] { return f.events->contains("missing A"); }));
    EXPECT_EQ(*f.events, (QStringList{"start update aaaa x", "end update aaaa x", "changed 1", "missing A"}));
    EXPECT_FALSE(f.queue->saveFailed());
}

TEST(HistoryWriteQueue, RunRecordedAfterAnEditIsWrittenAfterIt) {
    QueueFixture f(10s);
    f.queue->scheduleEdit(kRunA, "edit");
    f.queue->flush();
    f.queue->enqueue([&] { return gated(f.events, "record", opened(), false, true); });
    test::run(f.queue->flushAndWait());
    EXPECT_EQ(*f.events, (QStringList{"start update aaaa edit", "end update aaaa edit", "changed 1", "start record",
                                      "end record", "changed 2"}));
}

TEST(HistoryWriteQueue, ReleasedQueueWritesNoWaitingEdit) {
    QueueFixture f(50ms);
    f.queue->scheduleEdit(kRunA, "never");
    f.queue.reset();
    test::spin(150ms);
    EXPECT_TRUE(f.events->isEmpty());
}

TEST_F(LibraryTest, QueueWritesEditsThroughTheLibrary) {
    auto library = openReady();
    TextTaskHistory history(library, "translate");
    int changed = 0;
    std::optional<QUuid> missing;
    HistoryWriteQueue queue([history](QUuid id, QString text) { return history.updateOutput(id, text); }, 50ms);
    QObject::connect(&queue, &HistoryWriteQueue::changed, [&] { ++changed; });
    QObject::connect(&queue, &HistoryWriteQueue::missing, [&](QUuid id) { missing = id; });
    TextTaskHistory::Run run;
    run.input = "in";
    run.output = "out";
    auto recorded = queue.record([history, run] { return history.record(run, std::nullopt); });
    const std::optional<QUuid> id =
        test::run([](SharedTask<std::optional<QUuid>> t) -> QCoro::Task<std::optional<QUuid>> {
            co_return co_await t;
        }(recorded));
    ASSERT_TRUE(id);
    queue.scheduleEdit(*id, "edited by hand");
    ASSERT_TRUE(test::waitUntil([&] { return changed == 2; }));
    EXPECT_EQ(query("SELECT text FROM artifact WHERE role = 'output'"), QStringList{"edited by hand"});

    test::run(library->deleteContent(*id));
    queue.scheduleEdit(*id, "too late");
    test::run(queue.flushAndWait());
    ASSERT_TRUE(test::waitUntil([&] { return missing.has_value(); }));
    EXPECT_EQ(*missing, *id);
}
