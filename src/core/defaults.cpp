#include "core/defaults.h"

#include "core/log.h"
#include "core/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

namespace velmora {

namespace {

const char *typeName(Defaults::Type t) {
    switch (t) {
    case Defaults::Type::Bool: return "bool";
    case Defaults::Type::Integer: return "integer";
    case Defaults::Type::Real: return "real";
    case Defaults::Type::String: return "string";
    case Defaults::Type::StringList: return "stringList";
    case Defaults::Type::Data: return "data";
    }
    return "string";
}

std::optional<Defaults::Type> typeFromName(const QString &name) {
    static const QHash<QString, Defaults::Type> map = {
        {"bool", Defaults::Type::Bool},     {"integer", Defaults::Type::Integer},       {"real", Defaults::Type::Real},
        {"string", Defaults::Type::String}, {"stringList", Defaults::Type::StringList}, {"data", Defaults::Type::Data},
    };
    auto it = map.find(name);
    if (it == map.end())
        return std::nullopt;
    return *it;
}

std::optional<bool> parseBool(const QString &text) {
    const QString t = text.trimmed().toLower();
    if (t == u"yes" || t == u"true" || t == u"1")
        return true;
    if (t == u"no" || t == u"false" || t == u"0")
        return false;
    return std::nullopt;
}

} // namespace

Defaults::Defaults(QString filePath, QObject *parent) : QObject(parent), m_path(std::move(filePath)) {
    load();
    connect(&m_saver, &Debouncer::fired, this, &Defaults::save);
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &Defaults::flush);
}

Defaults::~Defaults() {
    flush();
}

void Defaults::flush() {
    m_saver.cancel();
    if (m_dirty)
        save();
}

QString Defaults::standardFilePath() {
    return Paths::configFolder() + QStringLiteral("/defaults.json");
}

void Defaults::setArguments(const QStringList &arguments) {
    m_arguments.clear();
    // Like an argument domain: "-key value"; a dash-word followed by another dash-word has no value.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a.size() < 2 || !a.startsWith(u'-') || a.startsWith(QStringLiteral("--")))
            continue;
        if (i + 1 >= arguments.size())
            break;
        m_arguments.insert(a.mid(1), arguments.at(i + 1));
        ++i;
    }
}

std::optional<QString> Defaults::argument(const QString &key) const {
    auto it = m_arguments.find(key);
    if (it == m_arguments.end())
        return std::nullopt;
    return *it;
}

bool Defaults::contains(const QString &key) const {
    return m_arguments.contains(key) || m_values.contains(key);
}

QVariant Defaults::value(const QString &key) const {
    if (auto a = argument(key))
        return *a;
    auto it = m_values.find(key);
    return it == m_values.end() ? QVariant() : it->value;
}

std::optional<Defaults::Type> Defaults::storedType(const QString &key) const {
    auto it = m_values.find(key);
    if (it == m_values.end())
        return std::nullopt;
    return it->type;
}

bool Defaults::boolValue(const QString &key, bool fallback) const {
    if (auto a = argument(key))
        return parseBool(*a).value_or(fallback);
    auto it = m_values.find(key);
    if (it == m_values.end())
        return fallback;
    switch (it->type) {
    case Type::Bool: return it->value.toBool();
    case Type::Integer: return it->value.toLongLong() != 0;
    case Type::Real: return it->value.toDouble() != 0;
    case Type::String: return parseBool(it->value.toString()).value_or(fallback);
    default: return fallback;
    }
}

qint64 Defaults::integer(const QString &key, qint64 fallback) const {
    if (auto a = argument(key)) {
        bool ok = false;
        const qint64 v = a->trimmed().toLongLong(&ok);
        if (ok)
            return v;
        const double d = a->trimmed().toDouble(&ok);
        return ok && std::isfinite(d) ? qint64(d) : fallback;
    }
    auto it = m_values.find(key);
    if (it == m_values.end())
        return fallback;
    switch (it->type) {
    case Type::Bool: return it->value.toBool() ? 1 : 0;
    case Type::Integer: return it->value.toLongLong();
    case Type::Real: {
        const double d = it->value.toDouble();
        return std::isfinite(d) ? qint64(d) : fallback;
    }
    case Type::String: {
        bool ok = false;
        const qint64 v = it->value.toString().toLongLong(&ok);
        return ok ? v : fallback;
    }
    default: return fallback;
    }
}

double Defaults::real(const QString &key, double fallback) const {
    if (auto a = argument(key)) {
        bool ok = false;
        const double v = a->trimmed().toDouble(&ok);
        return ok ? v : fallback;
    }
    auto it = m_values.find(key);
    if (it == m_values.end())
        return fallback;
    switch (it->type) {
    case Type::Bool: return it->value.toBool() ? 1 : 0;
    case Type::Integer: return double(it->value.toLongLong());
    case Type::Real: return it->value.toDouble();
    case Type::String: {
        bool ok = false;
        const double v = it->value.toString().toDouble(&ok);
        return ok ? v : fallback;
    }
    default: return fallback;
    }
}

QString Defaults::string(const QString &key, const QString &fallback) const {
    if (auto a = argument(key))
        return *a;
    auto it = m_values.find(key);
    if (it == m_values.end())
        return fallback;
    switch (it->type) {
    case Type::String: return it->value.toString();
    case Type::Integer: return QString::number(it->value.toLongLong());
    case Type::Real: return QString::number(it->value.toDouble());
    default: return fallback;
    }
}

