// Fills a Library with 100,000 runs of mixed English and Japanese text and prints how long the
// Library takes for its main queries, next to the sqlite3 shell running the same SQL on the
// same file. The figure that counts is the ratio: the Library's own overhead over SQLite.
//
// Usage: bench_library [runs] [folder]; a folder that holds a Library already is measured as it
// is (no filling), and is kept.

#include "core/uuid.h"
#include "library/historywritequeue.h"
#include "library/library.h"
#include "library/migrations.h"
#include "library/texttaskhistory.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

const char *const kEnglish[] = {"the",      "team",     "shared", "a",       "draft",    "for",      "next",
                                "quarter",  "please",   "review", "numbers", "before",   "friday",   "we",
                                "agreed",   "to",       "move",   "launch",  "customer", "feedback", "was",
                                "positive", "schedule", "call",   "with",    "partners", "in",       "Tokyo",
                                "office",   "update",   "slides", "summary", "notes",    "action",   "items"};
const char *const kJapanese[] = {"明日",     "の",     "打ち合わせ", "資料",   "を",   "確認",     "して",
                                 "ください", "来週",   "予定",       "です",   "東京", "大阪",     "お客様",
                                 "から",     "ご意見", "いただき",   "ました", "共有", "よろしく", "お願いします"};

struct Generator {
    std::mt19937 rng{20261210};
    template <std::size_t N>
    QString words(const char *const (&list)[N], int chars, const QString &separator) {
        QString out;
        std::uniform_int_distribution<std::size_t> pick(0, N - 1);
        while (out.size() < chars)
            out += QString::fromUtf8(list[pick(rng)]) + separator;
        return out;
    }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }
};

// The terms the searches look for: one rare, three found in most runs, one two-character one.
const QString kRare = "zephyrine";
const QString kCommon[] = {"report", "meeting", "budget"};
const QString kShortJapanese = "会議";

