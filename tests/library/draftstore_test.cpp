#include "libraryfixture.h"

#include "core/log.h"
#include "library/draftstore.h"

#include <QTimer>

using namespace velmora;
using namespace std::chrono_literals;
using velmora::test::LibraryTest;

namespace {

struct PageDraft {
    QString text;
    int count = 0;

    QJsonObject toJson() const { return {{"text", text}, {"count", count}}; }
    static PageDraft fromJson(const QJsonObject &json) {
        if (!json.value("text").isString())
            throw LibraryDecodingError("text missing");
        return {json.value("text").toString(), json.value("count").toInt()};
    }
    bool operator==(const PageDraft &) const = default;
};

using Store = DraftStore<PageDraft>;

class DraftStoreTest : public LibraryTest {
protected:
    std::shared_ptr<Library> library = openReady();

    void SetUp() override {
        // Every save of a draft row, in order, on the Library's own connection.
        test::run(library->write([](SQLite::Database &db) {
            db.exec("CREATE TEMP TABLE saves (content TEXT)");
            db.exec("CREATE TEMP TRIGGER saved_insert AFTER INSERT ON draft BEGIN "
                    "INSERT INTO saves VALUES (new.content); END");
            db.exec("CREATE TEMP TRIGGER saved_update AFTER UPDATE ON draft BEGIN "
                    "INSERT INTO saves VALUES (new.content); END");
        }));
    }

    QStringList saves() {
        return test::run(library->read([](SQLite::Database &db) {
            QStringList out;
            SQLite::Statement s(db, "SELECT content FROM temp.saves ORDER BY rowid");
            while (s.executeStep())
                out.append(QString::fromStdString(s.getColumn(0).getString()));
            return out;
        }));
    }
    std::optional<LibraryDraft> row(const QString &tool = "translate") {
        return test::run(library->read([tool](SQLite::Database &db) { return LibraryDraft::fetch(db, tool); }));
    }
    void putRow(const LibraryDraft &draft) {
        test::run(library->write([draft](SQLite::Database &db) { draft.save(db); }));
    }
    void failWrites(bool fail) {
        test::run(library->write([fail](SQLite::Database &db) {
            db.exec(fail ? "CREATE TEMP TRIGGER refuse BEFORE INSERT ON draft BEGIN SELECT RAISE(ABORT, 'full'); END"
                         : "DROP TRIGGER temp.refuse");
        }));
    }
};

} // namespace

TEST_F(DraftStoreTest, SavedDraftLoadsBackInANewStore) {
    {
        Store store(library, "translate");
        EXPECT_EQ(test::run(store.load()), std::nullopt);
        store.schedule({"hello", 1});
        test::run(store.flush());
    }
    const auto saved = row();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->version, 1);
    EXPECT_EQ(Store::decode(saved->content), (PageDraft{"hello", 1}));
    Store again(library, "translate");
    EXPECT_EQ(test::run(again.load()), (PageDraft{"hello", 1}));
    Store other(library, "summarize");
    EXPECT_EQ(test::run(other.load()), std::nullopt);
}

TEST_F(DraftStoreTest, ChangesAreThrottledNotDelayed) {
    Store store(library, "translate");
    store.schedule({"a", 1});
    test::spin(300ms);
    store.schedule({"b", 2});
    store.schedule({"c", 3});
    EXPECT_TRUE(saves().isEmpty());
    // The timer started by the first change writes the newest value; later changes start a new one.
    ASSERT_TRUE(test::waitUntil([&] { return saves().size() == 1; }, 3s));
    EXPECT_FALSE(store.timerRunning());
    store.schedule({"d", 4});
    EXPECT_TRUE(store.timerRunning());
    ASSERT_TRUE(test::waitUntil([&] { return saves().size() == 2; }, 3s));
    const QStringList written = saves();
    EXPECT_EQ(Store::decode(written[0]), (PageDraft{"c", 3}));
    EXPECT_EQ(Store::decode(written[1]), (PageDraft{"d", 4}));
}

TEST_F(DraftStoreTest, ChangesThatGoOnNeverPostponeTheWrite) {
    // A change every 100 ms, with no end: a delay that each change restarted would never write.
    Store store(library, "translate");
    int changes = 0;
    QTimer typing;
    QObject::connect(&typing, &QTimer::timeout, [&] { store.schedule({"typing", ++changes}); });
    store.schedule({"typing", ++changes});
    typing.start(100ms);
    ASSERT_TRUE(test::waitUntil([&] { return !saves().isEmpty(); }, 10s));
    const int changesBeforeWrite = changes;
    typing.stop();
    EXPECT_GT(changesBeforeWrite, 1);
    // The write holds the newest value when the timer fired, not the first.
    EXPECT_GT(Store::decode(saves().first()).count, 1);
}

