#pragma once

// A private X server for the X11 tests, on a display number it picks itself. The X11 tests of
// higher layers use it too.

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace velmora::test {

class XvfbServer {
public:
    static bool isInstalled() { return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(); }

    // extra: more server arguments, such as "-extension XInputExtension" to leave one out.
    explicit XvfbServer(const QStringList &extra = {}) {
        if (!isInstalled())
            return;
        m_process.setProgram(QStandardPaths::findExecutable(QStringLiteral("Xvfb")));
        m_process.setArguments(QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                                           QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                           QStringLiteral("-noreset"), QStringLiteral("-screen"), QStringLiteral("0"),
                                           QStringLiteral("640x480x24")} +
                               extra);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return;
        QByteArray out;
        while (!out.contains('\n') && m_process.waitForReadyRead(10000))
            out += m_process.readAllStandardOutput();
        if (out.contains('\n'))
            m_display = QStringLiteral(":") + QString::fromLatin1(out.trimmed());
    }
    ~XvfbServer() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // Empty when the server did not start.
    const QString &display() const { return m_display; }

private:
    QProcess m_process;
    QString m_display;
};

} // namespace velmora::test
