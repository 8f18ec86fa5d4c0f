#include "core/uuid.h"

namespace velmora {

QString uuidString(const QUuid &uuid) {
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

QString newUuidString() {
    return uuidString(QUuid::createUuid());
}

QUuid parseUuid(const QString &text) {
    return QUuid::fromString(QStringView(text).trimmed());
}

} // namespace velmora
