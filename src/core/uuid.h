#pragma once

#include <QString>
#include <QUuid>

namespace velmora {

// A UUID as the Library stores it: upper-case, hyphenated, no braces.
QString uuidString(const QUuid &uuid);
QString newUuidString();
// Parses any textual UUID form; a null QUuid when it is not one.
QUuid parseUuid(const QString &text);

} // namespace velmora
