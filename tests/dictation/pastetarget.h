#pragma once

// The second X client of the paste tests (x11pastetarget.cpp), driven over its standard input
// and output.

#include "support/testsupport.h"

#include <QProcess>
#include <QStringList>

#include <chrono>
#include <optional>

namespace velmora::test {

class PasteTarget {
public:
    PasteTarget() {
        m_process.setProgram(helperPath(QStringLiteral("x11-paste-target")));
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            m_buffer += m_process.readAllStandardOutput();
            for (qsizetype newline; (newline = m_buffer.indexOf('\n')) >= 0;) {
                m_lines.append(QString::fromUtf8(m_buffer.left(newline)));
                m_buffer.remove(0, newline + 1);
            }
        });
        m_process.start();
    }
    ~PasteTarget() {
        send(QStringLiteral("quit"));
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

    void send(const QString &command) { m_process.write(command.toUtf8() + '\n'); }

    // Waits for the next line starting with prefix and takes it (and every line before it) off.
    std::optional<QString> take(const QString &prefix, std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
        std::optional<QString> found;
        waitUntil(
            [&] {
                for (qsizetype i = 0; i < m_lines.size(); ++i) {
                    if (m_lines[i].startsWith(prefix)) {
                        found = m_lines[i];
                        seen += m_lines.mid(0, i + 1);
                        m_lines.remove(0, i + 1);
                        return true;
                    }
                }
                return false;
            },
            timeout);
        return found;
    }

    // The bytes the current clipboard owner gives for a target, or none.
    std::optional<QByteArray> read(const QString &target) {
        send(QStringLiteral("read ") + target);
        const std::optional<QString> line = take(QStringLiteral("data ") + target + QLatin1Char(' '));
        if (!line)
            return std::nullopt;
        return QByteArray::fromHex(line->section(QLatin1Char(' '), 2).toLatin1());
    }

    QStringList seen;

private:
    QProcess m_process;
    QByteArray m_buffer;
    QStringList m_lines;
};

} // namespace velmora::test
