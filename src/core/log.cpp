#include "core/log.h"

#include "core/error.h"
#include "core/paths.h"

#include <QCoreApplication>
#include <QVariant>

#include <algorithm>
#include <cxxabi.h>
#include <memory>
#include <system_error>
#include <typeinfo>

namespace velmora {

namespace {

std::mutex &captureMutex() {
    static std::mutex m;
    return m;
}

std::vector<LogCapture *> &captures() {
    static std::vector<LogCapture *> c;
    return c;
}

QString formatInteger(qint64 v, QChar conversion) {
    switch (conversion.unicode()) {
    case 'x': return QString::number(quint64(v), 16);
    case 'X': return QString::number(quint64(v), 16).toUpper();
    case 'u': return QString::number(quint64(v));
    default: return QString::number(v);
    }
}

QString argText(const LogArg &arg, QChar conversion, int precision, bool asBool) {
    return std::visit(
        [&](const auto &v) -> QString {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, QString>) {
                return v;
            } else if constexpr (std::is_same_v<V, bool>) {
                if (asBool)
                    return v ? QStringLiteral("true") : QStringLiteral("false");
                return QString::number(v ? 1 : 0);
            } else if constexpr (std::is_same_v<V, qint64>) {
                if (asBool)
                    return v ? QStringLiteral("true") : QStringLiteral("false");
                if (conversion == u'f' || conversion == u'g' || conversion == u'e')
                    return QString::number(double(v), conversion.toLatin1(), precision < 0 ? 6 : precision);
                return formatInteger(v, conversion);
            } else {
                if (conversion == u'd' || conversion == u'i' || conversion == u'u')
                    return QString::number(qint64(v));
                char c = conversion.toLatin1();
                if (c != 'f' && c != 'g' && c != 'e')
                    c = 'f';
                return QString::number(v, c, precision < 0 ? 6 : precision);
            }
        },
        arg.value());
}

} // namespace

Logger::Logger(const char *category) : m_category(QString::fromUtf8(category)) {
    m_qtName = (Log::subsystem() + QLatin1Char('.') + m_category).toUtf8();
    // Loggers live for the whole run, as the categories they own must.
    m_qt = new QLoggingCategory(m_qtName.constData(), QtInfoMsg);
}

void Logger::log(LogLevel level, const char *format, std::initializer_list<LogArg> args) const {
    const QString message = Log::render(format, args);
    {
        std::lock_guard lock(captureMutex());
        for (LogCapture *capture : captures())
            capture->append(LogLine{Log::subsystem(), m_category, level, message});
    }
    switch (level) {
    case LogLevel::Debug:
        if (m_qt->isDebugEnabled())
            QMessageLogger(nullptr, 0, nullptr, m_qt->categoryName()).debug("%s", qUtf8Printable(message));
        break;
    case LogLevel::Info:
    case LogLevel::Default:
        if (m_qt->isInfoEnabled())
            QMessageLogger(nullptr, 0, nullptr, m_qt->categoryName()).info("%s", qUtf8Printable(message));
        break;
    case LogLevel::Error:
    case LogLevel::Fault:
        if (m_qt->isCriticalEnabled())
            QMessageLogger(nullptr, 0, nullptr, m_qt->categoryName()).critical("%s", qUtf8Printable(message));
        break;
    }
}

namespace Log {

QString subsystemFor(const QString &bundleIdentifier) {
    return bundleIdentifier.isEmpty() ? QStringLiteral("Velmora") : bundleIdentifier;
}

QString subsystem() {
    static const QString value = subsystemFor(QString::fromLatin1(kBundleIdentifier));
    return value;
}

#define VELMORA_LOGGER(fn, name)                                                                                       \
    const Logger &fn() {                                                                                               \
        static const Logger logger(name);                                                                              \
        return logger;                                                                                                 \
    }
VELMORA_LOGGER(app, "app")
VELMORA_LOGGER(dictation, "dictation")
VELMORA_LOGGER(speech, "speech")
VELMORA_LOGGER(llm, "llm")
VELMORA_LOGGER(models, "models")
VELMORA_LOGGER(library, "library")
VELMORA_LOGGER(translate, "translate")
VELMORA_LOGGER(notes, "notes")
VELMORA_LOGGER(voiceCompose, "voiceCompose")
VELMORA_LOGGER(summarize, "summarize")
VELMORA_LOGGER(proofread, "proofread")
#undef VELMORA_LOGGER

QString errorCode(const std::exception &error) {
    if (auto *e = dynamic_cast<const Error *>(&error))
        return e->domain() + QLatin1Char(' ') + QString::number(e->code());
    if (auto *e = dynamic_cast<const std::system_error *>(&error)) {
        const bool posix =
            e->code().category() == std::generic_category() || e->code().category() == std::system_category();
        return (posix ? QStringLiteral("NSPOSIXErrorDomain") : QString::fromUtf8(e->code().category().name())) +
               QLatin1Char(' ') + QString::number(e->code().value());
    }
    int status = 0;
    const char *mangled = typeid(error).name();
    std::unique_ptr<char, void (*)(void *)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                      std::free);
    return QString::fromUtf8(status == 0 && demangled ? demangled.get() : mangled) + QStringLiteral(" 0");
}

