#include "library/libraryerror.h"

#include "core/enumname.h"

namespace velmora {

QString toString(LibraryUnavailableReason reason) {
    return enumName(reason);
}

std::optional<LibraryUnavailableReason> libraryUnavailableReasonFromString(const QString &raw) {
    return enumFromName<LibraryUnavailableReason>(raw);
}

LibraryUnavailableError::LibraryUnavailableError(LibraryUnavailableReason reason)
    : Error(QString::fromUtf8(kDomain), qint64(reason), toString(reason)) {}

DatabaseError::DatabaseError(int extendedCode, QString message)
    : Error(QString::fromUtf8(kDomain), extendedCode, std::move(message)) {}

LibraryDecodingError::LibraryDecodingError(QString message)
    : Error(QString::fromUtf8(kDomain), 0, std::move(message)) {}

} // namespace velmora
