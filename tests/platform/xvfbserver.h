#pragma once

// A private X server for the X11 tests, on a display number it picks itself. The X11 tests of
// higher layers use it too.

#include "support/testsupport.h"

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
        const QString number = startAndReadFirstLine(m_process);
        if (!number.isEmpty())
            m_display = QLatin1Char(':') + number;
    }
    ~XvfbServer() { endProcess(m_process); }
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // Empty when the server did not start.
    const QString &display() const { return m_display; }

private:
    QProcess m_process;
    QString m_display;
};

} // namespace velmora::test
