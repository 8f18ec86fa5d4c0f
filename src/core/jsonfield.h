#pragma once

// Reads one optional field of a keyed JSON record: a missing key and a JSON null both give an
// absent value; a value of the wrong JSON type is reported as wrong. Whole numbers are kept
// exactly across the whole 64-bit range; a number with a fraction, or one out of that range,
// where a whole number belongs is wrong.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>
#include <type_traits>

namespace velmora::jsonfield {

enum class Read { Absent, Value, WrongType };

// A JSON number as a 64-bit whole number, if it is one.
std::optional<qint64> wholeNumber(const QJsonValue &v);

// T is one of QString, bool, qint64, double, QJsonObject, QJsonArray.
template <typename T>
Read read(const QJsonObject &o, QLatin1StringView key, std::optional<T> &out) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return Read::Absent;
    if constexpr (std::is_same_v<T, QString>) {
        if (!v.isString())
            return Read::WrongType;
        out = v.toString();
    } else if constexpr (std::is_same_v<T, bool>) {
        if (!v.isBool())
            return Read::WrongType;
        out = v.toBool();
    } else if constexpr (std::is_same_v<T, qint64>) {
        const std::optional<qint64> whole = wholeNumber(v);
        if (!whole)
            return Read::WrongType;
        out = whole;
    } else if constexpr (std::is_same_v<T, double>) {
        if (!v.isDouble())
            return Read::WrongType;
        out = v.toDouble();
    } else if constexpr (std::is_same_v<T, QJsonObject>) {
        if (!v.isObject())
            return Read::WrongType;
        out = v.toObject();
    } else {
        static_assert(std::is_same_v<T, QJsonArray>, "no reader for this type");
        if (!v.isArray())
            return Read::WrongType;
        out = v.toArray();
    }
    return Read::Value;
}

inline Read readInteger(const QJsonObject &o, QLatin1StringView key, std::optional<qint64> &out) {
    return read(o, key, out);
}
inline Read readBool(const QJsonObject &o, QLatin1StringView key, std::optional<bool> &out) {
    return read(o, key, out);
}
inline Read readString(const QJsonObject &o, QLatin1StringView key, std::optional<QString> &out) {
    return read(o, key, out);
}

// A string that names one case of an enumeration; another string is wrong.
template <typename E, typename Parse>
Read readRaw(const QJsonObject &o, QLatin1StringView key, std::optional<E> &out, Parse parse) {
    std::optional<QString> raw;
    const Read result = readString(o, key, raw);
    if (result != Read::Value)
        return result;
    out = parse(*raw);
    return out ? Read::Value : Read::WrongType;
}

// Writes an optional field: an absent value leaves the key out.
template <typename T>
void write(QJsonObject &o, QLatin1StringView key, const std::optional<T> &value) {
    if (value)
        o.insert(key, *value);
}

} // namespace velmora::jsonfield
