#pragma once

#include "library/library.h"
#include "library/migrations.h"
#include "support/testsupport.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <QDir>
#include <QFile>

#include <memory>
#include <ostream>

// Readable strings in test failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace velmora::test {

// A fresh temporary home with a Library folder path inside it (not yet created).
class LibraryTest : public ::testing::Test {
protected:
    TempHome home;
    QString root = home.dataHome() + QStringLiteral("/com.velmora.app");

    QString dbPath() const { return root + QStringLiteral("/Library.sqlite"); }

    std::shared_ptr<Library> openReady() {
        auto library = Library::open(root);
        EXPECT_TRUE(library->status().isReady());
        return library;
    }

    // A database at the n-th migration, made the way an earlier build would have made it.
    void makeDatabaseAt(int migrations) {
        QDir().mkpath(root);
        SQLite::Database db(dbPath().toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(std::string("CREATE TABLE \"") + LibraryMigrations::kTrackingTable +
                "\" (identifier TEXT NOT NULL PRIMARY KEY)");
        for (int i = 0; i < migrations; ++i) {
            const auto &m = LibraryMigrations::registered().at(std::size_t(i));
            m.apply(db);
            SQLite::Statement s(db, std::string("INSERT INTO \"") + LibraryMigrations::kTrackingTable +
                                        "\" (identifier) VALUES (?)");
            s.bind(1, m.identifier.toStdString());
            s.exec();
        }
    }

    // Runs one statement on a connection of the test's own and returns the first column of each row.
    QStringList query(const std::string &sql, const QString &path = {}) {
        SQLite::Database db((path.isEmpty() ? dbPath() : path).toStdString(), SQLite::OPEN_READONLY);
        SQLite::Statement s(db, sql);
        QStringList out;
        while (s.executeStep())
            out.append(s.getColumn(0).isNull() ? QStringLiteral("<null>")
                                               : QString::fromStdString(s.getColumn(0).getString()));
        return out;
    }
};

} // namespace velmora::test
