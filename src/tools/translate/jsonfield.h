#pragma once

// Reads one optional field of a keyed JSON record: a missing key and a JSON null both give an
// absent value; a value of the wrong JSON type (or a number with a fraction where a whole number
// belongs) is reported as wrong.

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cmath>
#include <optional>

namespace velmora::jsonfield {

enum class Read { Absent, Value, WrongType };

inline Read readInteger(const QJsonObject &o, QLatin1StringView key, std::optional<qint64> &out) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return Read::Absent;
    if (!v.isDouble())
        return Read::WrongType;
    const double d = v.toDouble();
    // A whole number within the range a double holds exactly.
    if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 9007199254740992.0)
        return Read::WrongType;
    out = qint64(d);
    return Read::Value;
}

inline Read readBool(const QJsonObject &o, QLatin1StringView key, std::optional<bool> &out) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return Read::Absent;
    if (!v.isBool())
        return Read::WrongType;
    out = v.toBool();
    return Read::Value;
}

inline Read readString(const QJsonObject &o, QLatin1StringView key, std::optional<QString> &out) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return Read::Absent;
    if (!v.isString())
        return Read::WrongType;
    out = v.toString();
    return Read::Value;
}

// A string that names one case of an enumeration; another string is wrong.
template <typename E, typename Parse>
Read readRaw(const QJsonObject &o, QLatin1StringView key, std::optional<E> &out, Parse parse) {
    std::optional<QString> raw;
    const Read read = readString(o, key, raw);
    if (read != Read::Value)
        return read;
    out = parse(*raw);
    return out ? Read::Value : Read::WrongType;
}

} // namespace velmora::jsonfield
