#pragma once

#include "support/testsupport.h"

#include <SQLiteCpp/SQLiteCpp.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <chrono>
#include <csignal>
#include <memory>

namespace velmora::test {

// Holds the Library's database locked, so that the program's opening of it waits (and then
// fails) for as long as the busy timeout lasts: a slow opening, as a long migration is.
class LockedLibrary {
public:
    explicit LockedLibrary(const TempHome &home) {
        const QString root = home.dataHome() + QStringLiteral("/com.velmora.app");
        QDir().mkpath(root);
        m_db = std::make_unique<SQLite::Database>((root + QStringLiteral("/Library.sqlite")).toStdString(),
                                                  SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        m_db->exec("BEGIN EXCLUSIVE");
        m_db->exec("CREATE TABLE IF NOT EXISTS held (x)");
    }
    ~LockedLibrary() { m_db->exec("ROLLBACK"); }

private:
    std::unique_ptr<SQLite::Database> m_db;
};

// The real program, started in a home of the test's own (data, config, runtime folder),
// offscreen, its log collected.
class VelmoraProcess {
public:
    explicit VelmoraProcess(const TempHome &home, QStringList arguments = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.dataHome());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.configHome());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir(home));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VELMORA_HELPERS_DIR"), QStringLiteral(VELMORA_HELPERS_DIR));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setProgram(QStringLiteral(VELMORA_APP_PATH));
        m_process.setArguments(arguments);
    }
    ~VelmoraProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    static QString runtimeDir(const TempHome &home) {
        const QString dir = home.path() + QStringLiteral("/run");
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return dir;
    }

    QProcessEnvironment environment() const { return m_process.processEnvironment(); }
    void setEnvironment(const QProcessEnvironment &env) { m_process.setProcessEnvironment(env); }

    void start() { m_process.start(); }
    bool waitForStarted() { return m_process.waitForStarted(10000); }
    qint64 pid() const { return m_process.processId(); }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    // The log so far.
    QString output() {
        m_output += QString::fromUtf8(m_process.readAll());
        return m_output;
    }
    // Waits until the log holds the text; false when the process ended or the time ran out.
    bool waitForLine(const QString &text, std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        return waitUntil(
                   [&] {
                       m_process.waitForReadyRead(10);
                       return output().contains(text) || m_process.state() == QProcess::NotRunning;
                   },
                   timeout) &&
               output().contains(text);
    }
    void signal(int s) { ::kill(pid_t(m_process.processId()), s); }
    // Waits for the exit; the exit status, or -1 when it did not end normally in time.
    int waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        if (!waitUntil(
                [&] {
                    m_process.waitForFinished(10);
                    return m_process.state() == QProcess::NotRunning;
                },
                timeout))
            return -1;
        output();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

private:
    QProcess m_process;
    QString m_output;
};

} // namespace velmora::test