QString errorCode(const std::exception_ptr &error) {
    if (!error)
        return QStringLiteral("none");
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return errorCode(e);
    } catch (...) {
        return QStringLiteral("unknown 0");
    }
}

QString render(const char *format, const std::vector<LogArg> &args) {
    const QString fmt = QString::fromUtf8(format);
    QString out;
    out.reserve(fmt.size() + 32);
    auto next = args.begin();
    for (qsizetype i = 0; i < fmt.size(); ++i) {
        const QChar c = fmt.at(i);
        if (c != u'%') {
            out += c;
            continue;
        }
        if (i + 1 < fmt.size() && fmt.at(i + 1) == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        bool asBool = false;
        if (j < fmt.size() && fmt.at(j) == u'{') {
            const qsizetype close = fmt.indexOf(u'}', j);
            if (close < 0)
                break;
            const auto modifiers = QStringView(fmt).mid(j + 1, close - j - 1).split(u',');
            for (const auto &m : modifiers)
                if (m.trimmed() == u"bool" || m.trimmed() == u"BOOL")
                    asBool = true;
            j = close + 1;
        }
        int precision = -1;
        while (j < fmt.size() && (fmt.at(j) == u'-' || fmt.at(j) == u'+' || fmt.at(j).isDigit()))
            ++j;
        if (j < fmt.size() && fmt.at(j) == u'.') {
            qsizetype k = j + 1;
            int p = 0;
            while (k < fmt.size() && fmt.at(k).isDigit())
                p = p * 10 + fmt.at(k++).digitValue();
            precision = p;
            j = k;
        }
        while (j < fmt.size() && (fmt.at(j) == u'l' || fmt.at(j) == u'h' || fmt.at(j) == u'z' || fmt.at(j) == u'q' ||
                                  fmt.at(j) == u'j' || fmt.at(j) == u't'))
            ++j;
        if (j >= fmt.size())
            break;
        const QChar conversion = fmt.at(j);
        if (next != args.end()) {
            out += argText(*next, conversion, precision, asBool);
            ++next;
        } else {
            out += QStringLiteral("<missing>");
        }
        i = j;
    }
    return out;
}

} // namespace Log

LogCapture::LogCapture() {
    std::lock_guard lock(captureMutex());
    captures().push_back(this);
}

LogCapture::~LogCapture() {
    std::lock_guard lock(captureMutex());
    auto &c = captures();
    c.erase(std::remove(c.begin(), c.end(), this), c.end());
}

std::vector<LogLine> LogCapture::lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

QStringList LogCapture::messages(const QString &category) const {
    std::lock_guard lock(m_mutex);
    QStringList out;
    for (const auto &line : m_lines)
        if (line.category == category)
            out << line.message;
    return out;
}

bool LogCapture::contains(const QString &category, const QString &message) const {
    return messages(category).contains(message);
}

bool LogCapture::contains(const QString &category, LogLevel level, const QString &message) const {
    std::lock_guard lock(m_mutex);
    return std::any_of(m_lines.begin(), m_lines.end(), [&](const LogLine &l) {
        return l.category == category && l.level == level && l.message == message;
    });
}

void LogCapture::clear() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

void LogCapture::append(const LogLine &line) {
    std::lock_guard lock(m_mutex);
    m_lines.push_back(line);
}

} // namespace velmora
