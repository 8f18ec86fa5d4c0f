#include "core/jsonfield.h"

#include <QVariant>

#include <cmath>

namespace velmora::jsonfield {

std::optional<qint64> wholeNumber(const QJsonValue &v) {
    if (!v.isDouble())
        return std::nullopt;
    // The parser keeps a whole number that fits 64 bits as one, past a double's exact range.
    const QVariant exact = v.toVariant();
    if (exact.typeId() == QMetaType::LongLong)
        return exact.toLongLong();
    const double d = v.toDouble();
    // -2^63 is the smallest qint64; 2^63 is already past the largest.
    if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        return std::nullopt;
    return qint64(d);
}

} // namespace velmora::jsonfield