// A database at "v4" (the index of one table) with `runs` finished runs, one minute apart, oldest first.
void fill(const QString &path, int runs) {
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec("PRAGMA journal_mode = WAL");
    db.exec(std::string("CREATE TABLE \"") + LibraryMigrations::kTrackingTable +
            "\" (identifier TEXT NOT NULL PRIMARY KEY)");
    for (int i = 0; i < 4; ++i) {
        const auto &m = LibraryMigrations::registered()[std::size_t(i)];
        m.apply(db);
        db.exec(std::string("INSERT INTO \"") + LibraryMigrations::kTrackingTable + "\" VALUES ('" +
                m.identifier.toStdString() + "')");
    }
    Generator g;
    const QDateTime base = QDateTime(QDate(2025, 1, 1), QTime(8, 0), Qt::UTC);
    SQLite::Statement task(db, "INSERT INTO task VALUES (?, ?, ?, ?, ?)");
    SQLite::Statement artifact(db, "INSERT INTO artifact VALUES (?, ?, ?, ?, 'text', ?, ?, NULL, ?)");
    SQLite::Statement event(db, "INSERT INTO activityEvent VALUES (?, ?, ?, ?, 'attemptFinished', 1, ?, "
                                "'Asia/Tokyo', 32400, 'completed', '{\"countVersion\":1}')");
    const char *tools[] = {"translate", "summarize", "proofread", "dictation", "voiceCompose"};
    db.exec("BEGIN");
    for (int i = 0; i < runs; ++i) {
        const std::string id = newUuidString().toStdString();
        const std::string when = libraryDateString(base.addSecs(qint64(i) * 60)).toStdString();
        const char *tool = tools[i % 5];
        QString english = g.words(kEnglish, 220, " ");
        for (const QString &term : kCommon)
            if (g.chance(0.8))
                english.insert(int(g.rng() % english.size()), " " + term + " ");
        if (g.chance(0.001))
            english += " " + kRare;
        QString japanese = g.words(kJapanese, 90, "");
        if (g.chance(0.3))
            japanese.insert(int(g.rng() % japanese.size()), kShortJapanese);
        const bool englishFirst = i % 2 == 0;

        task.bind(1, id);
        task.bind(2, tool);
        task.bind(3, "completed");
        task.bind(4, when);
        task.bind(5, when);
        task.exec();
        task.reset();
        for (int role = 0; role < 2; ++role) {
            const bool isEnglish = (role == 0) == englishFirst;
            artifact.bind(1, newUuidString().toStdString());
            artifact.bind(2, id);
            if (role == 0)
                artifact.bind(3);
            else
                artifact.bind(3, id);
            artifact.bind(4, role == 0 ? "input" : "output");
            artifact.bind(5, isEnglish ? "en" : "ja");
            artifact.bind(6, (isEnglish ? english : japanese).toStdString());
            artifact.bind(7, when);
            artifact.exec();
            artifact.reset();
        }
        event.bind(1, newUuidString().toStdString());
        event.bind(2, id);
        event.bind(3, id);
        event.bind(4, tool);
        event.bind(5, when);
        event.exec();
        event.reset();
        if (i % 10000 == 9999) {
            db.exec("COMMIT");
            db.exec("BEGIN");
            std::fprintf(stderr, "  filled %d runs\n", i + 1);
        }
    }
    db.exec("COMMIT");
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

template <typename T>
T await(QCoro::Task<T> task) {
    QEventLoop loop;
    std::optional<T> result;
    auto driver = [](QCoro::Task<T> t, std::optional<T> *out, QEventLoop *l) -> QCoro::Task<> {
        *out = co_await std::move(t);
        l->quit();
    };
    auto running = driver(std::move(task), &result, &loop);
    if (!result)
        loop.exec();
    return std::move(*result);
}

double millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Median time of fn over at least seven runs, more for quick ones (about half a second's worth).
double measure(const std::function<void()> &fn) {
    // Warm up (page cache, prepared schema) for a fifth of a second or three runs.
    auto start = Clock::now();
    int warmups = 0;
    while (warmups < 3 || Clock::now() - start < std::chrono::milliseconds(200)) {
        fn();
        ++warmups;
    }
    const double first = millis(Clock::now() - start) / warmups;
    const int repeats = std::clamp(int(500 / std::max(first, 0.01)), 7, 300);
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        start = Clock::now();
        fn();
        times.push_back(millis(Clock::now() - start));
    }
    return median(times);
}

// Wall time of the sqlite3 shell running `script` on the file, output discarded.
double shellRun(const QString &file, const QString &script) {
    QProcess shell;
    shell.start("sqlite3", {"-batch", file});
    shell.waitForStarted();
    const auto start = Clock::now();
    shell.write((".output /dev/null\n" + script + "\n.quit\n").toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    return millis(Clock::now() - start);
}

// The time of one warm run of a statement in the shell: a script that runs it 1 + K times minus
// one that runs it once (so the process start and the cold first run cancel out), over K; the
// median of five such figures. `sql` makes the text of the n-th run (fresh ids for writes).
double shellMeasure(const QString &file, const std::function<QString()> &sql, const QString &setup = {}) {
    auto script = [&](int runs) {
        QString text = setup;
        for (int i = 0; i < runs; ++i)
            text += "\n" + sql();
        return text;
    };
    auto baseline = [&] { return std::min({shellRun(file, script(1)), shellRun(file, script(1))}); };
    const double estimate = std::max((shellRun(file, script(6)) - baseline()) / 5, 0.01);
    const int repeats = std::clamp(int(600 / estimate), 5, 2000);
    std::vector<double> perRun;
    for (int i = 0; i < 5; ++i)
        perRun.push_back((shellRun(file, script(1 + repeats)) - baseline()) / repeats);
    return median(perRun);
}

double shellMeasure(const QString &file, const QString &sql) {
    return shellMeasure(file, [sql] { return sql; });
}

// For slow single operations: each run is its own shell, less the shell's start-up, with `after`
// (untimed) between runs.
double shellMeasureEach(const QString &file, int runs, const std::function<QString(int)> &sql,
                        const std::function<void(int)> &after, const QString &setup = {}) {
    const double startup = std::min({shellRun(file, setup), shellRun(file, setup), shellRun(file, setup)});
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        times.push_back(shellRun(file, setup + "\n" + sql(i)) - startup);
        after(i);
    }
    return median(times);
}

QString literal(const QString &value) {
    return "'" + QString(value).replace("'", "''") + "'";
}

// The statements with their arguments written in, for the shell.
QString inlineStatements(const QList<HistoryEntry::Statement> &statements) {
    QString script;
    for (const HistoryEntry::Statement &statement : statements) {
        QString sql = statement.sql;
        qsizetype at = 0;
        for (const QString &argument : statement.arguments) {
            at = sql.indexOf('?', at);
            sql.replace(at, 1, literal(argument));
            at += literal(argument).size();
        }
        script += sql + ";\n";
    }
    return script;
}

void row(const char *what, double library, std::optional<double> shell = std::nullopt) {
    if (shell)
        std::printf("%-48s %10.3f ms   sqlite3 %10.3f ms   ratio %5.2f\n", what, library, *shell, library / *shell);
    else
        std::printf("%-48s %10.3f ms\n", what, library);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
    const int runs = argc > 1 ? std::atoi(argv[1]) : 100000;
    // Without a folder everything goes into a temporary one, removed at the end.
    QTemporaryDir temporary;
    const QString root = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path() + "/com.velmora.app";
    QDir().mkpath(root);
    const QString file = root + "/Library.sqlite";
    const QString scratch = root + "/bench-scratch";
    QDir().mkpath(scratch);

    // A Library kept from an earlier run is measured as it is.
    const bool filled = !QFileInfo::exists(file);
    if (filled) {
        std::fprintf(stderr, "Filling %d runs...\n", runs);
        const auto fillStart = Clock::now();
        fill(file, runs);
        std::printf("filled %d runs in %.1f s, file %.1f MB\n", runs, millis(Clock::now() - fillStart) / 1000,
                    QFileInfo(file).size() / 1e6);
    }

    // First opening: backup of the filled file at "v4", then the later migrations.
    auto start = Clock::now();
    auto library = Library::open(root);
    const double openWithBackup = millis(Clock::now() - start);
    if (!library->status().isReady()) {
        std::fprintf(stderr, "Library unavailable\n");
        return 1;
    }
    QDir(root + "/Backups").removeRecursively();
    {
        // The same procedure on both sides: a fresh copy each run, removed after it, untimed.
        const QString target = scratch + "/copy.sqlite";
        SQLite::Database source(file.toStdString(), SQLite::OPEN_READONLY);
        std::vector<double> times;
        for (int i = 0; i < 7; ++i) {
            const auto began = Clock::now();
            Library::copyDatabase(source, target);
            times.push_back(millis(Clock::now() - began));
            QFile::remove(target);
        }
        const double shell = shellMeasureEach(
            file, 7, [&](int) { return ".backup " + target; }, [&](int) { QFile::remove(target); });
        row("backup of the filled file", median(times), shell);
    }
    library.reset();

    const double opening = measure([&] { library = Library::open(root); });
    row("opening the filled Library", opening);
    if (filled)
        row("opening with backup and migrations", openWithBackup);

    auto listTime = [&](const char *what, const QString &query, std::optional<int> limit = 200) {
        const auto terms = Library::searchTerms(query);
        QList<HistoryEntry::Statement> statements;
        await(library->read([&](SQLite::Database &db) {
            return HistoryEntry::fetchAll(db, terms, Library::Tasks, std::nullopt, limit, &statements).size();
        }));
        int count = 0;
        const double ours = measure(
            [&] { count = int(await(library->historyEntries(Library::Tasks, std::nullopt, query, limit)).size()); });
        // The shell gets the Library's page cache, as it would any connection setting.
        const double shell = shellMeasure(
            file, [sql = inlineStatements(statements)] { return sql; }, "PRAGMA cache_size = -65536;");
        char label[128];
        std::snprintf(label, sizeof label, "%s (%d)", what, count);
        row(label, ours, shell);
    };
    listTime("first History page", "");
    listTime("search 1 term, rare", kRare);
    listTime("search 1 term, common", kCommon[0]);
    listTime("search 2 terms, rare", kRare + " " + kCommon[0]);
    listTime("search 2 terms, common", kCommon[0] + " " + kCommon[1]);
    listTime("search 3 terms, rare", kRare + " " + kCommon[0] + " " + kCommon[1]);
    listTime("search 3 terms, common", kCommon[0] + " " + kCommon[1] + " " + kCommon[2]);
    listTime("search 2-character Japanese term", kShortJapanese);

    // A search of every run with the Japanese term, overtaken 10 ms after it started by a newer
    // one: the time from the newer search's arrival until the old one has let go.
    {
        std::vector<double> times;
        for (int i = 0; i < 7; ++i) {
            bool settled = false;
            Clock::time_point settledAt;
            CancellationSource superseded;
            auto old = [&]() -> QCoro::Task<> {
                auto searching = library->historyEntries(Library::Tasks, std::nullopt, kShortJapanese, std::nullopt,
                                                         superseded.token());
                try {
                    co_await std::move(searching);
                } catch (...) {
                }
                settled = true;
                settledAt = Clock::now();
            }();
            QEventLoop wait;
            QTimer::singleShot(10, &wait, &QEventLoop::quit);
            wait.exec();
            const auto arrived = Clock::now();
            superseded.cancel();
            await(library->historyEntries(Library::Tasks, std::nullopt, kCommon[0], 200));
            while (!settled)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            times.push_back(millis(settledAt - arrived));
        }
        row("superseded search let go", median(times));
    }

    // One finished run recorded through a tool's write queue.
    {
        TextTaskHistory history(library, "translate");
        HistoryWriteQueue queue([history](QUuid id, QString text) { return history.updateOutput(id, text); },
                                std::chrono::seconds(1));
        TextTaskHistory::Run run;
        run.input = QString::fromUtf8("Please review the numbers before Friday. ").repeated(6);
        run.output = QString::fromUtf8("金曜日までに数字を確認してください。").repeated(6);
        run.measurements = QJsonObject{{"countVersion", 1}, {"inputWords", 42}, {"tokensPerSecond", 31.5}};
        const double ours = measure([&] {
            auto handle = queue.record([history, run] { return history.record(run, std::nullopt); });
            await([](SharedTask<std::optional<QUuid>> h) -> QCoro::Task<bool> {
                co_await h;
                co_return true;
            }(handle));
        });
        const QString now = literal(libraryDateString(libraryNow()));
        const double shell = shellMeasure(
            file,
            [&] {
                const QString task = literal(newUuidString());
                return "BEGIN IMMEDIATE; INSERT INTO task VALUES (" + task + ", 'translate', 'completed', " + now +
                       ", " + now + ", NULL); INSERT INTO artifact VALUES (" + literal(newUuidString()) + ", " + task +
                       ", NULL, 'input', 'text', 'en', " + literal(run.input) + ", NULL, " + now +
                       "); INSERT INTO artifact VALUES (" + literal(newUuidString()) + ", " + task + ", " + task +
                       ", 'output', 'text', 'ja', " + literal(run.output) + ", NULL, " + now +
                       "); INSERT INTO activityEvent VALUES (" + literal(newUuidString()) + ", " + task + ", " + task +
                       ", 'translate', 'attemptFinished', 1, " + now + ", 'Asia/Tokyo', 32400, 'completed', " +
                       literal(measurementsJson(run.measurements)) + "); COMMIT;";
            },
            "PRAGMA foreign_keys = ON; PRAGMA secure_delete = ON;");
        row("recording a run through the write queue", ours, shell);
    }

    // Deleting one run's content, each time another run from the middle of the History: what the
    // caller waits for, and the deletion until its text is gone from the files (the index merged,
    // the log checkpointed); the shell does the same with a whole merge of the run's shard.
    {
        QStringList ids;
        QList<int> shards;
        {
            SQLite::Database db(file.toStdString(), SQLite::OPEN_READONLY);
            SQLite::Statement s(db, "SELECT id FROM task WHERE contentDeletedAt IS NULL ORDER BY createdAt "
                                    "LIMIT 21 OFFSET ?");
            s.bind(1, runs / 2);
            while (s.executeStep())
                ids.append(QString::fromStdString(s.getColumn(0).getString()));
            for (const QString &id : ids) {
                SQLite::Statement shard(db, std::string("SELECT ") + LibraryMigrations::searchShardOfSource() +
                                                " FROM searchSource WHERE taskId = ?");
                shard.bind(1, id.toStdString());
                shards.append(shard.executeStep() ? shard.getColumn(0).getInt() : 0);
            }
        }
        auto deleteRun = [&](int i, bool purge) {
            await([](std::shared_ptr<Library> l, QUuid id, bool purge) -> QCoro::Task<bool> {
                co_await l->deleteContent(id);
                if (purge)
                    co_await l->finishPurge();
                co_return true;
            }(library, parseUuid(ids[i]), purge));
        };
        std::vector<double> waited, purged;
        for (int i = 0; i < 7; ++i) {
            const auto began = Clock::now();
            deleteRun(i, false);
            waited.push_back(millis(Clock::now() - began));
            // The purge of this deletion, untimed, before the next one.
            await([](std::shared_ptr<Library> l) -> QCoro::Task<bool> {
                co_await l->finishPurge();
                co_return true;
            }(library));
        }
        for (int i = 7; i < 14; ++i) {
            const auto began = Clock::now();
            deleteRun(i, true);
            purged.push_back(millis(Clock::now() - began));
        }
        library.reset();
        const double shell = shellMeasureEach(
            file, 7,
            [&](int i) {
                const QString id = literal(ids[14 + i]);
                const QString shard = LibraryMigrations::searchShard(shards[14 + i]);
                return "BEGIN IMMEDIATE; DELETE FROM artifact WHERE taskId = " + id +
                       "; UPDATE task SET contentDeletedAt = " + literal(libraryDateString(libraryNow())) +
                       " WHERE id = " + id + "; COMMIT; INSERT INTO " + shard + "(" + shard +
                       ") VALUES ('optimize'); PRAGMA wal_checkpoint(TRUNCATE);";
            },
            [](int) {}, "PRAGMA foreign_keys = ON; PRAGMA secure_delete = ON;");
        row("deleting a run's content (the caller's wait)", median(waited));
        row("deleting a run's content until its text is gone", median(purged), shell);
    }
    QDir(scratch).removeRecursively();
    return 0;
}