QStringList Defaults::stringList(const QString &key, const QStringList &fallback) const {
    if (auto a = argument(key))
        return QStringList{*a};
    auto it = m_values.find(key);
    if (it == m_values.end() || it->type != Type::StringList)
        return fallback;
    return it->value.toStringList();
}

QByteArray Defaults::data(const QString &key, const QByteArray &fallback) const {
    auto it = m_values.find(key);
    if (it == m_values.end() || it->type != Type::Data)
        return fallback;
    return it->value.toByteArray();
}

void Defaults::setBool(const QString &key, bool v) {
    set(key, Type::Bool, v);
}
void Defaults::setInteger(const QString &key, qint64 v) {
    set(key, Type::Integer, v);
}
void Defaults::setReal(const QString &key, double v) {
    set(key, Type::Real, v);
}
void Defaults::setString(const QString &key, const QString &v) {
    set(key, Type::String, v);
}
void Defaults::setStringList(const QString &key, const QStringList &v) {
    set(key, Type::StringList, v);
}
void Defaults::setData(const QString &key, const QByteArray &v) {
    set(key, Type::Data, v);
}

void Defaults::remove(const QString &key) {
    if (m_values.remove(key) == 0)
        return;
    changedValue(key);
}

void Defaults::set(const QString &key, Type type, QVariant value) {
    auto it = m_values.find(key);
    if (it != m_values.end() && it->type == type && it->value == value)
        return;
    m_values.insert(key, Entry{type, std::move(value)});
    changedValue(key);
}

void Defaults::changedValue(const QString &key) {
    if (!m_path.isEmpty()) {
        m_dirty = true;
        m_saver.trigger();
    }
    emit changed(key);
}

void Defaults::load() {
    if (m_path.isEmpty())
        return;
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        Log::app().error("Defaults could not be read: %{public}s", {file.errorString()});
        return;
    }
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &err);
    file.close();
    if (err.error != QJsonParseError::NoError || !doc.isObject()) {
        // Keep the damaged file beside the new one so nothing the user had is lost.
        const QString aside = m_path + QStringLiteral(".damaged");
        QFile::remove(aside);
        QFile::rename(m_path, aside);
        Log::app().error("Defaults file is damaged; starting from empty defaults");
        return;
    }
    const QJsonObject values = doc.object().value(QStringLiteral("values")).toObject();
    for (auto it = values.begin(); it != values.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        const auto type = typeFromName(entry.value(QStringLiteral("type")).toString());
        const QJsonValue v = entry.value(QStringLiteral("value"));
        if (!type)
            continue; // a type from another version: skipped, not fatal
        QVariant value;
        switch (*type) {
        case Type::Bool:
            if (!v.isBool())
                continue;
            value = v.toBool();
            break;
        case Type::Integer:
            if (v.isDouble()) {
                value = qint64(v.toDouble());
            } else {
                bool ok = false;
                value = v.toString().toLongLong(&ok);
                if (!ok)
                    continue;
            }
            break;
        case Type::Real:
            if (!v.isDouble())
                continue;
            value = v.toDouble();
            break;
        case Type::String:
            if (!v.isString())
                continue;
            value = v.toString();
            break;
        case Type::StringList: {
            if (!v.isArray())
                continue;
            QStringList list;
            for (const auto &item : v.toArray())
                if (item.isString())
                    list << item.toString();
            value = list;
            break;
        }
        case Type::Data:
            if (!v.isString())
                continue;
            value = QByteArray::fromBase64(v.toString().toLatin1());
            break;
        }
        m_values.insert(it.key(), Entry{*type, value});
    }
}

void Defaults::save() {
    m_dirty = false;
    if (m_path.isEmpty())
        return;
    QJsonObject values;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        QJsonObject entry;
        entry.insert(QStringLiteral("type"), QString::fromLatin1(typeName(it->type)));
        switch (it->type) {
        case Type::Bool: entry.insert(QStringLiteral("value"), it->value.toBool()); break;
        // Integers are written as text: a JSON number loses precision past 2^53.
        case Type::Integer: entry.insert(QStringLiteral("value"), QString::number(it->value.toLongLong())); break;
        case Type::Real: entry.insert(QStringLiteral("value"), it->value.toDouble()); break;
        case Type::String: entry.insert(QStringLiteral("value"), it->value.toString()); break;
        case Type::StringList:
            entry.insert(QStringLiteral("value"), QJsonArray::fromStringList(it->value.toStringList()));
            break;
        case Type::Data:
            entry.insert(QStringLiteral("value"), QString::fromLatin1(it->value.toByteArray().toBase64()));
            break;
        }
        values.insert(it.key(), entry);
    }
    QJsonObject root;
    root.insert(QStringLiteral("version"), 1);
    root.insert(QStringLiteral("values"), values);

    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    m_lastSaveOk = file.open(QIODevice::WriteOnly) &&
                   file.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) >= 0 && file.commit();
    if (!m_lastSaveOk)
        Log::app().error("Defaults could not be saved: %{public}s", {file.errorString()});
}

} // namespace velmora
