#pragma once

#include "library/library.h"
#include "library/migrations.h"
#include "support/testsupport.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <ostream>

// Readable strings in test failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace velmora::test {

// Makes a file impossible to remove while it lives: immutable when the test runs as root (who
// may remove anything else), its folder read-only otherwise.
class Unremovable {
public:
    explicit Unremovable(const QString &file) : m_file(file), m_folder(QFileInfo(file).absolutePath()) {
        if (geteuid() == 0)
            m_ok = setImmutable(true);
        else
            m_ok = ::chmod(QFile::encodeName(m_folder).constData(), 0555) == 0;
    }
    ~Unremovable() {
        if (!m_ok)
            return;
        if (geteuid() == 0)
            setImmutable(false);
        else
            ::chmod(QFile::encodeName(m_folder).constData(), 0755);
    }
    Unremovable(const Unremovable &) = delete;
    Unremovable &operator=(const Unremovable &) = delete;

    // False when the file system offers neither way.
    bool ok() const { return m_ok; }

private:
    bool setImmutable(bool on) const {
        const int fd = ::open(QFile::encodeName(m_file).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QString m_file;
    QString m_folder;
    bool m_ok = false;
};

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

    // The sourceIds of the texts the search index finds for a long term, sorted, by a connection of
    // the test's own.
    QStringList indexed(const QString &term, const QString &path = {}) {
        const Library::HitQuery rows = Library::searchFilter({term}).rows();
        SQLite::Database db((path.isEmpty() ? dbPath() : path).toStdString(), SQLite::OPEN_READONLY);
        SQLite::Statement s(db, "SELECT s.sourceId FROM (" + rows.sql.toStdString() +
                                    ") AS searchText JOIN searchSource s ON s.id = searchText.id ORDER BY s.sourceId");
        for (int i = 0; i < rows.arguments.size(); ++i)
            s.bind(i + 1, rows.arguments[i].toStdString());
        QStringList out;
        while (s.executeStep())
            out.append(QString::fromStdString(s.getColumn(0).getString()));
        return out;
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