TEST_F(DraftStoreTest, FlushWritesAtOnceAndTheCancelledTimerWritesNothing) {
    Store store(library, "translate");
    test::run(store.flush()); // nothing waiting, nothing queued
    store.schedule({"now", 1});
    test::run(store.flush());
    EXPECT_EQ(saves().size(), 1);
    test::spin(1300ms);
    EXPECT_EQ(saves().size(), 1);
}

TEST_F(DraftStoreTest, ClearDropsTheWaitingValueAndDeletesTheRow) {
    putRow({"translate", 1, R"({"text":"old","count":0})", libraryNow()});
    Store store(library, "translate");
    store.schedule({"never written", 1});
    store.clear();
    test::run(store.flush());
    test::spin(1200ms);
    EXPECT_FALSE(row());
    EXPECT_EQ(saves().size(), 1); // only the row put there by the test
    EXPECT_FALSE(store.saveFailed());
    store.clear(); // no row: still no failure
    test::run(store.flush());
    EXPECT_FALSE(store.saveFailed());
}

TEST_F(DraftStoreTest, UnusableRowsLoadAsNone) {
    struct Case {
        LibraryDraft row;
        bool logged;
    };
    const std::vector<Case> cases{
        {{"translate", 2, R"({"text":"newer","count":1})", libraryNow()}, false},
        {{"translate", 1, "not json", libraryNow()}, true},
        {{"translate", 1, R"({"count":1})", libraryNow()}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.row.content.toStdString());
        putRow(c.row);
        LogCapture capture;
        Store store(library, "translate");
        EXPECT_EQ(test::run(store.load()), std::nullopt);
        EXPECT_EQ(capture.messages("library"),
                  c.logged ? QStringList{"Draft load failed (translate): Velmora.LibraryDecodingError 0"}
                           : QStringList{});
        EXPECT_EQ(row()->content, c.row.content) << "the row stays";
    }
    Store store(library, "translate");
    store.schedule({"fresh", 1});
    test::run(store.flush());
    EXPECT_EQ(row()->version, 1);
    EXPECT_EQ(test::run(store.load()), (PageDraft{"fresh", 1}));
}

TEST_F(DraftStoreTest, AStoreDroppedWhileItLoadsEndsTheLoadWithoutIt) {
    // A page closed while its draft is read: the unusable row is judged without the store.
    putRow({"translate", 1, "not json", libraryNow()});
    auto store = std::make_unique<Store>(library, "translate");
    auto loading = store->load();
    store.reset();
    EXPECT_EQ(test::run(std::move(loading)), std::nullopt);
    EXPECT_EQ(row()->content, "not json");
}

TEST_F(DraftStoreTest, FailedWriteIsLoggedAndTheNextSuccessClearsTheFlag) {
    Store store(library, "quickNote");
    QList<bool> observed;
    QObject::connect(&store, &DraftStoreBase::saveFailedChanged, [&](bool v) { observed.append(v); });
    failWrites(true);
    LogCapture capture;
    store.schedule({"lost", 1});
    test::run(store.flush());
    EXPECT_TRUE(store.saveFailed());
    EXPECT_EQ(capture.messages("library"), QStringList{"Draft save failed (quickNote): Velmora.DatabaseError 1811"});
    failWrites(false);
    store.schedule({"kept", 2});
    test::run(store.flush());
    EXPECT_EQ(observed, (QList<bool>{true, false}));
    EXPECT_EQ(test::run(store.load()), (PageDraft{"kept", 2}));
}

TEST_F(DraftStoreTest, OperationsRunInCallOrder) {
    Store store(library, "proofread");
    store.schedule({"written first", 1});
    test::run(store.flush());
    store.schedule({"then", 2});
    store.flush(); // queued, not awaited
    store.clear();
    store.schedule({"after the deletion", 3});
    test::run(store.flush());
    EXPECT_EQ(test::run(store.load()), (PageDraft{"after the deletion", 3}));
    QStringList texts;
    for (const QString &content : saves())
        texts.append(Store::decode(content).text);
    EXPECT_EQ(texts, (QStringList{"written first", "then", "after the deletion"}));
}

TEST_F(LibraryTest, DraftLoadFromAnUnavailableLibraryLogsAndGivesNone) {
    test::writeFile(dbPath(), QByteArray(8192, 'x'));
    auto library = Library::open(root);
    LogCapture capture;
    Store store(library, "summarize");
    EXPECT_EQ(test::run(store.load()), std::nullopt);
    EXPECT_EQ(capture.messages("library"),
              QStringList{"Draft load failed (summarize): Velmora.Library.UnavailableReason 1"});
}
