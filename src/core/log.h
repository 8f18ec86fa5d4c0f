#pragma once

#include <QLoggingCategory>
#include <QString>

#include <exception>
#include <mutex>
#include <variant>
#include <vector>

namespace velmora {

// One argument of a log line: text, a whole number, a real number or a flag.
class LogArg {
public:
    LogArg(const QString &s) : m_value(s) {}
    LogArg(const char *s) : m_value(QString::fromUtf8(s)) {}
    LogArg(bool b) : m_value(b) {}
    LogArg(int v) : m_value(qint64(v)) {}
    LogArg(long v) : m_value(qint64(v)) {}
    LogArg(long long v) : m_value(qint64(v)) {}
    LogArg(unsigned v) : m_value(qint64(v)) {}
    LogArg(unsigned long v) : m_value(qint64(v)) {}
    LogArg(unsigned long long v) : m_value(qint64(v)) {}
    LogArg(double v) : m_value(v) {}
    LogArg(float v) : m_value(double(v)) {}

    const std::variant<QString, qint64, double, bool> &value() const { return m_value; }

private:
    std::variant<QString, qint64, double, bool> m_value;
};

enum class LogLevel { Debug, Info, Default, Error, Fault };

// A logger of one category. Messages are fixed format strings in the unified-log style
// ("%{public}s", "%ld", "%{bool,public}d", "%.1f"); values only ever enter as arguments.
class Logger {
public:
    explicit Logger(const char *category);

    const QString &category() const { return m_category; }
    const QLoggingCategory &qtCategory() const { return *m_qt; }

    void log(LogLevel level, const char *format, std::initializer_list<LogArg> args = {}) const;
    void debug(const char *format, std::initializer_list<LogArg> args = {}) const {
        log(LogLevel::Debug, format, args);
    }
    void info(const char *format, std::initializer_list<LogArg> args = {}) const { log(LogLevel::Info, format, args); }
    void notice(const char *format, std::initializer_list<LogArg> args = {}) const {
        log(LogLevel::Default, format, args);
    }
    void error(const char *format, std::initializer_list<LogArg> args = {}) const {
        log(LogLevel::Error, format, args);
    }
    void fault(const char *format, std::initializer_list<LogArg> args = {}) const {
        log(LogLevel::Fault, format, args);
    }

private:
    QString m_category;
    QByteArray m_qtName;
    QLoggingCategory *m_qt;
};

struct LogLine {
    QString subsystem;
    QString category;
    LogLevel level;
    QString message;
};

namespace Log {

// The subsystem every logger writes under: the bundle identifier, or "Velmora" without one.
QString subsystem();
// Decides the subsystem from a bundle identifier; an empty one gives "Velmora".
QString subsystemFor(const QString &bundleIdentifier);

const Logger &app();
const Logger &dictation();
const Logger &speech();
const Logger &llm();
const Logger &models();
const Logger &library();
const Logger &translate();
const Logger &notes();
const Logger &voiceCompose();
const Logger &summarize();
const Logger &proofread();

// An error as its domain, one space and its code in decimal; never its description.
QString errorCode(const std::exception &error);
QString errorCode(const std::exception_ptr &error);

// Renders a unified-log format string with its arguments, as the log shows the line.
QString render(const char *format, const std::vector<LogArg> &args);
inline QString render(const char *format, std::initializer_list<LogArg> args) {
    return render(format, std::vector<LogArg>(args));
}

} // namespace Log

// Collects every line logged while it exists, so tests can assert on exact log lines.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::vector<LogLine> lines() const;
    // The messages of one category, in order.
    QStringList messages(const QString &category) const;
    bool contains(const QString &category, const QString &message) const;
    bool contains(const QString &category, LogLevel level, const QString &message) const;
    void clear();

    void append(const LogLine &line);

private:
    mutable std::mutex m_mutex;
    std::vector<LogLine> m_lines;
};

} // namespace velmora
